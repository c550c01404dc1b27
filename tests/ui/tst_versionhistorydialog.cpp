#include "velmtest.h"

#include "appstatefixture.h"
#include "noteedits.h"
#include "noteeditor.h"
#include "snapshotrepository.h"
#include "versionhistorydialog.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

using namespace VelmTest;

namespace {

const QString kOldBody = textDelta("First draft");
const QString kNewBody = textDelta("Second draft");

} // namespace

class TestVersionHistoryDialog : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<AppState> m_state;
    bool m_yes = true;
    int m_asked = 0;
    QStringList m_informed;

    Note storedNote(const QString &body, int version)
    {
        Note note = makeNote(body);
        note.version = version;
        return m_state->notes()->insert(note) ? note : Note();
    }
    void answer(VersionHistoryDialog &dialog)
    {
        dialog.hooks().askYesNo = [this](QWidget *, const QString &, const QString &) {
            ++m_asked;
            return m_yes;
        };
        dialog.hooks().inform = [this](QWidget *, const QString &title, const QString &) { m_informed << title; };
    }

private slots:
    void init()
    {
        m_state = emptyState();
        m_yes = true;
        m_asked = 0;
        m_informed.clear();
    }
    void cleanup() { m_state.reset(); }

    void emptyHistoryShowsThePlaceholderThatRestoresNothing()
    {
        const Note note = storedNote(kNewBody, 3);
        VersionHistoryDialog dialog(m_state.get(), note.id);
        answer(dialog);
        QCOMPARE(dialog.snapshotList()->count(), 1);
        QCOMPARE(dialog.snapshotList()->item(0)->text(), QStringLiteral("No snapshots yet. Press Ctrl+S to save one."));
        QVERIFY(!dialog.restoreButton()->isEnabled());

        dialog.snapshotList()->setCurrentRow(0);
        dialog.restoreButton()->click();
        QCOMPARE(m_asked, 0);
        QCOMPARE(*m_state->notes()->noteById(note.id), note);
        QVERIFY(m_state->snapshots()->snapshotsForNote(note.id).isEmpty());
    }

    void savingTwiceAtOneVersionKeepsTheLater()
    {
        Note note = storedNote(kOldBody, 2);
        VersionHistoryDialog dialog(m_state.get(), note.id);
        dialog.saveSnapshotNow();
        QVERIFY(dialog.snapshotList()->item(0)->text().startsWith(QStringLiteral("v2 — ")));

        // The body changes without a version bump (as a sync merge may do).
        note.body = kNewBody;
        QVERIFY(m_state->notes()->update(note));
        dialog.saveSnapshotNow();
        const QList<Snapshot> snapshots = m_state->snapshots()->snapshotsForNote(note.id);
        QCOMPARE(snapshots.size(), 1);
        QCOMPARE(snapshots.first().body, kNewBody);
        QCOMPARE(dialog.snapshotList()->count(), 1);
    }

    void listShowsHighestVersionFirstAndPreviewsTheSelection()
    {
        const Note note = storedNote(kNewBody, 5);
        QVERIFY(takeSnapshot(m_state->snapshots(), note.id, 1, kOldBody));
        QVERIFY(takeSnapshot(m_state->snapshots(), note.id, 4, kNewBody));
        VersionHistoryDialog dialog(m_state.get(), note.id);
        QCOMPARE(dialog.snapshotList()->count(), 2);
        QVERIFY(dialog.snapshotList()->item(0)->text().startsWith(QStringLiteral("v4 — ")));
        QVERIFY(dialog.snapshotList()->item(1)->text().startsWith(QStringLiteral("v1 — ")));
        dialog.snapshotList()->setCurrentRow(1);
        QCOMPARE(dialog.preview()->toPlainText(), QStringLiteral("First draft"));
        QVERIFY(dialog.preview()->isReadOnly());
    }

    void restoreKeepsTheOldBodyAndBumpsTheNote()
    {
        const Note note = storedNote(kNewBody, 7);
        QVERIFY(takeSnapshot(m_state->snapshots(), note.id, 3, kOldBody));
        VersionHistoryDialog dialog(m_state.get(), note.id);
        answer(dialog);
        QSignalSpy external(m_state.get(), &AppState::noteUpdatedExternally);

        m_yes = false;
        dialog.snapshotList()->setCurrentRow(0);
        dialog.restoreSelected();
        QCOMPARE(m_asked, 1);
        QCOMPARE(*m_state->notes()->noteById(note.id), note);
        QCOMPARE(m_state->snapshots()->snapshotsForNote(note.id).size(), 1);

        m_yes = true;
        dialog.restoreSelected();
        const Note restored = *m_state->notes()->noteById(note.id);
        QCOMPARE(restored.body, kOldBody);
        QCOMPARE(restored.version, 8);
        QCOMPARE(restored.syncStatus, SyncStatus::Pending);
        const QList<Snapshot> snapshots = m_state->snapshots()->snapshotsForNote(note.id);
        QCOMPARE(snapshots.size(), 2);
        QCOMPARE(snapshots.first().version, 7);
        QCOMPARE(snapshots.first().body, kNewBody);
        QCOMPARE(external.size(), 1);
        QCOMPARE(m_informed, QStringList({"Restored"}));
        QCOMPARE(dialog.snapshotList()->count(), 2);
    }
};

VELM_TEST_MAIN(TestVersionHistoryDialog)
#include "tst_versionhistorydialog.moc"
