#pragma once

#include "converters.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class AppState;
class MainWindow;
class QMenu;

// What the main window does to a note as a whole, from the menus, the header
// bar and the note list: trash it, open it in a window of its own, show its
// history, share, export, copy and print it. The editor's note is stored
// first wherever the command reads it back.
class NoteCommands final : public QObject
{
    Q_OBJECT
public:
    // Follows the window's header bar and note list; both must be built.
    NoteCommands(AppState *state, MainWindow *window);

    // Trashes the note selected in the list (after asking when confirm) and selects the next.
    void trashSelected(bool confirm);
    void trash(const QString &noteId);
    void openInWindow(const QString &noteId);
    void showHistory();
    void copy(ExportFormat format);
    void print();
    void printPreview();
    // The note list's menu for a note, built for the caller to run; null for an unknown one.
    std::unique_ptr<QMenu> createContextMenu(const QString &noteId);

private:
    QString shownId() const;
    // Stores the note about to be printed; false (with a status message) when none is shown.
    bool prepareToPrint();

    QPointer<AppState> m_state;
    MainWindow *m_window;
};
