#include "noteeditor.h"

#include "attachmentrenderer.h"
#include "attachmenttempfolder.h"
#include "attachmentrepository.h"
#include "delta.h"
#include "deltadocument.h"
#include "deltaimport.h"
#include "deltatable.h"
#include "dividerrenderer.h"
#include "editorrules.h"
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

namespace {

constexpr QChar kObjectChar = QChar::ObjectReplacementCharacter;
// Copies within one note carry the selection's Delta, so that a cut and paste
// keeps attachments, check lists, code blocks and quotes, which the HTML of
// the clipboard cannot express. Attachment records belong to their note, so
// the Delta is only taken by the note it came from.
constexpr char kNoteDeltaMime[] = "application/x-velmora-note-delta";
constexpr char kNoteIdMime[] = "application/x-velmora-note-id";
constexpr QChar kParagraphSeparator = QChar::ParagraphSeparator;

bool isListItem(const QTextBlock &block)
{
    return block.textList() != nullptr || block.blockFormat().marker() != QTextBlockFormat::MarkerType::NoMarker;
}

// The format of the character at position (not the one before it, as a
// cursor reports).
QTextCharFormat charFormatAt(const QTextDocument *document, int position)
{
    if (position < 0)
        return {};
    const QTextBlock block = document->findBlock(position);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.position() <= position && position < fragment.position() + fragment.length())
            return fragment.charFormat();
    }
    return {};
}

QTextCharFormat linkFormat(const QString &url)
{
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(url);
    format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    format.setForeground(linkColor());
    return format;
}

QTextCharFormat attachmentFormat(const QString &id)
{
    QTextCharFormat format;
    format.setObjectType(TextObject::Attachment);
    format.setProperty(TextProperty::ObjectKind, QString::fromLatin1(kAttachmentEmbedKind));
    format.setProperty(TextProperty::ObjectUrl, attachmentUrl(id));
    return format;
}

QTextCharFormat dividerFormat()
{
    QTextCharFormat format;
    format.setObjectType(TextObject::Divider);
    format.setProperty(TextProperty::ObjectKind, QString::fromLatin1(kDividerEmbedKind));
    format.setProperty(TextProperty::ObjectUrl, QStringLiteral("hr"));
    return format;
}

// Every block touched by the cursor's selection (or the cursor's block).
QList<QTextBlock> selectedBlocks(const QTextCursor &cursor)
{
    QList<QTextBlock> blocks;
    const QTextDocument *document = cursor.document();
    QTextBlock block = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    while (block.isValid()) {
        blocks.append(block);
        if (block == last)
            break;
        block = block.next();
    }
    return blocks;
}

// Rewrites the character format of every text fragment of a block; object
// characters keep theirs.
template<typename Change>
void changeBlockText(QTextDocument *document, const QTextBlock &block, Change change)
{
    QList<QPair<QTextFragment, QTextCharFormat>> updates;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        QTextCharFormat format = fragment.charFormat();
        if (format.objectType() != QTextFormat::NoObject)
            continue;
        change(format);
        updates.append({fragment, format});
    }
    for (const auto &[fragment, format] : updates) {
        QTextCursor cursor(document);
        cursor.setPosition(fragment.position());
        cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
}

// Whether two positions lie in the same frame and, inside a table, the same cell.
bool sameCell(QTextDocument *document, int a, int b)
{
    QTextCursor first(document);
    first.setPosition(a);
    QTextCursor second(document);
    second.setPosition(b);
    if (first.currentFrame() != second.currentFrame())
        return false;
    QTextTable *table = first.currentTable();
    return !table || table->cellAt(a) == table->cellAt(b);
}

bool hasLocalFiles(const QMimeData *source)
{
    if (!source->hasUrls())
        return false;
    const QList<QUrl> urls = source->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); });
}

// The text runs of a block with their formats; object characters included.
using TextRuns = QList<QPair<QString, QTextCharFormat>>;

