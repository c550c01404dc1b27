#include "screenregistry.h"

#include "windowplacement.h"

#include <QAction>
#include <QWidget>

ScreenRegistry::ScreenRegistry(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
{
}

QWidget *ScreenRegistry::window(Screen screen) const
{
    const auto it = m_entries.constFind(screen);
    return it == m_entries.cend() ? nullptr : it->window.data();
}

QWidget *ScreenRegistry::open(Screen screen)
{
    const auto it = m_entries.find(screen);
    if (it == m_entries.end())
        return nullptr;
    Entry &entry = *it;
    QWidget *window = entry.window;
    if (!window) {
        window = entry.create(m_owner);
        entry.window = window;
        // A child of the owner, so it goes with it, but a window of its own.
        window->setWindowFlag(Qt::Window, true);
        auto *closeAction = new QAction(window);
        closeAction->setShortcut(QKeySequence(Qt::Key_Escape));
        connect(closeAction, &QAction::triggered, window, &QWidget::close);
        window->addAction(closeAction);
    }
    if (entry.refresh)
        entry.refresh(window);
    window->setWindowTitle(entry.title);
    if (!window->isVisible()) {
        window->resize(600, 500);
        placeOnScreen(window, m_owner);
    }
    window->show();
    window->raise();
    window->activateWindow();
    if (entry.shown)
        entry.shown(window);
    return window;
}
