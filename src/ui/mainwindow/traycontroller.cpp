#include "traycontroller.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QSystemTrayIcon>

TrayController::TrayController(QMainWindow *window, Commands commands)
    : QObject(window)
    , m_window(window)
    , m_commands(std::move(commands))
{
}

bool TrayController::hasIcon() const
{
    // The tray may have gone since the icon was shown (the panel quit).
    return m_icon && m_icon->isVisible() && m_commands.trayAvailable();
}

bool TrayController::hidesOnClose() const
{
    return m_closeToTray && hasIcon();
}

void TrayController::bringToFront(QMainWindow *window)
{
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

void TrayController::updateToggleText()
{
    if (m_toggleAction)
        m_toggleAction->setText(m_window->isVisible() && !m_window->isMinimized() ? tr("Hide Velmora Notes")
                                                                                  : tr("Show Velmora Notes"));
}

void TrayController::update()
{
    m_closeToTray = m_commands.preference(QStringLiteral("close_to_tray"));
    const bool wanted = m_closeToTray || m_commands.preference(QStringLiteral("start_minimized"));
    if (wanted && !m_commands.trayAvailable()) {
        m_closeToTray = false;
        return;
    }
    if (!wanted) {
        if (m_icon) {
            m_icon->hide();
            m_icon->deleteLater();
            m_icon = nullptr;
            m_toggleAction = nullptr;
        }
        return;
    }
    if (!m_icon) {
        QIcon icon(QStringLiteral(":/icons/app-icon.png"));
        if (icon.isNull())
            icon = m_window->windowIcon();
        m_icon = new QSystemTrayIcon(icon, m_window);
        m_icon->setToolTip(QStringLiteral("Velmora Notes"));
        auto *menu = new QMenu(m_window);
        connect(m_icon, &QObject::destroyed, menu, &QObject::deleteLater);
        m_toggleAction = menu->addAction(tr("Show Velmora Notes"));
        connect(m_toggleAction, &QAction::triggered, this, [this] {
            if (m_window->isVisible() && !m_window->isMinimized() && m_window->isActiveWindow())
                m_window->hide();
            else
                bringToFront(m_window);
        });
        connect(menu->addAction(tr("New Note")), &QAction::triggered, this, [this] { m_commands.newNote(); });
        connect(menu->addAction(tr("Search…")), &QAction::triggered, this, [this] { m_commands.search(); });
        connect(menu->addAction(tr("To-Dos")), &QAction::triggered, this, [this] { m_commands.todos(); });
        menu->addSeparator();
        connect(menu->addAction(tr("Quit")), &QAction::triggered, this, [this] { m_commands.quit(); });
        connect(menu, &QMenu::aboutToShow, this, &TrayController::updateToggleText);
        m_icon->setContextMenu(menu);
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                bringToFront(m_window);
        });
    }
    m_icon->show();
}
