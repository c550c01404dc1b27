#include "velmtest.h"

#include "appstate.h"
#include "iocommands.h"
#include "launchoptions.h"
#include "mainwindow.h"
#include "noteedits.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "notewindow.h"
#include "notewindows.h"
#include "preferencesrepository.h"
#include "singleinstance.h"
#include "snapshotrepository.h"
#include "statusbar.h"

#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTextCursor>
#include <QUuid>

#include <memory>

namespace {

const QString kEmptyBody = QStringLiteral(R"([{"insert":"\n"}])");

Note makeNote(const QString &text, SyncStatus status = SyncStatus::Synced)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    note.version = 3;
    note.syncStatus = status;
    return note;
}

std::unique_ptr<AppState> newState()
{
    auto state = std::make_unique<AppState>();
    if (!state->initialize())
        qFatal("database did not open");
    installNoteWindowFactory(state.get());
    return state;
}

NoteWindow *windowOf(QWidget *widget)
{
    return qobject_cast<NoteWindow *>(widget);
}

void emptyEditor(NoteEditor *editor)
{
    QTextCursor cursor = editor->textCursor();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    editor->setTextCursor(cursor);
}

} // namespace

class TestNoteWindow : public QObject
{
    Q_OBJECT

private slots:
    // ---- what becomes of an emptied note

    void closingFateRules_data()
    {
        QTest::addColumn<bool>("emptyBody");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("knownToServer");
        QTest::addColumn<int>("snapshots");
        QTest::addColumn<int>("attachments");
        QTest::addColumn<int>("fate");
        const int keep = int(ClosingNoteFate::Keep);
        const int trash = int(ClosingNoteFate::MoveToTrash);
        const int purge = int(ClosingNoteFate::Purge);
        QTest::newRow("text is kept") << false << int(SyncStatus::Pending) << false << 0 << 0 << keep;
        QTest::newRow("new and empty") << true << int(SyncStatus::Pending) << false << 0 << 0 << purge;
        QTest::newRow("synced") << true << int(SyncStatus::Synced) << false << 0 << 0 << trash;
        QTest::newRow("seen synced, now pending") << true << int(SyncStatus::Pending) << true << 0 << 0 << trash;
        QTest::newRow("with history") << true << int(SyncStatus::Pending) << false << 2 << 0 << trash;
        QTest::newRow("with attachment") << true << int(SyncStatus::Pending) << false << 0 << 1 << trash;
    }
    void closingFateRules()
    {
        QFETCH(bool, emptyBody);
        QFETCH(int, status);
        QFETCH(bool, knownToServer);
        QFETCH(int, snapshots);
        QFETCH(int, attachments);
        QFETCH(int, fate);
        Note note = makeNote(QStringLiteral("words"), SyncStatus(status));
        if (emptyBody)
            note.body = kEmptyBody;
        QCOMPARE(int(closingNoteFate(note, knownToServer, snapshots, attachments)), fate);
    }

    void newNoteClosedUntouchedLeavesNothing()
    {
        auto state = newState();
        state->setCurrentNotebook(QString());
        const int before = int(state->notes()->allNotes().size());
        QPointer<NoteWindow> window = windowOf(state->newNoteInWindow());
        QVERIFY(window);
        const QString id = window->noteId();
        const std::optional<Note> created = state->notes()->noteById(id);
        QVERIFY(created);
        QCOMPARE(created->body, kEmptyBody);
        QCOMPARE(created->notebookId, QString());
        QCOMPARE(state->openNoteWindowIds(), QStringList({id}));

        window->close();
        QVERIFY(!state->notes()->noteById(id));
        QVERIFY(state->notes()->trashedNotes().isEmpty());
        QCOMPARE(int(state->notes()->allNotes().size()), before);
        QVERIFY(state->openNoteWindowIds().isEmpty());
        QVERIFY(state->preferences()->getString(noteWindowGeometryKey(id)).isEmpty());
    }

    void emptiedSyncedNoteGoesToTheTrash()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Was on the server"));
        QVERIFY(state->notes()->insert(note));
        QPointer<NoteWindow> window = windowOf(state->openNoteWindow(note.id));
        QVERIFY(window);
        emptyEditor(window->editor());
        window->close();

