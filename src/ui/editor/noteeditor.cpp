#include "noteeditor.h"

#include "editoraccessibility.h"

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
#include "editorkeys.h"
#include "editorrules.h"
#include "textediting.h"
#include "textformat.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextTable>
#include <QToolTip>

using namespace TextEditing;

namespace {
// Characters per display line of a note shown broken into lines.
constexpr qsizetype kDisplayLineWidth = 2000;
}

NoteEditor::NoteEditor(QWidget *parent)
    : QTextEdit(parent)
{
    m_deltaDocument = new DeltaDocument(this);
    setDocument(m_deltaDocument->document());
    document()->documentLayout()->registerHandler(TextObject::Divider, new DividerRenderer(this));

    setAcceptRichText(true);
    setTabChangesFocus(false);
    setAccessibleName(tr("Note text"));
    viewport()->setMouseTracking(true);
    setFont(baseFont());

    m_autosave = new AutosaveScheduler(this);
    connect(m_autosave, &AutosaveScheduler::saveDue, this, &NoteEditor::onSaveDue);
    connect(m_autosave, &AutosaveScheduler::failingChanged, this, &NoteEditor::saveFailingChanged);
    connect(m_deltaDocument, &DeltaDocument::contentsChanged, this, &NoteEditor::onContentsChanged);
    connect(this, &QTextEdit::cursorPositionChanged, this, &NoteEditor::publishFormatState);

    setPlaceholderText(tr("Select a note or press Ctrl+N to create one"));
    setReadOnly(true);
    connect(this, &QTextEdit::cursorPositionChanged, this, &NoteEditor::leaveLinkEnd);

    m_hooks = defaultEditorHooks(this);
    m_attachmentFiles = new EditorAttachments(this, m_hooks);
    // The structure the plain text leaves out, for screen readers, kept for the cursor's place.
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] {
        const QString description = EditorAccessibility::describe(textCursor(), [this](int position) {
            const std::optional<Attachment> record = m_attachmentFiles->recordAt(position);
            return record ? record->filename : QString();
        });
        if (description != accessibleDescription())
            setAccessibleDescription(description);
    });
}

NoteEditor::~NoteEditor() = default;

void NoteEditor::applyFontScale()
{
    setFont(baseFont());
}

QFont NoteEditor::baseFont() const
{
    QFont font = QApplication::font();
    font.setPixelSize(scaledPixelSize(16));
    return font;
}

void NoteEditor::setAttachmentRepository(AttachmentRepository *repository)
{
    if (!repository)
        return;
    m_attachments = repository;
    m_attachmentFiles->setRepository(repository);
    if (!m_renderer) {
        m_renderer = new AttachmentRenderer(
            [store = QPointer<AttachmentRepository>(repository)](const QString &id) -> std::optional<AttachmentFile> {
                const std::optional<Attachment> record = store ? store->attachmentById(id) : std::nullopt;
                if (!record)
                    return std::nullopt;
                return AttachmentFile{record->filename, record->mimeType, [store, id] {
                                          return store ? store->readFile(id) : QByteArray();
                                      }};
            },
            this);
        document()->documentLayout()->registerHandler(TextObject::Attachment, m_renderer);
    }
    setAcceptDrops(true);
}

// --- Loading and change tracking -------------------------------------------------------------

