#pragma once

#include "batchwriter.h"
#include "extractionlimits.h"
#include "ioprogress.h"
#include "iorepositories.h"
#include "restoreplan.h"

#include <QString>

class BulkJob;
class WritePlan;

struct RestoreResult
{
    int imported = 0; // notebooks and notes
    int skipped = 0;  // notebooks and notes kept as they were
    int errors = 0;   // anything refused or failed, unsafe archive entries included
    QString error;    // why the restore did not start, or why nothing was kept
    int attachmentsRestored = 0;
    int snapshotsRestored = 0;
};

// The reading stage of a restore, for a worker: reads the backup archive
// (the layout is described in backup.h) straight from the file, checks every
// record and adds it to plan; the writer then decides each row against the
// stored one (RestorePlan). Nothing is added before the whole archive has been
// read once and its manifest found; a later read error fails the plan. Only
// attachment files that an archived record or note names are placed, streamed
// into the store, never over an existing file. Returns what the reading
// counted (refused records, repeated ids) and any error.
RestoreResult readBackup(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits = {},
                         bool withAttachments = true, bool withSnapshots = true);

// The outcome of a restore from what its reading counted and what the
// writer committed (nothing when it did not commit).
RestoreResult restoreOutcome(RestoreResult read, const BatchWriter::Counts &written, bool committed,
                             const QString &writeError);

// The same for a restore that job ran, a cancelled one included.
RestoreResult restoreOutcome(RestoreResult read, const BulkJob &job);

// Merges an archive into the stores on the calling thread, all in one
// transaction: nothing is kept unless everything is. Restored rows are
// pending, so they reach the server with the next sync. Notes, notebooks and
// attachments signal their change once at the end.
RestoreResult restoreBackup(const QString &archivePath, const IoRepositories &repositories, RestoreMode mode,
                            const ProgressCallback &progress = {}, const ExtractionLimits &limits = {});
