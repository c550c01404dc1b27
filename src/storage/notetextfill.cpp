#include "notetextfill.h"

#include "bodybackfill.h"
#include "database.h"
#include "storagelog.h"

#include <QSqlQuery>
#include <QThread>
#include <QTimer>

namespace {

// Consecutive failed batches (a full disk, a lock held elsewhere) before it
// gives up until the next start.
constexpr int kMaxFailures = 40;
constexpr int kRetryMs = 250;

} // namespace

NoteTextFill::NoteTextFill(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_throttle(new QTimer(this))
{
    m_throttle->setSingleShot(true);
    connect(m_throttle, &QTimer::timeout, this, &NoteTextFill::notify);
    connect(this, &NoteTextFill::batchCommitted, this, [this](int written) {
        m_written += written;
        if (!m_sinceNotified.isValid() || m_sinceNotified.elapsed() >= kNotifyIntervalMs)
            notify();
        else if (!m_throttle->isActive())
            m_throttle->start(int(kNotifyIntervalMs - m_sinceNotified.elapsed()));
    });
    // An import or restore writes in one long transaction: no batch could
    // take the lock meanwhile.
    m_paused = database->bulkJobRunning();
    connect(database, &Database::bulkJobChanged, this, [this](bool running) { m_paused = running; });
}

NoteTextFill::~NoteTextFill()
{
    m_stop = true;
    if (m_thread)
        m_thread->wait();
}

bool NoteTextFill::start()
{
    if (m_running || m_thread || m_database->isReadOnly())
        return false;
    const qint64 pending = BodyBackfill::pendingCount(m_database->database());
    if (pending == 0)
        return false;
    qCInfo(lcStorage) << "Filling the texts of" << pending << "notes in the background";
    m_running = true;
    m_stop = false;
    m_elapsed.start();
    const QString path = m_database->database().databaseName();
    m_thread.reset(QThread::create([this, path, extract = m_database->textExtractor()] { run(path, extract); }));
    connect(m_thread.get(), &QThread::finished, this, &NoteTextFill::finish);
    m_thread->start(QThread::LowPriority);
    emit runningChanged(true);
    return true;
}

void NoteTextFill::stop()
{
    m_stop = true;
}

void NoteTextFill::run(const QString &path, const NoteTextExtractor &extract)
{
    Database database;
    database.setTextExtractor(extract);
    if (!database.open(path))
        return;
    // A batch lost to a power cut stays pending and is made again: the log's
    // sync at each commit buys nothing here.
    QSqlQuery(database.database()).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    BodyBackfill fill(database.database(), database.textExtractor());
    int failures = 0;
    while (!m_stop && failures < kMaxFailures) {
        if (m_paused) {
            QThread::msleep(kRetryMs);
            continue;
        }
        std::optional<BodyBackfill::Batch> batch = fill.read(kBatchSize);
        if (batch && batch->empty())
            break;
        int written = -1;
        if (batch) {
            fill.parse(*batch);
            written = fill.write(*batch);
        }
        if (written < 0) {
            ++failures;
            QThread::msleep(kRetryMs);
            continue;
        }
        failures = 0;
        emit batchCommitted(written);
    }
    if (failures >= kMaxFailures)
        qCWarning(lcStorage) << "Filling note texts stopped after" << failures << "failed batches; resumes at next start";
}

void NoteTextFill::notify()
{
    m_throttle->stop();
    m_sinceNotified.start();
    emit textsWritten();
}

void NoteTextFill::finish()
{
    m_thread->wait();
    m_thread.reset();
    m_running = false;
    qCInfo(lcStorage) << "Note texts filled:" << m_written << "in" << m_elapsed.elapsed() << "ms"
                      << (m_stop ? "(stopped)" : "");
    notify();
    emit runningChanged(false);
}
