#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <optional>

class QColor;
class QTextTable;

// Editing steps over a QTextCursor, apart from the editor widget: the
// character formats of links and objects, the line commands, tables and
// dividers. Each returns or moves the cursor that the editor then shows.
namespace TextEditing {

constexpr QChar kObjectChar = QChar::ObjectReplacementCharacter;

bool isListItem(const QTextBlock &block);
// The format of the character at position (not the one before it, as a
// cursor reports).
QTextCharFormat charFormatAt(const QTextDocument *document, int position);
QTextCharFormat linkFormat(const QString &url);
QTextCharFormat attachmentFormat(const QString &id);
QTextCharFormat dividerFormat();
// Every block touched by the cursor's selection (or the cursor's block).
QList<QTextBlock> selectedBlocks(const QTextCursor &cursor);
// Whether two positions lie in the same frame and, inside a table, the same cell.
bool sameCell(QTextDocument *document, int a, int b);

// The text runs of a block with their formats; object characters included.
using TextRuns = QList<QPair<QString, QTextCharFormat>>;
TextRuns runsOf(const QTextBlock &block);
void insertRuns(QTextCursor &cursor, const TextRuns &runs);
// Font family, size, pitch, weight and colour of a line format carried onto a
// text format. Inline code keeps its look unless the line enters or leaves a
// code block (whose text is all code), and links keep their colour.
void takeLineFont(QTextCharFormat &format, const QTextCharFormat &line, bool takeWeight, bool keepInlineCode);

// Rewrites the character format of every text fragment of a block; object
// characters keep theirs.
template<typename Change>
inline void changeBlockText(QTextDocument *document, const QTextBlock &block, Change change)
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

// Line commands; each returns the cursor to show.
QTextCursor selectLine(QTextCursor cursor);
QTextCursor deleteWordBefore(QTextCursor cursor);
QTextCursor duplicateLine(QTextCursor cursor);
QTextCursor deleteLine(QTextCursor cursor);
// Swaps the line with the one above or below; nothing inside or next to a table.
QTextCursor moveLine(const QTextCursor &current, bool up);
// Backspace at the start of an empty first list item: the item goes and the
// next line keeps its own format. False when the case does not apply.
bool removeEmptyFirstListItem(QTextCursor &cursor);
// The cell Tab (or Shift+Tab) moves to; a row is added after the last cell.
std::optional<QTextCursor> nextTableCell(const QTextCursor &cursor, bool backwards);
// A divider on a line of its own after the cursor's line.
QTextCursor insertDivider(QTextCursor cursor);

// Tables. The editor passes the colour of header cells.
QTextTable *insertTable(QTextCursor cursor, int rows, int columns, bool headerRow, const QColor &headerBackground);
bool insertTableRow(const QTextCursor &cursor, bool below);
bool insertTableColumn(const QTextCursor &cursor, bool after);
// Removing the last row or column removes the table.
bool deleteTableRow(QTextCursor &cursor);
bool deleteTableColumn(QTextCursor &cursor);
bool deleteTable(QTextCursor &cursor);

} // namespace TextEditing
