#pragma once

#include "converters.h"
#include "notebook.h"
#include "notepane.h"
#include "yesnoprompt.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

class AppState;
class IoCommands;
class QMimeData;
class QPrinter;
class StatusBar;

// The preference holding a note window's geometry (Base64 of saveGeometry()).
QString noteWindowGeometryKey(const QString &noteId);

// One note in a top-level window of its own: header bar, formatting toolbar,
// editor and status bar, with a reduced menu bar and a geometry remembered per
// note. It saves through the repository and tells the other views through
// AppState::noteUpdatedExternally; it reloads on their changes and closes when
// its note is deleted elsewhere. Deleted on close. state is not owned.
class NoteWindow final : public QMainWindow
{
    Q_OBJECT
public:
    // Everything that blocks or leaves the process. Defaults run the real
    // dialogs and the clipboard; tests replace them.
    struct Hooks
    {
        // A Yes/No question; true for Yes.
        YesNoPrompt askYesNo;
        std::function<void(QWidget *parent, const QString &title, const QString &text)> inform;
        // Takes ownership of data.
        std::function<void(QMimeData *data)> setClipboard;
        // Runs the print dialog; true when accepted.
        std::function<bool(QWidget *parent, QPrinter *printer)> runPrintDialog;
        // The notebook to move the note to ("" for none); nothing when cancelled.
        std::function<std::optional<QString>(QWidget *parent, const QList<Notebook> &notebooks,
                                             const QString &currentNotebookId)>
            chooseNotebook;
        // Opens the version history of the note.
        std::function<void(QWidget *parent, const QString &noteId)> showHistory;
    };

    NoteWindow(AppState *state, const QString &noteId, QWidget *parent = nullptr);
    ~NoteWindow() override;

    Hooks &hooks() { return m_hooks; }
    // Export goes through these; its dialogs are seams of their own.
    IoCommands *ioCommands() const { return m_io; }

    QString noteId() const { return m_noteId; }
    void loadNote();
    void saveNote();
    void saveSnapshot();
    void updateWindowTitle();

    void copyNote(ExportFormat format);
    void exportNote();
    void print();
    void moveToNotebook();
    // Trashes the note and closes the window; with confirm, asks first.
    void moveToTrash(bool confirm);

    NotePane *pane() const { return m_pane; }
    NoteEditor *editor() const { return m_pane->editor(); }
    EditorToolbar *toolbar() const { return m_pane->toolbar(); }
    FindBar *findBar() const { return m_pane->findBar(); }
    NoteHeaderBar *headerBar() const { return m_pane->headerBar(); }
    StatusBar *statusBarWidget() const { return m_statusBar; }
    NoteSession *session() const { return m_pane->session(); }
    EditorActions *editorActions() const { return m_pane->actions(); }

signals:
    // Emitted once when the window closes, after its note was saved.
    void windowClosed(const QString &noteId);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void connectSignals();
    void installDefaultHooks();
    void removeIfEmptied();
    void applyFontScale();

    QPointer<AppState> m_state;
    QString m_noteId;
    Hooks m_hooks;
    NotePane *m_pane = nullptr;
    StatusBar *m_statusBar = nullptr;
    IoCommands *m_io = nullptr;
    // Whether the note was ever seen synchronised while this window showed it.
    bool m_seenSynced = false;
    bool m_closing = false;
    bool m_closed = false;
};
