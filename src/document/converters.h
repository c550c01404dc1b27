#pragma once

// Turns a note body into text for people and other programs: plain text,
// Markdown and HTML. The converters read the Delta only (never a rich text
// document), so their output depends on the stored body and not on fonts or
// themes. None of them fails: unknown attributes are ignored, unknown embeds
// skipped and invalid table JSON gives empty text for that table.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// Shared with export; the numbers are stored nowhere but kept stable.
enum class ExportFormat { Markdown = 0, Html = 1, Pdf = 2, PlainText = 3 };

// Empty body gives empty text; a body that is not a JSON array is returned
// unchanged; otherwise Markdown, HTML (for Html and Pdf) or plain text.
QString convertBody(const QString &body, ExportFormat format);

// Concatenated text of every text insert; embeds contribute nothing.
QString deltaToPlainText(const QJsonArray &delta);
// Markdown ending in exactly one newline; empty for a document without text.
QString deltaToMarkdown(const QJsonArray &delta);
// A whole page: "<html><body>\n" … "</body></html>", one element per line.
QString deltaToHtml(const QJsonArray &delta);

// Both take the text value of a "table" embed; invalid JSON or a table
// without rows gives empty text.
QString tableToHtml(const QString &tableJson);
// Rows end in "\n"; a separator row always follows row 0.
QString tableToMarkdown(const QString &tableJson);

// One run of text as inline HTML: escaped, then wrapped in the tags of its
// attributes (bold innermost, a link outermost).
QString inlineHtml(const QString &text, const QJsonObject &attributes);
