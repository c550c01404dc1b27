#pragma once

// Tables inside a note: a real rich text table in the document, a "table"
// embed holding compact JSON in the Delta:
// {"cells":[[cell, ...], ...],"hasHeader":bool}, a cell being a Delta of text
// runs with a plain "\n" insert between its lines.

#include <QJsonArray>
#include <QString>
#include <QTextTableFormat>

class QTextCursor;
class QTextTable;
class QTextTableCell;

// Border, collapse, padding 6, spacing 0, one header row when hasHeader.
QTextTableFormat tableFormat(bool hasHeader);
// Inserts an empty table at the cursor. Paragraphs that the insertion itself
// creates next to the table are marked as table spacers (never written back).
QTextTable *insertTableAt(QTextCursor &cursor, int rows, int columns, const QTextTableFormat &format);
// Builds a table from the text of a "table" embed and leaves the cursor in the
// paragraph after it. Invalid JSON or a table without cells inserts nothing.
void insertTableFromJson(QTextCursor &cursor, const QString &tableJson);
// Whether insertTableFromJson would build a table from the text.
bool holdsTable(const QString &tableJson);
// The text of the "table" embed for a table: every row has every column.
QString tableToJson(QTextTable *table);
// A cell's runs as a Delta, "\n" between lines, none after the last.
QJsonArray cellToDelta(const QTextTableCell &cell);
