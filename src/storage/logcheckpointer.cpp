#include "logcheckpointer.h"

#include "storagelog.h"

#include <QFileInfo>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <sqlite3.h>

#include <mutex>

LogCheckpointer::LogCheckpointer(const QString &path, std::shared_ptr<QMutex> lock)
    : m_path(path)
    , m_lock(std::move(lock))
{
}

LogCheckpointer::~LogCheckpointer()
{
    wait();
}

bool LogCheckpointer::attach(void *sqliteHandle)
{
    auto *db = static_cast<sqlite3 *>(sqliteHandle);
    if (!db)
        return false;
    // Replaces the automatic checkpoint: SQLite keeps one commit hook per connection.
    sqlite3_wal_hook(db, [](void *self, sqlite3 *, const char *, int frames) {
        static_cast<LogCheckpointer *>(self)->afterCommit(frames);
        return SQLITE_OK;
    }, this);
    return true;
}

void LogCheckpointer::afterCommit(int frames)
{
    if (frames < m_frames || m_running.exchange(true))
        return;
    if (m_thread)
        m_thread->wait();
    ++m_started;
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->start(QThread::LowPriority);
}

void LogCheckpointer::run()
{
    const QString name = QStringLiteral("checkpoint-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_path);
        if (db.open()) {
            QSqlQuery query(db);
            // Columns: busy, frames in the log, frames copied.
            if (!query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")) || !query.next()) {
                qCWarning(lcStorage).noquote() << "Write-ahead log not checkpointed:" << query.lastError().text();
            } else if (query.value(0).toInt() == 0 && query.value(1).toInt() == query.value(2).toInt()
                       && QFileInfo(m_path + QLatin1String("-wal")).size() > kKeptLogBytes) {
                query.finish();
                cutLog(db);
            }
        } else {
            qCWarning(lcStorage).noquote() << "Write-ahead log not checkpointed:" << db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    m_running = false;
}

void LogCheckpointer::cutLog(const QSqlDatabase &db)
{
    const std::unique_lock<QMutex> locked(*m_lock, std::try_to_lock);
    if (!locked.owns_lock())
        return; // the next checkpoint tries again
    // Never waits: with a writer or a reader on the log it copies what it can and leaves the file as it is.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA busy_timeout=0"))
        || !query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")))
        qCInfo(lcStorage).noquote() << "Write-ahead log not cut back:" << query.lastError().text();
}

void LogCheckpointer::wait()
{
    if (m_thread)
        m_thread->wait();
}
