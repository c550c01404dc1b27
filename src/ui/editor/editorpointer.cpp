#include "editorpointer.h"

#include "editorattachments.h"
#include "editorclipboard.h"
#include "editormenu.h"
#include "noteeditor.h"

#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyleHints>
#include <QToolTip>

EditorPointer::EditorPointer(NoteEditor *editor, EditorAttachments *attachments)
    : QObject(editor)
    , m_editor(editor)
    , m_attachments(attachments)
{
}

bool EditorPointer::press(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    const QPoint pos = event->position().toPoint();
    if (m_tripleClickTimer.isValid()
        && m_tripleClickTimer.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval()
        && (pos - m_tripleClickPos).manhattanLength() < 4) {
        m_tripleClickTimer.invalidate();
        QTextCursor cursor = m_editor->textCursor();
        cursor.movePosition(QTextCursor::StartOfBlock);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        m_editor->setTextCursor(cursor);
        event->accept();
        return true;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        const QString href = m_editor->anchorAt(pos);
        if (!href.isEmpty()) {
            m_editor->openLink(href);
            event->accept();
            return true;
        }
    }
    return false;
}

void EditorPointer::move(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const bool overAttachment = m_attachments->isActive()
        && !m_editor->attachmentIdAt(m_editor->cursorForPosition(pos).position()).isEmpty();
    const bool overLink = (event->modifiers() & Qt::ControlModifier) && !m_editor->anchorAt(pos).isEmpty();
    m_editor->viewport()->setCursor(overAttachment || overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
}

bool EditorPointer::doubleClick(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    m_tripleClickTimer.start();
    m_tripleClickPos = event->position().toPoint();
    if (!m_attachments->openAt(m_editor->cursorForPosition(m_tripleClickPos).position()))
        return false;
    event->accept();
    return true;
}

QString EditorPointer::toolTipAt(const QPoint &viewportPos) const
{
    const QString attachment = m_attachments->toolTipAt(m_editor->cursorForPosition(viewportPos).position());
    if (!attachment.isEmpty())
        return attachment;
    const QString href = m_editor->anchorAt(viewportPos);
    if (!href.isEmpty())
        return tr("%1\n(Ctrl+click to open)").arg(href);
    return {};
}

bool EditorPointer::showToolTip(const QPoint &viewportPos, const QPoint &globalPos)
{
    const QString text = toolTipAt(viewportPos);
    if (text.isEmpty()) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(globalPos, text, m_editor->viewport());
    return true;
}

bool EditorPointer::dragEnter(QDragEnterEvent *event)
{
    if (!m_attachments->isActive() || !EditorClipboard::hasLocalFiles(event->mimeData()))
        return false;
    event->acceptProposedAction();
    return true;
}

void EditorPointer::dragMove(QDragMoveEvent *event)
{
    if (m_attachments->isActive() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

bool EditorPointer::drop(QDropEvent *event)
{
    if (!m_attachments->isActive() || !event->mimeData()->hasUrls())
        return false;
    m_editor->setTextCursor(m_editor->cursorForPosition(event->position().toPoint()));
    if (!m_attachments->insertFiles(m_editor->noteId(), event->mimeData()->urls()))
        return false;
    event->acceptProposedAction();
    return true;
}

std::unique_ptr<QMenu> EditorPointer::contextMenu(const QPoint &viewportPos)
{
    // A right-click inside the selection keeps it, so that Copy and Cut still apply.
    const QTextCursor clicked = m_editor->cursorForPosition(viewportPos);
    const QTextCursor current = m_editor->textCursor();
    if (!(current.hasSelection() && clicked.position() >= current.selectionStart()
          && clicked.position() <= current.selectionEnd()))
        m_editor->setTextCursor(clicked);
    return editorContextMenu(m_editor, m_attachments, viewportPos);
}
