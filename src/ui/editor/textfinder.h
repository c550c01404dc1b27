#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTextCursor>

class QTextDocument;

// Finding text in a note, apart from any widget: the matches are cursors
// holding each match as their selection, in document order. Matching ignores
// case and never crosses a line end.
namespace TextFinder {

// Every occurrence of text (taken literally); none for empty text.
QList<QTextCursor> findAll(const QTextDocument *document, const QString &text);
// Every place where one of the words of a search query starts a word, as the
// full-text search matches them ("plan" finds "planning"); quotes, a trailing
// "*" and the operators AND, OR and NOT are not words.
QList<QTextCursor> findWords(const QTextDocument *document, const QString &query);
// The words findWords looks for.
QStringList queryWords(const QString &query);

// The match to go to from a cursor at position: the first one starting at or
// after it going forward, the last one starting before it going back, wrapping
// around the ends; -1 without matches.
int nextMatch(const QList<QTextCursor> &matches, int position, bool forward);
// The match that is exactly the selection of cursor, or -1.
int matchAt(const QList<QTextCursor> &matches, const QTextCursor &cursor);

// Replaces every match with replacement in one undo step; the count replaced.
int replaceAll(const QList<QTextCursor> &matches, const QString &replacement);

} // namespace TextFinder
