// The editor's mouse, tool-tip, drop and context-menu events.
#include "noteeditor.h"

#include "attachmentfiles.h"
#include "attachmentrenderer.h"
#include "autosavescheduler.h"
#include "attachmentrepository.h"
#include "delta.h"
#include "deltadocument.h"
#include "dividerrenderer.h"
#include "editoractions.h"
#include "blockformatting.h"
#include "editorattachments.h"
#include "editorclipboard.h"
#include "editormenu.h"
#include "editorlinks.h"
#include "inlineformatting.h"
#include "notelistdelegate.h"
#include "editorkeys.h"
#include "editorrules.h"
#include "textediting.h"
#include "textformat.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextTable>
#include <QToolTip>

using namespace TextEditing;

// --- Mouse -----------------------------------------------------------------------------------

void NoteEditor::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        if (m_tripleClickTimer.isValid()
            && m_tripleClickTimer.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval()
            && (pos - m_tripleClickPos).manhattanLength() < 4) {
            m_tripleClickTimer.invalidate();
            QTextCursor cursor = textCursor();
            cursor.movePosition(QTextCursor::StartOfBlock);
            cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            setTextCursor(cursor);
            event->accept();
            return;
        }
        if (event->modifiers() & Qt::ControlModifier) {
            const QString href = anchorAt(pos);
            if (!href.isEmpty()) {
                openLink(href);
                event->accept();
                return;
            }
        }
    }
    QTextEdit::mousePressEvent(event);
}

void NoteEditor::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const bool overAttachment = m_attachments && !attachmentIdAt(cursorForPosition(pos).position()).isEmpty();
    const bool overLink = (event->modifiers() & Qt::ControlModifier) && !anchorAt(pos).isEmpty();
    viewport()->setCursor(overAttachment || overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
    QTextEdit::mouseMoveEvent(event);
}

void NoteEditor::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_tripleClickTimer.start();
        m_tripleClickPos = event->position().toPoint();
        if (m_attachmentFiles->openAt(cursorForPosition(m_tripleClickPos).position())) {
            event->accept();
            return;
        }
    }
    QTextEdit::mouseDoubleClickEvent(event);
}

bool NoteEditor::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        // Tab inserts into the text; Ctrl+Tab and Ctrl+Shift+Tab are the way
        // out of the editor forwards and backwards, even inside a table.
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((modifiers & Qt::ControlModifier) && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            // QTextEdit's own refuses while Tab inserts.
            QWidget::focusNextPrevChild(key->key() == Qt::Key_Tab && !(modifiers & Qt::ShiftModifier));
            return true;
        }
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // Claimed here so that no window shortcut takes Ctrl+Tab first.
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->modifiers() & Qt::ControlModifier) && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QPoint viewportPos = viewport()->mapFrom(this, help->pos());
        return showToolTip(viewportPos, help->globalPos()) || QTextEdit::event(event);
    }
    return QTextEdit::event(event);
}

void NoteEditor::paintEvent(QPaintEvent *event)
{
    QTextEdit::paintEvent(event);
    if (!hasFocus())
        return;
    // In the left margin, clear of the text; the accent where it stands out
    // 3:1 from the page, else the text colour.
    const QColor page = palette().color(QPalette::Base);
    const QColor accent = palette().color(QPalette::Highlight);
    QPainter painter(viewport());
    painter.fillRect(QRect(0, 0, 3, viewport()->height()),
                     contrastRatio(accent, page) >= 3.0 ? accent : palette().color(QPalette::Text));
}

void NoteEditor::focusInEvent(QFocusEvent *event)
{
    QTextEdit::focusInEvent(event);
    viewport()->update();
}

void NoteEditor::focusOutEvent(QFocusEvent *event)
{
    QTextEdit::focusOutEvent(event);
    viewport()->update();
}

bool NoteEditor::viewportEvent(QEvent *event)
{
    // Tool tip events reach the viewport, not the editor itself.
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (!showToolTip(help->pos(), help->globalPos()))
            event->ignore();
        return true;
    }
    return QTextEdit::viewportEvent(event);
}

QString NoteEditor::toolTipAt(const QPoint &viewportPos) const
{
    const QString attachment = m_attachmentFiles->toolTipAt(cursorForPosition(viewportPos).position());
    if (!attachment.isEmpty())
        return attachment;
    const QString href = anchorAt(viewportPos);
    if (!href.isEmpty())
        return tr("%1\n(Ctrl+click to open)").arg(href);
    return {};
}

bool NoteEditor::showToolTip(const QPoint &viewportPos, const QPoint &globalPos)
{
    const QString text = toolTipAt(viewportPos);
    if (text.isEmpty()) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(globalPos, text, viewport());
    return true;
}

// --- Drops and the context menu --------------------------------------------------------------

void NoteEditor::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_attachments && EditorClipboard::hasLocalFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        QTextEdit::dragEnterEvent(event);
}

void NoteEditor::dragMoveEvent(QDragMoveEvent *event)
{
    QTextEdit::dragMoveEvent(event);
    if (m_attachments && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void NoteEditor::dropEvent(QDropEvent *event)
{
    if (m_attachments && event->mimeData()->hasUrls()) {
        setTextCursor(cursorForPosition(event->position().toPoint()));
        if (m_attachmentFiles->insertFiles(m_noteId, event->mimeData()->urls())) {
            event->acceptProposedAction();
            return;
        }
    }
    QTextEdit::dropEvent(event);
}

std::unique_ptr<QMenu> NoteEditor::createContextMenu(const QPoint &viewportPos)
{
    // A right-click inside the selection keeps it, so that Copy and Cut still apply.
    const QTextCursor clicked = cursorForPosition(viewportPos);
    const QTextCursor current = textCursor();
    if (!(current.hasSelection() && clicked.position() >= current.selectionStart()
          && clicked.position() <= current.selectionEnd()))
        setTextCursor(clicked);
    return editorContextMenu(this, m_attachmentFiles, viewportPos);
}

void NoteEditor::contextMenuEvent(QContextMenuEvent *event)
{
    std::unique_ptr<QMenu> menu = createContextMenu(event->pos());
    if (menu)
        menu->exec(event->globalPos());
    event->accept();
}
