#include "velmtest.h"

#include "noteedits.h"
#include "noteeditor.h"
#include "snapshotrepository.h"
#include "uitestkit.h"
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
    VelmTest::Questions m_questions;
    QStringList m_informed;

    Note storedNote(const QString &body, int version)
    {
        Note note = makeNote(body);
        note.version = version;
        return m_state->notes()->insert(note) ? note : Note();
    }
    void answer(VersionHistoryDialog &dialog)
    {
        dialog.hooks().askYesNo = m_questions.hook();
        dialog.hooks().inform = [this](QWidget *, const QString &title, const QString &) { m_informed << title; };
    }

private slots:
    void init()
    {
        m_state = emptyState();
        m_questions = {};
        m_questions.yes = true;
        m_informed.clear();
    }
    void cleanup() { m_state.reset(); }

    void emptyHistoryShowsThePlaceholderThatRestoresNothing()
    {
        const Note note = storedNote(kNewBody, 3);
        VersionHistoryDialog dialog(m_state.get(), note.id);
        answer(dialog);
        QVERIFY(!dialog.restoreButton()->isEnabled());

        dialog.snapshotList()->setCurrentRow(0);
        dialog.restoreButton()->click();
        QVERIFY(m_questions.asked.isEmpty());
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
    }

    void restoreKeepsTheOldBodyAndBumpsTheNote()
    {
        const Note note = storedNote(kNewBody, 7);
        QVERIFY(takeSnapshot(m_state->snapshots(), note.id, 3, kOldBody));
        VersionHistoryDialog dialog(m_state.get(), note.id);
        answer(dialog);
        QSignalSpy external(m_state.get(), &AppState::noteUpdatedExternally);

        m_questions.yes = false;
        dialog.snapshotList()->setCurrentRow(0);
        dialog.restoreSelected();
        QCOMPARE(m_questions.asked.size(), 1);
        QCOMPARE(*m_state->notes()->noteById(note.id), note);
        QCOMPARE(m_state->snapshots()->snapshotsForNote(note.id).size(), 1);

        m_questions.yes = true;
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
        QCOMPARE(m_informed.size(), 1);
    }
};

VELM_TEST_MAIN(TestVersionHistoryDialog)
#include "tst_versionhistorydialog.moc"
