#include "velmtest.h"

#include "mainwindow.h"

#include "findbar.h"
#include "notebookcommands.h"
#include "notecommands.h"
#include "notebooklistwidget.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "panelayout.h"
#include "preferencesrepository.h"
#include "searchscreen.h"
#include "snapshotrepository.h"
#include "statusbar.h"
#include "thememanager.h"
#include "uitestkit.h"
#include "welcomepage.h"
#include "client.h"
#include "authclient.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>

using namespace VelmTest;

Q_DECLARE_METATYPE(MainWindow::Screen)

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppState> m_state;
    Questions m_questions;

    QString note(const QString &text, int minutesAgo, const QString &notebookId = QString())
    {
        Note note = makeNote(textDelta(text), QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo));
        note.notebookId = notebookId;
        return m_state->notes()->insert(note) ? note.id : QString();
    }
    std::unique_ptr<MainWindow> makeWindow()
    {
        auto window = std::make_unique<MainWindow>(m_state.get());
        window->hooks().askYesNo = m_questions.hook();
        window->notebookCommands()->hooks().askNewName = [] { return QStringLiteral("Fresh"); };
        window->notebookCommands()->hooks().askRename = [](const QString &) { return QStringLiteral("Renamed"); };
        window->hooks().setClipboard = [](QMimeData *data) { std::unique_ptr<QMimeData> owned(data); };
        return window;
    }
    static QStringList listIds(const MainWindow &window)
    {
        QStringList ids;
        for (int i = 0; i < window.noteList()->count(); ++i)
            ids << window.noteList()->idAt(i);
        return ids;
    }
    static QString chipText(MainWindow &window)
    {
        return window.headerBar()->findChild<QPushButton *>(QStringLiteral("notebookChip"))->text();
    }

