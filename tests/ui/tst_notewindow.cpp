#include "notewindowregistry.h"
#include "velmtest.h"

#include "notewindowfixture.h"

#include "attachmentrepository.h"
#include "autosavescheduler.h"
#include "database.h"
#include "delta.h"
#include "iocommands.h"
#include "mainwindow.h"
#include "noteedits.h"
#include "noteeditor.h"
#include "notelistwidget.h"
#include "notesession.h"
#include "notewindow.h"
#include "notewindows.h"
#include "preferencesrepository.h"
#include "snapshotrepository.h"
#include "statusbar.h"
#include "uitestkit.h"

#include <QBuffer>
#include <QImage>
#include <QPointer>
#include <QPrinter>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

using namespace VelmTest;

Q_DECLARE_METATYPE(SyncStatus)
Q_DECLARE_METATYPE(ClosingNoteFate)

namespace {

const QString kEmptyBody = QStringLiteral(R"([{"insert":"\n"}])");

QStringList sorted(QStringList ids)
{
    ids.sort();
    return ids;
}

QStringList openIds(AppState *state)
{
    return sorted(NoteWindowRegistry::of(state)->openIds());
}

} // namespace

class TestNoteWindow : public QObject
{
    Q_OBJECT

private slots:
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
        const Note note = makeNote(emptyBody ? kEmptyBody : textDelta("words"), QDateTime::currentDateTimeUtc(), status);
        QTEST(closingNoteFate(note, knownToServer, snapshots, attachments), "fate");
    }

    void newNoteWindowTakesTheFirstKeystrokeAndLeavesNothingUntouched()
    {
        auto state = newState();
        QPointer<NoteWindow> window = qobject_cast<NoteWindow *>(NoteWindowRegistry::of(state.get())->newNoteInWindow());
        QVERIFY(QTest::qWaitForWindowActive(window));
        const QString id = window->noteId();
        QCOMPARE(state->notes()->noteById(id)->body, kEmptyBody);
        QTest::keyClicks(QApplication::focusWidget(), " Hi");
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral(" Hi"));
        window->editor()->selectAll();
        QTest::keyClick(window->editor(), Qt::Key_Delete);
        window->close();
        QVERIFY(state->notes()->allNotes().isEmpty());
        QVERIFY(state->notes()->trashedNotes().isEmpty());
        QVERIFY(NoteWindowRegistry::of(state.get())->openIds().isEmpty());
        QVERIFY(state->preferences()->getString(noteWindowGeometryKey(id)).isEmpty());
    }

    void emptiedNoteGoesToTheTrash()
    {
        for (const auto &[status, withSnapshot] :
             {std::pair{SyncStatus::Synced, false}, std::pair{SyncStatus::Pending, true}}) {
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
    }

    void savingReachesTheOtherViewsAndClosingKeepsOneSnapshot()
    {
        auto state = newState();
        Note note = addNote(*state, "Plan");
        MainWindow main(state.get());
        main.showNote(note.id, true);
        QPointer<NoteWindow> window = openWindow(state.get(), note.id);
        QSignalSpy external(state.get(), &AppState::noteUpdatedExternally);
        typeAtEnd(window->editor(), " B");
        window->saveNote();
        const Note stored = *state->notes()->noteById(note.id);
        QCOMPARE(stored.version, note.version + 1);
        QCOMPARE(stored.syncStatus, SyncStatus::Pending);
        QCOMPARE(external.size(), 1);
        QCOMPARE(main.editor()->toPlainText(), QStringLiteral("Plan B"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Plan B — Velmora Notes"));

        // A change made elsewhere reaches the window; one to another note leaves unsaved typing alone.
        note.body = textDelta("Two");
        QVERIFY(state->notes()->update(note));
        emit state->noteUpdatedExternally(note.id, this);
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Two"));
        typeAtEnd(window->editor(), "!");
        addNote(*state, "elsewhere");
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Two!"));

        window->close();
        QCOMPARE(storedText(*state, note.id), QStringLiteral("Two!\n"));
        QCOMPARE(state->snapshots()->snapshotsForNote(note.id).size(), 1);
        openWindow(state.get(), note.id)->close();
        QCOMPARE(state->snapshots()->snapshotsForNote(note.id).size(), 1);
    }

    void aMergeArrivingInAnOpenNoteKeepsThePlaceAndTheTyping()
    {
        auto state = newState();
        Note note = addNote(*state, "first line");
        note.body = R"([{"insert":"first line"},{"insert":"\n"},{"insert":"second line"},{"insert":"\n"}])";
        QVERIFY(state->notes()->update(note));
        QPointer<NoteWindow> window = openWindow(state.get(), note.id);
        NoteEditor *editor = window->editor();
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(5); // after "first"
        editor->setTextCursor(cursor);
        QTest::keyClicks(editor, "!");
        // The engine asks views to store their typing, then writes a body
        // merged from it and another device's line.
        emit state->syncAboutToMerge();
        QCOMPARE(storedText(*state, note.id), QStringLiteral("first! line\nsecond line\n"));
        note = *state->notes()->noteById(note.id);
        note.body = R"([{"insert":"first! line"},{"insert":"\n"},{"insert":"from elsewhere"},{"insert":"\n"},{"insert":"second line"},{"insert":"\n"}])";
        QVERIFY(state->notes()->update(note));
        emit state->noteUpdatedExternally(note.id, this);
        QCOMPARE(editor->toPlainText(), QStringLiteral("first! line\nfrom elsewhere\nsecond line"));
        QCOMPARE(editor->textCursor().position(), 6);
        // Undo takes back the arrival, then the typing.
        editor->document()->undo();
        QCOMPARE(editor->toPlainText(), QStringLiteral("first! line\nsecond line"));
        editor->document()->undo();
        QCOMPARE(editor->toPlainText(), QStringLiteral("first line\nsecond line"));
        window->close();
    }

    void windowsCloseWithTheirNoteAndReopenWhereTheyWere()
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

        // Trashed elsewhere: the window goes, the note stays in the trash.
        QVERIFY(state->notes()->softDelete(note.id));
        QVERIFY(NoteWindowRegistry::of(state.get())->openIds().isEmpty());
        QTRY_VERIFY(window.isNull());
        QVERIFY(state->notes()->noteById(note.id));
    }

    void readOnlyAndMissingNotesAreLeftAlone()
    {
        auto state = newState();
        Note viewOnly = makeNote(kEmptyBody);
        viewOnly.ownerId = "colleague";
        viewOnly.permission = "view";
        QVERIFY(state->notes()->insert(viewOnly));
        QPointer<NoteWindow> window = openWindow(state.get(), viewOnly.id);
        QVERIFY(window->editor()->isReadOnly());
        window->close();
        QCOMPARE(*state->notes()->noteById(viewOnly.id), viewOnly);

        window = openWindow(state.get(), "no-such-note");
        QVERIFY(window->editor()->noteId().isEmpty());
        window->close();
        QVERIFY(NoteWindowRegistry::of(state.get())->openIds().isEmpty());
        QCOMPARE(state->notes()->allNotes().size(), 1);
    }

    void copyExportAndTrashSaveTheTypingFirst()
    {
        auto state = newState();
        const Note note = addNote(*state, "Groceries");
        QPointer<NoteWindow> window = openWindow(state.get(), note.id);
        std::unique_ptr<QMimeData> clipboard;
        window->hooks().setClipboard = [&clipboard](QMimeData *data) { clipboard.reset(data); };
        Questions questions;
        window->hooks().askYesNo = questions.hook();
        QTemporaryDir dir;
        IoCommands::Dialogs dialogs;
        dialogs.chooseExport = [](QWidget *) {
            return std::optional<IoCommands::ExportChoice>(IoCommands::ExportChoice{ExportFormat::Markdown, false});
        };
        dialogs.saveFileName = [&](QWidget *, const QString &, const QString &name, const QString &) {
            return dir.filePath(name);
        };
        window->ioCommands()->setDialogs(dialogs);

        typeAtEnd(window->editor(), " list");
        window->copyNote(ExportFormat::Html);
        QVERIFY(clipboard->html().contains("Groceries list"));
        QVERIFY(clipboard->text().startsWith("Groceries list"));
        QCOMPARE(state->notes()->noteById(note.id)->version, note.version + 1);

        typeAtEnd(window->editor(), " now");
        window->exportNote();
        QFile file(dir.filePath("Groceries list now.md"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("Groceries list now"));

        window->moveToTrash(true);
        QCOMPARE(questions.asked.size(), 1);
        QVERIFY(!state->notes()->noteById(note.id)->deletedAt);
        questions.yes = true;
        window->moveToTrash(true);
        QVERIFY(state->notes()->noteById(note.id)->deletedAt);
        QTRY_VERIFY(window.isNull());
    }

    // Shift+Tab typed into the window (not handed to the editor) outdents a
    // nested item, and at the outermost level still leaves the focus where
    // the next typing goes.
    void copyAsHtmlCarriesPictures()
    {
        auto state = newState();
        const QByteArray png = [] {
            QImage image(3, 2, QImage::Format_RGB32);
            image.fill(Qt::red);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return bytes;
        }();
        const auto attach = [&](const QString &id, const QString &mime, const QByteArray &bytes) {
            Attachment a;
            a.id = id;
            a.filename = id;
            a.mimeType = mime;
            a.sizeBytes = bytes.size();
            a.createdAt = QDateTime::currentDateTimeUtc();
            QVERIFY(bytes.isEmpty() || state->attachments()->saveFile(id, bytes));
            a.noteId = QStringLiteral("n1");
            QVERIFY(state->attachments()->insert(a));
        };
        Note note = makeNote(QStringLiteral(R"([{"insert":"Pictures"},{"insert":"\n"},{"insert":{"image":"%1"}},)"
                                            R"({"insert":{"image":"%2"}},{"insert":{"velmora-notes-attachment":"%3"}},{"insert":"\n"}])")
                                 .arg(attachmentUrl("pic"), attachmentUrl("gone"), attachmentUrl("doc")));
        note.id = QStringLiteral("n1");
        QVERIFY(state->notes()->insert(note));
        attach("pic", "image/png", png);
        attach("gone", "image/png", {});
        attach("doc", "application/pdf", "%PDF-1.4");
        NoteSession session(state.get());
        session.setNote(note.id, note.body);
        const std::unique_ptr<QMimeData> copied(session.copyAs(ExportFormat::Html, QString(), QString()));
        const QString html = copied->html();
        QCOMPARE(html.count("<img "), 1);
        QVERIFY2(html.contains("src=\"data:image/png;base64," + png.toBase64() + '"'), qPrintable(html));
        QVERIFY(!html.contains("velmora-notes://") && !html.contains("<a "));
        QVERIFY(copied->text().startsWith("Pictures"));
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
        NoteWindow *window = openWindow(state.get(), addNote(*state, "Plan").id);
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

    // Both windows print the note in points, its lists kept as lists.
    void historyIsKeptWithoutAsking_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("versions"); // the bodies kept, newest first
        QTest::newRow("nothing edited, nothing kept") << QStringList{"check@30"} << QStringList{};
        QTest::newRow("a pause after edits keeps the last text")
            << QStringList{"edit@1", "edit@1.5", "check@3", "check@3.5"} << QStringList{"edit@1.5"};
        QTest::newRow("no version while the pause is short") << QStringList{"edit@1", "check@2.9"} << QStringList{};
        QTest::newRow("a long session keeps one every ten minutes")
            << QStringList{"edit@4", "edit@5.5", "edit@7", "edit@8.5", "edit@10", "edit@11.5", "edit@13", "edit@14.5",
                           "edit@16", "edit@17.5", "edit@19", "edit@20.5"}
            << QStringList{"edit@20.5", "edit@10"};
    }
    void historyIsKeptWithoutAsking()
    {
        QFETCH(QStringList, steps);
        auto state = newState();
        const Note note = makeNote(kEmptyBody);
        QVERIFY(state->notes()->insert(note));
        NoteSession session(state.get());
        qint64 now = 0;
        session.setClock([&now] { return now; });
        session.setNote(note.id, note.body);
        for (const QString &step : steps) {
            now = qint64(step.section('@', 1).toDouble() * 60'000);
            if (step.startsWith("edit"))
                QCOMPARE(session.save(textDelta(step)), NoteSession::SaveResult::Saved);
            else
                session.takeAutoSnapshotIfDue();
        }
        QStringList versions;
        for (const Snapshot &snapshot : state->snapshots()->snapshotsForNote(note.id))
            versions << deltaPlainText(snapshot.body).trimmed();
        QTEST(versions, "versions");
    }

    void oneWindowPerNote()
    {
        auto state = newState();
        const Note a = addNote(*state, "A");
        const Note b = addNote(*state, "B");
        QPointer<QWidget> first = NoteWindowRegistry::of(state.get())->open(a.id);
        QCOMPARE(NoteWindowRegistry::of(state.get())->open(a.id), first.data());
        QVERIFY(first->isVisible());
        first->close();
        QTRY_VERIFY(first.isNull());
        QVERIFY(NoteWindowRegistry::of(state.get())->openIds().isEmpty());
        // A link to another note, as imports write them, opens that note's window.
        openWindow(state.get(), a.id)->editor()->openLink("velmora-notes://note/" + b.id);
        QCOMPARE(openIds(state.get()), sorted({a.id, b.id}));
    }

    void restoreListsAreTakenOnceAndSkipEmptyParts()
    {
        auto state = newState();
        const Note a = addNote(*state, "A");
        const Note b = addNote(*state, "B");
        state->preferences()->set("restore_note_windows", QString(",%1,,%2,").arg(a.id, b.id));
        QCOMPARE(restoreNoteWindows(state.get()), 2);
        QCOMPARE(openIds(state.get()), sorted({a.id, b.id}));
        QCOMPARE(restoreNoteWindows(state.get()), 0);
        QVERIFY(!takeRestoreTodosWindow(state.get()));
        state->preferences()->setBool("restore_todos_window", true);
        QVERIFY(takeRestoreTodosWindow(state.get()));
        QVERIFY(!takeRestoreTodosWindow(state.get()));
    }

    void launchOptionsAndMessagesOpenOrRaiseNoteWindows()
    {
        auto state = newState();
        const Note note = addNote(*state, "Asked for");
        QVERIFY(!openLaunchNoteWindow(state.get(), false, QString()));
        QVERIFY(openLaunchNoteWindow(state.get(), false, note.id));
        QPointer<QWidget> window = NoteWindowRegistry::of(state.get())->window(note.id);
        QVERIFY(handleNoteWindowMessage(state.get(), "note:" + note.id));
        QCOMPARE(NoteWindowRegistry::of(state.get())->window(note.id), window.data()); // raised, not reopened
        // "--new-note" wins over "--note" and makes a new empty note.
        QVERIFY(openLaunchNoteWindow(state.get(), true, note.id));
        QVERIFY(handleNoteWindowMessage(state.get(), "new-note"));
        QCOMPARE(state->notes()->allNotes().size(), 3);
        for (const char *message : {"focus", "", "note:"})
            QVERIFY(!handleNoteWindowMessage(state.get(), message));
        QCOMPARE(NoteWindowRegistry::of(state.get())->openIds().size(), 3);
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
        QCOMPARE(storedText(reopened, note.id), QStringLiteral("Last words kept\n"));
    }

    // A refused write is never shown as saved, is retried, and closing or
    // switching notes asks before the text goes; Ctrl+S then stores one version.
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
