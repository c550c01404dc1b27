#pragma once

// The list texts (title, preview), the full-text row and the to-dos of a note, written in
// the same transaction as the note itself. Internal to storage.

#include "notetext.h"

#include <QString>

class Database;

namespace NoteSearchIndex {

// Stores the texts of body (and the names of the note's attachments) for the
// note; prepared, when given, holds them already read from body.
bool write(Database *database, const QString &noteId, const QString &body, const NoteText *prepared = nullptr);
// The same after the attachments of a note changed: reads the stored body.
bool rewrite(Database *database, const QString &noteId);
// Drops the full-text row of a note that is about to be deleted.
bool remove(Database *database, const QString &noteId);

} // namespace NoteSearchIndex
