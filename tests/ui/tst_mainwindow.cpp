#include "velmtest.h"

#include "appstatefixture.h"
#include "mainwindow.h"
#include "notebooklistwidget.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "preferencesrepository.h"
#include "searchscreen.h"
#include "snapshotrepository.h"
#include "statusbar.h"
#include "thememanager.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace VelmTest;

Q_DECLARE_METATYPE(MainWindow::Screen)

namespace {

QAction *actionNamed(const QList<QAction *> &actions, const QString &text)
{
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
        if (action->menu()) {
            if (QAction *inner = actionNamed(action->menu()->actions(), text))
                return inner;
        }
    }
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppState> m_state;
    QStringList m_questions;
    bool m_answer = false;

    QString addNote(const QString &text, int minutesAgo, const QString &notebookId = QString())
    {
        Note note = makeNote(textDelta(text), QDateTime::currentDateTimeUtc().addSecs(-60 * minutesAgo));
        note.notebookId = notebookId;
        return m_state->notes()->insert(note) ? note.id : QString();
    }
    QString addNotebook(const QString &name)
    {
        Notebook notebook;
        notebook.id = newId();
        notebook.name = name;
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        return m_state->notebooks()->insert(notebook) ? notebook.id : QString();
    }
    std::unique_ptr<MainWindow> makeWindow()
    {
        auto window = std::make_unique<MainWindow>(m_state.get());
        window->hooks().askYesNo = [this](const QString &title, const QString &text) {
            m_questions << title + QLatin1Char('|') + text;
            return m_answer;
        };
        window->hooks().askNewNotebookName = [] { return QStringLiteral("Fresh"); };
        window->hooks().askNotebookRename = [](const QString &) { return QStringLiteral("Renamed"); };
        window->hooks().setClipboard = [](QMimeData *data) { std::unique_ptr<QMimeData> owned(data); };
        window->hooks().runPrintDialog = [](QPrinter *) { return false; };
        return window;
    }
    QStringList listIds(const MainWindow &window) const
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
    static bool dropNoteOn(NotebookListWidget *list, int row, const QString &noteId)
    {
        QMimeData mime;
        mime.setData(QStringLiteral("application/x-velmora-note-id"), noteId.toUtf8());
        const QPoint pos = list->visualItemRect(list->item(row)).center();
        QDragEnterEvent enter(pos, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &enter);
        QDragMoveEvent move(pos, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &move);
        QDropEvent drop(QPointF(pos), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &drop);
        return drop.isAccepted();
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("VelmoraTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_mainwindow"));
    }

    void init()
    {
        qputenv("NOTES_DATA_DIR", (m_dir.path() + '/' + newId()).toUtf8());
        QSettings().clear();
        m_state = emptyState();
        m_questions.clear();
        m_answer = false;
    }

    void cleanup() { m_state.reset(); }

    // ---- flows

    void selectingAnotherNoteSavesEditsThenTakesOneSnapshot()
    {
        const QString a = addNote(QStringLiteral("Alpha"), 1);
        const QString b = addNote(QStringLiteral("Beta"), 2);
        auto w = makeWindow();
        w->noteList()->selectNote(a);
        QCOMPARE(m_state->currentNoteId(), a);

        typeAtEnd(w->editor(), QStringLiteral(" plus"));
        QVERIFY(!w->editor()->isSaved());

        w->noteList()->selectNote(b);
        QCOMPARE(w->editor()->noteId(), b);
        const Note saved = *m_state->notes()->noteById(a);
        QVERIFY2(saved.body.contains(QStringLiteral("Alpha plus")), qPrintable(saved.body));
        QCOMPARE(saved.version, 2);
        QCOMPARE(saved.syncStatus, SyncStatus::Pending);
        const QList<Snapshot> snapshots = m_state->snapshots()->snapshotsForNote(a);
        QCOMPARE(snapshots.size(), 1);
        QCOMPARE(snapshots.first().body, saved.body);

        // Going back and away again without edits writes nothing more.
        w->noteList()->selectNote(a);
        w->noteList()->selectNote(b);
        QCOMPARE(m_state->snapshots()->snapshotsForNote(a).size(), 1);
    }

    void editorDebounceSavesTheNote()
    {
        const QString newer = addNote(QStringLiteral("Newer"), 1);
        const QString a = addNote(QStringLiteral("Draft"), 5);
        auto w = makeWindow();
        w->noteList()->selectNote(a);
        // The save updates its one row: no reset (a rebuilt list), one change, one move.
        const QAbstractItemModel *model = w->noteList()->model();
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        QSignalSpy moved(model, &QAbstractItemModel::rowsMoved);
        typeAtEnd(w->editor(), QStringLiteral("ed"));
        QTRY_VERIFY_WITH_TIMEOUT(m_state->notes()->noteById(a)->body.contains(QStringLiteral("Drafted")), 3000);
        QVERIFY(w->statusBarWidget()->wordCountLabelText().endsWith(QStringLiteral(" · Saved")));
        QCOMPARE(reset.size(), 0);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(moved.size(), 1);
        // The saved note moved to the top with its new title and stays the current row.
        QCOMPARE(listIds(*w), (QStringList{a, newer}));
        QCOMPARE(model->index(0, 0).data(NoteListWidget::TitleRole).toString(), QStringLiteral("Drafted"));
        QCOMPARE(w->noteList()->selectedNoteId(), a);
    }

    void creatingANoteSelectsAndShowsIt()
    {
        const QString notebook = addNotebook(QStringLiteral("Work"));
        addNote(QStringLiteral("Old"), 10, notebook);
        m_state->setCurrentNotebook(notebook);
        auto w = makeWindow();
        QVERIFY(w->isShowingWelcomePage());
        w->createNewNote();
        const QString id = w->editor()->noteId();
        QVERIFY(!id.isEmpty());
        QCOMPARE(w->noteList()->selectedNoteId(), id);
        QCOMPARE(m_state->currentNoteId(), id);
        QVERIFY(!w->isShowingWelcomePage());
        const Note note = *m_state->notes()->noteById(id);
        QCOMPARE(note.notebookId, notebook);
        QCOMPARE(note.body, QStringLiteral("[{\"insert\":\"\\n\"}]"));
        QCOMPARE(w->statusBarWidget()->notebookText(), QStringLiteral("Work (2 notes)"));
    }

    void deletingSelectsTheNoteThatMovedUpUntilTheEditorIsEmpty()
    {
        const QString first = addNote(QStringLiteral("First"), 1);
        const QString middle = addNote(QStringLiteral("Middle"), 2);
        const QString last = addNote(QStringLiteral("Last"), 3);
        auto w = makeWindow();
        w->noteList()->selectNote(middle);
        w->deleteCurrentNote(false);
        QCOMPARE(listIds(*w), (QStringList{first, last}));
        QCOMPARE(w->editor()->noteId(), last);
        QCOMPARE(m_state->currentNoteId(), last);

        // The last row going selects the new last row.
        w->deleteCurrentNote(false);
        QCOMPARE(w->editor()->noteId(), first);

        w->deleteCurrentNote(false);
        QVERIFY(m_state->notes()->noteById(first)->deletedAt.has_value());
        QCOMPARE(w->noteList()->count(), 0);
        QCOMPARE(w->editor()->noteId(), QString());
        QVERIFY(w->editor()->isReadOnly());
        QVERIFY(w->isShowingWelcomePage());
        // Delete on the now empty list asks nothing and does nothing.
        w->deleteCurrentNote(true);
        QVERIFY(m_questions.isEmpty());
    }

    void trashQuestionNamesTheNoteAndNoKeepsIt()
    {
        const QString titled = addNote(QStringLiteral("Groceries"), 1);
        const QString untitled = addNote(QString(), 2);
        auto w = makeWindow();
        w->noteList()->selectNote(titled);
        m_answer = false;
        w->deleteCurrentNote(true);
        QCOMPARE(m_questions, QStringList{QStringLiteral("Move to Trash|Move \"Groceries\" to Trash?")});
        QVERIFY(!m_state->notes()->noteById(titled)->deletedAt);

        w->noteList()->selectNote(untitled);
        m_answer = true;
        w->deleteCurrentNote(true);
        QCOMPARE(m_questions.last(), QStringLiteral("Move to Trash|Move \"this note\" to Trash?"));
        QVERIFY(m_state->notes()->noteById(untitled)->deletedAt);
    }

    void droppedNoteMovesToNotebookOrLeavesIt()
    {
        const QString notebook = addNotebook(QStringLiteral("Travel"));
        const QString note = addNote(QStringLiteral("Tickets"), 1);
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->noteList()->selectNote(note);
        NotebookListWidget *list = w->notebookList();
        QCOMPARE(list->item(1)->data(NotebookListWidget::NotebookIdRole).toString(), notebook);

        QVERIFY(dropNoteOn(list, 1, note));
        QCOMPARE(m_state->notes()->noteById(note)->notebookId, notebook);
        QCOMPARE(chipText(*w), QStringLiteral("Travel"));
        QCOMPARE(list->item(1)->data(NotebookListWidget::CountRole).toInt(), 1);
        // The sidebar keeps showing where the user is: All Notes.
        QCOMPARE(list->currentRow(), 0);

        QVERIFY(dropNoteOn(list, 0, note));
        QCOMPARE(m_state->notes()->noteById(note)->notebookId, QString());
        QCOMPARE(chipText(*w), QStringLiteral("Unorganized"));
        QCOMPARE(list->item(1)->data(NotebookListWidget::CountRole).toInt(), 0);
    }

    // ---- search and steno mode

    void typingRefreshesTheListOnceAfterThePause()
    {
        addNote(QStringLiteral("abcdef"), 1);
        addNote(QStringLiteral("xyz"), 2);
        auto w = makeWindow();
        QCOMPARE(w->noteList()->count(), 2);
        auto *timer = w->findChild<QTimer *>(QStringLiteral("searchTimer"));
        QSignalSpy refreshes(timer, &QTimer::timeout);
        QTest::keyClicks(w->searchField(), QStringLiteral("abc"));
        QCOMPARE(w->noteList()->count(), 2); // nothing yet
        QTRY_COMPARE(w->noteList()->count(), 1);
        QVERIFY(!timer->isActive());
        QCOMPARE(refreshes.count(), 1);
        QCOMPARE(w->noteList()->noteModel()->index(0).data(NoteListWidget::TitleRole).toString(), QStringLiteral("abcdef"));
    }

    void stenoModeListsOldestFirstWithTheFieldBelow()
    {
        const QString newest = addNote(QStringLiteral("walrus new"), 1);
        const QString middle = addNote(QStringLiteral("otter"), 2);
        const QString oldest = addNote(QStringLiteral("walrus walrus old"), 3);
        auto w = makeWindow();
        auto *layout = qobject_cast<QVBoxLayout *>(w->middlePane()->layout());
        QCOMPARE(layout->indexOf(w->searchRow()), 0);

        m_state->preferences()->setBool(QStringLiteral("steno_mode"), true);
        QCOMPARE(listIds(*w), (QStringList{oldest, middle, newest}));
        QCOMPARE(layout->indexOf(w->searchRow()), 1);
        QCOMPARE(layout->indexOf(w->noteList()), 0);

        // A search keeps its own order.
        w->searchField()->setText(QStringLiteral("walrus"));
        QTRY_COMPARE(w->noteList()->count(), 2);
        const QList<Note> searched = m_state->notes()->search(QStringLiteral("walrus"));
        QCOMPARE(listIds(*w), (QStringList{searched.at(0).id, searched.at(1).id}));

        w->searchField()->clear();
        QTRY_COMPARE(w->noteList()->count(), 3);
        QCOMPARE(listIds(*w).first(), oldest);

        m_state->preferences()->setBool(QStringLiteral("steno_mode"), false);
        QCOMPARE(layout->indexOf(w->searchRow()), 0);
        QCOMPARE(listIds(*w), (QStringList{newest, middle, oldest}));
    }

    // ---- layout

    void focusModeRestoresTheNormalWidths()
    {
        QSettings().setValue(QStringLiteral("mainWindow/normalSplitterSizes"), QStringLiteral("180,300,900"));
        auto w = makeWindow();
        w->resize(1380, 800);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->applyLayout();
        // The editor pane takes what the 1 px handles leave.
        const QList<int> normal{180, 300, 1380 - 180 - 300 - 2};
        QCOMPARE(w->splitter()->sizes(), normal);

        w->setFocusMode(true);
        QVERIFY(w->sidebarPane()->isHidden());
        QVERIFY(w->middlePane()->isHidden());
        QVERIFY(w->headerBar()->focusMode());
        // A splitter move in focus mode does not touch the normal widths.
        w->splitter()->setSizes({0, 0, 1380});
        emit w->splitter()->splitterMoved(0, 1);
        QCOMPARE(w->normalSplitterSizes().mid(0, 2), (QList<int>{180, 300}));

        w->setFocusMode(false);
        QVERIFY(!w->sidebarPane()->isHidden());
        QCOMPARE(w->splitter()->sizes(), normal);
        QCOMPARE(QSettings().value(QStringLiteral("mainWindow/focusMode")).toBool(), false);

        w->setSidebarVisible(false);
        QCOMPARE(w->splitter()->sizes().at(0), 0);
        QCOMPARE(w->splitter()->sizes().at(1), 300);
        QCOMPARE(QSettings().value(QStringLiteral("mainWindow/notebookSidebarVisible")).toBool(), false);
        w->setSidebarVisible(true);
        QCOMPARE(w->splitter()->sizes(), normal);
    }

    void movingTheSplitterInNormalLayoutIsRemembered()
    {
        auto w = makeWindow();
        w->resize(1280, 800);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->splitter()->setSizes({220, 280, 778});
        emit w->splitter()->splitterMoved(220, 1);
        QCOMPARE(w->normalSplitterSizes(), (QList<int>{220, 280, 778}));
        w->close();
        QCOMPARE(QSettings().value(QStringLiteral("mainWindow/normalSplitterSizes")).toString(),
                 QStringLiteral("220,280,778"));
        QVERIFY(!QSettings().value(QStringLiteral("mainWindow/geometry")).toByteArray().isEmpty());
    }

    void malformedStoredWidthsAreIgnored_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("two numbers") << "300,200";
        QTest::newRow("a negative one") << "300,-200,700";
        QTest::newRow("squeezed by a small window") << "70,70,500";
    }
    void malformedStoredWidthsAreIgnored()
    {
        QFETCH(QString, stored);
        QSettings().setValue(QStringLiteral("mainWindow/normalSplitterSizes"), stored);
        auto w = makeWindow();
        QVERIFY(w->normalSplitterSizes().isEmpty());
        w->resize(1280, 800);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->applyLayout();
        QCOMPARE(w->splitter()->sizes(), (QList<int>{200, 260, 818}));
        QVERIFY(w->splitter()->sizes().at(1) >= w->middlePane()->minimumWidth());
    }

    void focusModePersistsAcrossWindows()
    {
        makeWindow()->setFocusMode(true);
        auto w = makeWindow();
        QVERIFY(w->focusMode());
        QVERIFY(w->middlePane()->isHidden());
    }

    // ---- header bar and notebooks

    void shownNoteFillsTheHeader()
    {
        const QString notebook = addNotebook(QStringLiteral("Recipes"));
        const QString a = addNote(QStringLiteral("Soup\nleeks and potatoes"), 0, notebook);
        const QString b = addNote(QStringLiteral("Loose"), 90);
        m_state->notes()->setIncludeInTodos(b, false);
        auto w = makeWindow();
        auto *chip = w->headerBar()->findChild<QPushButton *>(QStringLiteral("notebookChip"));
        auto *meta = w->headerBar()->findChild<QLabel *>(QStringLiteral("metaLabel"));
        QVERIFY(w->headerBar()->isHidden());

        w->noteList()->selectNote(a);
        QVERIFY(!w->headerBar()->isHidden());
        QCOMPARE(chip->text(), QStringLiteral("Recipes"));
        QCOMPARE(meta->text(), QStringLiteral("Updated just now · 4 words"));
        QVERIFY(w->headerBar()->includeInTodos());

        w->noteList()->selectNote(b);
        QCOMPARE(chip->text(), QStringLiteral("Unorganized"));
        QCOMPARE(meta->text(), QStringLiteral("Updated 1h ago · 1 words"));
        QVERIFY(!w->headerBar()->includeInTodos());

        // Toggling from the header stores the setting.
        const auto actions = w->headerBar()->findChild<QToolButton *>(QStringLiteral("moreButton"))->menu()->actions();
        actions.first()->trigger();
        QVERIFY(m_state->notes()->includeInTodos(b));
    }

    void notebookCreateRenameDelete()
    {
        const QString kept = addNote(QStringLiteral("Keep me"), 1);
        auto w = makeWindow();
        emit w->notebookList()->newNotebookRequested();
        const QList<Notebook> notebooks = m_state->notebooks()->allNotebooks();
        QCOMPARE(notebooks.size(), 1);
        QCOMPARE(notebooks.first().name, QStringLiteral("Fresh"));
        const QString id = notebooks.first().id;
        QCOMPARE(m_state->currentNotebookId(), id);
        QCOMPARE(w->notebookList()->currentRow(), 1);
        QCOMPARE(w->noteList()->count(), 0);

        m_state->notes()->moveToNotebook(kept, id);
        w->renameNotebook(id);
        const Notebook renamed = *m_state->notebooks()->notebookById(id);
        QCOMPARE(renamed.name, QStringLiteral("Renamed"));
        QCOMPARE(renamed.version, 2);
        QCOMPARE(renamed.syncStatus, SyncStatus::Pending);

        m_answer = true;
        w->deleteNotebook(id);
        QCOMPARE(m_questions.last(),
                 QStringLiteral("Delete Notebook|Delete \"Renamed\"? Its notes will move to All Notes."));
        QVERIFY(m_state->notebooks()->allNotebooks().isEmpty());
        QCOMPARE(m_state->notes()->noteById(kept)->notebookId, QString());
        QCOMPARE(m_state->currentNotebookId(), QString());
        QCOMPARE(w->notebookList()->currentRow(), 0);
        QCOMPARE(w->noteList()->count(), 1);
    }

    void noteContextMenuMovesAndTrashes()
    {
        const QString notebook = addNotebook(QStringLiteral("Ideas"));
        const QString note = addNote(QStringLiteral("Spark"), 1);
        auto w = makeWindow();
        w->noteList()->selectNote(note);
        auto menu = w->createNoteContextMenu(note);
        QAction *ideas = actionNamed(menu->actions(), QStringLiteral("Ideas"));
        QVERIFY(ideas && !ideas->isChecked());
        ideas->trigger();
        QCOMPARE(m_state->notes()->noteById(note)->notebookId, notebook);

        actionNamed(menu->actions(), QStringLiteral("Move to Trash"))->trigger();
        QVERIFY(m_state->notes()->noteById(note)->deletedAt);
        QCOMPARE(w->editor()->noteId(), QString());
    }

    void closingSavesPendingEditsAndSnapshot()
    {
        const QString a = addNote(QStringLiteral("Closing"), 3);
        auto w = makeWindow();
        w->noteList()->selectNote(a);
        typeAtEnd(w->editor(), QStringLiteral(" time"));
        w->close();
        QVERIFY(m_state->notes()->noteById(a)->body.contains(QStringLiteral("Closing time")));
        QCOMPARE(m_state->snapshots()->snapshotsForNote(a).size(), 1);
    }

    void screensOpenOnceAndKeepTheSidebarSelection()
    {
        auto w = makeWindow();
        QVERIFY(!w->screenWindow(MainWindow::Screen::Trash));
        emit w->notebookList()->trashSelected();
        QWidget *trash = w->screenWindow(MainWindow::Screen::Trash);
        QVERIFY(trash && trash->isVisible() && trash->isWindow());
        QCOMPARE(w->notebookList()->currentRow(), 0);

        trash->resize(700, 520);
        w->openScreen(MainWindow::Screen::Trash);
        QCOMPARE(w->screenWindow(MainWindow::Screen::Trash), trash);
        QCOMPARE(trash->size(), QSize(700, 520)); // a visible screen keeps its size
    }

    void screensOpenOverTheWindowAndCloseOnEscape_data()
    {
        QTest::addColumn<MainWindow::Screen>("screen");
        QTest::newRow("search") << MainWindow::Screen::Search;
        QTest::newRow("to-dos") << MainWindow::Screen::Todos;
        QTest::newRow("trash") << MainWindow::Screen::Trash;
    }
    void screensOpenOverTheWindowAndCloseOnEscape()
    {
        QFETCH(MainWindow::Screen, screen);
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->openScreen(screen);
        QWidget *window = w->screenWindow(screen);
        QVERIFY(w->frameGeometry().contains(window->frameGeometry()));
        QVERIFY(w->frameGeometry().topLeft() != window->frameGeometry().topLeft());

        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!window->isVisible());
    }

    void noteChosenInSearchScreenShowsHere()
    {
        const QString a = addNote(QStringLiteral("Lighthouse keeper"), 1);
        const QString b = addNote(QStringLiteral("Harbour"), 2);
        auto w = makeWindow();
        w->noteList()->selectNote(b);
        typeAtEnd(w->editor(), QStringLiteral(" master"));

        w->openScreen(MainWindow::Screen::Search);
        auto *search = qobject_cast<SearchScreen *>(w->screenWindow(MainWindow::Screen::Search));
        search->searchField()->setText(QStringLiteral("lighthouse"));
        QTRY_COMPARE(search->noteList()->count(), 1);
        search->noteList()->selectNote(a);
        QCOMPARE(w->editor()->noteId(), a);
        QCOMPARE(w->noteList()->selectedNoteId(), a);
        QVERIFY(m_state->notes()->noteById(b)->body.contains(QStringLiteral("Harbour master")));
    }

    void fontScaleAndThemeReachTheLists()
    {
        addNote(QStringLiteral("One"), 1);
        addNote(QStringLiteral("Two"), 2);
        auto w = makeWindow();
        w->resize(1280, 800);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const auto secondRowTop = [&w] { return w->noteList()->visualRect(w->noteList()->noteModel()->index(1)).top(); };
        const int normalTop = secondRowTop();
        m_state->themeManager()->setFontScale(160);
        QVERIFY(secondRowTop() > normalTop);
        m_state->themeManager()->setFontScale(100);
        QCOMPARE(secondRowTop(), normalTop);

        m_state->preferences()->set(QStringLiteral("theme_mode"), QStringLiteral("dark"));
        QTRY_VERIFY(w->noteList()->palette().color(QPalette::Base).lightness() < 128);
        m_state->preferences()->set(QStringLiteral("theme_mode"), QStringLiteral("light"));
        QTRY_VERIFY(w->noteList()->palette().color(QPalette::Base).lightness() > 128);
    }

    void closeToTrayHidesUntilQuit()
    {
        m_state->preferences()->setBool(QStringLiteral("close_to_tray"), true);
        auto w = makeWindow();
        w->hooks().systemTrayAvailable = [] { return true; };
        w->updateTray();
        auto *tray = w->findChild<QSystemTrayIcon *>();
        QVERIFY(tray && tray->isVisible());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(!w->close());
        QVERIFY(w->isHidden());

        // Quitting remembers which windows were open.
        w->show();
        w->openScreen(MainWindow::Screen::Todos);
        actionNamed(tray->contextMenu()->actions(), QStringLiteral("Quit"))->trigger();
        QVERIFY(w->isHidden());
        QCOMPARE(m_state->preferences()->getBool(QStringLiteral("restore_todos_window")), true);
        QCOMPARE(m_state->preferences()->getString(QStringLiteral("restore_note_windows"), QStringLiteral("x")),
                 QString());

        // Without a tray the window closes normally.
        m_state->preferences()->setBool(QStringLiteral("close_to_tray"), false);
        QTRY_VERIFY(!w->findChild<QSystemTrayIcon *>());
    }

    void findInNoteWrapsOnce()
    {
        const QString a = addNote(QStringLiteral("apple pear\napple plum"), 1);
        auto w = makeWindow();
        w->noteList()->selectNote(a);
        QVERIFY(w->findInNote(QStringLiteral("apple")));
        QCOMPARE(w->editor()->textCursor().selectionStart(), 0);
        QVERIFY(w->findInNote(QStringLiteral("apple")));
        QCOMPARE(w->editor()->textCursor().selectionStart(), 11);
        QVERIFY(w->findInNote(QStringLiteral("apple"))); // wraps to the first
        QCOMPARE(w->editor()->textCursor().selectionStart(), 0);
        QVERIFY(!w->findInNote(QStringLiteral("cherry")));
        QCOMPARE(w->editor()->textCursor().selectedText(), QStringLiteral("apple"));
    }

    void moveToNotebookAsksAndMovesOnlyElsewhere()
    {
        const QString work = addNotebook(QStringLiteral("Work"));
        const QString note = addNote(QStringLiteral("Quarterly plan"), 1, work);
        const QString home = addNotebook(QStringLiteral("Home"));
        auto w = makeWindow();
        w->noteList()->selectNote(note);
        QString offeredCurrent;
        int offeredCount = 0;
        QString answer = work;
        w->hooks().chooseNotebook = [&](const QList<Notebook> &notebooks, const QString &current) {
            offeredCount = int(notebooks.size());
            offeredCurrent = current;
            return answer;
        };
        const Note before = *m_state->notes()->noteById(note);
        w->moveCurrentNote();
        QCOMPARE(offeredCount, 2);
        QCOMPARE(offeredCurrent, work);
        QCOMPARE(*m_state->notes()->noteById(note), before); // same notebook: untouched

        answer = home;
        w->moveCurrentNote();
        QCOMPARE(m_state->notes()->noteById(note)->notebookId, home);
        QCOMPARE(chipText(*w), QStringLiteral("Home"));
    }

    void printWritesTheNote()
    {
        const QString note = addNote(QStringLiteral("Printable\nSecond line"), 1);
        auto w = makeWindow();
        w->print();
        QCOMPARE(w->statusBarWidget()->currentMessage(), QStringLiteral("No note selected"));
        w->noteList()->selectNote(note);
        const QString pdf = m_dir.path() + QStringLiteral("/printed.pdf");
        QString docName;
        w->hooks().runPrintDialog = [&](QPrinter *printer) {
            docName = printer->docName();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(pdf);
            return true;
        };
        w->print();
        QCOMPARE(docName, QStringLiteral("Printable"));
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(5).startsWith("%PDF"));
        QCOMPARE(w->statusBarWidget()->currentMessage(), QStringLiteral("Printed Printable"));
    }

    void headerRequestsActOnTheNote()
    {
        const QString notebook = addNotebook(QStringLiteral("Garden"));
        const QString note = addNote(QStringLiteral("Tomatoes\nwater daily"), 1, notebook);
        auto w = makeWindow();
        w->noteList()->selectNote(note);

        // Copies carry the note as it is being edited.
        typeAtEnd(w->editor(), QStringLiteral(" now"));
        QString html;
        QString text;
        w->hooks().setClipboard = [&](QMimeData *data) {
            const std::unique_ptr<QMimeData> owned(data);
            html = owned->html();
            text = owned->text();
        };
        emit w->headerBar()->copyAsHtmlRequested();
        QVERIFY2(html.contains(QStringLiteral("Tomatoes")), qPrintable(html));
        QVERIFY2(text.contains(QStringLiteral("water daily now")), qPrintable(text));
        QVERIFY(m_state->notes()->noteById(note)->body.contains(QStringLiteral("daily now")));
        emit w->headerBar()->copyAsPlainTextRequested();
        QCOMPARE(text, QStringLiteral("Tomatoes\nwater daily now"));

        // The chip opens the note's notebook.
        QCOMPARE(m_state->currentNotebookId(), QString());
        emit w->headerBar()->notebookChipClicked();
        QCOMPARE(m_state->currentNotebookId(), notebook);
        QCOMPARE(w->notebookList()->currentRow(), 1);
        QCOMPARE(w->statusBarWidget()->notebookText(), QStringLiteral("Garden (1 note)"));

        emit w->headerBar()->deleteRequested();
        QVERIFY(m_state->notes()->noteById(note)->deletedAt);
        QVERIFY(m_questions.isEmpty());
    }

    void sampleNotesOnlyForDevelopers()
    {
        const QString name = QStringLiteral("Load &Sample Notes");
        QVERIFY(!actionNamed(makeWindow()->menuBar()->actions(), name));
        qputenv("NOTES_DEV", "1");
        auto w = makeWindow();
        qunsetenv("NOTES_DEV");
        QAction *load = actionNamed(w->menuBar()->actions(), name);
        QVERIFY(load);
        m_answer = false;
        load->trigger();
        QCOMPARE(m_state->notes()->allNotes().size(), 0);
        m_answer = true;
        load->trigger();
        QCOMPARE(w->noteList()->count(), 7);
    }
};

VELM_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
