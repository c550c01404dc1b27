#include "editorsession.h"

#include "attachmentrenderer.h"
#include "autosavescheduler.h"
#include "delta.h"
#include "deltadocument.h"
#include "editorrules.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>

namespace {
// Characters per display line of a note shown broken into lines.
constexpr qsizetype kDisplayLineWidth = 2000;
}

EditorSession::EditorSession(QTextEdit *editor, DeltaDocument *document)
    : QObject(editor)
    , m_editor(editor)
    , m_document(document)
{
    m_autosave = new AutosaveScheduler(this);
    connect(m_autosave, &AutosaveScheduler::saveDue, this, &EditorSession::onSaveDue);
    connect(m_autosave, &AutosaveScheduler::failingChanged, this, &EditorSession::saveFailingChanged);
    connect(m_document, &DeltaDocument::contentsChanged, this, &EditorSession::onContentsChanged);
    m_editor->setPlaceholderText(tr("Select a note or press Ctrl+N to create one"));
    m_editor->setReadOnly(true);
}

void EditorSession::setRenderer(AttachmentRenderer *renderer)
{
    m_renderer = renderer;
}

void EditorSession::loadNote(const QString &noteId, const QString &body, bool force)
{
    const bool sameNote = !noteId.isEmpty() && noteId == m_noteId;
    if (!force && sameNote && isSaved() && m_document->toJson() == body)
        return;

    int anchor = 0;
    int position = 0;
    int scroll = 0;
    if (sameNote) {
        anchor = m_editor->textCursor().anchor();
        position = m_editor->textCursor().position();
        scroll = m_editor->verticalScrollBar()->value();
    }

    m_loading = true;
    m_noteId = noteId;
    m_autosave->reset();
    m_editor->setUpdatesEnabled(false);
    if (m_renderer)
        m_renderer->clearCache();
    const bool wasOversized = m_oversized;
    // Layout cost grows with the longest block, not with the note: a body of
    // one huge paragraph is shown broken into display lines, read-only.
    QString plain;
    qsizetype longest = 0;
    if (body.size() > m_longParagraphLimit) {
        plain = deltaPlainText(body);
        longest = EditorRules::longestParagraph(plain);
    }
    m_oversized = body.size() > m_oversizedNoteLimit || longest > m_longParagraphLimit;
    if (sameNote && !m_oversized && !wasOversized) {
        // The same note changed elsewhere (a merge, a restored version): an
        // edit of the open text, so undo and the user's place survive it. A
        // forced load starts afresh.
        QList<int> places{anchor, position};
        if (force) {
            m_document->setJson(body);
        } else if (m_document->applyJson(body, &places)) {
            anchor = places[0];
            position = places[1];
        }
    } else {
        fillDetached(body, plain, longest);
    }

    m_editor->setReadOnly(m_oversized);
    m_editor->setPlaceholderText(tr("Start typing..."));
    m_loading = false;

    if (sameNote) {
        QTextDocument *document = m_editor->document();
        const int last = qMax(0, document->characterCount() - 1);
        QTextCursor cursor(document);
        cursor.setPosition(qBound(0, anchor, last));
        cursor.setPosition(qBound(0, position, last), QTextCursor::KeepAnchor);
        m_editor->setTextCursor(cursor);
        m_editor->setUpdatesEnabled(true);
        // The scroll range follows the layout, which is otherwise finished lazily.
        document->documentLayout()->documentSize();
        m_editor->verticalScrollBar()->setValue(scroll);
    } else {
        m_editor->setUpdatesEnabled(true);
    }

    emit savedStateChanged(true);
    emit wordCountChanged(wordCount());
    emit loaded();
    if (!sameNote)
        emit noteSwitched();
}

void EditorSession::fillDetached(const QString &body, const QString &plain, qsizetype longest)
{
    // Filled while detached, the note comes back with a fresh cursor at its
    // start; a cursor pushed along to its end would make the next cursor
    // change lay out the whole note at once.
    QTextDocument detached;
    m_editor->setDocument(&detached);
    if (m_oversized) {
        const QString notice = body.size() > m_oversizedNoteLimit
            ? tr("This note is too large to edit here (%1 MB). It is shown as plain text and cannot be changed.")
                  .arg(double(body.size()) / (1024 * 1024), 0, 'f', 1)
            : tr("This note has a paragraph too long to edit here (%1 characters). It is shown as plain text, "
                 "broken into lines, and cannot be changed.")
                  .arg(longest);
        m_document->document()->setPlainText(
            notice + QStringLiteral("\n\n")
            + EditorRules::brokenIntoLines(plain.isNull() ? deltaPlainText(body) : plain, kDisplayLineWidth));
    } else {
        m_document->setJson(body);
    }
    m_editor->setDocument(m_document->document());
}

void EditorSession::clearNote()
{
    m_loading = true;
    m_noteId.clear();
    m_oversized = false;
    m_autosave->reset();
    m_document->setJson(QString());
    m_editor->setReadOnly(true);
    m_editor->setPlaceholderText(tr("Select a note or press Ctrl+N to create one"));
    m_loading = false;
    emit savedStateChanged(true);
    emit wordCountChanged(0);
    emit noteSwitched();
}

int EditorSession::wordCount() const
{
    return EditorRules::wordCount(m_document->toPlainText());
}

void EditorSession::onContentsChanged()
{
    // A plain rendering must never replace the note's own body.
    if (m_loading || m_noteId.isEmpty() || m_oversized)
        return;
    m_autosave->edited();
    emit savedStateChanged(false);
    emit wordCountChanged(wordCount());
}

bool EditorSession::isSaved() const
{
    return m_autosave->isSaved();
}

bool EditorSession::isSaveFailing() const
{
    return m_autosave->isFailing();
}

void EditorSession::onSaveDue()
{
    m_awaitingSave = true;
    emit noteModified();
    if (m_awaitingSave)
        saveFinished(true);
}

void EditorSession::saveFinished(bool stored)
{
    m_awaitingSave = false;
    if (m_noteId.isEmpty() || isSaved())
        return;
    if (stored)
        m_autosave->saveSucceeded();
    else
        m_autosave->saveFailed();
    emit savedStateChanged(stored);
}

bool EditorSession::saveNow()
{
    if (!isSaved())
        onSaveDue();
    return isSaved();
}

void EditorSession::abandonUnsavedChanges()
{
    if (isSaved())
        return;
    m_autosave->reset();
    emit savedStateChanged(true);
}