TextRuns runsOf(const QTextBlock &block)
{
    TextRuns runs;
    for (auto it = block.begin(); !it.atEnd(); ++it)
        runs.append({it.fragment().text(), it.fragment().charFormat()});
    return runs;
}

// Inserting runs rather than a document fragment keeps list and table
// structure out of the way: only characters and their formats move.
void insertRuns(QTextCursor &cursor, const TextRuns &runs)
{
    for (const auto &[text, format] : runs)
        cursor.insertText(text, format);
}

// Font family, size, pitch, weight and colour of a line format carried onto a
// text format. Inline code keeps its look unless the line enters or leaves a
// code block (whose text is all code), and links keep their colour.
void takeLineFont(QTextCharFormat &format, const QTextCharFormat &line, bool takeWeight, bool keepInlineCode)
{
    if (keepInlineCode && format.fontFixedPitch()) {
        if (takeWeight)
            format.setFontWeight(line.fontWeight());
        return;
    }
    format.setFontFamilies(line.fontFamilies().toStringList());
    format.setFontFixedPitch(line.fontFixedPitch());
    format.setFontStyleHint(line.fontStyleHint());
    if (line.hasProperty(QTextFormat::FontPixelSize))
        format.setProperty(QTextFormat::FontPixelSize, line.property(QTextFormat::FontPixelSize));
    format.clearProperty(QTextFormat::FontPointSize);
    if (takeWeight)
        format.setFontWeight(line.fontWeight());
    if (format.isAnchor())
        return;
    if (line.hasProperty(QTextFormat::ForegroundBrush))
        format.setForeground(line.foreground());
    else
        format.clearForeground();
}

} // namespace

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
        m_renderer = new AttachmentRenderer(repository, this);
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

QTextCharFormat NoteEditor::formatForState() const
{
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        QTextCursor first(document());
        first.setPosition(cursor.selectionStart() + 1);
        return first.charFormat();
    }
    return cursor.charFormat();
}

void NoteEditor::publishFormatState()
{
    const QTextCursor cursor = textCursor();
    const QTextCharFormat format = formatForState();
    const int weight = format.hasProperty(QTextFormat::FontWeight) ? format.intProperty(QTextFormat::FontWeight) : 400;
    const bool bold = weight >= 700;
    const bool italic = format.fontItalic();
    const bool underline = format.fontUnderline() && !format.isAnchor();
    const bool strike = format.fontStrikeOut();
    const bool code = format.fontFixedPitch();

    const QTextBlockFormat block = cursor.blockFormat();
    const int heading = block.intProperty(TextProperty::HeadingLevel);
    const QString listType = block.stringProperty(TextProperty::ListType);
    const bool codeBlock = block.property(TextProperty::CodeBlock).isValid();
    const bool blockquote = block.boolProperty(TextProperty::Blockquote);
    const bool inTable = cursor.currentTable() != nullptr;

    emit formatStateChanged(bold, italic, underline, strike, code, heading, listType, codeBlock, blockquote,
                            inTable, block.alignment());
    emit cursorFormatChanged();
}

void NoteEditor::mergeInlineFormat(const QTextCharFormat &format)
{
    mergeCurrentCharFormat(format);
    publishFormatState();
}

void NoteEditor::toggleBold()
{
    const QTextCharFormat state = formatForState();
    const int weight = state.hasProperty(QTextFormat::FontWeight) ? state.intProperty(QTextFormat::FontWeight) : 400;
    QTextCharFormat format;
    format.setFontWeight(weight >= 700 ? 400 : 700);
    mergeInlineFormat(format);
}

void NoteEditor::toggleItalic()
{
    QTextCharFormat format;
    format.setFontItalic(!formatForState().fontItalic());
    mergeInlineFormat(format);
}

void NoteEditor::toggleUnderline()
{
    QTextCharFormat format;
    format.setUnderlineStyle(formatForState().fontUnderline() ? QTextCharFormat::NoUnderline
                                                              : QTextCharFormat::SingleUnderline);
    mergeInlineFormat(format);
}

