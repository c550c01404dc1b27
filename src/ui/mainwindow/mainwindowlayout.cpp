// The main window's layout: focus mode, sidebar, pane widths and the stored
// geometry.
#include "mainwindow.h"

#include "appstate.h"
#include "mainmenus.h"
#include "mainwindowrules.h"
#include "notebooklistwidget.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "welcomepage.h"
#include "preferencesrepository.h"
#include "traycontroller.h"
#include "windowplacement.h"

#include <QAction>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

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

void MainWindow::restoreGeometryAndLayout()
{
    QSettings settings;
    settings.beginGroup(kGroup);
    const QByteArray geometry = settings.value(kGeometry).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        // First start: a roomy window in the middle of the screen, never past its edges.
        const QRect area = screen()->availableGeometry();
        const QSize size = QSize(1280, 1024).boundedTo(area.size() * 0.9);
        setGeometry(placeWindow(QRect(QPoint(), size), area, area));
    } else if (!isMaximized() && !isFullScreen()) {
        // Stored on a larger or since removed screen.
        placeOnScreen(this);
    }
    const QByteArray state = settings.value(kWindowState).toByteArray();
    if (!state.isEmpty())
        restoreState(state);
    // Widths squeezed by a small window are not kept for a large one.
    const QList<int> stored = parseSplitterSizes(settings.value(kNormalSizes).toString());
    if (normalPaneWidths(stored, width(), paneMinimumsFor(this, m_notebookList)) == stored)
        m_normalSplitterSizes = stored;
    settings.endGroup();
}

void MainWindow::saveGeometryAndLayout()
{
    onSplitterMoved();
    QSettings settings;
    settings.beginGroup(kGroup);
    settings.setValue(kGeometry, saveGeometry());
    settings.setValue(kWindowState, saveState());
    if (m_normalSplitterSizes.size() == 3)
        settings.setValue(kNormalSizes, splitterSizesText(m_normalSplitterSizes));
    settings.endGroup();
}

void MainWindow::applyLayout()
{
    const bool sidebarShown = !m_focusMode && m_sidebarVisible;
    m_sidebar->setVisible(sidebarShown);
    m_middle->setVisible(!m_focusMode);
    m_pane->headerBar()->setFocusMode(m_focusMode);
    const PaneMinimums minimums = paneMinimumsFor(this, m_notebookList);
    m_sidebar->setMinimumWidth(minimums.sidebar);
    m_middle->setMinimumWidth(minimums.list);
    m_splitter->setSizes(paneWidths(m_focusMode, m_sidebarVisible, m_normalSplitterSizes, width(), minimums));
}

void MainWindow::onSplitterMoved()
{
    if (m_focusMode || !m_sidebarVisible || m_sidebar->isHidden() || m_middle->isHidden())
        return;
    const QList<int> sizes = m_splitter->sizes();
    if (sizes.size() == 3)
        m_normalSplitterSizes = sizes;
}

void MainWindow::setFocusMode(bool focusMode)
{
    setLayoutSwitch(m_focusMode, focusMode, focusMode, m_menus->focusModeAction(), kFocusMode);
}

void MainWindow::setSidebarVisible(bool visible)
{
    setLayoutSwitch(m_sidebarVisible, visible, !visible, m_menus->sidebarAction(), kSidebarVisible);
}

void MainWindow::setLayoutSwitch(bool &current, bool wanted, bool hidesPanes, QAction *action, const QString &key)
{
    // Leaving the normal layout: remember its widths first.
    if (hidesPanes && current != wanted && isVisible())
        onSplitterMoved();
    current = wanted;
    {
        const QSignalBlocker blocker(action);
        action->setChecked(wanted);
    }
    applyLayout();
    QSettings settings;
    settings.setValue(kGroup + QLatin1Char('/') + key, wanted);
}

void MainWindow::applyStenoMode()
{
    const bool steno = readBoolPreference(QStringLiteral("steno_mode"), false);
    m_middleLayout->removeWidget(m_searchRow);
    m_middleLayout->removeWidget(m_noteList);
    if (steno) {
        m_middleLayout->addWidget(m_noteList);
        m_middleLayout->addWidget(m_searchRow);
    } else {
        m_middleLayout->addWidget(m_searchRow);
        m_middleLayout->addWidget(m_noteList);
    }
    refreshNoteList();
}

void MainWindow::bringToFront()
{
    TrayController::bringToFront(this);
}

bool MainWindow::inTray() const
{
    return m_tray->hasIcon();
}

void MainWindow::updateTray()
{
    m_tray->update();
}
