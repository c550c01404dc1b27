#include "sqlhelpers.h"

#include "storagehealth.h"
#include "storagelog.h"
#include "storagetime.h"

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

WriteScope::WriteScope(const QSqlDatabase &db)
    : m_db(db)
{
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
}

bool WriteScope::commit()
{
    if (!m_open)
        return false;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("RELEASE note_write"))) {
        StorageHealth::reportFailure(q.lastError(), q.lastQuery());
        return false;
    }
    m_open = false;
    return true;
}
