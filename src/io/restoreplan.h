#pragma once

#include "note.h"

#include <QDateTime>

#include <optional>

enum class RestoreMode {
    SkipExisting = 0,   // keep every local row whose id exists
    Overwrite = 1,      // replace existing rows
    OverwriteOlder = 2, // replace a row only when its updatedAt is older than the archived one
};

// What a restore does with one archived row, decided from the row stored
// under its id (if any). Pure: the writer looks the stored row up.
enum class RestoreAction {
    Insert,    // no stored row
    Overwrite, // the archived row replaces the stored one
    Unchanged, // overwriting is due, but the stored row already holds the archived one
    Keep,      // the stored row stays, as the mode says
};

namespace RestorePlan {

// For notebooks, snapshots and anything else compared by time alone.
RestoreAction decide(RestoreMode mode, const std::optional<QDateTime> &storedTime, const QDateTime &archivedTime);
// For notes: rewriting one that holds everything the archive keeps of it
// would cost a full index write and mark it for upload again.
RestoreAction decide(RestoreMode mode, const std::optional<Note> &stored, const Note &archived);

} // namespace RestorePlan
