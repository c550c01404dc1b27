#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class NoteHeaderBar;
class QAction;
class QMainWindow;
class QSplitter;
class QWidget;

// The main window's three panes side by side and its geometry: the normal
// widths (kept while focus mode or a hidden sidebar squeezes the panes), the
// two layout switches with their menu actions, and the window's size and
// place, all stored in QSettings group "mainWindow".
class PaneLayout final : public QObject
{
    Q_OBJECT
public:
    struct Panes
    {
        QMainWindow *window = nullptr;
        QSplitter *splitter = nullptr;
        QWidget *sidebar = nullptr; // holds notebookList
        QWidget *notebookList = nullptr;
        QWidget *middle = nullptr;
        NoteHeaderBar *header = nullptr;
    };

    PaneLayout(const Panes &panes, QObject *parent);

    // The checkable actions that show the switches; set before restore().
    void setActions(QAction *focusMode, QAction *sidebar);
    // The stored geometry, widths and switches, before the window shows.
    void restore();
    void save();
    // Sizes the panes for the switches and the window's width.
    void apply();
    void setFocusMode(bool focusMode);
    void setSidebarVisible(bool visible);
    bool focusMode() const { return m_focusMode; }
    bool sidebarVisible() const { return m_sidebarVisible; }
    QList<int> normalSizes() const { return m_normalSizes; }

private:
    void rememberWidths();
    // hidesPanes when wanted leaves the normal three-pane layout.
    void setSwitch(bool &current, bool wanted, bool hidesPanes, QAction *action, const QString &key);

    Panes m_panes;
    QPointer<QAction> m_focusModeAction;
    QPointer<QAction> m_sidebarAction;
    bool m_focusMode = false;
    bool m_sidebarVisible = true;
    QList<int> m_normalSizes;
};
