#pragma once

// Text from outside becomes a note body. HTML is read by the rich text
// engine and taken back run by run; Markdown is rendered to HTML by the
// engine's GitHub-dialect reader and then takes the HTML path; a small
// line-based reader builds the bodies of the built-in sample notes. None of
// them fails: at worst the result is the single empty line. GUI thread only
// (the HTML path builds a QTextDocument).

#include <QJsonArray>
#include <QString>

// Headings, bold/italic/underline/strike, fixed-pitch text as "code", links,
// bullet and numbered lists, images and tables are kept; quotes, code blocks,
// rules, alignment and check boxes arrive as plain lines. Scripts, styles and
// page furniture (nav, header, footer, aside, iframe, noscript) are dropped.
// Kept fast on hostile input: long lists are read in runs, elements nested
// more than 200 deep keep their text but lose their markup, and a pile of
// unclosed <script>/<style> tags hides the rest of the text as one would.
QJsonArray htmlToDelta(const QString &html);
// The first step of htmlToDelta: drops every script, style, nav, header,
// footer, aside, iframe and noscript element (opening tag, content and the
// first matching closing tag, in any letter case). Linear in the text.
QString removeHiddenHtmlElements(const QString &html);
// Long runs of top-level list items are read in several passes whose Deltas
// are joined; reference link definitions reach only their own pass.
QJsonArray markdownToDelta(const QString &markdown);

// One line per input line: "#".."###" headings, "- [ ] "/"- [x] " check
// lists, "- "/"* " bullets, "N. " numbered items, "> " quotes, and "**"/"*"
// toggling bold and italic within a line. Returns compact Delta JSON.
QString simpleMarkdownToDelta(const QString &markdown);
