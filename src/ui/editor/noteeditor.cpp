#include "noteeditor.h"

#include "attachmentfiles.h"
#include "attachmentrenderer.h"
#include "attachmentrepository.h"
#include "deltadocument.h"
#include "dividerrenderer.h"
#include "editoraccessibility.h"
#include "editoractions.h"
#include "editorattachments.h"
#include "editorclipboard.h"
#include "editorkeys.h"
#include "editorpointer.h"
#include "editorrules.h"
#include "notelistdelegate.h"
#include "textediting.h"
#include "textformat.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QTextDocumentFragment>
#include <QTextTable>

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

    m_session = new EditorSession(this, m_deltaDocument);
    connect(m_session, &EditorSession::noteModified, this, &NoteEditor::noteModified);
    connect(m_session, &EditorSession::noteSwitched, this, &NoteEditor::noteSwitched);
    connect(m_session, &EditorSession::loaded, this, &NoteEditor::publishFormatState);
    connect(m_session, &EditorSession::savedStateChanged, this, &NoteEditor::savedStateChanged);
    connect(m_session, &EditorSession::saveFailingChanged, this, &NoteEditor::saveFailingChanged);
    connect(m_session, &EditorSession::wordCountChanged, this, &NoteEditor::wordCountChanged);
    connect(this, &QTextEdit::cursorPositionChanged, this, &NoteEditor::publishFormatState);
    connect(this, &QTextEdit::cursorPositionChanged, this, &NoteEditor::leaveLinkEnd);

    m_hooks = defaultEditorHooks(this);
    m_attachmentFiles = new EditorAttachments(this, m_hooks);
    m_pointer = new EditorPointer(this, m_attachmentFiles);
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

QFont NoteEditor::baseFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(scaledPixelSize(16));
    return font;
}

void NoteEditor::setAttachmentRepository(AttachmentRepository *repository)
{
    if (!repository)
        return;
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
        m_session->setRenderer(m_renderer);
    }
    setAcceptDrops(true);
}

QString NoteEditor::currentDelta() const
{
    return m_deltaDocument->toJson();
}

void NoteEditor::refreshAttachments()
{
    if (m_renderer)
        m_renderer->clearCache();
    document()->markContentsDirty(0, document()->characterCount());
    viewport()->update();
}

// --- Format state ------------------------------------------------------------------------------

void NoteEditor::publishFormatState()
{
    emit formatStateChanged(formatStateAt(textCursor()));
}

// --- Keys ------------------------------------------------------------------------------------

void NoteEditor::keyPressEvent(QKeyEvent *event)
{
    // A read-only editor (no note, or a note shown for reference) is never
    // changed by the editor's own keys; navigation and copying still work.
    if (!isReadOnly() && EditorActions::runKey(this, event->key(), event->modifiers()))
        event->accept();
    else
        QTextEdit::keyPressEvent(event);
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
    if (data && !noteId().isEmpty())
        EditorClipboard::addNoteDelta(data, textCursor().selection(), noteId());
    return data;
}

bool NoteEditor::canInsertFromMimeData(const QMimeData *source) const
{
    if (source->hasFormat(QStringLiteral("text/markdown")))
        return true;
    if (m_attachmentFiles->isActive() && !noteId().isEmpty() && (EditorClipboard::hasLocalFiles(source) || source->hasImage()))
        return true;
    return QTextEdit::canInsertFromMimeData(source);
}

void NoteEditor::pastePlainText()
{
    const QMimeData *source = QGuiApplication::clipboard()->mimeData();
    if (isReadOnly() || noteId().isEmpty() || !source || !source->hasText())
        return;
    QTextCursor cursor = textCursor();
    cursor.insertText(source->text(), lineCharFormat(cursor.blockFormat()));
    setTextCursor(cursor);
}

void NoteEditor::insertFromMimeData(const QMimeData *source)
{
    if (const std::optional<QJsonArray> own = EditorClipboard::noteDelta(source, noteId())) {
        insertDelta(*own);
        return;
    }
    if (m_attachmentFiles->paste(noteId(), source))
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
    if (!m_attachmentFiles->isActive() || noteId().isEmpty() || !m_hooks.askOpenFile)
        return;
    const QString path = m_hooks.askOpenFile();
    if (!path.isEmpty())
        insertAttachmentFromPath(path);
}

bool NoteEditor::insertAttachmentFromPath(const QString &path)
{
    return m_attachmentFiles->insertFile(noteId(), path);
}

bool NoteEditor::insertAttachmentBytes(const QString &fileName, const QString &mimeType, const QByteArray &bytes)
{
    return m_attachmentFiles->insertBytes(noteId(), fileName, mimeType, bytes);
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

// --- Events --------------------------------------------------------------------------------

void NoteEditor::mousePressEvent(QMouseEvent *event)
{
    if (!m_pointer->press(event))
        QTextEdit::mousePressEvent(event);
}

void NoteEditor::mouseMoveEvent(QMouseEvent *event)
{
    m_pointer->move(event);
    QTextEdit::mouseMoveEvent(event);
}

void NoteEditor::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!m_pointer->doubleClick(event))
        QTextEdit::mouseDoubleClickEvent(event);
}

bool NoteEditor::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (EditorKeys::leavesEditor(key->key(), key->modifiers())) {
            // Claimed on ShortcutOverride so that no window shortcut takes it
            // first; QTextEdit's own focus change refuses while Tab inserts.
            if (event->type() == QEvent::ShortcutOverride)
                event->accept();
            else
                QWidget::focusNextPrevChild(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
    }
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QPoint viewportPos = viewport()->mapFrom(this, help->pos());
        return m_pointer->showToolTip(viewportPos, help->globalPos()) || QTextEdit::event(event);
    }
    return QTextEdit::event(event);
}

bool NoteEditor::viewportEvent(QEvent *event)
{
    // Tool tip events reach the viewport, not the editor itself.
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (!m_pointer->showToolTip(help->pos(), help->globalPos()))
            event->ignore();
        return true;
    }
    return QTextEdit::viewportEvent(event);
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

void NoteEditor::dragEnterEvent(QDragEnterEvent *event)
{
    if (!m_pointer->dragEnter(event))
        QTextEdit::dragEnterEvent(event);
}

void NoteEditor::dragMoveEvent(QDragMoveEvent *event)
{
    QTextEdit::dragMoveEvent(event);
    m_pointer->dragMove(event);
}

void NoteEditor::dropEvent(QDropEvent *event)
{
    if (!m_pointer->drop(event))
        QTextEdit::dropEvent(event);
}

std::unique_ptr<QMenu> NoteEditor::createContextMenu(const QPoint &viewportPos)
{
    return m_pointer->contextMenu(viewportPos);
}

void NoteEditor::contextMenuEvent(QContextMenuEvent *event)
{
    std::unique_ptr<QMenu> menu = createContextMenu(event->pos());
    if (menu)
        menu->exec(event->globalPos());
    event->accept();
}
