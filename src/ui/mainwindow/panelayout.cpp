#include "panelayout.h"

#include "mainwindowrules.h"
#include "noteheaderbar.h"
#include "windowplacement.h"

#include <QAction>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QSplitter>

namespace {

const QString kGroup = QStringLiteral("mainWindow");
const QString kGeometry = QStringLiteral("geometry");
const QString kWindowState = QStringLiteral("windowState");
const QString kNormalSizes = QStringLiteral("normalSplitterSizes");
const QString kFocusMode = QStringLiteral("focusMode");
const QString kSidebarVisible = QStringLiteral("notebookSidebarVisible");

// Wide enough for a notebook name with its count (and the sidebar's own rows
// whole), and for a note title with its date.
PaneMinimums paneMinimumsFor(const QWidget *window, const QWidget *notebookList)
{
    const int charWidth = window->fontMetrics().averageCharWidth();
    return {std::max(22 * charWidth, notebookList->minimumSizeHint().width()), 26 * charWidth};
}

} // namespace

PaneLayout::PaneLayout(const Panes &panes, QObject *parent)
    : QObject(parent)
    , m_panes(panes)
{
    connect(panes.splitter, &QSplitter::splitterMoved, this, &PaneLayout::rememberWidths);
}

void PaneLayout::setActions(QAction *focusMode, QAction *sidebar)
{
    m_focusModeAction = focusMode;
    m_sidebarAction = sidebar;
}

void PaneLayout::restore()
{
    QMainWindow *window = m_panes.window;
    QSettings settings;
    settings.beginGroup(kGroup);
    const QByteArray geometry = settings.value(kGeometry).toByteArray();
    if (geometry.isEmpty() || !window->restoreGeometry(geometry)) {
        // First start: a roomy window in the middle of the screen, never past its edges.
        const QRect area = window->screen()->availableGeometry();
        const QSize size = QSize(1280, 1024).boundedTo(area.size() * 0.9);
        window->setGeometry(placeWindow(QRect(QPoint(), size), area, area));
    } else if (!window->isMaximized() && !window->isFullScreen()) {
        // Stored on a larger or since removed screen.
        placeOnScreen(window);
    }
    const QByteArray state = settings.value(kWindowState).toByteArray();
    if (!state.isEmpty())
        window->restoreState(state);
    // Widths squeezed by a small window are not kept for a large one.
    const QList<int> stored = parseSplitterSizes(settings.value(kNormalSizes).toString());
    if (normalPaneWidths(stored, window->width(), paneMinimumsFor(window, m_panes.notebookList)) == stored)
        m_normalSizes = stored;
    m_sidebarVisible = settings.value(kSidebarVisible, true).toBool();
    m_focusMode = settings.value(kFocusMode, false).toBool();
    settings.endGroup();
    const QSignalBlocker a(m_focusModeAction);
    const QSignalBlocker b(m_sidebarAction);
    m_focusModeAction->setChecked(m_focusMode);
    m_sidebarAction->setChecked(m_sidebarVisible);
}

void PaneLayout::save()
{
    rememberWidths();
    QSettings settings;
    settings.beginGroup(kGroup);
    settings.setValue(kGeometry, m_panes.window->saveGeometry());
    settings.setValue(kWindowState, m_panes.window->saveState());
    if (m_normalSizes.size() == 3)
        settings.setValue(kNormalSizes, splitterSizesText(m_normalSizes));
    settings.endGroup();
}

void PaneLayout::apply()
{
    m_panes.sidebar->setVisible(!m_focusMode && m_sidebarVisible);
    m_panes.middle->setVisible(!m_focusMode);
    m_panes.header->setFocusMode(m_focusMode);
    const PaneMinimums minimums = paneMinimumsFor(m_panes.window, m_panes.notebookList);
    m_panes.sidebar->setMinimumWidth(minimums.sidebar);
    m_panes.middle->setMinimumWidth(minimums.list);
    m_panes.splitter->setSizes(
        paneWidths(m_focusMode, m_sidebarVisible, m_normalSizes, m_panes.window->width(), minimums));
}

void PaneLayout::rememberWidths()
{
    if (m_focusMode || !m_sidebarVisible || m_panes.sidebar->isHidden() || m_panes.middle->isHidden())
        return;
    const QList<int> sizes = m_panes.splitter->sizes();
    if (sizes.size() == 3)
        m_normalSizes = sizes;
}

void PaneLayout::setFocusMode(bool focusMode)
{
    setSwitch(m_focusMode, focusMode, focusMode, m_focusModeAction, kFocusMode);
}

void PaneLayout::setSidebarVisible(bool visible)
{
    setSwitch(m_sidebarVisible, visible, !visible, m_sidebarAction, kSidebarVisible);
}

void PaneLayout::setSwitch(bool &current, bool wanted, bool hidesPanes, QAction *action, const QString &key)
{
    // Leaving the normal layout: remember its widths first.
    if (hidesPanes && current != wanted && m_panes.window->isVisible())
        rememberWidths();
    current = wanted;
    {
        const QSignalBlocker blocker(action);
        action->setChecked(wanted);
    }
    apply();
    QSettings settings;
    settings.setValue(kGroup + QLatin1Char('/') + key, wanted);
}
