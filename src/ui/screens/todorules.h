#pragma once

#include "note.h"

#include <QDateTime>
#include <QString>

#include <optional>

// Rules of the to-do screen, apart from the widgets.

// The row text: the task, then "  — " and the note title when there is one.
QString todoRowText(const QString &taskText, const QString &noteTitle);

// note with the check-list line lineIndex ticked or unticked as a local edit;
// nothing when the line cannot be rewritten or the body would not change.
std::optional<Note> noteWithTaskCompleted(const Note &note, int lineIndex, bool completed, const QDateTime &now);
