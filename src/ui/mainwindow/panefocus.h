#pragma once

#include <QWidget>

#include <functional>

class NoteHeaderBar;

// Moves the keyboard round the main window's panes: notebook sidebar, note
// list, the note (or the welcome page in its place) and the note's header
// bar, skipping those not shown.
class PaneFocus final
{
public:
    struct Panes
    {
        QWidget *window = nullptr;
        QWidget *sidebar = nullptr; // holds notebookList
        QWidget *notebookList = nullptr;
        QWidget *middle = nullptr; // holds noteList
        QWidget *noteList = nullptr;
        QWidget *page = nullptr; // holds the note (editor and header) or the welcome page
        QWidget *editor = nullptr;
        NoteHeaderBar *header = nullptr;
        QWidget *welcome = nullptr;
        std::function<bool()> showingWelcome;
    };

    explicit PaneFocus(Panes panes);

    // To the next (previous) shown pane, round and round; from outside the
    // panes, to the first (last).
    void next(bool forward) const;

private:
    enum Pane { Sidebar, List, Note, Header, PaneCount };
    bool shown(int pane) const;
    int current(bool forward) const;

    Panes m_panes;
};
