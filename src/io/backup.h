#pragma once

#include "iorepositories.h"
#include "extractionlimits.h"
#include "ioprogress.h"

#include <QString>

// Backup archive: a ZIP of small indented JSON files.
//   manifest.json                 {"version", "exportedAt", "noteCount", "notebookCount"}
//   notebooks/<id>.json           live notebooks
//   notes/<id>.json               live and trashed notes
//   attachments/<file>            every file of the attachments directory
//   attachmentRecords/<id>.json   the attachment rows of those notes
//   snapshots/<id>.json           the version history of those notes
// Archives without the last two folders restore as before.

struct BackupResult
{
    int noteCount = 0;
    bool failed = false;
    QString error;
};

struct RestoreResult
{
    int imported = 0; // notebooks and notes
    int skipped = 0;  // notebooks and notes kept as they were
    int errors = 0;   // anything refused or failed, unsafe archive entries included
    QString error;    // why the restore did not start, or why rows it wrote were lost
    int attachmentsRestored = 0;
    int snapshotsRestored = 0;
};

enum class RestoreMode {
    SkipExisting = 0,   // keep every local row whose id exists
    Overwrite = 1,      // replace existing rows
    OverwriteOlder = 2, // replace a row only when its updatedAt is older than the archived one
};

// Writes the archive to a temporary file beside targetPath and replaces
// targetPath only when it is complete: a failed backup leaves any earlier file.
BackupResult createBackup(const QString &targetPath, const IoRepositories &repositories,
                          const ProgressCallback &progress = {});

// Merges an archive into the stores. Nothing is written before the archive has
// been unpacked completely and its manifest found. Restored rows are pending,
// so they reach the server with the next sync. Notes, notebooks and attachments
// signal their change once at the end, not once per row.
// Counts only committed rows. Only attachment files that an archived record or
// note names are restored, streamed to their place; the archive is held to limits.
RestoreResult restoreBackup(const QString &archivePath, const IoRepositories &repositories, RestoreMode mode,
                            const ProgressCallback &progress = {}, const ExtractionLimits &limits = {});
