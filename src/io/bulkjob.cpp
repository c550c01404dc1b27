#include "bulkjob.h"

#include "database.h"

#include "iolog.h"

#include <QFile>
#include <QList>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>
#include <QTimer>

// The queue between the worker and the writer.
class BulkJob::Channel final : public PlanChannel
{
public:
    explicit Channel(BulkJob *job)
        : m_job(job)
    {
    }

    bool deliver(WriteBatch &&batch) override
    {
        {
            QMutexLocker lock(&m_mutex);
            while (!m_cancelled && m_batches.size() >= kQueuedBatches)
                m_room.wait(&m_mutex);
            if (m_cancelled) {
                for (const QString &path : std::as_const(batch.createdFiles))
                    QFile::remove(path);
                return false;
            }
            m_batches.append(std::move(batch));
        }
        QMetaObject::invokeMethod(m_job, &BulkJob::writeNext, Qt::QueuedConnection);
        return true;
    }

    void progress(int current, int total, const QString &label) override
    {
        QPointer<BulkJob> job(m_job);
        QMetaObject::invokeMethod(m_job, [job, current, total, label] {
            if (job)
                emit job->progress(current, total, label);
        }, Qt::QueuedConnection);
    }

    bool cancelled() const override
    {
        QMutexLocker lock(&m_mutex);
        return m_cancelled;
    }

    void cancel()
    {
        QMutexLocker lock(&m_mutex);
        m_cancelled = true;
        m_room.wakeAll();
    }

    std::optional<WriteBatch> take()
    {
        QMutexLocker lock(&m_mutex);
        if (m_batches.isEmpty())
            return std::nullopt;
        WriteBatch batch = m_batches.takeFirst();
        m_room.wakeAll();
        return batch;
    }

    // Batches the writer will not take any more.
    QList<WriteBatch> drain()
    {
        QMutexLocker lock(&m_mutex);
        return std::exchange(m_batches, {});
    }

    void setDone()
    {
        QMutexLocker lock(&m_mutex);
        m_done = true;
    }

    bool done() const
    {
        QMutexLocker lock(&m_mutex);
        return m_done && m_batches.isEmpty();
    }

private:
    BulkJob *m_job;
    mutable QMutex m_mutex;
    QWaitCondition m_room;
    QList<WriteBatch> m_batches;
    bool m_cancelled = false;
    bool m_done = false;
};

BulkJob::BulkJob(const IoRepositories &repositories, std::optional<RestoreMode> mode, QObject *parent)
    : QObject(parent)
    , m_repositories(repositories)
    , m_writer(std::make_unique<BatchWriter>(repositories, mode))
    , m_channel(std::make_unique<Channel>(this))
{
}

BulkJob::~BulkJob()
{
    m_channel->cancel();
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
    for (const WriteBatch &batch : m_channel->drain())
        m_writer->write(batch); // only to learn their files: the rollback removes them
    m_writer->rollback();
    if (m_running)
        m_repositories.database->setBulkJobRunning(false);
}

void BulkJob::start(Producer producer)
{
    if (m_running || m_thread)
        return;
    m_running = true;
    m_repositories.database->setBulkJobRunning(true);
    if (!m_writer->begin()) {
        m_error = m_writer->error();
        qCWarning(lcIo) << "Bulk write cannot start:" << m_error;
        QTimer::singleShot(0, this, &BulkJob::finish);
        return;
    }
    Channel *channel = m_channel.get();
    const Database *texts = m_repositories.database;
    std::atomic_bool *kept = &m_planKept;
    m_thread = QThread::create([channel, texts, kept, producer = std::move(producer)] {
        {
            WritePlan plan(channel, texts);
            *kept = producer(plan) && plan.flush();
        }
        channel->setDone();
    });
    connect(m_thread, &QThread::finished, this, &BulkJob::writeNext);
    m_thread->start();
}

void BulkJob::cancel()
{
    m_channel->cancel();
}

bool BulkJob::wasCancelled() const
{
    return m_channel->cancelled();
}

void BulkJob::writeNext()
{
    if (!m_running || m_writeQueued)
        return;
    if (m_channel->cancelled()) {
        if (m_thread && m_thread->isFinished())
            finish();
        return;
    }
    if (std::optional<WriteBatch> batch = m_channel->take()) {
        m_writer->write(*batch);
        emit progress(batch->current, batch->total, batch->label);
        // The next batch waits for a turn of the event loop: input and painting come first.
        m_writeQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_writeQueued = false;
            writeNext();
        });
        return;
    }
    if (m_channel->done() && m_thread && m_thread->isFinished())
        finish();
}

void BulkJob::finish()
{
    if (!m_running)
        return;
    m_running = false;
    if (m_thread) {
        m_thread->wait();
        for (const WriteBatch &batch : m_channel->drain())
            m_writer->write(batch);
    }
    if (m_channel->cancelled()) {
        m_writer->rollback();
        qCInfo(lcIo) << "Bulk write cancelled: nothing kept";
    } else if (!m_planKept) {
        m_writer->rollback();
    } else if (m_error.isEmpty()) {
        m_committed = m_writer->commit();
        m_error = m_writer->error();
    }
    m_counts = m_writer->counts();
    m_repositories.database->setBulkJobRunning(false);
    emit finished();
}

namespace {

// Writes each batch as it is planned, on the calling thread.
class DirectChannel final : public PlanChannel
{
public:
    DirectChannel(BatchWriter *writer, const ProgressCallback &progress)
        : m_writer(writer)
        , m_progress(progress)
    {
    }
    bool deliver(WriteBatch &&batch) override
    {
        m_writer->write(batch);
        if (m_progress)
            m_progress(batch.current, batch.total, batch.label);
        return true;
    }
    void progress(int current, int total, const QString &label) override
    {
        if (m_progress)
            m_progress(current, total, label);
    }
    bool cancelled() const override { return false; }

private:
    BatchWriter *m_writer;
    const ProgressCallback &m_progress;
};

} // namespace

bool BulkJob::runHere(const IoRepositories &repositories, std::optional<RestoreMode> mode, const Producer &producer,
                      const ProgressCallback &progress, BatchWriter::Counts *counts, QString *error)
{
    BatchWriter writer(repositories, mode);
    bool kept = writer.begin();
    if (kept) {
        DirectChannel channel(&writer, progress);
        WritePlan plan(&channel, repositories.database);
        kept = producer(plan) && plan.flush();
    }
    const bool committed = kept && writer.commit();
    if (!committed)
        writer.rollback();
    *counts = writer.counts();
    *error = writer.error();
    return committed;
}
