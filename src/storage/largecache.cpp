#include "largecache.h"

#include "storagelog.h"

#include <QSqlError>
#include <QSqlQuery>

LargeCache::LargeCache(const QSqlDatabase &database, int mebibytes)
    : m_database(database)
{
    QSqlQuery query(m_database);
    if (!query.exec(QStringLiteral("PRAGMA cache_size")) || !query.next())
        return;
    m_previous = query.value(0).toString();
    // Only ever larger: a caller inside another's scope keeps the larger one.
    const qint64 wanted = -qint64(mebibytes) * 1024;
    const qint64 current = m_previous.toLongLong();
    if (current < 0 && current <= wanted) {
        m_previous.clear();
        return;
    }
    if (!query.exec(QStringLiteral("PRAGMA cache_size=%1").arg(wanted))) {
        qCWarning(lcStorage).noquote() << "Page cache left as it was:" << query.lastError().text();
        m_previous.clear();
    }
}

LargeCache::~LargeCache()
{
    if (m_previous.isEmpty())
        return;
    QSqlQuery query(m_database);
    if (!query.exec(QStringLiteral("PRAGMA cache_size=") + m_previous))
        qCWarning(lcStorage).noquote() << "Page cache not set back:" << query.lastError().text();
}