void NoteEditor::toggleStrikethrough()
{
    QTextCharFormat format;
    format.setFontStrikeOut(!formatForState().fontStrikeOut());
    mergeInlineFormat(format);
}

void NoteEditor::toggleInlineCode()
{
    if (!formatForState().fontFixedPitch()) {
        mergeInlineFormat(inlineCodeFormat());
        return;
    }
    // Back to the body font. A merge cannot remove the foreground, so every
    // run of the selection is rewritten.
    const QFont base = baseFont();
    const auto plain = [&base](QTextCharFormat &format) {
        format.setFontFamilies(QStringList{base.family()});
        format.setFontFixedPitch(false);
        format.setFontStyleHint(QFont::AnyStyle);
        format.clearProperty(QTextFormat::FontPointSize);
        format.setProperty(QTextFormat::FontPixelSize, base.pixelSize());
        format.setBackground(Qt::transparent);
        format.clearForeground();
    };
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        QTextCharFormat format = cursor.charFormat();
        plain(format);
        setCurrentCharFormat(format);
        publishFormatState();
        return;
    }
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    cursor.beginEditBlock();
    QList<QPair<QPair<int, int>, QTextCharFormat>> updates;
    for (const QTextBlock &block : selectedBlocks(cursor)) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int from = qMax(start, fragment.position());
            const int to = qMin(end, fragment.position() + fragment.length());
            if (from >= to || fragment.charFormat().objectType() != QTextFormat::NoObject)
                continue;
            QTextCharFormat format = fragment.charFormat();
            plain(format);
            updates.append({{from, to}, format});
        }
    }
    for (const auto &[range, format] : updates) {
        QTextCursor part(document());
        part.setPosition(range.first);
        part.setPosition(range.second, QTextCursor::KeepAnchor);
        part.setCharFormat(format);
    }
    cursor.endEditBlock();
    publishFormatState();
}

// --- Block formatting ------------------------------------------------------------------------

QTextCharFormat NoteEditor::headingCharFormat(int level) const
{
    const HeadingStyle style = headingStyle(level);
    QFont font = QApplication::font();
    font.setPixelSize(style.pixelSize);
    font.setWeight(QFont::Weight(style.weight));
    QTextCharFormat format;
    format.setFont(font);
    if (style.muted)
        format.setForeground(mutedTextColor());
    return format;
}

QTextCharFormat NoteEditor::blockCharFormatFor(const QTextBlockFormat &format) const
{
    const int level = format.intProperty(TextProperty::HeadingLevel);
    if (level >= 1 && level <= 6)
        return headingCharFormat(level);
    if (format.property(TextProperty::CodeBlock).isValid()) {
        QTextCharFormat code;
        code.setFont(monospaceFont(scaledPixelSize(14)));
        code.setForeground(mutedTextColor());
        return code;
    }
    return bodyCharFormat();
}

void NoteEditor::setHeading(int level)
{
    if (level < 0 || level > 6)
        return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    for (const QTextBlock &block : selectedBlocks(cursor)) {
        QTextCursor blockCursor(block);
        QTextBlockFormat format = block.blockFormat();
        const bool leavesCodeBlock = level > 0 && format.property(TextProperty::CodeBlock).isValid();
        if (level > 0) {
            format.clearProperty(TextProperty::CodeBlock);
            format.clearProperty(TextProperty::Blockquote);
            format.setProperty(TextProperty::HeadingLevel, level);
        } else {
            format.clearProperty(TextProperty::HeadingLevel);
        }
        applyBlockStyle(format);
        blockCursor.setBlockFormat(format);

        QTextCharFormat line;
        if (level > 0) {
            line = headingCharFormat(level);
        } else {
            line.setFont(baseFont());
        }
        blockCursor.setBlockCharFormat(line);
        changeBlockText(document(), block, [&line, leavesCodeBlock](QTextCharFormat &text) {
            takeLineFont(text, line, true, !leavesCodeBlock);
        });
    }
    cursor.endEditBlock();
    publishFormatState();
}

