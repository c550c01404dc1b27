// The main window's secondary screens.
#include "mainwindow.h"

#include "findbar.h"
#include "noteeditor.h"

#include "appstate.h"
#include "searchscreen.h"
#include "sharedscreen.h"
#include "todosscreen.h"
#include "trashscreen.h"
#include "windowplacement.h"

#include <QAction>

QWidget *MainWindow::screenWindow(Screen screen) const
{
    return m_screens[int(screen)];
}

void MainWindow::openScreen(Screen screen)
{
    QPointer<QWidget> &window = m_screens[int(screen)];
    const bool created = !window;
    QString title;
    switch (screen) {
    case Screen::Search:
        title = tr("Search — Velmora Notes");
        if (!window) {
            auto *search = new SearchScreen(m_state, this);
            connect(search, &SearchScreen::noteOpened, this, [this](const QString &noteId, const QString &query) {
                if (m_pane->editor()->noteId() == noteId)
                    m_pane->findBar()->showSearchTerms(query);
            });
            window = search;
        }
        static_cast<SearchScreen *>(window.data())->refresh();
        break;
    case Screen::Todos:
        title = tr("To-Dos — Velmora Notes");
        if (!window)
            window = new TodosScreen(m_state, this);
        static_cast<TodosScreen *>(window.data())->refresh();
        break;
    case Screen::Trash:
        title = tr("Trash — Velmora Notes");
        if (!window) {
            auto *trash = new TrashScreen(m_state, this);
            trash->setAskYesNo(m_hooks.askYesNo);
            window = trash;
        }
        static_cast<TrashScreen *>(window.data())->refresh();
        break;
    case Screen::SharedByMe:
    case Screen::SharedWithMe:
        title = screen == Screen::SharedByMe ? tr("Shared by Me — Velmora Notes")
                                             : tr("Shared with Me — Velmora Notes");
        if (!window)
            window = new SharedScreen(m_state, screen == Screen::SharedByMe, this);
        static_cast<SharedScreen *>(window.data())->reload();
        break;
    }
    // A child of the main window, so it goes with it, but a window of its own.
    window->setWindowFlag(Qt::Window, true);
    window->setWindowTitle(title);
    if (created) {
        auto *closeAction = new QAction(window);
        closeAction->setShortcut(QKeySequence(Qt::Key_Escape));
        connect(closeAction, &QAction::triggered, window, &QWidget::close);
        window->addAction(closeAction);
    }
    if (!window->isVisible()) {
        window->resize(600, 500);
        placeOnScreen(window, this);
    }
    window->show();
    window->raise();
    window->activateWindow();
    if (screen == Screen::Search)
        static_cast<SearchScreen *>(window.data())->focusSearch();
}