void NoteEditor::loadNote(const QString &noteId, const QString &body, bool force)
{
    const bool sameNote = !noteId.isEmpty() && noteId == m_noteId;
    if (!force && sameNote && isSaved() && m_deltaDocument->toJson() == body)
        return;

    int anchor = 0;
    int position = 0;
    int scroll = 0;
    if (sameNote) {
        anchor = textCursor().anchor();
        position = textCursor().position();
        scroll = verticalScrollBar()->value();
    }

    m_loading = true;
    m_noteId = noteId;
    m_autosave->reset();
    setUpdatesEnabled(false);
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
            m_deltaDocument->setJson(body);
        } else if (m_deltaDocument->applyJson(body, &places)) {
            anchor = places[0];
            position = places[1];
        }
    } else {
        // Filled while detached, the note comes back with a fresh cursor at
        // its start; a cursor pushed along to its end would make the next
        // cursor change lay out the whole note at once.
        QTextDocument detached;
        setDocument(&detached);
        if (m_oversized) {
            const QString notice = body.size() > m_oversizedNoteLimit
                ? tr("This note is too large to edit here (%1 MB). It is shown as plain text and cannot be changed.")
                      .arg(double(body.size()) / (1024 * 1024), 0, 'f', 1)
                : tr("This note has a paragraph too long to edit here (%1 characters). It is shown as plain text, "
                     "broken into lines, and cannot be changed.")
                      .arg(longest);
            m_deltaDocument->document()->setPlainText(
                notice + QStringLiteral("\n\n")
                + EditorRules::brokenIntoLines(plain.isNull() ? deltaPlainText(body) : plain, kDisplayLineWidth));
        } else {
            m_deltaDocument->setJson(body);
        }
        setDocument(m_deltaDocument->document());
    }

    setReadOnly(m_oversized);
    setPlaceholderText(tr("Start typing..."));
    m_loading = false;

    if (sameNote) {
        const int last = qMax(0, document()->characterCount() - 1);
        QTextCursor cursor(document());
        cursor.setPosition(qBound(0, anchor, last));
        cursor.setPosition(qBound(0, position, last), QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        setUpdatesEnabled(true);
        // The scroll range follows the layout, which is otherwise finished lazily.
        document()->documentLayout()->documentSize();
        verticalScrollBar()->setValue(scroll);
    } else {
        setUpdatesEnabled(true);
    }

    emit savedStateChanged(true);
    emit wordCountChanged(wordCount());
    publishFormatState();
    if (!sameNote)
        emit noteSwitched();
}

void NoteEditor::clearNote()
{
    m_loading = true;
    m_noteId.clear();
    m_oversized = false;
    m_autosave->reset();
    m_deltaDocument->setJson(QString());
    setReadOnly(true);
    setPlaceholderText(tr("Select a note or press Ctrl+N to create one"));
    m_loading = false;
    emit savedStateChanged(true);
    emit wordCountChanged(0);
    emit noteSwitched();
}

QString NoteEditor::currentDelta() const
{
    return m_deltaDocument->toJson();
}

int NoteEditor::wordCount() const
{
    return EditorRules::wordCount(m_deltaDocument->toPlainText());
}

void NoteEditor::refreshAttachments()
{
    if (m_renderer)
        m_renderer->clearCache();
    document()->markContentsDirty(0, document()->characterCount());
    viewport()->update();
}

void NoteEditor::onContentsChanged()
{
    if (m_loading || m_noteId.isEmpty())
        return;
    markEdited();
}

void NoteEditor::markEdited()
{
    // A plain rendering must never replace the note's own body.
    if (m_oversized)
        return;
    m_autosave->edited();
    emit savedStateChanged(false);
    emit wordCountChanged(wordCount());
}

bool NoteEditor::isSaved() const
{
    return m_autosave->isSaved();
}

bool NoteEditor::isSaveFailing() const
{
    return m_autosave->isFailing();
}

void NoteEditor::onSaveDue()
{
    m_awaitingSave = true;
    emit noteModified();
    if (m_awaitingSave)
        saveFinished(true);
}

void NoteEditor::saveFinished(bool stored)
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

bool NoteEditor::saveNow()
{
    if (!isSaved())
        onSaveDue();
    return isSaved();
}

void NoteEditor::abandonUnsavedChanges()
{
    if (isSaved())
        return;
    m_autosave->reset();
    emit savedStateChanged(true);
}

// --- Format state and inline formatting ------------------------------------------------------

void NoteEditor::publishFormatState()
{
    emit formatStateChanged(formatStateAt(textCursor()));
}

void NoteEditor::toggleMark(InlineFormatting::Mark mark)
{
    QTextCursor cursor = textCursor();
    InlineFormatting::toggle(cursor, mark, baseFont());
    setTextCursor(cursor);
    publishFormatState();
}

// --- Block formatting ------------------------------------------------------------------------

void NoteEditor::setHeading(int level)
{
    QTextCursor cursor = textCursor();
    BlockFormatting::setHeading(cursor, level);
    setTextCursor(cursor);
    publishFormatState();
}

