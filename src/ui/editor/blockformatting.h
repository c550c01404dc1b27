#pragma once

#include <QString>
#include <QTextCursor>

// Heading, list, code block and quote formats of the lines a cursor touches.
// Each line takes the formats that loading a body gives the same line.
namespace BlockFormatting {

// Level 0 is body text (a code block or quote line becomes a plain one);
// levels outside 0..6 are ignored. On an empty line
// the cursor then types in the line's format.
void setHeading(QTextCursor &cursor, int level);
// Sets type on every line, or clears it when the first line already has it.
void toggleList(QTextCursor cursor, const QString &type);
// Nests the list items among the lines the cursor touches one level deeper
// (step 1) or shallower (step -1), within 0..kMaxListIndent, in one undo
// step; other lines stay. False when no line is a list item.
bool indentListItems(QTextCursor cursor, int step);
// Code block or quote: on every line, or off when the first line has it.
void toggleBlockProperty(QTextCursor &cursor, int property);

} // namespace BlockFormatting
