#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMainWindow;
class QSystemTrayIcon;

// The main window's tray icon: there while "close_to_tray" or
// "start_minimized" asks for it and the desktop has a tray, with a menu to
// show or hide the window, start a note, search, see the to-dos and quit.
class TrayController final : public QObject
{
    Q_OBJECT
public:
    struct Commands
    {
        std::function<bool()> trayAvailable;
        std::function<bool(const QString &key)> preference;
        std::function<void()> newNote;
        std::function<void()> search;
        std::function<void()> todos;
        std::function<void()> quit;
    };

    TrayController(QMainWindow *window, Commands commands);

    // Shows, hides or keeps the icon as the preferences now say.
    void update();
    // Whether closing the window only hides it to the tray: never while the
    // desktop has no tray to bring it back from.
    bool hidesOnClose() const;
    // Shows the window, hidden or minimised, in front.
    static void bringToFront(QMainWindow *window);
    // The icon is up in a tray that is there.
    bool hasIcon() const;
    // Quitting: the next close really closes.
    void stopHidingOnClose() { m_closeToTray = false; }

private:
    void updateToggleText();

    QMainWindow *m_window;
    Commands m_commands;
    QSystemTrayIcon *m_icon = nullptr;
    QAction *m_toggleAction = nullptr;
    bool m_closeToTray = false;
};
