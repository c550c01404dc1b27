#pragma once

#include "batchwriter.h"
#include "ioprogress.h"
#include "iorepositories.h"
#include "writeplan.h"

#include <QMutex>

#include <atomic>
#include <QObject>
#include <QWaitCondition>

#include <functional>
#include <memory>
#include <optional>

class QThread;

// Runs an import or restore: its reading and planning (the producer) on a
// worker thread, its writing on the thread of the database, one batch per
// event-loop turn, all in one transaction held open between turns. The
// worker runs ahead by a few batches at most, so memory stays bounded.
// cancel() stops the worker at its next batch and rolls everything back:
// the database is left as it was. Producer results the caller keeps in its
// own variables are safe to read once finished() was emitted.
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
    bool committed() const { return m_committed; }
    bool wasCancelled() const;
    const BatchWriter::Counts &counts() const { return m_counts; }
    QString error() const { return m_error; }

    // The same job on the calling thread, for callers without an event loop
    // (command-line tools, tests): returns once it is committed or rolled back.
    static bool runHere(const IoRepositories &repositories, std::optional<RestoreMode> mode,
                        const Producer &producer, const ProgressCallback &progress, BatchWriter::Counts *counts,
                        QString *error);

    static constexpr int kQueuedBatches = 32; // about 4 M characters planned ahead at most

signals:
    void progress(int current, int total, const QString &label);
    void finished();

private:
    class Channel;
    void writeNext();
    void finish();

    IoRepositories m_repositories;
    std::unique_ptr<BatchWriter> m_writer;
    std::unique_ptr<Channel> m_channel;
    QThread *m_thread = nullptr;
    bool m_running = false;
    bool m_writeQueued = false;
    bool m_committed = false;
    std::atomic_bool m_planKept{true};
    BatchWriter::Counts m_counts;
    QString m_error;
};
