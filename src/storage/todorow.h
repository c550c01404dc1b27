#pragma once

#include <QString>

// A kept to-do of a live note, with what the to-do screen shows of its note.
// noteUpdatedAt is the stored time text, which sorts as the times do.
struct TodoRow
{
    QString noteId;
    int lineIndex = 0;
    int charOffset = 0;
    int source = 0; // the document model's task kind
    bool completed = false;
    QString text;
    QString textKey; // text case-folded: what sorts and filters
    QString noteTitle;
    QString noteUpdatedAt;

    bool operator==(const TodoRow &) const = default;
};

enum class TodoOrder { NoteUpdated, Alphabetical };
