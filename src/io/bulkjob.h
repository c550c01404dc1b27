#pragma once

#include "batchwriter.h"
#include "ioprogress.h"
#include "iorepositories.h"
#include "writeplan.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QThread;

// Runs an import or restore on a worker thread: its reading and planning,
// and its writing through a connection of its own to the same file, all in
// one transaction committed (or rolled back) there, so the commit's cost
// never lands on the GUI thread. Meanwhile the GUI connection keeps reading
// and Database::bulkJobRunning() holds its writers off: the job's connection
// is the only writer. cancel() stops the worker at its next batch and rolls
// everything back: the database is left as it was. Producer results the
// caller keeps in its own variables are safe to read once finished() was
// emitted; by then the GUI repositories have announced the new rows.
class BulkJob final : public QObject
{
    Q_OBJECT
public:
    // Returns false when what it planned must not be kept (a damaged archive).
    using Producer = std::function<bool(WritePlan &plan)>;

    BulkJob(const IoRepositories &repositories, std::optional<RestoreMode> mode, QObject *parent = nullptr);
    ~BulkJob() override; // cancels and waits for the worker

    void start(Producer producer);
    void cancel();
    bool isRunning() const { return m_running; }

    // After finished(): whether the rows were committed, what was written, and why not.
    bool committed() const { return m_outcome.committed; }
    bool wasCancelled() const { return m_outcome.cancelled; }
    const BatchWriter::Counts &counts() const { return m_outcome.counts; }
    QString error() const { return m_outcome.error; }

    // The same job on the calling thread and its repositories, for callers
    // without an event loop (command-line tools, tests): returns once it is
    // committed or rolled back.
    static bool runHere(const IoRepositories &repositories, std::optional<RestoreMode> mode,
                        const Producer &producer, const ProgressCallback &progress, BatchWriter::Counts *counts,
                        QString *error);

signals:
    // Emitted on the worker thread: receivers on the GUI thread get it queued.
    void progress(int current, int total, const QString &label);
    void finished();

private:
    struct Outcome
    {
        bool committed = false;
        bool cancelled = false;
        BatchWriter::Counts counts;
        QString error;
    };
    static bool run(const IoRepositories &repositories, std::optional<RestoreMode> mode, const Producer &producer,
                    const ProgressCallback &progress, const std::atomic_bool *cancel, Outcome *outcome);
    void finish();

    IoRepositories m_repositories;
    std::optional<RestoreMode> m_mode;
    std::unique_ptr<QThread> m_thread;
    std::atomic_bool m_cancel{false};
    bool m_running = false;
    Outcome m_outcome; // written by the worker, read once it ended
};
