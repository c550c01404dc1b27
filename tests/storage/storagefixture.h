#pragma once

// A migrated database of its own for each test function, plus raw SQL helpers
// for building rows and inspecting what the repositories wrote.

#include "database.h"

#include <QDir>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <memory>

namespace StorageFixture {

inline std::unique_ptr<Database> openFreshDatabase()
{
    auto db = std::make_unique<Database>();
    const QString path = Database::dataDirectory() + "/test_" + QUuid::createUuid().toString(QUuid::WithoutBraces) + ".db";
    if (!db->open(path) || !db->migrate())
        return nullptr;
    return db;
}

inline QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// First column of the first row, or an invalid QVariant when the statement fails or yields nothing.
inline QVariant scalar(const Database &db, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery q(db.database());
    if (!q.prepare(sql))
        return {};
    for (const QVariant &value : values)
        q.addBindValue(value);
    if (!q.exec() || !q.next())
        return {};
    return q.value(0);
}

inline bool run(const Database &db, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery q(db.database());
    if (!q.prepare(sql))
        return false;
    for (const QVariant &value : values)
        q.addBindValue(value);
    return q.exec();
}

} // namespace StorageFixture
