#include "velmtest.h"

#include "appstate.h"
#include "noterepository.h"
#include "notelistwidget.h"
#include "trashscreen.h"

#include <QPushButton>
#include <QUuid>

namespace {

QString trashedNote(AppState &state, const QString &text)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    note.syncStatus = SyncStatus::Synced;
    if (!state.notes()->insert(note) || !state.notes()->softDelete(note.id))
        qFatal("could not trash a note");
    return note.id;
}

// Tests share one database: start each from an empty trash.
void clearTrash(AppState &state)
{
    for (const Note &note : state.notes()->trashedNotes())
        QVERIFY(state.notes()->purge(note.id));
}

struct Questions
{
    bool yes = false;
    QStringList texts;
};

void answer(TrashScreen &screen, Questions &questions)
{
    screen.setAskYesNo([&questions](QWidget *, const QString &title, const QString &text) {
        questions.texts << title + QLatin1Char('|') + text;
        return questions.yes;
    });
}

} // namespace

class TestTrashScreen : public QObject
{
    Q_OBJECT

private slots:
    void buttonsFollowTheTrashAndTheSelection()
    {
        AppState state;
        QVERIFY(state.initialize());
        clearTrash(state);
        TrashScreen screen(&state);
        Questions questions;
        answer(screen, questions);
        QCOMPARE(screen.noteList()->count(), 0);
        QVERIFY(!screen.emptyButton()->isEnabled());
        QVERIFY(!screen.restoreButton()->isEnabled());
        screen.emptyTrash();
        QVERIFY(questions.texts.isEmpty());

        trashedNote(state, QStringLiteral("gone"));
        screen.refresh();
        QVERIFY(screen.emptyButton()->isEnabled());
        QVERIFY(!screen.restoreButton()->isEnabled());
        QVERIFY(!screen.deleteButton()->isEnabled());
        screen.noteList()->setCurrentRow(0);
        QVERIFY(screen.restoreButton()->isEnabled());
        QVERIFY(screen.deleteButton()->isEnabled());
    }

    void restoreBringsTheNoteBackPending()
    {
        AppState state;
        QVERIFY(state.initialize());
        clearTrash(state);
        const QString id = trashedNote(state, QStringLiteral("bring me back"));
        TrashScreen screen(&state);
        screen.noteList()->selectNote(id);
        screen.restoreButton()->click();
        const std::optional<Note> note = state.notes()->noteById(id);
        QVERIFY(note);
        QVERIFY(!note->deletedAt);
        QCOMPARE(note->syncStatus, SyncStatus::Pending);
        QCOMPARE(screen.noteList()->count(), 0);
        QVERIFY(!screen.emptyButton()->isEnabled());
    }

    void deletePermanentlyAsksAndOnlyYesPurges()
    {
        AppState state;
        QVERIFY(state.initialize());
        clearTrash(state);
        const QString id = trashedNote(state, QStringLiteral("doomed"));
        TrashScreen screen(&state);
        Questions questions;
        answer(screen, questions);

        screen.noteList()->selectNote(id);
        screen.deleteButton()->click();
        QCOMPARE(questions.texts,
                 QStringList({"Delete Permanently|This note will be permanently deleted. This cannot be undone."}));
        QVERIFY(state.notes()->noteById(id));
        QCOMPARE(state.notes()->trashedNotes().size(), 1);

        questions.yes = true;
        screen.noteList()->selectNote(id);
        screen.deleteButton()->click();
        QVERIFY(!state.notes()->noteById(id));
        QCOMPARE(screen.noteList()->count(), 0);
    }

    void emptyTrashCountsAndPurgesEveryNote()
    {
        AppState state;
        QVERIFY(state.initialize());
        clearTrash(state);
        const int liveBefore = int(state.notes()->allNotes().size());
        trashedNote(state, QStringLiteral("one"));
        trashedNote(state, QStringLiteral("two"));
        trashedNote(state, QStringLiteral("three"));
        TrashScreen screen(&state);
        Questions questions;
        answer(screen, questions);

        screen.emptyButton()->click();
        QCOMPARE(questions.texts,
                 QStringList({"Empty Trash|Permanently delete all 3 notes in trash? This cannot be undone."}));
        QCOMPARE(state.notes()->trashedNotes().size(), 3);
        QCOMPARE(screen.noteList()->count(), 3);

        questions.yes = true;
        screen.emptyButton()->click();
        QVERIFY(state.notes()->trashedNotes().isEmpty());
        QCOMPARE(int(state.notes()->allNotes().size()), liveBefore);
        QCOMPARE(screen.noteList()->count(), 0);
        QVERIFY(!screen.emptyButton()->isEnabled());
    }
};

VELM_TEST_MAIN(TestTrashScreen)
#include "tst_trashscreen.moc"