void NoteEditor::toggleList(const QString &type)
{
    QTextCursor cursor = textCursor();
    const QList<QTextBlock> blocks = selectedBlocks(cursor);
    if (blocks.isEmpty())
        return;
    const QString current = blocks.first().blockFormat().stringProperty(TextProperty::ListType);
    // A ticked item belongs to the check list as much as an unticked one.
    const auto family = [](const QString &t) {
        return t == QLatin1String("checked") ? QStringLiteral("unchecked") : t;
    };
    const QString newType = family(current) == family(type) ? QString() : type;
    cursor.beginEditBlock();
    for (const QTextBlock &block : blocks) {
        QTextCursor blockCursor(block);
        applyListType(blockCursor, newType);
    }
    cursor.endEditBlock();
    publishFormatState();
}

void NoteEditor::toggleBlockProperty(int property)
{
    QTextCursor cursor = textCursor();
    const QList<QTextBlock> blocks = selectedBlocks(cursor);
    if (blocks.isEmpty())
        return;
    const QVariant value = blocks.first().blockFormat().property(property);
    const bool isSet = property == TextProperty::CodeBlock ? value.isValid() : value.toBool();
    cursor.beginEditBlock();
    for (const QTextBlock &block : blocks) {
        QTextCursor blockCursor(block);
        const bool wasHeading = block.blockFormat().hasProperty(TextProperty::HeadingLevel);
        const bool wasCodeBlock = block.blockFormat().property(TextProperty::CodeBlock).isValid();
        if (isListItem(block) && !isSet)
            applyListType(blockCursor, QString());
        QTextBlockFormat format = blockCursor.blockFormat();
        if (isSet) {
            format.clearProperty(property);
        } else {
            format.clearProperty(TextProperty::HeadingLevel);
            format.clearProperty(TextProperty::ListType);
            format.clearProperty(TextProperty::CodeBlock);
            format.clearProperty(TextProperty::Blockquote);
            format.setProperty(property, true);
        }
        applyBlockStyle(format);
        blockCursor.setBlockFormat(format);
        const QTextCharFormat line = blockCharFormatFor(format);
        blockCursor.setBlockCharFormat(line);
        // The text takes the line's font so that a code line is written as code
        // (and stops being code when the block is toggled back).
        // A heading's weight is the heading's, so it leaves with it.
        const bool takeWeight = wasHeading || format.hasProperty(TextProperty::HeadingLevel);
        const bool keepInlineCode = !wasCodeBlock && !format.property(TextProperty::CodeBlock).isValid();
        changeBlockText(document(), block, [&line, takeWeight, keepInlineCode](QTextCharFormat &text) {
            takeLineFont(text, line, takeWeight, keepInlineCode);
        });
    }
    cursor.endEditBlock();
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

        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier
            && !cursor.hasSelection() && isListItem(cursor.block())) {
            handled = handleListReturn();
        } else if (key == Qt::Key_Backspace && modifiers == Qt::NoModifier && !cursor.hasSelection()) {
            handled = handleListBackspace();
        } else if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && cursor.currentTable()) {
            handled = handleTableTab(key == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier));
        } else if (modifiers == Qt::ControlModifier) {
            handled = handleControlKey(event);
        } else if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) {
            handled = handleControlShiftKey(event);
        } else if (modifiers == Qt::AltModifier && (key == Qt::Key_Up || key == Qt::Key_Down)) {
            moveBlock(key == Qt::Key_Up);
            handled = true;
        }
        if (handled) {
            event->accept();
            return;
        }
    }
    QTextEdit::keyPressEvent(event);
}

