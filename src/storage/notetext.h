#pragma once

#include <QList>
#include <QString>

#include <functional>

// One to-do line of a note as storage keeps it. source is the document
// model's task kind (0 check list, 1 Markdown check box, 2 "TODO:" line).
struct NoteTodo
{
    int lineIndex = 0;
    int charOffset = 0;
    int source = 0;
    bool completed = false;
    QString text;
};

// What the lists, the search index and the to-do screen keep of a note body,
// all read from one parse of it. Storage does not read the note format
// itself: the application installs the extractor.
struct NoteText
{
    QString title;      // first line, trimmed
    QString preview;    // the lines after it, shortened
    QString searchText; // every word a reader can see in the note
    QList<NoteTodo> todos;
};

using NoteTextExtractor = std::function<NoteText(const QString &body)>;
