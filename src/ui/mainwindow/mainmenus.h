#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class AppState;
class MainWindow;
class QAction;

// The main window's menu bar, built from one table of entries (menu, text,
// key, what it runs, when it is offered), so every command is listed once,
// in menu order, with its key beside it. The note pane's own tables (format,
// clipboard, find, header bar) and the account's entries are built into
// their places by the pieces that own them.
class MainMenus final : public QObject
{
    Q_OBJECT
public:
    // Builds the menus into window's menu bar, and the keys that have no
    // menu entry onto the window; state is not owned.
    MainMenus(AppState *state, MainWindow *window);

    // The View menu's layout switches; checked when the layout is on.
    QAction *focusModeAction() const { return m_focusMode; }
    QAction *sidebarAction() const { return m_sidebar; }

private:
    struct Entry;
    QList<Entry> table();
    void showPreferences();
    void showAbout();
    void loadSampleNotes();

    QPointer<AppState> m_state;
    MainWindow *m_window;
    QAction *m_focusMode = nullptr;
    QAction *m_sidebar = nullptr;
};
