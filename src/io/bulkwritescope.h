#pragma once

#include "iorepositories.h"
#include "ioprogress.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QSignalBlocker>

#include <optional>

// Held while an import or restore writes many rows.
// - Change signals: each would reach every list once per row (a refresh per
//   note for thousands of notes); they are held back and each repository whose
//   data changed signals once when the scope ends.
// - Transactions: with a database, rows are written in batches, one commit per
//   progress report instead of one per row. The progress callback always runs
//   outside a transaction, so whatever the UI does while it processes events
//   never joins or blocks the batch.
// - Counting: a row counts once its batch is committed; the rows of a batch
//   whose commit fails are lost, counted apart with the driver's error, and
//   the files written for them are removed.
// - Durability: the files written for a batch are synced to disk together,
//   once, before its rows commit; a batch whose files cannot be synced is lost.
// - Pacing: large jobs report progress at most every 50 ms.
class BulkWriteScope final
{
public:
    BulkWriteScope(const IoRepositories &repositories, ProgressCallback progress);
    ~BulkWriteScope(); // commits and signals

    BulkWriteScope(const BulkWriteScope &) = delete;
    BulkWriteScope &operator=(const BulkWriteScope &) = delete;

    void notesChanged() { m_notes = true; }
    void notebooksChanged() { m_notebooks = true; }
    void attachmentsChanged() { m_attachments = true; }

    // One row written in the open batch: *counter grows when the batch commits.
    void countOnCommit(int *counter);
    // A file written for a row of the open batch, removed when the batch is lost.
    void removeOnRollback(const QString &path);
    // Commits the open batch now; later writes are not batched.
    void finish();
    int lostRows() const { return m_lostRows; }
    QString commitError() const { return m_commitError; }

    // Reports progress when it is due: always for small jobs (total <= 200),
    // else for the first and last item and at most every 50 ms.
    void report(int current, int total, const QString &label);

private:
    void begin();
    void commit();
    bool batchWasRolledBack();

    IoRepositories m_repositories;
    ProgressCallback m_progress;
    QElapsedTimer m_sinceReport;
    std::optional<QSignalBlocker> m_blockNotes;
    std::optional<QSignalBlocker> m_blockNotebooks;
    std::optional<QSignalBlocker> m_blockAttachments;
    bool m_inTransaction = false;
    bool m_finished = false;
    QList<int *> m_pendingCounts;
    QStringList m_pendingFiles;
    int m_lostRows = 0;
    int m_diskFullAtBegin = 0;
    QString m_commitError;
    bool m_notes = false;
    bool m_notebooks = false;
    bool m_attachments = false;
};
