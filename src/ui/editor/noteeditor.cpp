#include "noteeditor.h"

#include "attachmentrenderer.h"
#include "attachmenttempfolder.h"
#include "attachmentrepository.h"
#include "delta.h"
#include "deltadocument.h"
#include "deltaimport.h"
#include "deltatable.h"
#include "dividerrenderer.h"
#include "editoractions.h"
#include "attachmentfiles.h"
#include "blockformatting.h"
#include "editorclipboard.h"
#include "editorlinks.h"
#include "inlineformatting.h"
#include "linebreak.h"
#include "editorrules.h"
#include "textediting.h"
#include "imagelightbox.h"
#include "inserttabledialog.h"
#include "linkdialog.h"
#include "privatefiles.h"
#include "textformat.h"
#include "uilog.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QJsonDocument>
#include <QMenu>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QMimeData>
#include <QMimeDatabase>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextTable>
#include <QTimer>
#include <QToolTip>
#include <QUuid>

using namespace TextEditing;

NoteEditor::NoteEditor(QWidget *parent)
    : QTextEdit(parent)
{
    m_deltaDocument = new DeltaDocument(this);
    setDocument(m_deltaDocument->document());
    document()->documentLayout()->registerHandler(TextObject::Divider, new DividerRenderer(this));

    setAcceptRichText(true);
    setTabChangesFocus(false);
    viewport()->setMouseTracking(true);
    setFont(baseFont());

    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(1000);
    // A coarse timer may fire up to 5 % early; the debounce is a full second.
    m_saveTimer->setTimerType(Qt::PreciseTimer);
    connect(m_saveTimer, &QTimer::timeout, this, &NoteEditor::onSaveTimeout);
    connect(m_deltaDocument, &DeltaDocument::contentsChanged, this, &NoteEditor::onContentsChanged);
    connect(this, &QTextEdit::cursorPositionChanged, this, &NoteEditor::publishFormatState);

    setPlaceholderText(tr("Select a note or press Ctrl+N to create one"));
    setReadOnly(true);
    connect(this, &QTextEdit::cursorPositionChanged, this, &NoteEditor::leaveLinkEnd);

    m_hooks.askLink = [this](const QString &title, const LinkInput &initial) -> std::optional<LinkInput> {
        LinkDialog dialog(title, initial.text, initial.url, this);
        if (dialog.exec() != QDialog::Accepted || dialog.url().isEmpty())
            return std::nullopt;
        return LinkInput{dialog.text(), dialog.url()};
    };
    m_hooks.askTableSize = [this]() -> std::optional<std::tuple<int, int, bool>> {
        InsertTableDialog dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return std::make_tuple(dialog.rows(), dialog.columns(), dialog.headerRow());
    };
    m_hooks.askOpenFile = [this] {
        return QFileDialog::getOpenFileName(
            this, tr("Insert Attachment"), QString(),
            tr("All Files (*.*);;Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.svg)"));
    };
    m_hooks.askSaveFile = [this](const QString &suggestedPath) {
        return QFileDialog::getSaveFileName(this, tr("Save Attachment"), suggestedPath);
    };
    m_hooks.confirmOpenUrl = [this](const QUrl &url) {
        return QMessageBox::question(this, tr("Open Link"),
                                     tr("This link is not a web or mail address and may start another "
                                        "program:\n\n%1\n\nOpen it?")
                                         .arg(url.toString()),
                                     QMessageBox::Open | QMessageBox::Cancel, QMessageBox::Cancel)
            == QMessageBox::Open;
    };
    m_hooks.confirmOpenAttachment = [this](const QString &fileName, const QString &type) {
        return QMessageBox::question(this, tr("Open Attachment"),
                                     tr("\"%1\" is a file of type %2, which may run a program on this "
                                        "computer.\n\nOpen it?")
                                         .arg(fileName, type),
                                     QMessageBox::Open | QMessageBox::Cancel, QMessageBox::Cancel)
            == QMessageBox::Open;
    };
    m_hooks.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    m_hooks.setClipboard = [](QMimeData *data) { QGuiApplication::clipboard()->setMimeData(data); };
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
    if (!force && sameNote && m_saved && m_deltaDocument->toJson() == body)
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
    m_saveTimer->stop();
    setUpdatesEnabled(false);
    if (m_renderer)
        m_renderer->clearCache();
    const bool wasOversized = m_oversized;
    m_oversized = body.size() > m_oversizedNoteLimit;
    if (sameNote && !m_oversized && !wasOversized) {
        m_deltaDocument->setJson(body);
    } else {
        // Filled while detached, the note comes back with a fresh cursor at
        // its start; a cursor pushed along to its end would make the next
        // cursor change lay out the whole note at once.
        QTextDocument detached;
        setDocument(&detached);
        if (m_oversized) {
            m_deltaDocument->document()->setPlainText(
                tr("This note is too large to edit here (%1 MB). It is shown as plain text and cannot be changed.")
                    .arg(double(body.size()) / (1024 * 1024), 0, 'f', 1)
                + QStringLiteral("\n\n") + deltaPlainText(body));
        } else {
            m_deltaDocument->setJson(body);
        }
        setDocument(m_deltaDocument->document());
    }

    setReadOnly(m_oversized);
    setPlaceholderText(tr("Start typing..."));
    m_loading = false;
    m_saved = true;

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
}