        const std::optional<Note> stored = state->notes()->noteById(note.id);
        QVERIFY(stored);
        QVERIFY(stored->deletedAt);
        QCOMPARE(stored->syncStatus, SyncStatus::Pending);
        // No snapshot of an empty body either.
        QVERIFY(state->snapshots()->snapshotsForNote(note.id).isEmpty());
    }

    void emptiedNoteWithHistoryGoesToTheTrash()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Draft with history"), SyncStatus::Pending);
        QVERIFY(state->notes()->insert(note));
        QVERIFY(takeSnapshot(state->snapshots(), note.id, 2, note.body));
        QPointer<NoteWindow> window = windowOf(state->openNoteWindow(note.id));
        emptyEditor(window->editor());
        window->close();

        const std::optional<Note> stored = state->notes()->noteById(note.id);
        QVERIFY(stored);
        QVERIFY(stored->deletedAt);
        QCOMPARE(state->snapshots()->snapshotsForNote(note.id).size(), 1);
    }

    // ---- saving and keeping other views current

    void savingBumpsTheNoteAndClosingKeepsOneSnapshot()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Plan"));
        QVERIFY(state->notes()->insert(note));
        QPointer<NoteWindow> window = windowOf(state->openNoteWindow(note.id));
        QCOMPARE(window->windowTitle(), QStringLiteral("Plan — Velmora Notes"));
        QSignalSpy external(state.get(), &AppState::noteUpdatedExternally);

        window->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->editor(), QStringLiteral(" B"));
        window->saveNote();
        std::optional<Note> stored = state->notes()->noteById(note.id);
        QCOMPARE(stored->version, note.version + 1);
        QCOMPARE(stored->syncStatus, SyncStatus::Pending);
        QVERIFY(stored->body.contains(QStringLiteral("Plan B")));
        QCOMPARE(external.size(), 1);
        QCOMPARE(external.first().at(1).value<QObject *>(), window.data());
        QCOMPARE(window->windowTitle(), QStringLiteral("Plan B — Velmora Notes"));

        window->close();
        const QList<Snapshot> snapshots = state->snapshots()->snapshotsForNote(note.id);
        QCOMPARE(snapshots.size(), 1);
        QCOMPARE(snapshots.first().version, note.version + 1);
        QVERIFY(snapshots.first().body.contains(QStringLiteral("Plan B")));

        // Unchanged: no further snapshot.
        window = windowOf(state->openNoteWindow(note.id));
        window->close();
        QCOMPARE(state->snapshots()->snapshotsForNote(note.id).size(), 1);
    }

    void editInWindowReloadsTheMainWindowEditor()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Shared view"));
        QVERIFY(state->notes()->insert(note));
        MainWindow main(state.get());
        main.showNote(note.id, true);
        QCOMPARE(main.editor()->toPlainText(), QStringLiteral("Shared view"));
        QVERIFY(main.editor()->isSaved());

        QPointer<NoteWindow> window = windowOf(state->openNoteWindow(note.id));
        window->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->editor(), QStringLiteral(" changed"));
        window->saveNote();
        QCOMPARE(main.editor()->toPlainText(), QStringLiteral("Shared view changed"));
        window->close();
    }

    void windowReloadsOnOtherWritersButKeepsUnsavedTyping()
    {
        auto state = newState();
        Note note = makeNote(QStringLiteral("One"));
        QVERIFY(state->notes()->insert(note));
        QPointer<NoteWindow> window = windowOf(state->openNoteWindow(note.id));

        note.body = QStringLiteral(R"([{"insert":"Two\n"}])");
        QVERIFY(state->notes()->update(note));
        emit state->noteUpdatedExternally(note.id, this);
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Two"));

        // Unsaved typing survives a change to some other note.
        window->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->editor(), QStringLiteral("!"));
        QVERIFY(state->notes()->insert(makeNote(QStringLiteral("elsewhere"))));
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Two!"));
        window->close();
        QVERIFY(state->notes()->noteById(note.id)->body.contains(QStringLiteral("Two!")));
    }

    void deletingTheNoteElsewhereClosesItsWindow()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Short-lived"));
        QVERIFY(state->notes()->insert(note));
        QPointer<QWidget> window = state->openNoteWindow(note.id);
        QVERIFY(window);
        QVERIFY(state->notes()->softDelete(note.id));
        QVERIFY(state->openNoteWindowIds().isEmpty());
        QTRY_VERIFY(window.isNull());
        // Trashed, not purged, by the close.
        QVERIFY(state->notes()->noteById(note.id));
    }

    void reopeningRestoresTheGeometry()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Placed"));
        QVERIFY(state->notes()->insert(note));
        QPointer<QWidget> window = state->openNoteWindow(note.id);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QRect placed(130, 150, 620, 410);
        window->setGeometry(placed);
        QTRY_COMPARE(window->geometry(), placed);
        window->close();
        QVERIFY(!state->preferences()->getString(noteWindowGeometryKey(note.id)).isEmpty());
        QTRY_VERIFY(window.isNull());

        window = state->openNoteWindow(note.id);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->geometry(), placed);
        window->close();
    }

    void titlesReadOnlyNotesAndMissingNotes()
    {
        auto state = newState();
        Note untitled = makeNote(QString());
        untitled.body = QStringLiteral(R"([{"insert":"\nsecond line\n"}])");
        QVERIFY(state->notes()->insert(untitled));
        Note viewOnly = makeNote(QString());
        viewOnly.body = kEmptyBody;
        viewOnly.ownerId = QStringLiteral("colleague");
        viewOnly.permission = QStringLiteral("view");
        QVERIFY(state->notes()->insert(viewOnly));

        QPointer<NoteWindow> window = windowOf(state->openNoteWindow(untitled.id));
        QCOMPARE(window->windowTitle(), QStringLiteral("Untitled — Velmora Notes"));
        QVERIFY(!window->editor()->isReadOnly());
        window->close();

        // Someone else's empty note is neither edited nor removed by closing.
        window = windowOf(state->openNoteWindow(viewOnly.id));
        QVERIFY(window->editor()->isReadOnly());
        window->close();
        QCOMPARE(*state->notes()->noteById(viewOnly.id), viewOnly);

        window = windowOf(state->openNoteWindow(QStringLiteral("no-such-note")));
        QCOMPARE(window->windowTitle(), QStringLiteral("Velmora Notes"));
        QVERIFY(window->editor()->noteId().isEmpty());
        window->close();
        QVERIFY(state->openNoteWindowIds().isEmpty());
    }

    void copyAndTrashCommands()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Groceries"));
        QVERIFY(state->notes()->insert(note));
        QPointer<NoteWindow> window = windowOf(state->openNoteWindow(note.id));
        std::unique_ptr<QMimeData> clipboard;
        window->hooks().setClipboard = [&clipboard](QMimeData *data) { clipboard.reset(data); };
        QStringList questions;
        bool yes = false;
        window->hooks().askYesNo = [&](QWidget *, const QString &title, const QString &text) {
            questions << title + QLatin1Char('|') + text;
            return yes;
        };

        // Unsaved typing is saved before copying as Markdown.
        window->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->editor(), QStringLiteral(" list"));
        window->copyNote(ExportFormat::Markdown);
        QVERIFY(clipboard);
        QVERIFY(clipboard->text().startsWith(QStringLiteral("Groceries list")));
        QVERIFY(!clipboard->hasHtml());
        QCOMPARE(state->notes()->noteById(note.id)->version, note.version + 1);
        window->copyNote(ExportFormat::Html);
        QVERIFY(clipboard->html().contains(QStringLiteral("Groceries list")));
        QVERIFY(clipboard->text().startsWith(QStringLiteral("Groceries list")));

        window->moveToTrash(true);
        QCOMPARE(questions, QStringList({"Move to Trash|Move \"Groceries list\" to Trash?"}));
        QVERIFY(!state->notes()->noteById(note.id)->deletedAt);
        QVERIFY(window->isVisible());

        yes = true;
        window->moveToTrash(true);
        QVERIFY(state->notes()->noteById(note.id)->deletedAt);
        QTRY_VERIFY(window.isNull());
        QVERIFY(state->openNoteWindowIds().isEmpty());
    }

    void exportWritesTheSavedNote()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Export me"));
        QVERIFY(state->notes()->insert(note));
        QPointer<NoteWindow> window = windowOf(state->openNoteWindow(note.id));
        QTemporaryDir dir;
        QString proposed;
        IoCommands::Dialogs dialogs;
        dialogs.chooseExport = [](QWidget *) {
            return std::optional<IoCommands::ExportChoice>(IoCommands::ExportChoice{ExportFormat::Markdown, false});
        };
        dialogs.saveFileName = [&](QWidget *, const QString &, const QString &name, const QString &) {
            proposed = name;
            return dir.filePath(name);
        };
        window->ioCommands()->setDialogs(dialogs);

        window->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->editor(), QStringLiteral(" now"));
        window->exportNote();
        QCOMPARE(proposed, QStringLiteral("Export me now.md"));
        QFile file(dir.filePath(proposed));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("Export me now"));
        QCOMPARE(window->statusBarWidget()->currentMessage(),
                 QStringLiteral("Exported to %1").arg(dir.filePath(proposed)));
        window->close();
    }

    // ---- the registry

    void oneWindowPerNote()
    {
        auto state = newState();
        const Note a = makeNote(QStringLiteral("A"));
        const Note b = makeNote(QStringLiteral("B"));
        QVERIFY(state->notes()->insert(a));
        QVERIFY(state->notes()->insert(b));

        QPointer<QWidget> first = state->openNoteWindow(a.id);
        QVERIFY(first);
        QCOMPARE(state->openNoteWindow(a.id), first.data());
        QVERIFY(first->isVisible());
        QPointer<QWidget> other = state->openNoteWindow(b.id);
        QStringList ids = state->openNoteWindowIds();
        ids.sort();
        QStringList expected{a.id, b.id};
        expected.sort();
        QCOMPARE(ids, expected);

        first->close();
        QCOMPARE(state->openNoteWindowIds(), QStringList({b.id}));
        QTRY_VERIFY(first.isNull());
        QPointer<QWidget> third = state->openNoteWindow(a.id);
        QVERIFY(third);
        QCOMPARE(state->openNoteWindowIds().size(), 2);
        third->close();
        other->close();
        QVERIFY(state->openNoteWindowIds().isEmpty());
    }

    void restoreListSkipsEmptyPartsAndIsRemoved()
    {
        auto state = newState();
        const Note a = makeNote(QStringLiteral("A"));
        const Note b = makeNote(QStringLiteral("B"));
        QVERIFY(state->notes()->insert(a));
        QVERIFY(state->notes()->insert(b));
        state->preferences()->set(QStringLiteral("restore_note_windows"), QStringLiteral(",%1,,%2,").arg(a.id, b.id));

        QCOMPARE(restoreNoteWindows(state.get()), 2);
        QStringList ids = state->openNoteWindowIds();
        ids.sort();
        QStringList expected{a.id, b.id};
        expected.sort();
        QCOMPARE(ids, expected);
        QVERIFY(!state->preferences()->get(QStringLiteral("restore_note_windows")));
        QCOMPARE(restoreNoteWindows(state.get()), 0);
    }

    void todosWindowRestoreIsTakenOnce()
    {
        auto state = newState();
        QVERIFY(!takeRestoreTodosWindow(state.get()));
        state->preferences()->setBool(QStringLiteral("restore_todos_window"), true);
        QVERIFY(takeRestoreTodosWindow(state.get()));
        QVERIFY(!state->preferences()->get(QStringLiteral("restore_todos_window")));
        QVERIFY(!takeRestoreTodosWindow(state.get()));
    }

    void launchAndInstanceMessagesOpenNoteWindows()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Asked for"));
        QVERIFY(state->notes()->insert(note));

        QVERIFY(!openLaunchNoteWindow(state.get(), false, QString()));
        QVERIFY(state->openNoteWindowIds().isEmpty());
        QVERIFY(openLaunchNoteWindow(state.get(), false, note.id));
        QCOMPARE(state->openNoteWindowIds(), QStringList({note.id}));
        QPointer<QWidget> window = state->noteWindow(note.id);

        // A second launch with "--note ID" raises the same window.
        QVERIFY(handleNoteWindowMessage(state.get(), QStringLiteral("note:") + note.id));
        QCOMPARE(state->noteWindow(note.id), window.data());
        QCOMPARE(state->openNoteWindowIds().size(), 1);

        // "--new-note" wins over "--note" and makes a new empty note.
        const int before = int(state->notes()->allNotes().size());
        QVERIFY(openLaunchNoteWindow(state.get(), true, note.id));
        QCOMPARE(int(state->notes()->allNotes().size()), before + 1);
        QVERIFY(handleNoteWindowMessage(state.get(), QStringLiteral("new-note")));
        QCOMPARE(int(state->notes()->allNotes().size()), before + 2);
        QCOMPARE(state->openNoteWindowIds().size(), 3);

        QVERIFY(!handleNoteWindowMessage(state.get(), QStringLiteral("focus")));
        QVERIFY(!handleNoteWindowMessage(state.get(), QString()));
        QVERIFY(!handleNoteWindowMessage(state.get(), QStringLiteral("note:")));
        QCOMPARE(state->openNoteWindowIds().size(), 3);
    }

    void secondLaunchOpensOrRaisesThroughTheInstanceSocket()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("From the command line"));
        QVERIFY(state->notes()->insert(note));
        SingleInstance primary(QStringLiteral("velmora-notes-instance"));
        QVERIFY(primary.tryRun(QStringLiteral("focus")));
        int focusRequests = 0;
        connect(&primary, &SingleInstance::messageReceived, state.get(), [&](const QString &message) {
            if (!handleNoteWindowMessage(state.get(), message))
                ++focusRequests;
        });

        const auto launch = [](const QStringList &arguments) {
            SingleInstance second(QStringLiteral("velmora-notes-instance"));
            return second.tryRun(LaunchOptions::parse(QStringList{"velmora-notes"} + arguments).instanceMessage());
        };
        QVERIFY(!launch({"--note", note.id}));
        QTRY_COMPARE(state->openNoteWindowIds(), QStringList({note.id}));
        QPointer<QWidget> window = state->noteWindow(note.id);

        QVERIFY(!launch({"--note", note.id}));
        QTest::qWait(200);
        QCOMPARE(state->openNoteWindowIds(), QStringList({note.id}));
        QCOMPARE(state->noteWindow(note.id), window.data());

        const int before = int(state->notes()->allNotes().size());
        QVERIFY(!launch({"--new-note"}));
        QTRY_COMPARE(state->openNoteWindowIds().size(), 2);
        QCOMPARE(int(state->notes()->allNotes().size()), before + 1);

        QVERIFY(!launch({}));
        QTRY_COMPARE(focusRequests, 1);
        QCOMPARE(state->openNoteWindowIds().size(), 2);
    }

    void destroyingTheStateClosesAndSavesTheWindows()
    {
        auto state = newState();
        const Note note = makeNote(QStringLiteral("Last words"));
        QVERIFY(state->notes()->insert(note));
        QPointer<NoteWindow> window = windowOf(state->openNoteWindow(note.id));
        window->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->editor(), QStringLiteral(" kept"));
        QVERIFY(!window->editor()->isSaved());
        state.reset();
        QTRY_VERIFY(window.isNull());

        AppState reopened;
        QVERIFY(reopened.initialize());
        QVERIFY(reopened.notes()->noteById(note.id)->body.contains(QStringLiteral("Last words kept")));
    }

    void withoutAFactoryNoNoteIsLeftBehind()
    {
        AppState state;
        QVERIFY(state.initialize());
        const int before = int(state.notes()->allNotes().size());
        QVERIFY(!state.newNoteInWindow());
        QVERIFY(!state.openNoteWindow(QStringLiteral("whatever")));
        QCOMPARE(int(state.notes()->allNotes().size()), before);
    }
};

VELM_TEST_MAIN(TestNoteWindow)
#include "tst_notewindow.moc"
