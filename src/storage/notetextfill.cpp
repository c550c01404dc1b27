#include "notetextfill.h"

#include "bodybackfill.h"
#include "database.h"
#include "storagelog.h"

#include <QMutex>
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
    , m_showTimer(new QTimer(this))
{
    m_showTimer->setSingleShot(true);
    m_showTimer->setInterval(kShownAfterMs);
    connect(m_showTimer, &QTimer::timeout, this, &NoteTextFill::show);
    // Queued: the notes are listed inside a transaction still to commit.
    connect(database, &Database::textsQueued, this, &NoteTextFill::kick, Qt::QueuedConnection);
    m_throttle->setSingleShot(true);
    connect(m_throttle, &QTimer::timeout, this, &NoteTextFill::notify);
    connect(this, &NoteTextFill::drained, this, &NoteTextFill::idle);
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
    stop();
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
    if (pending > kBatchSize)
        qCInfo(lcStorage) << "Filling the texts of" << pending << "notes in the background";
    m_running = true;
    m_stop = false;
    m_again = false;
    m_wake.tryAcquire(m_wake.available());
    m_elapsed.start();
    const QString path = m_database->database().databaseName();
    m_thread.reset(QThread::create([this, path, extract = m_database->textExtractor(), lock = m_database->fillLock()] {
        run(path, extract, lock);
    }));
    connect(m_thread.get(), &QThread::finished, this, &NoteTextFill::finish);
    m_thread->start(QThread::LowPriority);
    if (pending > kBatchSize)
        show();
    else
        m_showTimer->start();
    return true;
}

void NoteTextFill::kick()
{
    if (!m_running)
        start();
    else if (!m_shown && !m_showTimer->isActive())
        m_showTimer->start();
    m_again = true;
    // A merge lists its notes one by one: one wake-up is enough for them all.
    if (m_wake.available() == 0)
        m_wake.release();
}

void NoteTextFill::stop()
{
    m_stop = true;
    m_wake.release();
}

void NoteTextFill::show()
{
    if (m_shown || !m_running)
        return;
    m_shown = true;
    emit runningChanged(true);
}

void NoteTextFill::run(const QString &path, const NoteTextExtractor &extract, const std::shared_ptr<QMutex> &lock)
{
    Database database;
    database.setTextExtractor(extract);
    database.shareFillLock(lock);
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
        if (batch && batch->empty()) {
            // Listed after this read began: committed before the kick came.
            if (m_again.exchange(false))
                continue;
            emit drained();
            if (m_wake.tryAcquire(1, kLingerMs) && !m_stop)
                continue;
            break;
        }
        int written = -1;
        if (batch) {
            fill.parse(*batch);
            const QMutexLocker locked(lock.get());
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

void NoteTextFill::idle()
{
    m_showTimer->stop();
    notify();
    if (m_shown) {
        m_shown = false;
        emit runningChanged(false);
    }
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
    m_showTimer->stop();
    if (m_shown || m_written > kBatchSize)
        qCInfo(lcStorage) << "Note texts filled:" << m_written << "in" << m_elapsed.elapsed() << "ms"
                          << (m_stop ? "(stopped)" : "");
    m_written = 0;
    notify();
    if (m_shown) {
        m_shown = false;
        emit runningChanged(false);
    }
    // A kick between the run's last read and its end.
    if (!m_stop && m_again.exchange(false))
        start();
}