void NoteEditor::clearNote()
{
    m_loading = true;
    m_noteId.clear();
    m_oversized = false;
    m_saveTimer->stop();
    m_deltaDocument->setJson(QString());
    setReadOnly(true);
    setPlaceholderText(tr("Select a note or press Ctrl+N to create one"));
    m_loading = false;
    m_saved = true;
    emit savedStateChanged(true);
    emit wordCountChanged(0);
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
    m_saved = false;
    emit savedStateChanged(false);
    m_saveTimer->start();
    emit wordCountChanged(wordCount());
}

void NoteEditor::onSaveTimeout()
{
    emit noteModified();
    m_saved = true;
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

void NoteEditor::toggleBold()
{
    toggleMark(InlineFormatting::Mark::Bold);
}

void NoteEditor::toggleItalic()
{
    toggleMark(InlineFormatting::Mark::Italic);
}

void NoteEditor::toggleUnderline()
{
    toggleMark(InlineFormatting::Mark::Underline);
}

void NoteEditor::toggleStrikethrough()
{
    toggleMark(InlineFormatting::Mark::Strike);
}

void NoteEditor::toggleInlineCode()
{
    toggleMark(InlineFormatting::Mark::Code);
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

void NoteEditor::toggleCodeBlock()
{
    toggleBlockProperty(TextProperty::CodeBlock);
}

void NoteEditor::toggleBlockquote()
{
    toggleBlockProperty(TextProperty::Blockquote);
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
        const QTextCursor cursor = textCursor();
        bool handled = false;
        const int key = event->key();

        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
            // Not the text control's own: it keeps a heading going and drops the
            // spacing of list items and empty lines, which a reload brings back.
            QTextCursor broken = textCursor();
            LineBreak::breakLine(broken);
            setTextCursor(broken);
            handled = true;
        } else if (key == Qt::Key_Backspace && modifiers == Qt::NoModifier && !cursor.hasSelection()) {
            handled = handleListBackspace();
        } else if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && cursor.currentTable()) {
            handled = handleTableTab(key == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier));
        } else if (const auto command = EditorActions::commandForKey(key, modifiers)) {
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

bool NoteEditor::handleListBackspace()
{
    QTextCursor cursor = textCursor();
    if (!removeEmptyFirstListItem(cursor))
        return false;
    setTextCursor(cursor);
    return true;
}

bool NoteEditor::handleTableTab(bool backwards)
{
    const std::optional<QTextCursor> cell = nextTableCell(textCursor(), backwards);
    if (cell)
        setTextCursor(*cell);
    return cell.has_value();
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
        if (m_attachments) {
            const QString id = attachmentIdAt(cursorForPosition(m_tripleClickPos).position());
            if (!id.isEmpty()) {
                const std::optional<Attachment> record = m_attachments->attachmentById(id);
                if (record) {
                    bool done = AttachmentRenderer::isImageMimeType(record->mimeType) && showImage(id);
                    if (!done)
                        done = openAttachment(id, record->filename);
                    if (done) {
                        event->accept();
                        return;
                    }
                }
            }
        }
    }
    QTextEdit::mouseDoubleClickEvent(event);
}