bool NoteEditor::handleListReturn()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    if (block.text().isEmpty()) {
        cursor.beginEditBlock();
        applyListType(cursor, QString());
        cursor.endEditBlock();
        publishFormatState();
        return true;
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    if (!cursor.atBlockStart()) {
        // The list continues; a new task after a ticked one starts unticked
        // rather than copying the tick.
        QTextEdit::keyPressEvent(&enter);
        QTextCursor item = textCursor();
        QTextBlockFormat format = item.blockFormat();
        if (format.marker() == QTextBlockFormat::MarkerType::Checked) {
            format.setMarker(QTextBlockFormat::MarkerType::Unchecked);
            format.setProperty(TextProperty::ListType, QStringLiteral("unchecked"));
            item.joinPreviousEditBlock();
            item.setBlockFormat(format);
            item.endEditBlock();
        }
        return true;
    }

    QTextEdit::keyPressEvent(&enter);
    const QTextBlock above = textCursor().block().previous();
    if (above.isValid() && above.text().isEmpty()) {
        QTextCursor aboveCursor(above);
        aboveCursor.beginEditBlock();
        applyListType(aboveCursor, QString());
        aboveCursor.endEditBlock();
        setTextCursor(QTextCursor(above));
    }
    return true;
}

bool NoteEditor::handleListBackspace()
{
    const QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const QTextBlock next = block.next();
    if (block != document()->firstBlock() || !isListItem(block) || !cursor.atBlockStart()
        || !block.text().isEmpty() || !next.isValid())
        return false;

    const QTextBlockFormat nextFormat = next.blockFormat();
    const QTextCharFormat nextCharFormat = next.charFormat();
    const QString nextType = nextFormat.stringProperty(TextProperty::ListType);
    const bool nextInList = next.textList() != nullptr;

    QTextCursor edit(document());
    edit.beginEditBlock();
    edit.setPosition(block.position());
    edit.setPosition(next.position(), QTextCursor::KeepAnchor);
    edit.removeSelectedText();
    // The surviving block is the following one: it keeps its own formats.
    QTextBlockFormat kept = nextFormat;
    if (!nextInList)
        kept.setObjectIndex(-1);
    if (!nextInList && edit.block().textList())
        edit.block().textList()->remove(edit.block());
    edit.setBlockFormat(kept);
    edit.setBlockCharFormat(nextCharFormat);
    if (!nextType.isEmpty())
        applyListType(edit, nextType);
    edit.endEditBlock();
    setTextCursor(QTextCursor(document()->firstBlock()));
    return true;
}

bool NoteEditor::handleTableTab(bool backwards)
{
    const QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const QTextTableCell cell = table->cellAt(cursor);
    int row = cell.row();
    int column = cell.column();
    if (!backwards) {
        if (++column >= table->columns()) {
            column = 0;
            if (++row >= table->rows())
                table->appendRows(1);
        }
    } else {
        if (--column < 0) {
            if (row == 0)
                return true;
            --row;
            column = table->columns() - 1;
        }
    }
    setTextCursor(table->cellAt(row, column).firstCursorPosition());
    return true;
}

bool NoteEditor::handleControlKey(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_0: setHeading(0); return true;
    case Qt::Key_1: setHeading(1); return true;
    case Qt::Key_2: setHeading(2); return true;
    case Qt::Key_3: setHeading(3); return true;
    case Qt::Key_B: toggleBold(); return true;
    case Qt::Key_I: toggleItalic(); return true;
    case Qt::Key_U: toggleUnderline(); return true;
    case Qt::Key_QuoteLeft: toggleInlineCode(); return true;
    case Qt::Key_L: {
        QTextCursor cursor = textCursor();
        cursor.movePosition(QTextCursor::StartOfBlock);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        return true;
    }
    case Qt::Key_W: deleteWordBefore(); return true;
    default: return false;
    }
}

bool NoteEditor::handleControlShiftKey(QKeyEvent *event)
{
    // Layouts report Shift+digit either as the digit or as the shifted symbol.
    switch (event->key()) {
    case Qt::Key_7:
    case Qt::Key_Ampersand: toggleList(QStringLiteral("ordered")); return true;
    case Qt::Key_8:
    case Qt::Key_Asterisk: toggleList(QStringLiteral("bullet")); return true;
    case Qt::Key_9:
    case Qt::Key_ParenLeft: toggleList(QStringLiteral("unchecked")); return true;
    case Qt::Key_B: toggleBlockquote(); return true;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: toggleCodeBlock(); return true;
    case Qt::Key_D: duplicateBlock(); return true;
    case Qt::Key_K: deleteBlock(); return true;
    case Qt::Key_X: toggleStrikethrough(); return true;
    // The toolbar's tool tip names this key for the Attachment button.
    case Qt::Key_A: insertAttachment(); return true;
    default: return false;
    }
}