void NoteEditor::toggleList(const QString &type)
{
    BlockFormatting::toggleList(textCursor(), type);
    publishFormatState();
}

void NoteEditor::toggleBlockProperty(int property)
{
    QTextCursor cursor = textCursor();
    BlockFormatting::toggleBlockProperty(cursor, property);
    setTextCursor(cursor);
    publishFormatState();
}

void NoteEditor::setAlignment(Qt::Alignment alignment)
{
    QTextCursor cursor = textCursor();
    QTextBlockFormat format;
    format.setAlignment(alignment & Qt::AlignHorizontal_Mask);
    cursor.mergeBlockFormat(format);
    publishFormatState();
}

// --- Keys ------------------------------------------------------------------------------------

void NoteEditor::keyPressEvent(QKeyEvent *event)
{
    // A read-only editor (no note, or a note shown for reference) is never
    // changed by the commands below; navigation and copying still work.
    if (!isReadOnly()) {
        const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
        bool handled = false;
        // Return is not the text control's own: it keeps a heading going and drops the
        // spacing of list items and empty lines, which a reload brings back.
        if (const std::optional<QTextCursor> edited = EditorKeys::edit(textCursor(), event->key(), modifiers)) {
            setTextCursor(*edited);
            handled = true;
        } else if (const auto command = EditorActions::commandForKey(event->key(), modifiers)) {
            // The text control claims some of these keys (Ctrl+K) before any
            // window shortcut sees them.
            handled = EditorActions::run(this, *command);
        }
        if (handled) {
            event->accept();
            return;
        }
    }
    QTextEdit::keyPressEvent(event);
}

void NoteEditor::selectLine()
{
    setTextCursor(TextEditing::selectLine(textCursor()));
}

void NoteEditor::deleteWordBefore()
{
    setTextCursor(TextEditing::deleteWordBefore(textCursor()));
}

void NoteEditor::duplicateBlock()
{
    setTextCursor(duplicateLine(textCursor()));
}

void NoteEditor::deleteBlock()
{
    setTextCursor(deleteLine(textCursor()));
}

void NoteEditor::moveBlock(bool up)
{
    setTextCursor(moveLine(textCursor(), up));
}

// --- Links -----------------------------------------------------------------------------------

std::optional<NoteEditor::LinkRange> NoteEditor::linkAt(int position) const
{
    return EditorLinks::linkAt(document(), position);
}

void NoteEditor::leaveLinkEnd()
{
    if (const std::optional<QTextCharFormat> plain = EditorLinks::typingFormat(textCursor()))
        setCurrentCharFormat(*plain);
}

void NoteEditor::insertLink()
{
    QTextCursor cursor = textCursor();
    QString selected = cursor.selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const std::optional<LinkInput> link = EditorLinks::ask(m_hooks, tr("Insert Link"), {selected, QStringLiteral("https://")});
    if (!link)
        return;
    EditorLinks::insertLink(cursor, link->text, link->url);
    setTextCursor(cursor);
}

void NoteEditor::editLink(const LinkRange &range)
{
    QTextCursor cursor(document());
    cursor.setPosition(range.start);
    cursor.setPosition(range.end, QTextCursor::KeepAnchor);
    const QString text = cursor.selectedText();
    const std::optional<LinkInput> link = EditorLinks::ask(m_hooks, tr("Edit Link"), {text, range.href});
    if (link && (link->text != text || link->url != range.href))
        EditorLinks::insertLink(cursor, link->text, link->url);
}

void NoteEditor::removeLink(const LinkRange &range)
{
    EditorLinks::removeLink(document(), range, palette().color(QPalette::Text));
}

void NoteEditor::openLink(const QString &href)
{
    const QLatin1String noteLink("velmora-notes://note/");
    if (href.startsWith(noteLink)) {
        emit noteLinkActivated(href.mid(noteLink.size()));
        return;
    }
    const QUrl url = EditorRules::linkTarget(href);
    if (url.isEmpty())
        return;
    // Notes come from other people too: anything but web and mail addresses
    // can start a local program, so the user sees the address first.
    if (!EditorRules::opensWithoutAsking(url) && !confirmOpenLink(m_hooks, this, url))
        return;
    if (m_hooks.openUrl)
        m_hooks.openUrl(url);
}

