#include "logcheckpointer.h"

#include "storagelog.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <sqlite3.h>

LogCheckpointer::LogCheckpointer(const QString &path)
    : m_path(path)
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
            if (!query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")))
                qCWarning(lcStorage).noquote() << "Write-ahead log not checkpointed:" << query.lastError().text();
        } else {
            qCWarning(lcStorage).noquote() << "Write-ahead log not checkpointed:" << db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    m_running = false;
}

void LogCheckpointer::wait()
{
    if (m_thread)
        m_thread->wait();
}