void NoteEditor::deleteWordBefore()
{
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        cursor.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
        // The word before the start of a table cell (or of the paragraph after
        // a table) lies across a frame boundary; Qt would widen the selection
        // to whole cells and clear them.
        if (!sameCell(document(), cursor.anchor(), cursor.position()))
            return;
    }
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void NoteEditor::duplicateBlock()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const TextRuns contents = runsOf(block);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertBlock(block.blockFormat(), block.charFormat());
    insertRuns(cursor, contents);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void NoteEditor::deleteBlock()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const QTextBlock next = block.next();
    // The paragraph break goes too, unless the next block lies in another
    // frame (a table cell, or a table right after the block): removing across
    // that boundary would tear the table apart.
    const bool sameFrame = next.isValid() && sameCell(document(), block.position(), next.position());
    cursor.setPosition(block.position());
    if (sameFrame)
        cursor.setPosition(next.position(), QTextCursor::KeepAnchor);
    else
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void NoteEditor::moveBlock(bool up)
{
    const QTextCursor current = textCursor();
    const QTextBlock block = current.block();
    const QTextBlock other = up ? block.previous() : block.next();
    if (!other.isValid())
        return;
    // Blocks of table cells belong to their table; swapping with them would tear it.
    QTextCursor otherCursor(other);
    if (current.currentTable() || otherCursor.currentTable())
        return;

    const int column = current.positionInBlock();
    const QTextBlock upper = up ? other : block;
    const QTextBlock lower = up ? block : other;

    const TextRuns upperContents = runsOf(upper);
    const TextRuns lowerContents = runsOf(lower);
    const QTextBlockFormat upperFormat = upper.blockFormat();
    const QTextBlockFormat lowerFormat = lower.blockFormat();
    const QTextCharFormat upperCharFormat = upper.charFormat();
    const QTextCharFormat lowerCharFormat = lower.charFormat();
    const int upperPosition = upper.position();

    const auto replace = [this](int position, int length, const TextRuns &contents,
                                const QTextBlockFormat &format, const QTextCharFormat &charFormat) {
        QTextCursor c(document());
        c.setPosition(position);
        c.setPosition(position + length, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        c.setBlockFormat(format);
        c.setBlockCharFormat(charFormat);
        insertRuns(c, contents);
    };

    QTextCursor edit(document());
    edit.beginEditBlock();
    // The lower block first, so that the upper block's position stays valid.
    replace(lower.position(), lower.length() - 1, upperContents, upperFormat, upperCharFormat);
    replace(upperPosition, upper.length() - 1, lowerContents, lowerFormat, lowerCharFormat);
    edit.endEditBlock();

    const QTextBlock moved = up ? document()->findBlock(upperPosition)
                                : document()->findBlock(upperPosition).next();
    QTextCursor cursor(document());
    cursor.setPosition(moved.position() + qBound(0, column, qMax(0, moved.length() - 1)));
    setTextCursor(cursor);
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
                    bool done = AttachmentRenderer::isImageAttachment(*record) && showImage(id);
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
    const QTextBlock block = document()->findBlock(position);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const int start = fragment.position();
        const int end = start + fragment.length();
        if (start <= position && position <= end) {
            const QTextCharFormat format = fragment.charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty())
                return LinkRange{start, end, format.anchorHref()};
        }
    }
    return std::nullopt;
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
    selected.replace(kParagraphSeparator, QLatin1Char('\n'));
    const std::optional<LinkInput> link = askLink(tr("Insert Link"), {selected, QStringLiteral("https://")});
    if (!link)
        return;
    if (cursor.hasSelection() && link->text == selected)
        cursor.mergeCharFormat(linkFormat(link->url));
    else
        cursor.insertText(link->text.isEmpty() ? link->url : link->text, linkFormat(link->url));
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
    QTextCursor cursor(document());
    cursor.setPosition(range.start);
    cursor.setPosition(range.end, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setAnchor(false);
    format.setAnchorHref(QString());
    format.setUnderlineStyle(QTextCharFormat::NoUnderline);
    format.setForeground(palette().color(QPalette::Text));
    cursor.mergeCharFormat(format);
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
    if (rows < 1 || columns < 1)
        return;
    QTextCursor cursor = textCursor();
    if (cursor.currentTable())
        return;
    cursor.beginEditBlock();
    if (!cursor.block().text().isEmpty()) {
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    }
    QTextTable *table = insertTableAt(cursor, rows, columns, tableFormat(headerRow));
    if (table && headerRow) {
        QTextCharFormat bold;
        bold.setFontWeight(700);
        for (int column = 0; column < columns; ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            cellFormat.setBackground(palette().color(QPalette::AlternateBase));
            cell.setFormat(cellFormat);
            QTextCursor cellCursor = cell.firstCursorPosition();
            cellCursor.setBlockCharFormat(bold);
            cellCursor.setCharFormat(bold);
        }
    }
    cursor.endEditBlock();
    if (table)
        setTextCursor(table->cellAt(0, 0).firstCursorPosition());
    setFocus();
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
    QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const QTextTableCell cell = table->cellAt(cursor);
    table->insertRows(cell.row() + (below ? 1 : 0), 1);
    return true;
}

