#include "deltatable.h"
#include "delta.h"
#include "textformat.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <optional>

namespace {

// Only the cursor's block and its neighbours can end up beside the new table;
// marking them, not every block, keeps a body of many tables linear to load.
QList<QTextBlock> blocksAround(const QTextCursor &cursor)
{
    const QTextBlock block = cursor.block();
    QList<QTextBlock> around;
    for (const QTextBlock &candidate : {block.previous(), block, block.next()}) {
        if (candidate.isValid())
            around.append(candidate);
    }
    return around;
}

void markBlocks(const QList<QTextBlock> &blocks, bool mark)
{
    for (const QTextBlock &block : blocks) {
        QTextCursor cursor(block);
        QTextBlockFormat format = block.blockFormat();
        if (mark)
            format.setProperty(TextProperty::PreExistingBlock, true);
        else
            format.clearProperty(TextProperty::PreExistingBlock);
        cursor.setBlockFormat(format);
    }
}

void markSpacerIfNew(QTextDocument *document, int position)
{
    if (position < 0 || position >= document->characterCount())
        return;
    const QTextBlock block = document->findBlock(position);
    if (!block.isValid() || block.blockFormat().boolProperty(TextProperty::PreExistingBlock))
        return;
    QTextCursor cursor(block);
    QTextBlockFormat format = block.blockFormat();
    format.setProperty(TextProperty::TableSpacer, true);
    cursor.setBlockFormat(format);
}

void insertRuns(QTextCursor &cursor, const QString &text, const QTextCharFormat &runFormat,
                const QTextCharFormat &cellFormat)
{
    QString normalized = text;
    normalized.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList lines = normalized.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            cursor.insertBlock();
            cursor.setBlockCharFormat(cellFormat);
        }
        if (!lines[i].isEmpty())
            cursor.insertText(lines[i], runFormat);
    }
}

void fillCell(const QTextTableCell &cell, const QJsonValue &value, bool header)
{
    QTextCursor cursor = cell.firstCursorPosition();
    QTextCharFormat cellFormat;
    if (header)
        cellFormat.setFontWeight(QFont::Bold);
    // Merged, not set: the cell's own format (its header background) lives
    // on the same character as the first block's character format.
    cursor.mergeBlockCharFormat(cellFormat);

    if (value.isString()) {
        // A plain text cell is one run; its newlines still start new lines.
        insertRuns(cursor, value.toString(), cellFormat, cellFormat);
    } else if (value.isArray()) {
        for (const QJsonValue &element : value.toArray()) {
            const QJsonObject op = element.toObject();
            const QJsonValue insert = op.value(QLatin1String("insert"));
            if (!element.isObject() || !insert.isString() || insert.toString().isEmpty())
                continue;
            QTextCharFormat runFormat = cellFormat;
            runFormat.merge(inlineAttributesToCharFormat(op.value(QLatin1String("attributes")).toObject()));
            insertRuns(cursor, insert.toString(), runFormat, cellFormat);
        }
    }
}

} // namespace

QTextTableFormat tableFormat(bool hasHeader)
{
    QTextTableFormat format;
    format.setBorder(1.0);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    const QColor base = QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
    format.setBorderBrush(base.lightness() >= 128 ? base.darker(150) : base.lighter(220));
    format.setBorderCollapse(true);
    format.setCellPadding(6);
    format.setCellSpacing(0);
    format.setHeaderRowCount(hasHeader ? 1 : 0);
    return format;
}

QTextTable *insertTableAt(QTextCursor &cursor, int rows, int columns, const QTextTableFormat &format)
{
    QTextDocument *document = cursor.document();
    cursor.beginEditBlock();
    const QList<QTextBlock> around = blocksAround(cursor);
    markBlocks(around, true);
    QTextTable *table = cursor.insertTable(rows, columns, format);
    markSpacerIfNew(document, table->firstPosition() - 1);
    markSpacerIfNew(document, table->lastPosition() + 1);
    markBlocks(around, false);
    cursor.endEditBlock();
    return table;
}

namespace {

struct TableShape
{
    QJsonArray cells;
    bool hasHeader = true;
    int rows = 0;
    int columns = 0;
};

// Nothing when the text describes no table of at least one cell.
std::optional<TableShape> tableShape(const QString &tableJson)
{
    const QJsonDocument doc = parseJsonText(tableJson);
    if (!doc.isObject())
        return std::nullopt;
    TableShape shape;
    shape.cells = doc.object().value(QLatin1String("cells")).toArray();
    shape.hasHeader = doc.object().value(QLatin1String("hasHeader")).toBool(true);
    shape.rows = int(shape.cells.size());
    for (const QJsonValue &row : std::as_const(shape.cells))
        shape.columns = std::max(shape.columns, int(row.toArray().size()));
    if (shape.rows == 0 || shape.columns == 0)
        return std::nullopt;
    return shape;
}

} // namespace

bool holdsTable(const QString &tableJson)
{
    return tableShape(tableJson).has_value();
}

void insertTableFromJson(QTextCursor &cursor, const QString &tableJson)
{
    const std::optional<TableShape> shape = tableShape(tableJson);
    if (!shape)
        return;
    const QJsonArray &cells = shape->cells;
    const bool hasHeader = shape->hasHeader;
    const int rows = shape->rows;
    const int columns = shape->columns;

    QTextTable *table = insertTableAt(cursor, rows, columns, tableFormat(hasHeader));
    const QColor headerBackground = QGuiApplication::palette().color(QPalette::Active, QPalette::AlternateBase);
    for (int r = 0; r < rows; ++r) {
        const QJsonArray row = cells.at(r).toArray();
        const bool header = hasHeader && r == 0;
        for (int c = 0; c < columns; ++c) {
            QTextTableCell cell = table->cellAt(r, c);
            if (header) {
                QTextTableCellFormat cellFormat;
                cellFormat.setBackground(headerBackground);
                cell.setFormat(cellFormat);
            }
            fillCell(cell, c < row.size() ? row.at(c) : QJsonValue(QJsonValue::Null), header);
        }
    }
    cursor.setPosition(table->lastPosition() + 1);
}

QJsonArray cellToDelta(const QTextTableCell &cell)
{
    QJsonArray delta;
    bool first = true;
    for (auto it = cell.begin(); !it.atEnd(); ++it) {
        const QTextBlock block = it.currentBlock();
        if (!block.isValid())
            continue;
        if (!first)
            delta.append(QJsonObject{{QLatin1String("insert"), QStringLiteral("\n")}});
        first = false;
        for (auto f = block.begin(); !f.atEnd(); ++f) {
            const QTextFragment fragment = f.fragment();
            if (!fragment.isValid())
                continue;
            QString text = fragment.text();
            text.remove(QChar::ObjectReplacementCharacter);
            if (text.isEmpty())
                continue;
            QJsonObject op{{QLatin1String("insert"), text}};
            const QJsonObject attributes = charFormatToInlineAttributes(fragment.charFormat());
            if (!attributes.isEmpty())
                op.insert(QLatin1String("attributes"), attributes);
            delta.append(op);
        }
    }
    return delta;
}

QString tableToJson(QTextTable *table)
{
    if (!table)
        return {};
    QJsonArray rows;
    for (int r = 0; r < table->rows(); ++r) {
        QJsonArray row;
        for (int c = 0; c < table->columns(); ++c)
            row.append(cellToDelta(table->cellAt(r, c)));
        rows.append(row);
    }
    const QJsonObject object{{QLatin1String("cells"), rows},
                             {QLatin1String("hasHeader"), table->format().headerRowCount() >= 1}};
    return compactJson(object);
}
