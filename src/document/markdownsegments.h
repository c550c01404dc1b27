#pragma once

// Prepares Markdown for the rich text engine's reader, which loses text on
// input that other readers take in their stride.

#include <QList>
#include <QStringView>

// Qt's rich text keeps each list as one group and touches every block of the
// group whenever an item is added, so reading one list of n items costs n²:
// minutes for a paste of tens of thousands of items. Lists are read in runs
// of at most this many items; a Delta knows no list identity (every item
// carries its own "bullet" or "ordered"), so the result is the same.
constexpr int kMaxListItems = 200;

struct MarkdownSegment
{
    QStringView text;
    bool html = false; // an HTML block: read as HTML, never glued to the paragraph before it
};

// Cuts Markdown into Markdown passes and HTML blocks. Qt's reader builds a
// list in time quadratic in its length, so long runs of top-level items are
// cut between two items into several passes (never inside fenced code or an
// HTML block); reference link definitions apply within their own pass only.
QList<MarkdownSegment> markdownSegments(const QString &markdown);

// Outside code, closes void HTML elements ("<br>", "<img ...>") and gives
// images with an empty alt text one: the reader drops everything after an
// unclosed void element, and emits no image for "![](...)".
QString normaliseMarkdown(QStringView markdown);