bool NoteEditor::insertTableColumn(bool after)
{
    QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const QTextTableCell cell = table->cellAt(cursor);
    table->insertColumns(cell.column() + (after ? 1 : 0), 1);
    return true;
}

bool NoteEditor::deleteTableRow()
{
    QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    if (table->rows() <= 1)
        return deleteTable();
    table->removeRows(table->cellAt(cursor).row(), 1);
    return true;
}

bool NoteEditor::deleteTableColumn()
{
    QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    if (table->columns() <= 1)
        return deleteTable();
    table->removeColumns(table->cellAt(cursor).column(), 1);
    return true;
}

bool NoteEditor::deleteTable()
{
    QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const int first = qMax(0, table->firstPosition() - 1);
    const int last = qMin(table->lastPosition() + 1, document()->characterCount() - 1);
    cursor.setPosition(first);
    cursor.setPosition(last, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    setTextCursor(cursor);
    return true;
}

void NoteEditor::insertDivider()
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertText(QString(kObjectChar), dividerFormat());
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.endEditBlock();
    setTextCursor(cursor);
}

// --- Paste -----------------------------------------------------------------------------------

void NoteEditor::insertDelta(const QJsonArray &delta)
{
    if (delta.isEmpty())
        return;
    DeltaDocument scratch;
    scratch.document()->setDefaultFont(font());
    scratch.setDelta(delta);

    QTextCursor all(scratch.document());
    all.movePosition(QTextCursor::Start);
    all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    const QString text = all.selectedText();
    int end = all.selectionEnd();
    for (int i = int(text.size()) - 1; i >= 0 && text.at(i) == kParagraphSeparator; --i)
        --end;
    all.setPosition(0);
    all.setPosition(end, QTextCursor::KeepAnchor);
    const QTextDocumentFragment fragment = all.selection();
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
    if (!data || m_noteId.isEmpty())
        return data;
    DeltaDocument scratch;
    QTextCursor copy(scratch.document());
    copy.insertFragment(textCursor().selection());
    data->setData(QString::fromLatin1(kNoteDeltaMime), scratch.toJson().toUtf8());
    data->setData(QString::fromLatin1(kNoteIdMime), m_noteId.toUtf8());
    return data;
}

bool NoteEditor::canInsertFromMimeData(const QMimeData *source) const
{
    if (source->hasFormat(QStringLiteral("text/markdown")))
        return true;
    if (m_attachments && !m_noteId.isEmpty() && (hasLocalFiles(source) || source->hasImage()))
        return true;
    return QTextEdit::canInsertFromMimeData(source);
}

