#include "panefocus.h"

#include "noteheaderbar.h"

#include <QApplication>

PaneFocus::PaneFocus(Panes panes)
    : m_panes(std::move(panes))
{
}

bool PaneFocus::shown(int pane) const
{
    switch (pane) {
    case Sidebar:
        return m_panes.notebookList->isVisibleTo(m_panes.window);
    case List:
        return m_panes.noteList->isVisibleTo(m_panes.window);
    case Note:
        return true;
    default:
        return m_panes.header->isVisibleTo(m_panes.window) && !m_panes.showingWelcome();
    }
}

int PaneFocus::current(bool forward) const
{
    const QWidget *focus = QApplication::focusWidget();
    if (focus && m_panes.sidebar->isAncestorOf(focus))
        return Sidebar;
    if (focus && m_panes.middle->isAncestorOf(focus))
        return List;
    if (focus && m_panes.header->isAncestorOf(focus))
        return Header;
    if (focus && m_panes.page->isAncestorOf(focus))
        return Note;
    return forward ? PaneCount - 1 : 0;
}

void PaneFocus::next(bool forward) const
{
    const int from = current(forward);
    for (int step = 1; step <= PaneCount; ++step) {
        const int pane = (from + (forward ? step : PaneCount - step)) % PaneCount;
        if (!shown(pane))
            continue;
        switch (pane) {
        case Sidebar:
            m_panes.notebookList->setFocus(Qt::OtherFocusReason);
            return;
        case List:
            m_panes.noteList->setFocus(Qt::OtherFocusReason);
            return;
        case Note:
            (m_panes.showingWelcome() ? m_panes.welcome : m_panes.editor)->setFocus(Qt::OtherFocusReason);
            return;
        default:
            if (m_panes.header->focusFirstControl())
                return;
        }
    }
}
