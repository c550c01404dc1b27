#pragma once

#include "converters.h"
#include "notesession.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class AppState;
class EditorActions;
class EditorToolbar;
class FindBar;
class NoteEditor;
class NoteHeaderBar;
class QMimeData;
class QPrinter;
class StatusBar;

// One note as every window shows it: header bar, formatting toolbar, find bar
// and editor over a NoteSession. It loads, stores and copies the note; the
// window around it decides what follows from a store or a refusal (reloading,
// titles, other views). state is not owned.
class NotePane final : public QWidget
{
    Q_OBJECT
public:
    // window carries the editor commands' shortcuts, so they work before any
    // menu is built.
    NotePane(AppState *state, QWidget *window, QWidget *parent = nullptr);

    NoteEditor *editor() const { return m_editor; }
    EditorToolbar *toolbar() const { return m_toolbar; }
    FindBar *findBar() const { return m_findBar; }
    NoteHeaderBar *headerBar() const { return m_headerBar; }
    NoteSession *session() const { return m_session; }
    EditorActions *actions() const { return m_actions; }
    QString noteId() const;

    // Loads note into the editor and the header bar; force reloads a note the
    // editor already shows. Read-only when the note is shared read-only, the
    // database is, or the text is too long to edit.
    void showNote(const Note &note, bool force);
    // The name of the shown note's notebook; empty for none.
    QString notebookName() const { return m_notebookName; }
    void clear();

    // Stores the editor's text when it changed since the last store; nothing
    // when there was nothing to store. A conflict is told on the status bar.
    std::optional<NoteSession::SaveResult> save();
    void saveSnapshot();
    // "Save Snapshot": a version whether or not the text changed; false when
    // it could not be stored.
    bool snapshotNow();
    QMimeData *copyAs(ExportFormat format) const;
    void print(QPrinter *printer) const;
    void updateHeaderMeta();
    // The header bar and the text at the current font scale.
    void refreshLook();
    // Word count, saved state and failing saves go to statusBar, and so do
    // the pane's own messages.
    void reportTo(StatusBar *statusBar);

private:
    QPointer<AppState> m_state;
    NoteHeaderBar *m_headerBar = nullptr;
    EditorToolbar *m_toolbar = nullptr;
    FindBar *m_findBar = nullptr;
    NoteEditor *m_editor = nullptr;
    NoteSession *m_session = nullptr;
    EditorActions *m_actions = nullptr;
    QPointer<StatusBar> m_statusBar;
    QString m_notebookName;
};