private slots:
    void init()
    {
        qputenv("NOTES_DATA_DIR", (m_dir.path() + '/' + newId()).toUtf8());
        QSettings().clear();
        m_state = emptyState();
        m_questions = {};
    }
    void cleanup() { m_state.reset(); }

    void leavingANoteSavesItAndTakesOneSnapshot()
    {
        const QString a = note("Alpha", 1);
        const QString b = note("Beta", 2);
        auto w = makeWindow();
        w->noteList()->selectNote(a);
        typeAtEnd(w->editor(), " plus");
        w->noteList()->selectNote(b);
        QCOMPARE(w->editor()->noteId(), b);
        const Note saved = *m_state->notes()->noteById(a);
        QCOMPARE(deltaPlainText(saved.body), QStringLiteral("Alpha plus\n"));
        QCOMPARE(saved.version, 2);
        QCOMPARE(saved.syncStatus, SyncStatus::Pending);
        QCOMPARE(m_state->snapshots()->snapshotsForNote(a).size(), 1);
        // Back and away again without edits writes nothing more.
        w->noteList()->selectNote(a);
        w->noteList()->selectNote(b);
        QCOMPARE(m_state->snapshots()->snapshotsForNote(a).size(), 1);

        // Closing the window leaves the shown note the same way.
        typeAtEnd(w->editor(), " time");
        w->close();
        QCOMPARE(storedText(*m_state, b), QStringLiteral("Beta time\n"));
        QCOMPARE(m_state->snapshots()->snapshotsForNote(b).size(), 1);
    }

    void autosaveUpdatesItsOneListRow()
    {
        const QString newer = note("Newer", 1);
        const QString a = note("Draft", 5);
        auto w = makeWindow();
        w->noteList()->selectNote(a);
        QAbstractItemModel *model = w->noteList()->model();
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        QSignalSpy moved(model, &QAbstractItemModel::rowsMoved);
        typeAtEnd(w->editor(), "ed");
        QTRY_COMPARE_WITH_TIMEOUT(storedText(*m_state, a), QStringLiteral("Drafted\n"), 3000);
        QVERIFY(w->statusBarWidget()->wordCountLabelText().endsWith(QStringLiteral(" · Saved")));
        QCOMPARE(reset.size(), 0);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(moved.size(), 1);
        // Moved to the top with its new title, still the current row.
        QCOMPARE(listIds(*w), (QStringList{a, newer}));
        QCOMPARE(model->index(0, 0).data(NoteListWidget::TitleRole).toString(), QStringLiteral("Drafted"));
        QCOMPARE(w->noteList()->selectedNoteId(), a);
    }

    void newNoteGoesIntoTheCurrentNotebook()
    {
        const QString notebook = addNotebook(*m_state, "Work");
        m_state->setCurrentNotebook(notebook);
        auto w = makeWindow();
        QVERIFY(w->isShowingWelcomePage());
        w->createNewNote();
        const QString id = w->editor()->noteId();
        QCOMPARE(w->noteList()->selectedNoteId(), id);
        QCOMPARE(m_state->currentNoteId(), id);
        QVERIFY(!w->isShowingWelcomePage());
        QCOMPARE(m_state->notes()->noteById(id)->notebookId, notebook);
    }

    void deletingSelectsTheNextNoteUntilNoneIsLeft()
    {
        const QString first = note("First", 1);
        const QString middle = note("Middle", 2);
        const QString last = note("Last", 3);
        auto w = makeWindow();
        w->noteList()->selectNote(middle);
        // Confirmation answered No keeps it.
        w->noteCommands()->trashSelected(true);
        QCOMPARE(m_questions.asked.size(), 1);
        QVERIFY(!m_state->notes()->noteById(middle)->deletedAt);
        w->noteCommands()->trashSelected(false);
        QCOMPARE(listIds(*w), (QStringList{first, last}));
        QCOMPARE(w->editor()->noteId(), last);
        w->noteCommands()->trashSelected(false);
        QCOMPARE(w->editor()->noteId(), first);
        w->noteCommands()->trashSelected(false);
        QVERIFY(m_state->notes()->noteById(first)->deletedAt);
        QVERIFY(w->editor()->isReadOnly());
        QVERIFY(w->isShowingWelcomePage());
        // Nothing left: nothing asked.
        w->noteCommands()->trashSelected(true);
        QCOMPARE(m_questions.asked.size(), 1);
    }

    void droppedNoteMovesToTheNotebookOrOutOfIt()
    {
        const QString notebook = addNotebook(*m_state, "Travel");
        const QString id = note("Tickets", 1);
        auto w = makeWindow();
        QVERIFY(showExposed(w.get()));
        w->noteList()->selectNote(id);
        NotebookListWidget *list = w->notebookList();
        QVERIFY(dropNoteId(list, list->visualItemRect(list->item(1)).center(), id.toUtf8()));
        QCOMPARE(m_state->notes()->noteById(id)->notebookId, notebook);
        QCOMPARE(chipText(*w), QStringLiteral("Travel"));
        QCOMPARE(list->item(1)->data(NotebookListWidget::CountRole).toInt(), 1);
        QCOMPARE(list->currentRow(), 0); // still where the user is: All Notes
        QVERIFY(dropNoteId(list, list->visualItemRect(list->item(0)).center(), id.toUtf8()));
        QCOMPARE(m_state->notes()->noteById(id)->notebookId, QString());
    }

    // Typing refreshes once after the pause; steno mode lists oldest first but search keeps its rank.
    void searchAndStenoOrder()
    {
        const QString newest = note("walrus new", 1);
        const QString middle = note("otter", 2);
        const QString oldest = note("walrus walrus old", 3);
        auto w = makeWindow();
        QSignalSpy refreshes(w->findChild<QTimer *>(QStringLiteral("searchTimer")), &QTimer::timeout);
        QTest::keyClicks(w->searchField(), QStringLiteral("otter"));
        QCOMPARE(w->noteList()->count(), 3);
        QTRY_COMPARE(listIds(*w), QStringList{middle});
        QCOMPARE(refreshes.count(), 1);
        w->searchField()->clear();
        m_state->preferences()->setBool(QStringLiteral("steno_mode"), true);
        QCOMPARE(listIds(*w), (QStringList{oldest, middle, newest}));
        w->searchField()->setText(QStringLiteral("walrus"));
        QTRY_COMPARE(w->noteList()->count(), 2);
        const QList<Note> searched = m_state->notes()->search().notes(QStringLiteral("walrus"));
        QCOMPARE(listIds(*w), (QStringList{searched.at(0).id, searched.at(1).id}));
        w->searchField()->clear();
        m_state->preferences()->setBool(QStringLiteral("steno_mode"), false);
        QTRY_COMPARE(listIds(*w), (QStringList{newest, middle, oldest}));
    }

    void focusModeKeepsTheNormalWidthsForLater()
    {
        QSettings().setValue(QStringLiteral("mainWindow/normalSplitterSizes"), QStringLiteral("220,300,860"));
        auto w = makeWindow();
        w->resize(1380, 800);
        QVERIFY(showExposed(w.get()));
        w->paneLayout()->apply();
        const QList<int> normal = w->splitter()->sizes();
        QCOMPARE(normal.mid(0, 2), (QList<int>{220, 300}));
        w->paneLayout()->setFocusMode(true);
        QVERIFY(w->sidebarPane()->isHidden() && w->middlePane()->isHidden());
        // A splitter move in focus mode does not touch the normal widths.
        w->splitter()->setSizes({0, 0, 1380});
        emit w->splitter()->splitterMoved(0, 1);
        w->paneLayout()->setFocusMode(false);
        QCOMPARE(w->splitter()->sizes(), normal);

        // A move in the normal layout and focus mode outlive the window.
        w->splitter()->setSizes({220, 280, 878});
        emit w->splitter()->splitterMoved(220, 1);
        w->paneLayout()->setFocusMode(true);
        w->close();
        auto again = makeWindow();
        QVERIFY(again->paneLayout()->focusMode());
        QCOMPARE(again->paneLayout()->normalSizes(), (QList<int>{220, 280, 878}));
    }

    void headerFollowsTheShownNoteAndActsOnIt()
    {
        const QString notebook = addNotebook(*m_state, "Garden");
        const QString id = note("Tomatoes\nwater daily", 1, notebook);
        m_state->notes()->setIncludeInTodos(id, false);
        auto w = makeWindow();
        QVERIFY(w->headerBar()->isHidden());
        w->noteList()->selectNote(id);
        QVERIFY(!w->headerBar()->isHidden());
        QCOMPARE(chipText(*w), QStringLiteral("Garden"));
        QVERIFY(!w->headerBar()->includeInTodos());

        // Copies carry the note as it is being edited.
        typeAtEnd(w->editor(), " now");
        QString text;
        w->hooks().setClipboard = [&text](QMimeData *data) { text = std::unique_ptr<QMimeData>(data)->text(); };
        emit w->headerBar()->copyAsPlainTextRequested();
        QCOMPARE(text, QStringLiteral("Tomatoes\nwater daily now"));

        emit w->headerBar()->includeInTodosToggled(true);
        QVERIFY(m_state->notes()->includeInTodos(id));
        emit w->headerBar()->notebookChipClicked();
        QCOMPARE(m_state->currentNotebookId(), notebook);
        QCOMPARE(w->notebookList()->currentRow(), 1);
        emit w->headerBar()->deleteRequested();
        QVERIFY(m_state->notes()->noteById(id)->deletedAt);
    }

    void notebookCreateRenameDelete()
    {
        const QString kept = note("Keep me", 1);
        auto w = makeWindow();
        emit w->notebookList()->newNotebookRequested();
        const QList<Notebook> notebooks = m_state->notebooks()->allNotebooks();
        QCOMPARE(notebooks.size(), 1);
        const QString id = notebooks.first().id;
        QCOMPARE(m_state->currentNotebookId(), id);
        QCOMPARE(w->noteList()->count(), 0);

        m_state->notes()->moveToNotebook(kept, id);
        w->notebookCommands()->rename(id);
        const Notebook renamed = *m_state->notebooks()->notebookById(id);
        QCOMPARE(renamed.name, QStringLiteral("Renamed"));
        QCOMPARE(renamed.syncStatus, SyncStatus::Pending);

        m_questions.yes = true;
        w->notebookCommands()->remove(id);
        QVERIFY(m_state->notebooks()->allNotebooks().isEmpty());
        QCOMPARE(m_state->notes()->noteById(kept)->notebookId, QString());
        QCOMPARE(m_state->currentNotebookId(), QString());
        QCOMPARE(w->noteList()->count(), 1);
    }

    void noteContextMenuMovesAndTrashes()
    {
        const QString notebook = addNotebook(*m_state, "Ideas");
        const QString id = note("Spark", 1);
        auto w = makeWindow();
        w->noteList()->selectNote(id);
        auto menu = w->noteCommands()->createContextMenu(id);
        findAction(menu->actions(), QStringLiteral("Ideas"))->trigger();
        QCOMPARE(m_state->notes()->noteById(id)->notebookId, notebook);
        findAction(menu->actions(), QStringLiteral("Move to Trash"))->trigger();
        QVERIFY(m_state->notes()->noteById(id)->deletedAt);
        QCOMPARE(w->editor()->noteId(), QString());
    }

    void screensOpenOnceOverTheWindowAndCloseOnEscape_data()
    {
        QTest::addColumn<MainWindow::Screen>("screen");
        QTest::newRow("search") << MainWindow::Screen::Search;
        QTest::newRow("to-dos") << MainWindow::Screen::Todos;
        QTest::newRow("trash") << MainWindow::Screen::Trash;
    }
    void screensOpenOnceOverTheWindowAndCloseOnEscape()
    {
        QFETCH(MainWindow::Screen, screen);
        auto w = makeWindow();
        QVERIFY(showExposed(w.get()));
        w->openScreen(screen);
        QWidget *window = w->screenWindow(screen);
        QVERIFY(window && window->isWindow());
        QVERIFY(w->frameGeometry().contains(window->frameGeometry()));
        QVERIFY(w->frameGeometry().topLeft() != window->frameGeometry().topLeft());
        w->openScreen(screen);
        QCOMPARE(w->screenWindow(screen), window);
        QCOMPARE(w->notebookList()->currentRow(), 0);

        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!window->isVisible());
    }

    void noteChosenInTheSearchScreenShowsHere()
    {
        const QString a = note("Lighthouse keeper", 1);
        const QString b = note("Harbour", 2);
        auto w = makeWindow();
        w->noteList()->selectNote(b);
        typeAtEnd(w->editor(), " master");
        w->openScreen(MainWindow::Screen::Search);
        auto *search = qobject_cast<SearchScreen *>(w->screenWindow(MainWindow::Screen::Search));
        search->searchField()->setText(QStringLiteral("lighthouse"));
        QTRY_COMPARE(search->noteList()->count(), 1);
        search->noteList()->selectNote(a);
        QCOMPARE(w->editor()->noteId(), a);
        QCOMPARE(w->noteList()->selectedNoteId(), a);
        QCOMPARE(storedText(*m_state, b), QStringLiteral("Harbour master\n"));
    }

    void fontScaleAndThemeReachTheList()
    {
        note("One", 1);
        note("Two", 2);
        auto w = makeWindow();
        w->resize(1280, 800);
        QVERIFY(showExposed(w.get()));
        const auto secondRowTop = [&w] { return w->noteList()->visualRect(w->noteList()->noteModel()->index(1)).top(); };
        const int normalTop = secondRowTop();
        m_state->themeManager()->setFontScale(160);
        QVERIFY(secondRowTop() > normalTop);
        m_state->themeManager()->setFontScale(100);
        m_state->preferences()->set(QStringLiteral("theme_mode"), QStringLiteral("dark"));
        QTRY_VERIFY(w->noteList()->palette().color(QPalette::Base).lightness() < 128);
        m_state->preferences()->set(QStringLiteral("theme_mode"), QStringLiteral("light"));
    }

    void closeToTrayHidesUntilQuit()
    {
        m_state->preferences()->setBool(QStringLiteral("close_to_tray"), true);
        auto w = makeWindow();
        w->hooks().systemTrayAvailable = [] { return true; };
        w->updateTray();
        auto *tray = w->findChild<QSystemTrayIcon *>();
        QVERIFY(tray && tray->isVisible());
        QVERIFY(showExposed(w.get()));
        QVERIFY(!w->close());
        QVERIFY(w->isHidden());

        // Quitting remembers which windows were open.
        w->show();
        w->openScreen(MainWindow::Screen::Todos);
        findAction(tray->contextMenu()->actions(), QStringLiteral("Quit"))->trigger();
        QVERIFY(w->isHidden());
        QVERIFY(m_state->preferences()->getBool(QStringLiteral("restore_todos_window")));
        m_state->preferences()->setBool(QStringLiteral("close_to_tray"), false);
        QTRY_VERIFY(!w->findChild<QSystemTrayIcon *>());
    }

    void withoutATrayClosingClosesAndTheWindowComesBack()
    {
        m_state->preferences()->setBool(QStringLiteral("close_to_tray"), true);
        auto w = makeWindow();
        bool tray = true;
        w->hooks().systemTrayAvailable = [&tray] { return tray; };
        w->updateTray();
        QVERIFY(showExposed(w.get()));
        // The panel holding the tray quit: closing must not leave the window unreachable.
        tray = false;
        QVERIFY(w->close());
        w->bringToFront();
        QVERIFY(w->isVisible());
        w->showMinimized();
        w->bringToFront();
        QVERIFY(!w->isMinimized());
    }

    void welcomePageFollowsTheSignIn()
    {
        auto w = makeWindow();
        auto *auth = m_state->accountClient()->authClient();
        QList<QUrl> opened;
        auth->setUrlOpener([&opened](const QUrl &url) { return opened << url, true; });
        QVERIFY(w->isShowingWelcomePage());
        auto *page = w->findChild<WelcomePage *>();
        page->findChild<QPushButton *>(QStringLiteral("welcomeSignIn"))->click();
        QCOMPARE(opened.size(), 1);
        QVERIFY(page->signInText().startsWith("Continue in your browser"));
        auto *cancel = page->findChild<QPushButton *>(QStringLiteral("welcomeCancelSignIn"));
        QVERIFY(cancel->isVisibleTo(page));
        cancel->click();
        QVERIFY(!auth->isSigningIn());
        QCOMPARE(w->statusBar()->currentMessage(), QStringLiteral("Sign-in cancelled."));
        emit auth->loginFailed(QStringLiteral("Cannot reach the server"));
        QCOMPARE(page->signInText(), QStringLiteral("Sign-in failed: Cannot reach the server"));
        QVERIFY(!cancel->isVisibleTo(page));
    }

    void emptyListsSayWhy_data()
    {
        QTest::addColumn<bool>("inNotebook");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("text");
        QTest::newRow("all notes") << false << "" << "No notes yet.";
        QTest::newRow("notebook") << true << "" << "This notebook is empty.";
        QTest::newRow("search") << false << "zebra" << "No notes match \u201Czebra\u201D.";
    }
    void emptyListsSayWhy()
    {
        QFETCH(bool, inNotebook);
        QFETCH(QString, search);
        QFETCH(QString, text);
        if (inNotebook)
            m_state->setCurrentNotebook(addNotebook(*m_state, "Empty"));
        auto w = makeWindow();
        w->searchField()->setText(search);
        w->refreshNoteList();
        QCOMPARE(w->noteList()->count(), 0);
        QVERIFY2(w->noteList()->emptyText().startsWith(text), qPrintable(w->noteList()->emptyText()));
    }

    // Each menu entry keeps its place, key and reach; "" is the key with no entry.
    void menuEntriesKeepTheirKeys_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<bool>("everywhere");
        using K = QKeySequence;
        const auto row = [](const char *menu, const char *entry, const K &key = {}, bool everywhere = false) {
            QTest::addRow("%s %s", menu, entry) << menu << entry << key << everywhere;
        };
        row("&File", "New Note", K(Qt::CTRL | Qt::Key_N), true);
        row("&File", "New Note in Window", K(Qt::CTRL | Qt::SHIFT | Qt::Key_N), true);
        row("&File", "Save Snapshot", K::Save);
        row("&File", "New Notebook…");
        row("&File", "Import...");
        row("&File", "Export...", K(Qt::CTRL | Qt::Key_E));
        row("&File", "Export All Notes as Markdown...");
        row("&File", "Print...", K::Print);
        row("&File", "Print Preview...", K(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
        row("&File", "Backup Database...");
        row("&File", "Restore Database...");
        row("&File", "Preferences…", K(Qt::CTRL | Qt::Key_Comma), true);
        row("&File", "Quit", K::Quit);
        row("&Edit", "Undo", K::Undo);
        row("&Edit", "Redo", K::Redo);
        row("&Edit", "Preferences…");
        row("&Note", "Move to Notebook...", K(Qt::CTRL | Qt::Key_M));
        row("&Note", "Version History...", K(Qt::CTRL | Qt::Key_H));
        row("&Note", "Open in New Window", K(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
        row("&Note", "Show Its Notebook");
        row("&Note", "Move to Trash…", K(Qt::CTRL | Qt::Key_D), true);
        row("&View", "To-Dos", K(Qt::CTRL | Qt::ALT | Qt::Key_T));
        row("&View", "Find", K(Qt::CTRL | Qt::ALT | Qt::Key_F));
        row("&View", "Search All Notes...", K(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
        row("&View", "Trash", K(Qt::CTRL | Qt::ALT | Qt::Key_D));
        row("&View", "Shared with Me", K(Qt::CTRL | Qt::ALT | Qt::Key_S));
        row("&View", "Shared by Me", K(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_S));
        row("&View", "Next Pane", K(Qt::Key_F6));
        row("&View", "Previous Pane", K(Qt::SHIFT | Qt::Key_F6));
        row("&View", "Focus Mode", K(Qt::CTRL | Qt::Key_Backslash));
        row("&View", "Show Notebook Sidebar", K(Qt::CTRL | Qt::ALT | Qt::Key_B));
        row("&View", "Sync Now", K(Qt::CTRL | Qt::ALT | Qt::Key_R));
        row("&View", "Force Full Resync…");
        row("&Help", "About Velmora Notes");
        row("&Help", "About Qt");
        row("", "", K(Qt::CTRL | Qt::Key_Backspace), true);
    }
    void menuEntriesKeepTheirKeys()
    {
        QFETCH(QString, menu);
        QFETCH(QString, entry);
        QFETCH(QKeySequence, key);
        QFETCH(bool, everywhere);
        auto w = makeWindow();
        QList<QAction *> actions = w->actions();
        if (QAction *top = findAction(w->menuBar()->actions(), menu); top && top->menu())
            actions = top->menu()->actions();
        QAction *action = findAction(actions, entry);
        QVERIFY(action && action->isEnabled() && action->isVisible());
        QCOMPARE(action->shortcut(), key);
        QCOMPARE(action->shortcutContext() == Qt::ApplicationShortcut, everywhere);
    }

    // The Edit menu's commands with their usual keys, run on the note.
    void editMenuFindsReplacesAndPastesPlainText()
    {
        const QString a = note("apple pear\napple plum", 1);
        auto w = makeWindow();
        w->searchField()->setText("plum");
        w->showNote(a, false);
        QCOMPARE(w->editor()->extraSelections().size(), 1);
        QCOMPARE(w->editor()->extraSelections().first().cursor.selectedText(), QStringLiteral("plum"));
        for (const auto &[text, key] : {std::pair{"Cut", QKeySequence::Cut}, std::pair{"Paste", QKeySequence::Paste},
                                        std::pair{"Select All", QKeySequence::SelectAll},
                                        std::pair{"Find in Note...", QKeySequence::Find}}) {
            QAction *action = findAction(w->menuBar()->actions(), text);
            QVERIFY2(action && action->shortcut() == QKeySequence(key), text);
        }
        auto *html = new QMimeData;
        html->setHtml("<b>fig</b>");
        html->setText("fig");
        QApplication::clipboard()->setMimeData(html);
        QTextCursor end(w->editor()->document());
        end.movePosition(QTextCursor::End);
        w->editor()->setTextCursor(end);
        findAction(w->menuBar()->actions(), "Paste as Plain Text")->trigger();
        const QString pasted = w->editor()->currentDelta();
        QVERIFY2(pasted.contains(R"({"insert":"apple plumfig"})") && !pasted.contains("bold"), qPrintable(pasted));
        findAction(w->menuBar()->actions(), "Replace...")->trigger();
        QVERIFY(w->findBar()->replaceField()->isVisibleTo(w.get()));
    }

    void moveToNotebookMovesOnlyElsewhere()
    {
        const QString work = addNotebook(*m_state, "Work");
        const QString id = note("Quarterly plan", 1, work);
        const QString home = addNotebook(*m_state, "Home");
        auto w = makeWindow();
        w->noteList()->selectNote(id);
        QString offered;
        QString answer = work;
        w->notebookCommands()->hooks().chooseNotebook = [&](const QList<Notebook> &, const QString &current) {
            offered = current;
            return answer;
        };
        const Note before = *m_state->notes()->noteById(id);
        w->notebookCommands()->moveCurrentNote();
        QCOMPARE(offered, work);
        QCOMPARE(*m_state->notes()->noteById(id), before);
        answer = home;
        w->notebookCommands()->moveCurrentNote();
        QCOMPARE(m_state->notes()->noteById(id)->notebookId, home);
        QCOMPARE(chipText(*w), QStringLiteral("Home"));
        answer = QString(); // out of every notebook
        w->notebookCommands()->moveCurrentNote();
        QCOMPARE(m_state->notes()->noteById(id)->notebookId, QString());
    }

    void sampleNotesOnlyForDevelopersAndOnlyWhenAgreed()
    {
        const QString name = QStringLiteral("Load &Sample Notes");
        QVERIFY(!findAction(makeWindow()->menuBar()->actions(), name));
        qputenv("NOTES_DEV", "1");
        auto w = makeWindow();
        qunsetenv("NOTES_DEV");
        QAction *load = findAction(w->menuBar()->actions(), name);
        QVERIFY(load);
        load->trigger();
        QCOMPARE(m_state->notes()->allNotes().size(), 0);
        m_questions.yes = true;
        load->trigger();
        QVERIFY(w->noteList()->count() > 0);
    }
};

VELM_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
