#include "bulkjob.h"

#include "attachmentrepository.h"
#include "database.h"
#include "iolog.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "snapshotrepository.h"

#include <QFile>
#include <QThread>

namespace {

// Writes each batch as it is planned, on the calling thread.
class DirectChannel final : public PlanChannel
{
public:
    DirectChannel(BatchWriter *writer, const ProgressCallback &progress, const std::atomic_bool *cancel)
        : m_writer(writer)
        , m_progress(progress)
        , m_cancel(cancel)
    {
    }
    bool deliver(WriteBatch &&batch) override
    {
        if (cancelled()) {
            for (const QString &path : std::as_const(batch.createdFiles))
                QFile::remove(path);
            return false;
        }
        m_writer->write(batch);
        progress(batch.current, batch.total, batch.label);
        return true;
    }
    void progress(int current, int total, const QString &label) override
    {
        if (m_progress)
            m_progress(current, total, label);
    }
    bool cancelled() const override { return m_cancel && *m_cancel; }

private:
    BatchWriter *m_writer;
    const ProgressCallback &m_progress;
    const std::atomic_bool *m_cancel;
};

// A job's own connection to the database file, opened on the worker and
// closed there: no migration runs, the GUI connection did them.
struct JobStores
{
    explicit JobStores(const IoRepositories &gui)
    {
        database.setTextExtractor(gui.database->textExtractor());
        database.setReadOnly(gui.database->isReadOnly());
        if (!database.open(gui.database->database().databaseName()))
            return;
        notes = std::make_unique<NoteRepository>(&database);
        notebooks = std::make_unique<NotebookRepository>(&database);
        if (gui.attachments)
            attachments = std::make_unique<AttachmentRepository>(&database);
        if (gui.snapshots)
            snapshots = std::make_unique<SnapshotRepository>(&database);
    }
    IoRepositories repositories()
    {
        return {notes ? &database : nullptr, notes.get(), notebooks.get(), attachments.get(), snapshots.get()};
    }

    Database database; // declared first: closed after every repository is gone
    std::unique_ptr<NoteRepository> notes;
    std::unique_ptr<NotebookRepository> notebooks;
    std::unique_ptr<AttachmentRepository> attachments;
    std::unique_ptr<SnapshotRepository> snapshots;
};

} // namespace

BulkJob::BulkJob(const IoRepositories &repositories, std::optional<RestoreMode> mode, QObject *parent)
    : QObject(parent)
    , m_repositories(repositories)
    , m_mode(mode)
{
}

BulkJob::~BulkJob()
{
    m_cancel = true;
    if (m_thread)
        m_thread->wait(); // the worker rolls back and closes its connection
    if (m_running)
        m_repositories.database->setBulkJobRunning(false);
}

void BulkJob::start(Producer producer)
{
    if (m_running || m_thread || !m_repositories.database)
        return;
    m_running = true;
    m_repositories.database->setBulkJobRunning(true);
    const IoRepositories gui = m_repositories;
    m_thread.reset(QThread::create([this, gui, mode = m_mode, producer = std::move(producer)] {
        JobStores stores(gui);
        const ProgressCallback progress = [this](int current, int total, const QString &label) {
            emit this->progress(current, total, label);
        };
        run(stores.repositories(), mode, producer, progress, &m_cancel, &m_outcome);
    }));
    connect(m_thread.get(), &QThread::finished, this, &BulkJob::finish);
    m_thread->start();
}

void BulkJob::cancel()
{
    m_cancel = true;
}

void BulkJob::finish()
{
    if (!m_running)
        return;
    m_running = false;
    m_thread->wait();
    if (m_outcome.cancelled)
        qCInfo(lcIo) << "Bulk write cancelled: nothing kept";
    else if (!m_outcome.error.isEmpty())
        qCWarning(lcIo) << "Bulk write not kept:" << m_outcome.error;
    // The rows came through another connection: the GUI side hears of them here, once.
    if (m_outcome.committed)
        BatchWriter::announce(m_repositories, m_outcome.counts);
    m_repositories.database->setBulkJobRunning(false);
    emit finished();
}

bool BulkJob::run(const IoRepositories &repositories, std::optional<RestoreMode> mode, const Producer &producer,
                  const ProgressCallback &progress, const std::atomic_bool *cancel, Outcome *outcome)
{
    BatchWriter writer(repositories, mode);
    bool kept = writer.begin();
    if (kept) {
        DirectChannel channel(&writer, progress, cancel);
        WritePlan plan(&channel);
        kept = producer(plan) && plan.flush();
    }
    outcome->cancelled = cancel && *cancel;
    outcome->committed = kept && !outcome->cancelled && writer.commit();
    if (!outcome->committed)
        writer.rollback();
    outcome->counts = writer.counts();
    outcome->error = writer.error();
    return outcome->committed;
}

bool BulkJob::runHere(const IoRepositories &repositories, std::optional<RestoreMode> mode, const Producer &producer,
                      const ProgressCallback &progress, BatchWriter::Counts *counts, QString *error)
{
    Outcome outcome;
    run(repositories, mode, producer, progress, nullptr, &outcome);
    *counts = outcome.counts;
    *error = outcome.error;
    return outcome.committed;
}
