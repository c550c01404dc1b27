#pragma once

// Rows of a database kept aside once and put back before every input, so that
// a target can reuse one database (opening and migrating a new one costs more
// than most inputs) and still start each input from the same state.

#include "fuzzsupport.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace VelmFuzz {

class Pristine
{
public:
    explicit Pristine(const QSqlDatabase &db)
        : m_db(db)
    {
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"));
        while (q.next())
            m_tables << q.value(0).toString();
        for (const QString &table : std::as_const(m_tables))
            exec(QStringLiteral("CREATE TEMP TABLE pristine_%1 AS SELECT * FROM main.%1").arg(table));
    }

    void restore()
    {
        exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
        exec(QStringLiteral("BEGIN"));
        for (const QString &table : std::as_const(m_tables)) {
            exec(QStringLiteral("DELETE FROM main.%1").arg(table));
            exec(QStringLiteral("INSERT INTO main.%1 SELECT * FROM pristine_%1").arg(table));
        }
        exec(QStringLiteral("COMMIT"));
        exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    }

    // The one check SQLite makes of its own file; cheap on a small database.
    QString quickCheck() const
    {
        QSqlQuery q(m_db);
        return q.exec(QStringLiteral("PRAGMA quick_check")) && q.next() ? q.value(0).toString() : q.lastError().text();
    }

private:
    void exec(const QString &sql)
    {
        QSqlQuery q(m_db);
        FUZZ_CHECK(q.exec(sql), sql + QLatin1Char(' ') + q.lastError().text());
    }

    QSqlDatabase m_db;
    QStringList m_tables;
};

} // namespace VelmFuzz
