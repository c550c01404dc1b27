#include "sqlhelpers.h"

#include "storagehealth.h"
#include "storagelog.h"
#include "storagetime.h"

#include <QMutex>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

namespace SqlHelpers {

bool exec(QSqlQuery &q, const QString &sql, const QVariantList &values)
{
    bool ok = q.prepare(sql);
    if (ok) {
        for (const QVariant &value : values)
            q.addBindValue(value);
        ok = q.exec();
    }
    if (!ok)
        StorageHealth::reportFailure(q.lastError(), sql);
    return ok;
}

QVariant nullText()
{
    return QVariant(QMetaType::fromType<QString>());
}

QVariant textOrEmpty(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? nullText() : QVariant(text);
}

QVariant optionalTime(const std::optional<QDateTime> &time)
{
    return time ? QVariant(storageTimeText(*time)) : nullText();
}

std::optional<QDateTime> optionalTimeFromText(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    return storageTimeFromText(text);
}

} // namespace SqlHelpers

namespace {

// A write that fails on a full disk leaves the write-ahead log grown, and only
// a checkpoint lets it start over: none runs before the log reaches its
// threshold, which on a nearly full disk it never does, so every later write
// would fail too. Connections named here still owe that checkpoint.
QMutex s_logsMutex;
QSet<QString> s_logsToReclaim;

// Inside a caller's transaction this does nothing; that caller's own failure ends it.
bool reclaimLog(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) || !q.next() || q.value(0).toInt() != 0)
        return false;
    qCInfo(lcStorage) << "Write-ahead log checkpointed after a full disk";
    return true;
}

} // namespace

WriteScope::WriteScope(const QSqlDatabase &db)
    : m_db(db)
{
    {
        QMutexLocker lock(&s_logsMutex);
        if (s_logsToReclaim.contains(m_db.connectionName()) && reclaimLog(m_db))
            s_logsToReclaim.remove(m_db.connectionName());
    }
    QSqlQuery q(m_db);
    m_open = q.exec(QStringLiteral("SAVEPOINT note_write"));
    if (!m_open)
        StorageHealth::reportFailure(q.lastError(), q.lastQuery());
}

WriteScope::~WriteScope()
{
    if (!m_open)
        return;
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("ROLLBACK TO note_write"));
    q.exec(QStringLiteral("RELEASE note_write"));
    if (!m_diskFull)
        return;
    // Below its usual threshold the log no longer takes the last free bytes
    // and leaves none for the checkpoint that would let it start over.
    q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=64"));
    QMutexLocker lock(&s_logsMutex);
    if (!reclaimLog(m_db))
        s_logsToReclaim.insert(m_db.connectionName());
}

bool WriteScope::commit()
{
    if (!m_open)
        return false;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("RELEASE note_write"))) {
        StorageHealth::reportFailure(q.lastError(), q.lastQuery());
        m_diskFull = StorageHealth::isDiskFull(q.lastError());
        return false;
    }
    m_open = false;
    return true;
}