// --- Tables and dividers ---------------------------------------------------------------------

void NoteEditor::insertTable(int rows, int columns, bool headerRow)
{
    if (QTextTable *table = TextEditing::insertTable(textCursor(), rows, columns, headerRow,
                                                     palette().color(QPalette::AlternateBase))) {
        setTextCursor(table->cellAt(0, 0).firstCursorPosition());
        setFocus();
    }
}

void NoteEditor::insertTableWithDialog()
{
    if (textCursor().currentTable() || !m_hooks.askTableSize)
        return;
    if (const auto size = m_hooks.askTableSize())
        insertTable(std::get<0>(*size), std::get<1>(*size), std::get<2>(*size));
}

void NoteEditor::insertDivider()
{
    setTextCursor(TextEditing::insertDivider(textCursor()));
}

// --- Paste -----------------------------------------------------------------------------------

void NoteEditor::insertDelta(const QJsonArray &delta)
{
    const QTextDocumentFragment fragment = EditorClipboard::deltaFragment(delta, font());
    if (fragment.isEmpty())
        return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertFragment(fragment);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

QMimeData *NoteEditor::createMimeDataFromSelection() const
{
    QMimeData *data = QTextEdit::createMimeDataFromSelection();
    if (data && !m_noteId.isEmpty())
        EditorClipboard::addNoteDelta(data, textCursor().selection(), m_noteId);
    return data;
}

bool NoteEditor::canInsertFromMimeData(const QMimeData *source) const
{
    if (source->hasFormat(QStringLiteral("text/markdown")))
        return true;
    if (m_attachments && !m_noteId.isEmpty() && (EditorClipboard::hasLocalFiles(source) || source->hasImage()))
        return true;
    return QTextEdit::canInsertFromMimeData(source);
}

void NoteEditor::pastePlainText()
{
    const QMimeData *source = QGuiApplication::clipboard()->mimeData();
    if (isReadOnly() || m_noteId.isEmpty() || !source || !source->hasText())
        return;
    QTextCursor cursor = textCursor();
    cursor.insertText(source->text(), lineCharFormat(cursor.blockFormat()));
    setTextCursor(cursor);
}

void NoteEditor::insertFromMimeData(const QMimeData *source)
{
    if (const std::optional<QJsonArray> own = EditorClipboard::noteDelta(source, m_noteId)) {
        insertDelta(*own);
        return;
    }
    if (m_attachmentFiles->paste(m_noteId, source))
        return;
    if (const std::optional<QJsonArray> converted = EditorClipboard::convertedText(source)) {
        insertDelta(*converted);
        return;
    }
    QTextEdit::insertFromMimeData(source);
}

// --- Attachments -----------------------------------------------------------------------------

QString NoteEditor::attachmentIdAt(int position) const
{
    return AttachmentFiles::attachmentIdAt(document(), position);
}

void NoteEditor::insertAttachment()
{
    if (!m_attachments || m_noteId.isEmpty() || !m_hooks.askOpenFile)
        return;
    const QString path = m_hooks.askOpenFile();
    if (!path.isEmpty())
        insertAttachmentFromPath(path);
}

bool NoteEditor::insertAttachmentFromPath(const QString &path)
{
    return m_attachmentFiles->insertFile(m_noteId, path);
}

bool NoteEditor::insertAttachmentBytes(const QString &fileName, const QString &mimeType, const QByteArray &bytes)
{
    return m_attachmentFiles->insertBytes(m_noteId, fileName, mimeType, bytes);
}

bool NoteEditor::openAttachment(const QString &id, const QString &fileName)
{
    return m_attachmentFiles->open(id, fileName);
}

void NoteEditor::saveAttachmentAs(const QString &id, const QString &fileName)
{
    m_attachmentFiles->saveAs(id, fileName);
}

void NoteEditor::copyAttachmentFile(const QString &id, const QString &fileName)
{
    m_attachmentFiles->copyFile(id, fileName);
}

void NoteEditor::removeAttachment(const QString &id)
{
    m_attachmentFiles->remove(id);
}