bool NoteEditor::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QPoint viewportPos = viewport()->mapFrom(this, help->pos());
        return showToolTip(viewportPos, help->globalPos()) || QTextEdit::event(event);
    }
    return QTextEdit::event(event);
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
    if (m_attachments) {
        const QString id = attachmentIdAt(cursorForPosition(viewportPos).position());
        if (!id.isEmpty()) {
            if (const std::optional<Attachment> record = m_attachments->attachmentById(id)) {
                return tr("%1 (%2)\n(Double-click to open, right-click for more)")
                    .arg(record->filename, EditorRules::formatAttachmentSize(record->sizeBytes));
            }
        }
    }
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

std::optional<NoteEditor::LinkInput> NoteEditor::askLink(const QString &title, const LinkInput &initial)
{
    if (!m_hooks.askLink)
        return std::nullopt;
    std::optional<LinkInput> answer = m_hooks.askLink(title, initial);
    if (!answer)
        return std::nullopt;
    answer->url = answer->url.trimmed();
    if (answer->url.isEmpty())
        return std::nullopt;
    return answer;
}

void NoteEditor::insertLink()
{
    QTextCursor cursor = textCursor();
    QString selected = cursor.selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const std::optional<LinkInput> link = askLink(tr("Insert Link"), {selected, QStringLiteral("https://")});
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
    const std::optional<LinkInput> link = askLink(tr("Edit Link"), {text, range.href});
    if (!link || (link->text == text && link->url == range.href))
        return;
    if (link->text == text)
        cursor.mergeCharFormat(linkFormat(link->url));
    else
        cursor.insertText(link->text.isEmpty() ? link->url : link->text, linkFormat(link->url));
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
    if (!EditorRules::opensWithoutAsking(url) && !(m_hooks.confirmOpenUrl && m_hooks.confirmOpenUrl(url)))
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

bool NoteEditor::insertTableRow(bool below)
{
    return TextEditing::insertTableRow(textCursor(), below);
}

bool NoteEditor::insertTableColumn(bool after)
{
    return TextEditing::insertTableColumn(textCursor(), after);
}

bool NoteEditor::deleteTableRow()
{
    QTextCursor cursor = textCursor();
    if (!TextEditing::deleteTableRow(cursor))
        return false;
    setTextCursor(cursor);
    return true;
}

bool NoteEditor::deleteTableColumn()
{
    QTextCursor cursor = textCursor();
    if (!TextEditing::deleteTableColumn(cursor))
        return false;
    setTextCursor(cursor);
    return true;
}

bool NoteEditor::deleteTable()
{
    QTextCursor cursor = textCursor();
    if (!TextEditing::deleteTable(cursor))
        return false;
    setTextCursor(cursor);
    return true;
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

void NoteEditor::insertFromMimeData(const QMimeData *source)
{
    if (const std::optional<QJsonArray> own = EditorClipboard::noteDelta(source, m_noteId)) {
        insertDelta(*own);
        return;
    }
    // Files copied in a file manager become attachments, as when dropped.
    if (m_attachments && EditorClipboard::hasLocalFiles(source)) {
        bool inserted = false;
        for (const QUrl &url : source->urls()) {
            if (url.isLocalFile() && insertAttachmentFromPath(url.toLocalFile()))
                inserted = true;
        }
        if (inserted)
            return;
    }
    // A bare picture (a screenshot) is stored as a PNG attachment; text that
    // comes with an image is pasted as text below.
    if (m_attachments && source->hasImage() && !source->hasText() && !source->hasHtml()) {
        const QImage image = qvariant_cast<QImage>(source->imageData());
        QByteArray png;
        QBuffer buffer(&png);
        if (!image.isNull() && buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG")
            && insertAttachmentBytes(QStringLiteral("image.png"), QStringLiteral("image/png"), png))
            return;
    }
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
    if (!m_attachments || m_noteId.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: can't open" << path;
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return false;

    return insertAttachmentBytes(QFileInfo(path).fileName(), QMimeDatabase().mimeTypeForFile(path).name(), bytes);
}

bool NoteEditor::insertAttachmentBytes(const QString &fileName, const QString &mimeType, const QByteArray &bytes)
{
    if (!m_attachments || m_noteId.isEmpty())
        return false;
    const std::optional<QString> id = AttachmentFiles::store(m_attachments, m_noteId, fileName, mimeType, bytes);
    if (!id)
        return false;
    setTextCursor(AttachmentFiles::insertObject(textCursor(), *id));
    return true;
}

bool NoteEditor::writeTempCopy(const QString &id, const QString &fileName, QString *path)
{
    if (!m_attachments)
        return false;
    const QByteArray bytes = m_attachments->readFile(id);
    if (bytes.isEmpty())
        return false;
    // The recorded name comes from other devices and shared notes: only its
    // last component, cleaned, is used, so the copy stays in its folder.
    const QString folder = attachmentTempFolder();
    if (folder.isEmpty())
        return false;
    const QString target = EditorRules::attachmentTempPath(folder, id, fileName);
    PrivateFiles::ensureFolder(QFileInfo(target).absolutePath());
    // Whatever sits at the name goes (a link is removed, not followed), and
    // the copy is created afresh: nothing already there is written through.
    QFile::remove(target);
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner)) {
        qCWarning(lcUi) << "openAttachment: failed to open temp file" << target << file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        qCWarning(lcUi) << "openAttachment: short write for" << target;
        return false;
    }
    file.close();
    *path = target;
    return true;
}

bool NoteEditor::openAttachment(const QString &id, const QString &fileName)
{
    if (!EditorRules::attachmentOpensWithoutAsking(fileName)) {
        const QString name = EditorRules::safeAttachmentFileName(fileName, id);
        const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        if (!m_hooks.confirmOpenAttachment || !m_hooks.confirmOpenAttachment(name, type.comment()))
            return false;
    }
    QString path;
    if (!writeTempCopy(id, fileName, &path))
        return false;
    return m_hooks.openUrl && m_hooks.openUrl(QUrl::fromLocalFile(path));
}

bool NoteEditor::showImage(const QString &id)
{
    if (!m_attachments)
        return false;
    const std::optional<Attachment> record = m_attachments->attachmentById(id);
    const QImage image = QImage::fromData(m_attachments->readFile(id));
    if (!record || image.isNull())
        return false;
    auto *lightbox = new ImageLightbox(image, record->filename, this);
    lightbox->setAttribute(Qt::WA_DeleteOnClose);
    lightbox->show();
    return true;
}

void NoteEditor::saveAttachmentAs(const QString &id, const QString &fileName)
{
    if (!m_attachments || !m_hooks.askSaveFile)
        return;
    const QString suggested =
        QDir::homePath() + QLatin1Char('/') + EditorRules::safeAttachmentFileName(fileName, id);
    const QString path = m_hooks.askSaveFile(suggested);
    if (!path.isEmpty())
        AttachmentFiles::saveCopy(m_attachments, id, path);
}

void NoteEditor::copyAttachmentFile(const QString &id, const QString &fileName)
{
    QString path;
    if (!writeTempCopy(id, fileName, &path) || !m_hooks.setClipboard)
        return;
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    m_hooks.setClipboard(data);
}

void NoteEditor::removeAttachment(const QString &id)
{
    if (!m_attachments || id.isEmpty())
        return;
    QTextCursor cursor = textCursor();
    if (!AttachmentFiles::removeObjectNear(cursor, id))
        return;
    // A copied object character may still show the same attachment elsewhere in the note.
    if (!AttachmentFiles::isShown(document(), id))
        m_attachments->deleteById(id);
}

// --- Drops and the context menu --------------------------------------------------------------

void NoteEditor::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_attachments && event->mimeData()->hasUrls()) {
        const QList<QUrl> urls = event->mimeData()->urls();
        if (std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); })) {
            event->acceptProposedAction();
            return;
        }
    }
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
        bool inserted = false;
        for (const QUrl &url : event->mimeData()->urls()) {
            if (url.isLocalFile() && insertAttachmentFromPath(url.toLocalFile()))
                inserted = true;
        }
        if (inserted) {
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
    const int position = textCursor().position();

    if (m_attachments) {
        const QString id = attachmentIdAt(position);
        const std::optional<Attachment> record =
            id.isEmpty() ? std::nullopt : m_attachments->attachmentById(id);
        if (record) {
            auto menu = std::make_unique<QMenu>();
            const Attachment attachment = *record;
            menu->addAction(tr("Open"), this, [this, attachment] {
                if (attachment.mimeType.startsWith(QLatin1String("image/")) && showImage(attachment.id))
                    return;
                openAttachment(attachment.id, attachment.filename);
            });
            menu->addAction(tr("Save As…"), this,
                            [this, attachment] { saveAttachmentAs(attachment.id, attachment.filename); });
            menu->addAction(tr("Copy File"), this,
                            [this, attachment] { copyAttachmentFile(attachment.id, attachment.filename); });
            menu->addSeparator();
            menu->addAction(tr("Remove Attachment"), this, [this, attachment] { removeAttachment(attachment.id); });
            return menu;
        }
    }

    if (const std::optional<LinkRange> link = linkAt(position)) {
        auto menu = std::make_unique<QMenu>();
        const LinkRange range = *link;
        menu->addAction(tr("Open Link"), this, [this, range] { openLink(range.href); });
        menu->addAction(tr("Copy Link Address"), this, [this, range] {
            if (!m_hooks.setClipboard)
                return;
            auto *data = new QMimeData;
            data->setText(range.href);
            m_hooks.setClipboard(data);
        });
        menu->addSeparator();
        menu->addAction(tr("Edit Link…"), this, [this, range] { editLink(range); });
        menu->addAction(tr("Remove Link"), this, [this, range] { removeLink(range); });
        return menu;
    }

    if (textCursor().currentTable()) {
        auto menu = std::make_unique<QMenu>();
        menu->addAction(tr("Insert Row Above"), this, [this] { insertTableRow(false); });
        menu->addAction(tr("Insert Row Below"), this, [this] { insertTableRow(true); });
        menu->addSeparator();
        menu->addAction(tr("Insert Column Before"), this, [this] { insertTableColumn(false); });
        menu->addAction(tr("Insert Column After"), this, [this] { insertTableColumn(true); });
        menu->addSeparator();
        menu->addAction(tr("Delete Row"), this, [this] { deleteTableRow(); });
        menu->addAction(tr("Delete Column"), this, [this] { deleteTableColumn(); });
        menu->addSeparator();
        menu->addAction(tr("Delete Table"), this, [this] { deleteTable(); });
        return menu;
    }

    return std::unique_ptr<QMenu>(createStandardContextMenu(viewportPos));
}

void NoteEditor::contextMenuEvent(QContextMenuEvent *event)
{
    std::unique_ptr<QMenu> menu = createContextMenu(event->pos());
    if (menu)
        menu->exec(event->globalPos());
    event->accept();
}
