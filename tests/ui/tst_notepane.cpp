#include "velmtest.h"

#include "notewindowfixture.h"

#include "autosavescheduler.h"
#include "database.h"
#include "delta.h"
#include "editortoolbar.h"
#include "mainwindow.h"
#include "notecommands.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notepane.h"
#include "notelistwidget.h"
#include "notewindow.h"
#include "notewindowregistry.h"
#include "notewindows.h"
#include "snapshotrepository.h"
#include "statusbar.h"
#include "uitestkit.h"

#include <QPrinter>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

using namespace VelmTest;

// The note pane as the main window and a note window show it: each check runs
// in both.

namespace {

void inEitherWindow()
{
    QTest::addColumn<bool>("inMain");
    QTest::newRow("note window") << false;
    QTest::newRow("main window") << true;
}

} // namespace

class TestNotePane : public QObject
{
    Q_OBJECT

private slots:
    void editsOnlyWhatTheNoteAndTheDatabaseAllow_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("permission");
        QTest::addColumn<bool>("readOnlyDatabase");
        QTest::addColumn<bool>("editable");
        QTest::newRow("own note") << "" << "" << false << true;
        QTest::newRow("shared to edit") << "u2" << "edit" << false << true;
        QTest::newRow("shared to read") << "u2" << "view" << false << false;
        QTest::newRow("read-only database") << "" << "" << true << false;
    }
    void editsOnlyWhatTheNoteAndTheDatabaseAllow()
    {
        QFETCH(QString, owner);
        QFETCH(QString, permission);
        QFETCH(bool, readOnlyDatabase);
        QFETCH(bool, editable);
        auto state = newState();
        const QString notebookId = addNotebook(*state, "Work");
        Note note = makeNote(textDelta("Text"));
        note.ownerId = owner;
        note.permission = permission;
        note.notebookId = notebookId;
        QVERIFY(state->notes()->insert(note));
        state->setReadOnly(readOnlyDatabase);
        QWidget window;
        NotePane pane(state.get(), &window, &window);
        pane.showNote(note, false);
        QCOMPARE(pane.notebookName(), QStringLiteral("Work"));
        QCOMPARE(pane.editor()->isReadOnly(), !editable);
        QCOMPARE(pane.toolbar()->isEnabled(), editable);
        typeAtEnd(pane.editor(), "!");
        QCOMPARE(pane.save().has_value(), editable);
        QCOMPARE(storedText(*state, note.id), editable ? QStringLiteral("Text!\n") : QStringLiteral("Text\n"));
    }

    void saveOverTextReplacedMeanwhileKeepsBoth_data() { inEitherWindow(); }
    void saveOverTextReplacedMeanwhileKeepsBoth()
    {
        QFETCH(bool, inMain);
        auto state = newState();
        Note note = addNote(*state, "Draft");
        MainWindow main(state.get());
        main.showNote(note.id, true);
        NoteEditor *editor = inMain ? main.editor() : openWindow(state.get(), note.id)->editor();
        const auto save = [&] { inMain ? main.saveCurrentNote() : openWindow(state.get(), note.id)->saveNote(); };
        typeAtEnd(editor, " mine");
        // A merge writes silently: the editor still holds its unsaved typing.
        note.body = textDelta("Theirs");
        note.version = 7;
        {
            const QSignalBlocker quiet(state->notes());
            QVERIFY(state->notes()->update(note));
        }
        save();
        QCOMPARE(storedText(*state, note.id), QStringLiteral("Theirs\n"));
        QCOMPARE(editor->toPlainText(), QStringLiteral("Theirs"));
        QStringList bodies;
        for (const Note &n : state->notes()->allNotes())
            bodies << deltaPlainText(n.body);
        QCOMPARE(bodies.size(), 2);
        QCOMPARE(bodies.filter(QStringLiteral("(conflict ")).filter(QStringLiteral("mine")).size(), 1);

        // The editor now works on the stored text: the next save is an ordinary one.
        typeAtEnd(editor, " too");
        save();
        QCOMPARE(storedText(*state, note.id), QStringLiteral("Theirs too\n"));
        QCOMPARE(state->notes()->allNotes().size(), 2);
    }

    void shiftTabOutdentsAndKeepsTheFocus_data() { inEitherWindow(); }
    void shiftTabOutdentsAndKeepsTheFocus()
    {
        QFETCH(bool, inMain);
        auto state = newState();
        Note note = makeNote(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
                             R"({"insert":"b"},{"attributes":{"indent":1,"list":"bullet"},"insert":"\n"}])");
        QVERIFY(state->notes()->insert(note));
        MainWindow main(state.get());
        QWidget *window = &main;
        NoteEditor *editor = nullptr;
        if (inMain) {
            main.show();
            main.showNote(note.id, true);
            editor = main.editor();
        } else {
            NoteWindow *noteWindow = openWindow(state.get(), note.id);
            window = noteWindow;
            editor = noteWindow->editor();
        }
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        editor->setFocus();
        editor->moveCursor(QTextCursor::End);
        QTRY_COMPARE(QApplication::focusWidget(), editor);
        QTest::keyClick(window->windowHandle(), Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY2(!editor->currentDelta().contains("indent"), qPrintable(editor->currentDelta()));
        QCOMPARE(QApplication::focusWidget(), editor);
        QTest::keyClick(window->windowHandle(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), editor);
        QTest::keyClick(window->windowHandle(), 'c');
        QCOMPARE(editor->toPlainText(), QStringLiteral("a\nbc"));
        QVERIFY(editor->currentDelta().contains(R"({"insert":"bc"},{"attributes":{"list":"bullet"})"));
        window->close();
    }

    // A copy as HTML holds its pictures inside; other files and unreadable pictures stay out.
    void printingKeepsListsInPoints_data() { inEitherWindow(); }
    void printingKeepsListsInPoints()
    {
        QFETCH(bool, inMain);
        auto state = newState();
        Note note = makeNote(R"([{"insert":"Title"},{"attributes":{"header":1},"insert":"\n"},{"insert":"body"},{"attributes":{"list":"bullet"},"insert":"\n"}])");
        QVERIFY(state->notes()->insert(note));
        MainWindow main(state.get());
        main.showNote(note.id, true);
        main.hooks().runPrintDialog = [](QPrinter *) { return true; };
        NoteWindow *window = inMain ? nullptr : openWindow(state.get(), note.id);
        if (window)
            window->hooks().runPrintDialog = [](QWidget *, QPrinter *) { return true; };
        QStringList pixelSized;
        int fragments = 0;
        bool listed = false;
        (inMain ? main.session() : window->session())->setDocumentPrinter([&](const QTextDocument &document, QPrinter *) {
            listed = document.find("body").block().textList() != nullptr;
            if (document.defaultFont().pixelSize() > 0)
                pixelSized << "default";
            for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
                for (auto it = block.begin(); !it.atEnd(); ++it, ++fragments) {
                    if (it.fragment().charFormat().font().pixelSize() > 0)
                        pixelSized << it.fragment().text();
                }
            }
        });
        inMain ? main.noteCommands()->print() : window->print();
        QVERIFY(fragments > 0 && listed);
        QCOMPARE(pixelSized, QStringList());
        QCOMPARE((inMain ? main.statusBarWidget() : window->statusBarWidget())->currentMessage(),
                 QStringLiteral("Printed Title"));
    }

    // Steps "edit@t" (a save at minute t) and "check@t" (the timer at minute t).
    void refusedSaveIsKeptAndRetried_data() { inEitherWindow(); }
    void refusedSaveIsKeptAndRetried()
    {
        QFETCH(bool, inMain);
        Questions questions; // outlives the windows that ask
        auto state = newState();
        const Note note = addNote(*state, "Kept");
        const Note other = addNote(*state, "Other");
        std::unique_ptr<MainWindow> main = inMain ? std::make_unique<MainWindow>(state.get()) : nullptr;
        NoteWindow *window = inMain ? nullptr : openWindow(state.get(), note.id);
        if (main)
            main->showNote(note.id, true);
        (main ? main->hooks().askYesNo : window->hooks().askYesNo) = questions.hook();
        QWidget *top = main ? static_cast<QWidget *>(main.get()) : window;
        QPointer<NoteEditor> editor = top->findChild<NoteEditor *>();
        auto *statusBar = top->findChild<StatusBar *>();
        editor->autosave()->setTiming({10, 50, 20, 40});
        QSqlQuery sql(state->database()->database());
        QVERIFY(sql.exec("CREATE TEMP TRIGGER refuse BEFORE UPDATE ON main.notes BEGIN SELECT RAISE(ABORT, 'refused'); END"));

        typeAtEnd(editor, " typed");
        QTRY_VERIFY(editor->isSaveFailing());
        QVERIFY(!editor->isSaved());
        QVERIFY(statusBar->wordCountLabelText().endsWith(QStringLiteral("Not saved — retrying")));

        // Closing, or picking another note, asks first; No keeps the text on screen.
        top->close();
        QCOMPARE(questions.asked.size(), 1);
        QVERIFY(editor);
        if (main) {
            main->noteList()->selectNote(other.id);
            QCOMPARE(questions.asked.size(), 2);
            QCOMPARE(editor->noteId(), note.id);
            QCOMPARE(main->noteList()->selectedNoteId(), note.id);
        }
        typeAtEnd(editor, " more");
        QCOMPARE(editor->toPlainText(), QStringLiteral("Kept typed more"));
        QVERIFY(statusBar->wordCountLabelText().endsWith(QStringLiteral("Not saved — retrying")));
        QCOMPARE(storedText(*state, note.id), QStringLiteral("Kept\n"));

        QVERIFY(sql.exec("DROP TRIGGER refuse"));
        QTRY_VERIFY(editor->isSaved());
        QVERIFY(!editor->isSaveFailing());
        QCOMPARE(storedText(*state, note.id), QStringLiteral("Kept typed more\n"));

        // "Save Snapshot" stores the note, then exactly one version of it.
        const qsizetype versions = state->snapshots()->snapshotsForNote(note.id).size();
        typeAtEnd(editor, " now");
        for (QAction *action : top->findChildren<QAction *>()) {
            if (action->shortcut() == QKeySequence(QKeySequence::Save))
                action->trigger();
        }
        const Note stored = *state->notes()->noteById(note.id);
        QCOMPARE(deltaPlainText(stored.body), QStringLiteral("Kept typed more now\n"));
        const QList<Snapshot> snapshots = state->snapshots()->snapshotsForNote(note.id);
        QCOMPARE(snapshots.size(), versions + 1);
        QCOMPARE(snapshots.first().body, stored.body);
        QCOMPARE(statusBar->wordCountLabelText(), QStringLiteral("Words: 4 · Saved"));
    }
};

VELM_TEST_MAIN(TestNotePane)
#include "tst_notepane.moc"
