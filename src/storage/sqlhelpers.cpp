#include "sqlhelpers.h"

#include "storagehealth.h"
#include "storagelog.h"
#include "storagetime.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <optional>

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

// True when the connection is inside a transaction; unknown without SQLite's handle.
std::optional<bool> inTransaction(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return std::nullopt;
    auto *connection = *static_cast<sqlite3 *const *>(handle.constData());
    if (!connection)
        return std::nullopt;
    return sqlite3_get_autocommit(connection) == 0;
}

} // namespace

WriteScope::WriteScope(const QSqlDatabase &db)
    : m_db(db)
{
    QSqlQuery q(m_db);
    // On its own, a scope takes the write lock before its first read. A
    // deferred transaction that read first cannot write once another
    // connection (the text fill's) has committed since: SQLite refuses at
    // once with "database is locked", without waiting.
    m_outermost = inTransaction(m_db) == false;
    m_open = q.exec(m_outermost ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("SAVEPOINT note_write"));
    if (!m_open)
        StorageHealth::reportFailure(q.lastError(), q.lastQuery());
}

WriteScope::~WriteScope()
{
    if (!m_open)
        return;
    QSqlQuery q(m_db);
    if (m_outermost) {
        q.exec(QStringLiteral("ROLLBACK"));
        return;
    }
    q.exec(QStringLiteral("ROLLBACK TO note_write"));
    q.exec(QStringLiteral("RELEASE note_write"));
}

bool WriteScope::commit()
{
    if (!m_open)
        return false;
    QSqlQuery q(m_db);
    if (!q.exec(m_outermost ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE note_write"))) {
        StorageHealth::reportFailure(q.lastError(), q.lastQuery());
        return false;
    }
    m_open = false;
    return true;
}
