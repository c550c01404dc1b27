#pragma once

// The list texts (title, preview), the full-text row and the to-dos of a note, written in
// the same transaction as the note itself (the full-text row may be left to
// the background fill). Internal to storage but for SearchRow.

#include "notetext.h"

#include <QString>

class Database;

namespace NoteSearchIndex {

// When the full-text row is written. FTS5 merges its segments inside a
// commit now and then, for up to a hundred milliseconds however small the
// transaction: a sync merge on the GUI thread lists the note for the
// background fill (NoteTextFill) instead, which writes it on its own thread.
enum class SearchRow { Now, Background };

// Stores the texts of body (and the names of the note's attachments) for the
// note; prepared, when given, holds them already read from body. With
// SearchRow::Background the list texts and to-dos are written all the same.
bool write(Database *database, const QString &noteId, const QString &body, const NoteText *prepared = nullptr,
           SearchRow searchRow = SearchRow::Now);
// The same after the attachments of a note changed: reads the stored body.
bool rewrite(Database *database, const QString &noteId);
// Drops the full-text row of a note that is about to be deleted.
bool remove(Database *database, const QString &noteId);

} // namespace NoteSearchIndex
