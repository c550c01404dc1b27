#include "relaxedsync.h"

#include "storagelog.h"

#include <QSqlError>
#include <QSqlQuery>

RelaxedSync::RelaxedSync(const QSqlDatabase &database)
    : m_database(database)
{
    QSqlQuery query(m_database);
    if (!query.exec(QStringLiteral("PRAGMA synchronous")) || !query.next())
        return;
    m_previous = query.value(0).toString();
    if (!query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))) {
        qCWarning(lcStorage).noquote() << "Commits stay synced:" << query.lastError().text();
        m_previous.clear();
    }
}

RelaxedSync::~RelaxedSync()
{
    if (m_previous.isEmpty())
        return;
    QSqlQuery query(m_database);
    if (!query.exec(QStringLiteral("PRAGMA synchronous=") + m_previous))
        qCWarning(lcStorage).noquote() << "Could not make commits durable again:" << query.lastError().text();
}
