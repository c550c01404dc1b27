#include "velmtest.h"

#include "appstate.h"
#include "noteedits.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "snapshotrepository.h"
#include "versionhistorydialog.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QUuid>

namespace {

const QString kOldBody = QStringLiteral(R"([{"insert":"First draft\n"}])");
const QString kNewBody = QStringLiteral(R"([{"insert":"Second draft\n"}])");

Note storedNote(AppState &state, const QString &body, int version)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = body;
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    note.version = version;
    note.syncStatus = SyncStatus::Synced;
    if (!state.notes()->insert(note))
        qFatal("insert failed");
    return note;
}

struct Answers
{
    bool yes = true;
    int asked = 0;
    QStringList informed;
};

void answerWith(VersionHistoryDialog &dialog, Answers &answers)
{
    dialog.hooks().askYesNo = [&answers](QWidget *, const QString &, const QString &) {
        ++answers.asked;
        return answers.yes;
    };
    dialog.hooks().inform = [&answers](QWidget *, const QString &title, const QString &) {
        answers.informed << title;
    };
}

} // namespace

class TestVersionHistoryDialog : public QObject
{
    Q_OBJECT

private slots:
    void emptyHistoryShowsThePlaceholderThatRestoresNothing()
    {
        AppState state;
        QVERIFY(state.initialize());
        const Note note = storedNote(state, kNewBody, 3);
        VersionHistoryDialog dialog(&state, note.id);
        Answers answers;
        answerWith(dialog, answers);

        QCOMPARE(dialog.windowTitle(), QStringLiteral("Version History"));
        QCOMPARE(dialog.snapshotList()->count(), 1);
        QCOMPARE(dialog.snapshotList()->item(0)->text(),
                 QStringLiteral("No snapshots yet. Press Ctrl+S to save one."));
        QVERIFY(!dialog.restoreButton()->isEnabled());

        dialog.snapshotList()->setCurrentRow(0);
        QVERIFY(dialog.restoreButton()->isEnabled());
        dialog.restoreButton()->click();
        QCOMPARE(answers.asked, 0);
        QCOMPARE(*state.notes()->noteById(note.id), note);
        QVERIFY(state.snapshots()->snapshotsForNote(note.id).isEmpty());
    }

    void savingTwiceAtOneVersionKeepsTheLater()
    {
        AppState state;
        QVERIFY(state.initialize());
        Note note = storedNote(state, kOldBody, 2);
        VersionHistoryDialog dialog(&state, note.id);

        dialog.saveSnapshotNow();
        QCOMPARE(dialog.snapshotList()->count(), 1);
        QVERIFY(dialog.snapshotList()->item(0)->text().startsWith(QStringLiteral("v2 — ")));

        // The body changes without a version bump (as a sync merge may do).
        note.body = kNewBody;
        QVERIFY(state.notes()->update(note));
        dialog.saveSnapshotNow();
        const QList<Snapshot> snapshots = state.snapshots()->snapshotsForNote(note.id);
        QCOMPARE(snapshots.size(), 1);
        QCOMPARE(snapshots.first().body, kNewBody);
        QCOMPARE(dialog.snapshotList()->count(), 1);
    }

    void listShowsHighestVersionFirstAndPreviewsTheSelection()
    {
        AppState state;
        QVERIFY(state.initialize());
        const Note note = storedNote(state, kNewBody, 5);
        QVERIFY(takeSnapshot(state.snapshots(), note.id, 1, kOldBody));
        QVERIFY(takeSnapshot(state.snapshots(), note.id, 4, kNewBody));
        VersionHistoryDialog dialog(&state, note.id);
        QCOMPARE(dialog.snapshotList()->count(), 2);
        QVERIFY(dialog.snapshotList()->item(0)->text().startsWith(QStringLiteral("v4 — ")));
        QVERIFY(dialog.snapshotList()->item(1)->text().startsWith(QStringLiteral("v1 — ")));

        dialog.snapshotList()->setCurrentRow(1);
        QCOMPARE(dialog.preview()->toPlainText(), QStringLiteral("First draft"));
        QVERIFY(dialog.preview()->isReadOnly());
    }

    void restoreKeepsTheOldBodyAndBumpsTheNote()
    {
        AppState state;
        QVERIFY(state.initialize());
        const Note note = storedNote(state, kNewBody, 7);
        QVERIFY(takeSnapshot(state.snapshots(), note.id, 3, kOldBody));
        VersionHistoryDialog dialog(&state, note.id);
        Answers answers;
        answerWith(dialog, answers);
        QSignalSpy external(&state, &AppState::noteUpdatedExternally);

        // No: nothing changes.
        answers.yes = false;
        dialog.snapshotList()->setCurrentRow(0);
        dialog.restoreSelected();
        QCOMPARE(answers.asked, 1);
        QCOMPARE(*state.notes()->noteById(note.id), note);
        QCOMPARE(state.snapshots()->snapshotsForNote(note.id).size(), 1);

        answers.yes = true;
        dialog.restoreSelected();
        const Note restored = *state.notes()->noteById(note.id);
        QCOMPARE(restored.body, kOldBody);
        QCOMPARE(restored.version, 8);
        QCOMPARE(restored.syncStatus, SyncStatus::Pending);
        const QList<Snapshot> snapshots = state.snapshots()->snapshotsForNote(note.id);
        QCOMPARE(snapshots.size(), 2);
        QCOMPARE(snapshots.first().version, 7);
        QCOMPARE(snapshots.first().body, kNewBody);
        QCOMPARE(external.size(), 1);
        QCOMPARE(external.first().at(0).toString(), note.id);
        QCOMPARE(answers.informed, QStringList({"Restored"}));
        QCOMPARE(dialog.snapshotList()->count(), 2);
    }
};

VELM_TEST_MAIN(TestVersionHistoryDialog)
#include "tst_versionhistorydialog.moc"
