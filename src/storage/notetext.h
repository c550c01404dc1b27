#pragma once

#include <QString>

#include <functional>

// What the lists and the search index keep of a note body. Storage does not
// read the note format itself: the application installs the extractor.
struct NoteText
{
    QString title;      // first line, trimmed
    QString preview;    // the lines after it, shortened
    QString searchText; // every word a reader can see in the note
};

using NoteTextExtractor = std::function<NoteText(const QString &body)>;
// The to-dos of a body in the extractor's own form; empty: none.
using NoteTodoExtractor = std::function<QString(const QString &body)>;
