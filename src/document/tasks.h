#pragma once

// The tasks of a note body: storage keeps them beside the note, read out
// of its body when it is written. A task is a check-list line, a plain line written
// as a Markdown check box ("- [ ] x", "- [x] x") or a plain line starting with
// "TODO:" in any letter case.

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

struct DeltaOp;

enum class TaskSource { Checklist = 0, MarkdownCheckbox = 1, TodoPrefix = 2 };

struct Task
{
    QString id;     // taskId(noteId, lineIndex, text)
    QString noteId;
    QString text;   // trimmed, never empty
    bool isCompleted = false;
    TaskSource source = TaskSource::Checklist;
    int lineIndex = 0;  // 0-based line of the body
    int charOffset = 0; // document position of the line's first character (an embed counts 1)
    std::optional<QDate> dueDate; // never computed
    QString dueDatePhrase;        // never computed
    QDateTime extractedAt;        // UTC
    QDateTime noteUpdatedAt;
};

// Tasks of one body in line order; an empty, invalid or non-array body gives none.
// One pass over the operations, no document is built.
QList<Task> extractTasks(const QString &noteId, const QString &body, const QDateTime &noteUpdatedAt);
// The same over a body already parsed (parseDeltaJson).
QList<Task> extractTasks(const QString &noteId, const QList<DeltaOp> &ops, const QDateTime &noteUpdatedAt);

// Ticks or unticks the check-list line lineIndex. Returns the new body, or
// empty text when the body is not an array, the line does not exist, or its
// newline shares an insert with other text (only a lone "\n" insert carries
// line attributes that can be rewritten in place).
QString setTaskCompleted(const QString &body, int lineIndex, bool completed);

// "<noteId>_<lineIndex>_<first 8 hex digits of the MD5 of text>": stable for
// the same text on the same line, changed by any edit of the text.
QString taskId(const QString &noteId, int lineIndex, const QString &text);