void NoteEditor::insertFromMimeData(const QMimeData *source)
{
    // The editor's own mime data lists only its standard formats, so the
    // private ones are asked for directly.
    if (!m_noteId.isEmpty() && QString::fromUtf8(source->data(QString::fromLatin1(kNoteIdMime))) == m_noteId) {
        const QJsonDocument delta = QJsonDocument::fromJson(source->data(QString::fromLatin1(kNoteDeltaMime)));
        if (delta.isArray()) {
            insertDelta(delta.array());
            return;
        }
    }
    // Files copied in a file manager become attachments, as when dropped.
    if (m_attachments && hasLocalFiles(source)) {
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
    if (source->hasFormat(QStringLiteral("text/markdown"))) {
        insertDelta(markdownToDelta(QString::fromUtf8(source->data(QStringLiteral("text/markdown")))));
        return;
    }
    if (source->hasHtml()) {
        insertDelta(htmlToDelta(source->html()));
        return;
    }
    if (source->hasText()) {
        const QString text = source->text();
        if (EditorRules::looksLikeHtml(text)) {
            insertDelta(htmlToDelta(text));
            return;
        }
        if (EditorRules::looksLikeMarkdown(text)) {
            insertDelta(markdownToDelta(text));
            return;
        }
    }
    QTextEdit::insertFromMimeData(source);
}

// --- Attachments -----------------------------------------------------------------------------

QString NoteEditor::attachmentIdAt(int position) const
{
    QTextCharFormat format = charFormatAt(document(), position);
    if (format.objectType() != TextObject::Attachment)
        format = charFormatAt(document(), position - 1);
    if (format.objectType() != TextObject::Attachment)
        return {};
    return attachmentIdFromUrl(format.stringProperty(TextProperty::ObjectUrl));
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
    if (!m_attachments || m_noteId.isEmpty() || bytes.isEmpty())
        return false;
    Attachment attachment;
    attachment.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    attachment.noteId = m_noteId;
    attachment.filename = fileName;
    attachment.mimeType = mimeType;
    attachment.sizeBytes = bytes.size();
    attachment.createdAt = QDateTime::currentDateTimeUtc();
    if (!m_attachments->saveFile(attachment.id, bytes)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: saveFile failed";
        return false;
    }
    if (!m_attachments->insert(attachment)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: insert failed";
        return false;
    }

    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertText(QString(kObjectChar), attachmentFormat(attachment.id));
    QTextBlockFormat line = cursor.blockFormat();
    line.setLineHeight(0, QTextBlockFormat::SingleHeight);
    cursor.setBlockFormat(line);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.endEditBlock();
    setTextCursor(cursor);
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
    if (path.isEmpty())
        return;
    const QByteArray bytes = m_attachments->readFile(id);
    if (bytes.isEmpty()) {
        qCWarning(lcUi) << "saveAttachmentAs: empty/missing file for" << id;
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcUi) << "saveAttachmentAs: open failed" << file.errorString();
        return;
    }
    file.write(bytes);
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
    const QTextCursor cursor = textCursor();
    int objectPosition = -1;
    for (int candidate : {cursor.position() - 1, cursor.position()}) {
        const QTextCharFormat format = charFormatAt(document(), candidate);
        if (format.objectType() == TextObject::Attachment
            && attachmentIdFromUrl(format.stringProperty(TextProperty::ObjectUrl)) == id) {
            objectPosition = candidate;
            break;
        }
    }
    if (objectPosition < 0)
        return;
    QTextCursor remove(document());
    remove.setPosition(objectPosition);
    remove.setPosition(objectPosition + 1, QTextCursor::KeepAnchor);
    remove.removeSelectedText();

    // A copied object character may still show the same attachment elsewhere in the note.
    const QString url = attachmentUrl(id);
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.objectType() == TextObject::Attachment
                && format.stringProperty(TextProperty::ObjectUrl) == url)
                return;
        }
    }
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
