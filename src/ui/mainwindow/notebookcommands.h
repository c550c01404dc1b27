#pragma once

#include "notebook.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class AppState;
class MainWindow;
class QMenu;

// What the main window does to notebooks and to a note's notebook: select,
// create, rename, delete, share and export them from the sidebar and its
// context menu, and move notes between them (drag and drop, the Note menu,
// the header bar's chip). It asks its own questions; the window keeps the
// lists and the editor and is told to rebuild them.
class NotebookCommands final : public QObject
{
    Q_OBJECT
public:
    // The dialogs; defaults run the real ones, tests replace them.
    struct Hooks
    {
        // A name for a new notebook; empty when cancelled.
        std::function<QString()> askNewName;
        // A new name for a notebook; empty when cancelled.
        std::function<QString(const QString &currentName)> askRename;
        // The notebook a note moves to ("" for none); nothing when cancelled.
        std::function<std::optional<QString>(const QList<Notebook> &notebooks, const QString &currentNotebookId)>
            chooseNotebook;
    };

    // Follows the window's sidebar and header bar; both must be built.
    NotebookCommands(AppState *state, MainWindow *window);

    Hooks &hooks() { return m_hooks; }

    // "" selects All Notes.
    void select(const QString &notebookId);
    void create();
    void rename(const QString &notebookId);
    // After asking: its notes move to All Notes.
    void remove(const QString &notebookId);
    // Moves a note to notebookId ("" for none); the editor is stored first when it shows the note.
    void moveNote(const QString &noteId, const QString &notebookId);
    // Moves the editor's note to a notebook chosen by the user.
    void moveCurrentNote();
    // Selects the notebook of the editor's note.
    void showCurrentNotebook();
    // The sidebar's menu for a notebook, built for the caller to run; null for an unknown one.
    std::unique_ptr<QMenu> createContextMenu(const QString &notebookId);

private:
    QString currentNoteId() const;

    QPointer<AppState> m_state;
    MainWindow *m_window;
    Hooks m_hooks;
};
