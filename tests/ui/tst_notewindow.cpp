#include "notewindowregistry.h"
#include "velmtest.h"

#include "appstatefixture.h"
#include "iocommands.h"
#include "launchoptions.h"
#include "mainwindow.h"
#include "noteedits.h"
#include "noteeditor.h"
#include "notesession.h"
#include "notewindow.h"
#include "notewindows.h"
#include "preferencesrepository.h"
#include "singleinstance.h"
#include "snapshotrepository.h"
#include "statusbar.h"

#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>

using namespace VelmTest;

Q_DECLARE_METATYPE(SyncStatus)
Q_DECLARE_METATYPE(ClosingNoteFate)

namespace {

const QString kEmptyBody = QStringLiteral(R"([{"insert":"\n"}])");

std::unique_ptr<AppState> newState()
{
    auto state = emptyState();
    installNoteWindowFactory(state.get());
    return state;
}

NoteWindow *openWindow(AppState *state, const QString &id)
{
    return qobject_cast<NoteWindow *>(NoteWindowRegistry::of(state)->open(id));
}

QStringList sorted(QStringList ids)
{
    ids.sort();
    return ids;
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
        QTest::addColumn<SyncStatus>("status");
        QTest::addColumn<bool>("knownToServer");
        QTest::addColumn<int>("snapshots");
        QTest::addColumn<int>("attachments");
        QTest::addColumn<ClosingNoteFate>("fate");
        const auto pending = SyncStatus::Pending;
        const auto trash = ClosingNoteFate::MoveToTrash;
        QTest::newRow("text is kept") << false << pending << false << 0 << 0 << ClosingNoteFate::Keep;
        QTest::newRow("new and empty") << true << pending << false << 0 << 0 << ClosingNoteFate::Purge;
        QTest::newRow("synced") << true << SyncStatus::Synced << false << 0 << 0 << trash;
        QTest::newRow("seen synced, now pending") << true << pending << true << 0 << 0 << trash;
        QTest::newRow("with history") << true << pending << false << 2 << 0 << trash;
        QTest::newRow("with attachment") << true << pending << false << 0 << 1 << trash;
    }
    void closingFateRules()
    {
        QFETCH(bool, emptyBody);
        QFETCH(SyncStatus, status);
        QFETCH(bool, knownToServer);
        QFETCH(int, snapshots);
        QFETCH(int, attachments);
        QFETCH(ClosingNoteFate, fate);
        const Note note = makeNote(emptyBody ? kEmptyBody : textDelta("words"), QDateTime::currentDateTimeUtc(), status);
        QCOMPARE(int(closingNoteFate(note, knownToServer, snapshots, attachments)), int(fate));
    }

    void newNoteClosedUntouchedLeavesNothing()
    {
        auto state = newState();
        QPointer<NoteWindow> window = qobject_cast<NoteWindow *>(NoteWindowRegistry::of(state.get())->newNoteInWindow());
        QVERIFY(window);
        const QString id = window->noteId();
        QCOMPARE(state->notes()->noteById(id)->body, kEmptyBody);
        QCOMPARE(NoteWindowRegistry::of(state.get())->openIds(), QStringList({id}));

        window->close();
        QVERIFY(state->notes()->allNotes().isEmpty());
        QVERIFY(state->notes()->trashedNotes().isEmpty());
        QVERIFY(NoteWindowRegistry::of(state.get())->openIds().isEmpty());
        QVERIFY(state->preferences()->getString(noteWindowGeometryKey(id)).isEmpty());
    }

