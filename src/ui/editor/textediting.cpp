#include "textediting.h"

#include "delta.h"
#include "deltatable.h"
#include "textformat.h"

#include <QTextList>
#include <QTextTable>

namespace TextEditing {

bool isListItem(const QTextBlock &block)
{
    return block.textList() != nullptr || block.blockFormat().marker() != QTextBlockFormat::MarkerType::NoMarker;
}

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

void takeLineFont(QTextCharFormat &format, const QTextCharFormat &line, bool takeWeight, bool keepInlineCode)
{
    if (keepInlineCode && format.fontFixedPitch()) {
        if (takeWeight)
            format.setFontWeight(line.fontWeight());
        return;
    }
    // Inline code taken into (or out of) a code block loses its own background too.
    if (!keepInlineCode)
        format.clearBackground();
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

QTextCursor selectLine(QTextCursor cursor)
{
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    return cursor;
}

QTextCursor deleteWordBefore(QTextCursor cursor)
{
    const QTextCursor before = cursor;
    if (!cursor.hasSelection()) {
        cursor.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
        // The word before the start of a table cell (or of the paragraph after
        // a table) lies across a frame boundary; Qt would widen the selection
        // to whole cells and clear them.
        if (!sameCell(cursor.document(), cursor.anchor(), cursor.position()))
            return before;
    }
    cursor.removeSelectedText();
    return cursor;
}

QTextCursor duplicateLine(QTextCursor cursor)
{
    const QTextBlock block = cursor.block();
    const TextRuns contents = runsOf(block);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertBlock(block.blockFormat(), block.charFormat());
    insertRuns(cursor, contents);
    cursor.endEditBlock();
    return cursor;
}

QTextCursor deleteLine(QTextCursor cursor)
{
    const QTextBlock block = cursor.block();
    const QTextBlock next = block.next();
    // The paragraph break goes too, unless the next block lies in another
    // frame (a table cell, or a table right after the block): removing across
    // that boundary would tear the table apart.
    const bool sameFrame = next.isValid() && sameCell(cursor.document(), block.position(), next.position());
    cursor.setPosition(block.position());
    if (sameFrame)
        cursor.setPosition(next.position(), QTextCursor::KeepAnchor);
    else
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    return cursor;
}

QTextCursor moveLine(const QTextCursor &current, bool up)
{
    QTextDocument *document = current.document();
    const QTextBlock block = current.block();
    const QTextBlock other = up ? block.previous() : block.next();
    if (!other.isValid())
        return current;
    // Blocks of table cells belong to their table; swapping with them would tear it.
    QTextCursor otherCursor(other);
    if (current.currentTable() || otherCursor.currentTable())
        return current;

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

    const auto replace = [document](int position, int length, const TextRuns &contents,
                                    const QTextBlockFormat &format, const QTextCharFormat &charFormat) {
        QTextCursor c(document);
        c.setPosition(position);
        c.setPosition(position + length, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        c.setBlockFormat(format);
        c.setBlockCharFormat(charFormat);
        insertRuns(c, contents);
    };

    QTextCursor edit(document);
    edit.beginEditBlock();
    // The lower block first, so that the upper block's position stays valid.
    replace(lower.position(), lower.length() - 1, upperContents, upperFormat, upperCharFormat);
    replace(upperPosition, upper.length() - 1, lowerContents, lowerFormat, lowerCharFormat);
    edit.endEditBlock();

    const QTextBlock moved = up ? document->findBlock(upperPosition) : document->findBlock(upperPosition).next();
    QTextCursor cursor(document);
    cursor.setPosition(moved.position() + qBound(0, column, qMax(0, moved.length() - 1)));
    return cursor;
}

bool removeEmptyFirstListItem(QTextCursor &cursor)
{
    QTextDocument *document = cursor.document();
    const QTextBlock block = cursor.block();
    const QTextBlock next = block.next();
    if (block != document->firstBlock() || !isListItem(block) || !cursor.atBlockStart()
        || !block.text().isEmpty() || !next.isValid())
        return false;

    const QTextBlockFormat nextFormat = next.blockFormat();
    const QTextCharFormat nextCharFormat = next.charFormat();
    const QString nextType = nextFormat.stringProperty(TextProperty::ListType);
    const bool nextInList = next.textList() != nullptr;

    QTextCursor edit(document);
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
    cursor = QTextCursor(document->firstBlock());
    return true;
}

std::optional<QTextCursor> nextTableCell(const QTextCursor &cursor, bool backwards)
{
    QTextTable *table = cursor.currentTable();
    if (!table)
        return std::nullopt;
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
                return cursor;
            --row;
            column = table->columns() - 1;
        }
    }
    return table->cellAt(row, column).firstCursorPosition();
}

QTextCursor insertDivider(QTextCursor cursor)
{
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertText(QString(kObjectChar), dividerFormat());
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.endEditBlock();
    return cursor;
}

QTextTable *insertTable(QTextCursor cursor, int rows, int columns, bool headerRow, const QColor &headerBackground)
{
    if (rows < 1 || columns < 1 || cursor.currentTable())
        return nullptr;
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
            cellFormat.setBackground(headerBackground);
            cell.setFormat(cellFormat);
            QTextCursor cellCursor = cell.firstCursorPosition();
            cellCursor.setBlockCharFormat(bold);
            cellCursor.setCharFormat(bold);
        }
    }
    cursor.endEditBlock();
    return table;
}

bool insertTableRow(const QTextCursor &cursor, bool below)
{
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const QTextTableCell cell = table->cellAt(cursor);
    table->insertRows(cell.row() + (below ? 1 : 0), 1);
    return true;
}

bool insertTableColumn(const QTextCursor &cursor, bool after)
{
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const QTextTableCell cell = table->cellAt(cursor);
    table->insertColumns(cell.column() + (after ? 1 : 0), 1);
    return true;
}

bool deleteTableRow(QTextCursor &cursor)
{
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    if (table->rows() <= 1)
        return deleteTable(cursor);
    table->removeRows(table->cellAt(cursor).row(), 1);
    return true;
}

bool deleteTableColumn(QTextCursor &cursor)
{
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    if (table->columns() <= 1)
        return deleteTable(cursor);
    table->removeColumns(table->cellAt(cursor).column(), 1);
    return true;
}

bool deleteTable(QTextCursor &cursor)
{
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const int first = qMax(0, table->firstPosition() - 1);
    const int last = qMin(table->lastPosition() + 1, cursor.document()->characterCount() - 1);
    cursor.setPosition(first);
    cursor.setPosition(last, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    return true;
}

} // namespace TextEditing
