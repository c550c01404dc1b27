#pragma once

#include "iorepositories.h"
#include "extractionlimits.h"
#include "ioprogress.h"
#include "restorebackup.h"

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

// Writes the archive to a temporary file beside targetPath and replaces
// targetPath only when it is complete: a failed backup leaves any earlier file.
BackupResult createBackup(const QString &targetPath, const IoRepositories &repositories,
                          const ProgressCallback &progress = {});
