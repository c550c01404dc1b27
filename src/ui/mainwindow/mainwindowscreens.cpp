// The main window's secondary screens.
#include "mainwindow.h"

#include "appstate.h"
#include "findbar.h"
#include "noteeditor.h"
#include "screenregistry.h"
#include "searchscreen.h"
#include "sharedscreen.h"
#include "todosscreen.h"
#include "trashscreen.h"

void MainWindow::registerScreens()
{
    m_screens = new ScreenRegistry(this);
    m_screens->add<SearchScreen>(
        Screen::Search, tr("Search — Velmora Notes"),
        [this](QWidget *owner) {
            auto *search = new SearchScreen(m_state, owner);
            connect(search, &SearchScreen::noteOpened, this, [this](const QString &noteId, const QString &query) {
                if (m_pane->noteId() == noteId)
                    m_pane->findBar()->showSearchTerms(query);
            });
            return search;
        },
        &SearchScreen::refresh, &SearchScreen::focusSearch);
    m_screens->add<TodosScreen>(
        Screen::Todos, tr("To-Dos — Velmora Notes"),
        [this](QWidget *owner) { return new TodosScreen(m_state, owner); }, &TodosScreen::refresh);
    m_screens->add<TrashScreen>(
        Screen::Trash, tr("Trash — Velmora Notes"),
        [this](QWidget *owner) {
            auto *trash = new TrashScreen(m_state, owner);
            trash->setAskYesNo(m_hooks.askYesNo);
            return trash;
        },
        &TrashScreen::refresh);
    m_screens->add<SharedScreen>(
        Screen::SharedByMe, tr("Shared by Me — Velmora Notes"),
        [this](QWidget *owner) { return new SharedScreen(m_state, true, owner); }, &SharedScreen::reload);
    m_screens->add<SharedScreen>(
        Screen::SharedWithMe, tr("Shared with Me — Velmora Notes"),
        [this](QWidget *owner) { return new SharedScreen(m_state, false, owner); }, &SharedScreen::reload);
}

QWidget *MainWindow::screenWindow(Screen screen) const
{
    return m_screens->window(screen);
}

void MainWindow::openScreen(Screen screen)
{
    m_screens->open(screen);
}
