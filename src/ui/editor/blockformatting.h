#pragma once

#include <QFont>
#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>

// Heading, list, code block and quote formats of the lines a cursor touches,
// and the way back from inline code. The editor passes its body font.
namespace BlockFormatting {

// The line format of a heading level (1 to 6), and of any block format.
QTextCharFormat headingCharFormat(int level);
QTextCharFormat blockCharFormatFor(const QTextBlockFormat &format);

// Level 0 is body text; levels outside 0..6 are ignored.
void setHeading(QTextCursor cursor, int level, const QFont &base);
// Sets type on every line, or clears it when the first line already has it.
void toggleList(QTextCursor cursor, const QString &type);
// Code block or quote: on every line, or off when the first line has it.
void toggleBlockProperty(QTextCursor cursor, int property);

// format with the body font instead of inline code.
void makePlain(QTextCharFormat &format, const QFont &base);
void clearInlineCode(QTextCursor cursor, const QFont &base);

} // namespace BlockFormatting
