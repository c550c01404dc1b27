#pragma once

#include "iorepositories.h"
#include "largecache.h"
#include "notebulkwriter.h"
#include "restoreplan.h"
#include "writebatch.h"

#include <QSignalBlocker>
#include <QStringList>

#include <memory>
#include <optional>

// Writes the batches of one import or restore on the thread of its
// repositories' connection, all in one transaction: the job lands whole or
// not at all, a kill included.
// Without a restore mode every row is new (an import); with one, each row is
// decided against the stored row of its id (RestorePlan). The repositories'
// change signals are held back and each sent once when the job commits.
class BatchWriter final
{
public:
    struct Counts
    {
        int notebooks = 0;   // inserted or overwritten
        int notes = 0;       // inserted, overwritten or found unchanged
        int attachments = 0;
        int snapshots = 0;
        int skipped = 0;     // kept as stored
        int errors = 0;      // rows refused or failed
    };

    BatchWriter(const IoRepositories &repositories, std::optional<RestoreMode> mode);
    ~BatchWriter(); // rolls back what was not committed

    BatchWriter(const BatchWriter &) = delete;
    BatchWriter &operator=(const BatchWriter &) = delete;

    // Takes the write lock; false (with error()) when it cannot.
    bool begin();
    void write(const WriteBatch &batch);
    // Syncs the placed files to disk, then commits; false with error() when
    // nothing was kept. After a rollback the counts are the rows lost.
    bool commit();
    // Drops every row and every file placed for them.
    void rollback();

    const Counts &counts() const { return m_counts; }
    QString error() const { return m_error; }

    // The change signals a committed job sends, each once, on these repositories.
    static void announce(const IoRepositories &repositories, const Counts &counts);

private:
    void writeNotebook(const Notebook &notebook);
    void writeNote(const PreparedNote &prepared);
    void writeAttachment(const Attachment &attachment);
    void writeSnapshot(const Snapshot &snapshot);
    void end(bool committed);

    IoRepositories m_repositories;
    std::optional<RestoreMode> m_mode;
    std::unique_ptr<NoteBulkWriter> m_notes;
    std::optional<QSignalBlocker> m_blockNotes;
    std::optional<QSignalBlocker> m_blockNotebooks;
    std::optional<QSignalBlocker> m_blockAttachments;
    std::optional<LargeCache> m_cache; // for the one transaction the whole job is
    bool m_open = false;
    Counts m_counts;
    QStringList m_files;
    QString m_error;
};
