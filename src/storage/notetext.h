#pragma once

#include <QString>

#include <functional>
#include <optional>

// What the lists and the search index keep of a note body. Storage does not
// read the note format itself: the application installs the extractor.
struct NoteText
{
    QString title;      // first line, trimmed
    QString preview;    // the lines after it, shortened
    QString searchText; // every word a reader can see in the note
    // The note's to-dos in the extractor's own form (empty: none); absent when
    // not read, so that whoever lists to-dos reads the body then.
    std::optional<QString> todos;
};

using NoteTextExtractor = std::function<NoteText(const QString &body)>;