    void newNoteWindowTakesTheFirstKeystroke()
    {
        auto state = newState();
        QPointer<NoteWindow> window = qobject_cast<NoteWindow *>(NoteWindowRegistry::of(state.get())->newNoteInWindow());
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClicks(QApplication::focusWidget(), " Hi");
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral(" Hi"));
        window->close();
    }

    void emptiedNoteGoesToTheTrash_data()
    {
        QTest::addColumn<SyncStatus>("status");
        QTest::addColumn<bool>("withSnapshot");
        QTest::newRow("synchronised") << SyncStatus::Synced << false;
        QTest::newRow("with a snapshot") << SyncStatus::Pending << true;
    }
    void emptiedNoteGoesToTheTrash()
    {
        QFETCH(SyncStatus, status);
        QFETCH(bool, withSnapshot);
        auto state = newState();
        const Note note = addNote(*state, "Soon empty", status);
        if (withSnapshot)
            QVERIFY(takeSnapshot(state->snapshots(), note.id, 2, note.body));
        QPointer<NoteWindow> window = openWindow(state.get(), note.id);
        window->editor()->selectAll();
        QTest::keyClick(window->editor(), Qt::Key_Delete);
        window->close();

        const std::optional<Note> stored = state->notes()->noteById(note.id);
        QVERIFY(stored && stored->deletedAt);
        QCOMPARE(stored->syncStatus, SyncStatus::Pending);
        // No snapshot of the empty body.
        QCOMPARE(state->snapshots()->snapshotsForNote(note.id).size(), withSnapshot ? 1 : 0);
    }

    // ---- saving and keeping other views current

    void savingBumpsTheNoteAndClosingKeepsOneSnapshot()
    {
        auto state = newState();
        const Note note = addNote(*state, "Plan");
        QPointer<NoteWindow> window = openWindow(state.get(), note.id);
        QCOMPARE(window->windowTitle(), QStringLiteral("Plan — Velmora Notes"));
        QSignalSpy external(state.get(), &AppState::noteUpdatedExternally);

        typeAtEnd(window->editor(), " B");
        window->saveNote();
        const Note stored = *state->notes()->noteById(note.id);
        QCOMPARE(stored.version, note.version + 1);
        QCOMPARE(stored.syncStatus, SyncStatus::Pending);
        QVERIFY(stored.body.contains("Plan B"));
        QCOMPARE(external.size(), 1);
        QCOMPARE(external.first().at(1).value<QObject *>(), window.data());
        QCOMPARE(window->windowTitle(), QStringLiteral("Plan B — Velmora Notes"));

        window->close();
        const QList<Snapshot> snapshots = state->snapshots()->snapshotsForNote(note.id);
        QCOMPARE(snapshots.size(), 1);
        QCOMPARE(snapshots.first().body, stored.body);

        // Unchanged: no further snapshot.
        openWindow(state.get(), note.id)->close();
        QCOMPARE(state->snapshots()->snapshotsForNote(note.id).size(), 1);
    }

    void editsReachTheOtherViewsButUnsavedTypingStays()
    {
        auto state = newState();
        Note note = addNote(*state, "Shared view");
        MainWindow main(state.get());
        main.showNote(note.id, true);
        QPointer<NoteWindow> window = openWindow(state.get(), note.id);
        typeAtEnd(window->editor(), " changed");
        window->saveNote();
        QCOMPARE(main.editor()->toPlainText(), QStringLiteral("Shared view changed"));

        note.body = textDelta("Two");
        QVERIFY(state->notes()->update(note));
        emit state->noteUpdatedExternally(note.id, this);
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Two"));

        // Unsaved typing survives a change to some other note.
        typeAtEnd(window->editor(), "!");
        addNote(*state, "elsewhere");
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Two!"));
        window->close();
        QVERIFY(state->notes()->noteById(note.id)->body.contains("Two!"));
    }

    void deletingTheNoteElsewhereClosesItsWindow()
    {
        auto state = newState();
        const Note note = addNote(*state, "Short-lived");
        QPointer<QWidget> window = NoteWindowRegistry::of(state.get())->open(note.id);
        QVERIFY(state->notes()->softDelete(note.id));
        QVERIFY(NoteWindowRegistry::of(state.get())->openIds().isEmpty());
        QTRY_VERIFY(window.isNull());
        QVERIFY(state->notes()->noteById(note.id)); // trashed, not purged, by the close
    }

    void reopeningRestoresTheGeometry()
    {
        auto state = newState();
        const Note note = addNote(*state, "Placed");
        QPointer<QWidget> window = NoteWindowRegistry::of(state.get())->open(note.id);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QRect placed(130, 150, 620, 410);
        window->setGeometry(placed);
        QTRY_COMPARE(window->geometry(), placed);
        window->close();
        QTRY_VERIFY(window.isNull());

        window = NoteWindowRegistry::of(state.get())->open(note.id);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->geometry(), placed);
        window->close();
    }

    void titlesReadOnlyNotesAndMissingNotes()
    {
        auto state = newState();
        Note untitled = makeNote(R"([{"insert":"\nsecond line\n"}])");
        Note viewOnly = makeNote(kEmptyBody);
        viewOnly.ownerId = "colleague";
        viewOnly.permission = "view";
        QVERIFY(state->notes()->insert(untitled) && state->notes()->insert(viewOnly));

        QPointer<NoteWindow> window = openWindow(state.get(), untitled.id);
        QCOMPARE(window->windowTitle(), QStringLiteral("Untitled — Velmora Notes"));
        QVERIFY(!window->editor()->isReadOnly());
        window->close();

        // Someone else's empty note is neither edited nor removed by closing.
        window = openWindow(state.get(), viewOnly.id);
        QVERIFY(window->editor()->isReadOnly());
        window->close();
        QCOMPARE(*state->notes()->noteById(viewOnly.id), viewOnly);

        window = openWindow(state.get(), "no-such-note");
        QCOMPARE(window->windowTitle(), QStringLiteral("Velmora Notes"));
        QVERIFY(window->editor()->noteId().isEmpty());
        window->close();
        QVERIFY(NoteWindowRegistry::of(state.get())->openIds().isEmpty());
    }

    void copyExportAndTrashCommands()
    {
        auto state = newState();
        const Note note = addNote(*state, "Groceries");
        QPointer<NoteWindow> window = openWindow(state.get(), note.id);
        std::unique_ptr<QMimeData> clipboard;
        window->hooks().setClipboard = [&clipboard](QMimeData *data) { clipboard.reset(data); };
        QStringList questions;
        bool yes = false;
        window->hooks().askYesNo = [&](QWidget *, const QString &title, const QString &text) {
            questions << title + '|' + text;
            return yes;
        };
        QTemporaryDir dir;
        IoCommands::Dialogs dialogs;
        dialogs.chooseExport = [](QWidget *) {
            return std::optional<IoCommands::ExportChoice>(IoCommands::ExportChoice{ExportFormat::Markdown, false});
        };
        dialogs.saveFileName = [&](QWidget *, const QString &, const QString &name, const QString &) {
            return dir.filePath(name);
        };
        window->ioCommands()->setDialogs(dialogs);

        // Unsaved typing is saved before copying or exporting.
        typeAtEnd(window->editor(), " list");
        window->copyNote(ExportFormat::Markdown);
        QVERIFY(clipboard->text().startsWith("Groceries list"));
        QVERIFY(!clipboard->hasHtml());
        QCOMPARE(state->notes()->noteById(note.id)->version, note.version + 1);
        window->copyNote(ExportFormat::Html);
        QVERIFY(clipboard->html().contains("Groceries list"));
        QVERIFY(clipboard->text().startsWith("Groceries list"));

        typeAtEnd(window->editor(), " now");
        window->exportNote();
        QFile file(dir.filePath("Groceries list now.md"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("Groceries list now"));
        QCOMPARE(window->statusBarWidget()->currentMessage(), "Exported to " + file.fileName());

        window->moveToTrash(true);
        QCOMPARE(questions, QStringList({"Move to Trash|Move \"Groceries list now\" to Trash?"}));
        QVERIFY(!state->notes()->noteById(note.id)->deletedAt);
        yes = true;
        window->moveToTrash(true);
        QVERIFY(state->notes()->noteById(note.id)->deletedAt);
        QTRY_VERIFY(window.isNull());
        QVERIFY(NoteWindowRegistry::of(state.get())->openIds().isEmpty());
    }

    // The window's own shortcuts and the editor's key handling read one table.
    void editorShortcutsWorkInTheWindow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("written");
        const int ctrlShift = int(Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("link") << int(Qt::Key_K) << int(Qt::ControlModifier) << R"("link":"https://example.org")";
        QTest::newRow("center") << int(Qt::Key_E) << ctrlShift << R"("align":"center")";
        QTest::newRow("right") << int(Qt::Key_R) << ctrlShift << R"("align":"right")";
        QTest::newRow("bullet list") << int(Qt::Key_8) << ctrlShift << R"("list":"bullet")";
        QTest::newRow("heading") << int(Qt::Key_2) << int(Qt::ControlModifier) << R"("header":2)";
    }
    void editorShortcutsWorkInTheWindow()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, written);
        auto state = newState();
        const Note note = addNote(*state, "Plan");
        NoteWindow *window = openWindow(state.get(), note.id);
        QVERIFY(QTest::qWaitForWindowActive(window));
        NoteEditor *editor = window->editor();
        editor->setFocus();
        editor->selectAll();
        editor->hooks().askLink = [](const QString &, const NoteEditor::LinkInput &initial) {
            return std::optional<NoteEditor::LinkInput>({initial.text, "https://example.org"});
        };
        QVERIFY(!editor->currentDelta().contains(written));
        QTest::keyClick(editor, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY2(editor->currentDelta().contains(written), qPrintable(editor->currentDelta()));
        window->close();
    }

    void printingTurnsPixelSizesIntoPoints()
    {
        auto state = newState();
        Note note = makeNote(R"([{"insert":"Title"},{"attributes":{"header":1},"insert":"\n"},{"insert":"body\n"}])");
        QVERIFY(state->notes()->insert(note));
        NoteWindow *window = openWindow(state.get(), note.id);
        window->hooks().runPrintDialog = [](QWidget *, QPrinter *) { return true; };
        QStringList pixelSized;
        int fragments = 0;
        window->session()->setDocumentPrinter([&](const QTextDocument &document, QPrinter *) {
            if (document.defaultFont().pixelSize() > 0)
                pixelSized << "default";
            for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
                for (auto it = block.begin(); !it.atEnd(); ++it, ++fragments) {
                    if (it.fragment().charFormat().font().pixelSize() > 0)
                        pixelSized << it.fragment().text();
                }
            }
        });
        window->print();
        QVERIFY(fragments > 0);
        QCOMPARE(pixelSized, QStringList());
        QCOMPARE(window->statusBarWidget()->currentMessage(), QStringLiteral("Printed Title"));
        window->close();
    }

    // ---- the registry

    void oneWindowPerNote()
    {
        auto state = newState();
        const Note a = addNote(*state, "A");
        const Note b = addNote(*state, "B");
        QPointer<QWidget> first = NoteWindowRegistry::of(state.get())->open(a.id);
        QCOMPARE(NoteWindowRegistry::of(state.get())->open(a.id), first.data());
        QVERIFY(first->isVisible());
        QPointer<QWidget> other = NoteWindowRegistry::of(state.get())->open(b.id);
        QCOMPARE(sorted(NoteWindowRegistry::of(state.get())->openIds()), sorted({a.id, b.id}));

        first->close();
        QCOMPARE(NoteWindowRegistry::of(state.get())->openIds(), QStringList({b.id}));
        QTRY_VERIFY(first.isNull());
        QVERIFY(NoteWindowRegistry::of(state.get())->open(a.id));
        QCOMPARE(NoteWindowRegistry::of(state.get())->openIds().size(), 2);

        // A link to another note, as imports write them, opens that note's window.
        other->close();
        QTRY_VERIFY(other.isNull());
        openWindow(state.get(), a.id)->editor()->openLink("velmora-notes://note/" + b.id);
        QCOMPARE(sorted(NoteWindowRegistry::of(state.get())->openIds()), sorted({a.id, b.id}));
    }

    void restoreListsAreTakenOnceAndSkipEmptyParts()
    {
        auto state = newState();
        const Note a = addNote(*state, "A");
        const Note b = addNote(*state, "B");
        state->preferences()->set("restore_note_windows", QString(",%1,,%2,").arg(a.id, b.id));
        QCOMPARE(restoreNoteWindows(state.get()), 2);
        QCOMPARE(sorted(NoteWindowRegistry::of(state.get())->openIds()), sorted({a.id, b.id}));
        QVERIFY(!state->preferences()->get("restore_note_windows"));
        QCOMPARE(restoreNoteWindows(state.get()), 0);

        QVERIFY(!takeRestoreTodosWindow(state.get()));
        state->preferences()->setBool("restore_todos_window", true);
        QVERIFY(takeRestoreTodosWindow(state.get()));
        QVERIFY(!takeRestoreTodosWindow(state.get()));
    }

    void launchOptionsAndMessagesOpenNoteWindows()
    {
        auto state = newState();
        const Note note = addNote(*state, "Asked for");
        QVERIFY(!openLaunchNoteWindow(state.get(), false, QString()));
        QVERIFY(NoteWindowRegistry::of(state.get())->openIds().isEmpty());
        QVERIFY(openLaunchNoteWindow(state.get(), false, note.id));
        QCOMPARE(NoteWindowRegistry::of(state.get())->openIds(), QStringList({note.id}));
        // "--new-note" wins over "--note" and makes a new empty note.
        QVERIFY(openLaunchNoteWindow(state.get(), true, note.id));
        QCOMPARE(state->notes()->allNotes().size(), 2);
        for (const char *message : {"focus", "", "note:"})
            QVERIFY(!handleNoteWindowMessage(state.get(), message));
        QCOMPARE(NoteWindowRegistry::of(state.get())->openIds().size(), 2);
    }

    void secondLaunchOpensOrRaisesThroughTheInstanceSocket()
    {
        auto state = newState();
        const Note note = addNote(*state, "From the command line");
        SingleInstance primary("velmora-notes-instance");
        QVERIFY(primary.tryRun("focus"));
        int focusRequests = 0;
        connect(&primary, &SingleInstance::messageReceived, state.get(), [&](const QString &message) {
            if (!handleNoteWindowMessage(state.get(), message))
                ++focusRequests;
        });
        const auto launch = [](const QStringList &arguments) {
            SingleInstance second("velmora-notes-instance");
            return second.tryRun(LaunchOptions::parse(QStringList{"velmora-notes"} + arguments).instanceMessage());
        };
        QVERIFY(!launch({"--note", note.id}));
        QTRY_COMPARE(NoteWindowRegistry::of(state.get())->openIds(), QStringList({note.id}));
        QPointer<QWidget> window = NoteWindowRegistry::of(state.get())->window(note.id);

        QVERIFY(!launch({"--note", note.id}));
        QVERIFY(!launch({"--new-note"}));
        QTRY_COMPARE(NoteWindowRegistry::of(state.get())->openIds().size(), 2);
        QCOMPARE(NoteWindowRegistry::of(state.get())->window(note.id), window.data()); // raised, not reopened
        QCOMPARE(state->notes()->allNotes().size(), 2);

        QVERIFY(!launch({}));
        QTRY_COMPARE(focusRequests, 1);
        QCOMPARE(NoteWindowRegistry::of(state.get())->openIds().size(), 2);
    }

    void destroyingTheStateClosesAndSavesTheWindows()
    {
        auto state = newState();
        const Note note = addNote(*state, "Last words");
        QPointer<NoteWindow> window = openWindow(state.get(), note.id);
        typeAtEnd(window->editor(), " kept");
        state.reset();
        QTRY_VERIFY(window.isNull());

        AppState reopened;
        QVERIFY(reopened.initialize());
        QVERIFY(reopened.notes()->noteById(note.id)->body.contains("Last words kept"));
    }

    void withoutAFactoryNoNoteIsLeftBehind()
    {
        auto state = emptyState();
        QVERIFY(!NoteWindowRegistry::of(state.get())->newNoteInWindow());
        QVERIFY(!NoteWindowRegistry::of(state.get())->open("whatever"));
        QVERIFY(state->notes()->allNotes().isEmpty());
    }
};

VELM_TEST_MAIN(TestNoteWindow)
#include "tst_notewindow.moc"
