#pragma once

#include "note.h"
#include "tasks.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// Rules of the to-do screen, apart from the widgets.

enum class TodoSort { NoteUpdated, Alphabetical };

// The tasks of notes in note order, kept when showCompleted or not completed
// and, for a filter that is not blank after trimming, when the task text
// contains it ignoring case; sorted by text ignoring case, or by the note's
// update time, most recent first.
QList<Task> visibleTasks(const QList<Note> &notes, bool showCompleted, const QString &filter, TodoSort sort);
// The same over tasks already extracted, in note order.
QList<Task> visibleTasks(const QList<Task> &tasks, bool showCompleted, const QString &filter, TodoSort sort);

// Whether task shows: showCompleted or not completed, and its text contains
// needle (already trimmed and lower-cased) unless that is empty.
bool todoShown(const Task &task, bool showCompleted, const QString &needle);
// The order of the list: by text ignoring case, or by the note's update time,
// most recent first; then by note and line, so a note's tasks keep their order.
bool todoBefore(const Task &a, const Task &b, TodoSort sort);

// The row text: the task, then "  — " and the note title when there is one.
QString todoRowText(const QString &taskText, const QString &noteTitle);

// note with the check-list line lineIndex ticked or unticked as a local edit;
// nothing when the line cannot be rewritten or the body would not change.
std::optional<Note> noteWithTaskCompleted(const Note &note, int lineIndex, bool completed, const QDateTime &now);
