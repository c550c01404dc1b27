#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>

#include <memory>

class EditorAttachments;
class NoteEditor;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMenu;
class QMouseEvent;

// What the mouse does in the editor beyond the text control's own handling:
// a triple click selects the line, Ctrl+click follows a link, a double click
// opens an attachment, the pointer and tool tips over links and attachments,
// files dropped in as attachments, and where a right click puts the cursor.
// Each handler returns true when it took the event; otherwise the editor
// passes the event on to the text control.
class EditorPointer final : public QObject
{
    Q_OBJECT
public:
    // The editor owns this object and outlives it, as it does attachments.
    EditorPointer(NoteEditor *editor, EditorAttachments *attachments);

    bool press(QMouseEvent *event);
    // Only sets the pointer's shape.
    void move(QMouseEvent *event);
    bool doubleClick(QMouseEvent *event);

    // The tool tip over an attachment or a link at viewportPos; empty elsewhere.
    QString toolTipAt(const QPoint &viewportPos) const;
    // Shows it, or hides any tool tip when there is none; false then.
    bool showToolTip(const QPoint &viewportPos, const QPoint &globalPos);

    bool dragEnter(QDragEnterEvent *event);
    // After the text control's own handling.
    void dragMove(QDragMoveEvent *event);
    bool drop(QDropEvent *event);

    // The context menu for a click at viewportPos (moves the cursor there
    // unless the click is inside the selection); the caller runs it.
    std::unique_ptr<QMenu> contextMenu(const QPoint &viewportPos);

private:
    NoteEditor *m_editor;
    EditorAttachments *m_attachments;
    QElapsedTimer m_tripleClickTimer;
    QPoint m_tripleClickPos;
};
