#include "databaserepair.h"

#include "privatefiles.h"
#include "storagelog.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>

namespace DatabaseRepair {

namespace {

QString quoted(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

// Copies one table; row by row from the first failure on, so rows before a
// damaged page survive.
void copyTable(QSqlDatabase &db, const QString &table, QStringList *lost)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("DELETE FROM main.%1").arg(quoted(table)));
    // "WHERE 1" keeps SQLite from copying the b-tree pages as they are (the
    // transfer optimisation), which would carry the damage into the new file.
    if (query.exec(QStringLiteral("INSERT INTO main.%1 SELECT * FROM old.%1 WHERE 1").arg(quoted(table))))
        return;
    const QString bulkError = query.lastError().text();
    query.exec(QStringLiteral("DELETE FROM main.%1").arg(quoted(table)));
    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    if (!rows.exec(QStringLiteral("SELECT * FROM old.%1").arg(quoted(table)))) {
        lost->append(QStringLiteral("%1: %2").arg(table, rows.lastError().text()));
        return;
    }
    const int columns = rows.record().count();
    QStringList marks;
    for (int i = 0; i < columns; ++i)
        marks << QStringLiteral("?");
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO main.%1 VALUES (%2)").arg(quoted(table), marks.join(QLatin1Char(','))));
    int copied = 0;
    while (rows.next()) {
        for (int i = 0; i < columns; ++i)
            insert.bindValue(i, rows.value(i));
        if (insert.exec())
            ++copied;
    }
    if (rows.lastError().isValid() || !bulkError.isEmpty())
        lost->append(QStringLiteral("%1: %2 rows copied, the rest unreadable (%3)")
                         .arg(table)
                         .arg(copied)
                         .arg(rows.lastError().isValid() ? rows.lastError().text() : bulkError));
}

bool copyEverything(QSqlDatabase &db, const QString &damaged, QStringList *lost)
{
    QSqlQuery query(db);
    const QString uri = QStringLiteral("file:") + QString::fromUtf8(QUrl::toPercentEncoding(damaged, "/"))
        + QStringLiteral("?mode=ro");
    query.prepare(QStringLiteral("ATTACH DATABASE ? AS old"));
    query.addBindValue(uri);
    if (!query.exec()) {
        lost->append(query.lastError().text());
        return false;
    }
    struct Entry
    {
        QString type, name, sql;
    };
    QList<Entry> schema;
    if (!query.exec(QStringLiteral("SELECT type, name, sql FROM old.sqlite_master WHERE sql IS NOT NULL"))) {
        lost->append(QStringLiteral("schema: ") + query.lastError().text());
        return false;
    }
    while (query.next())
        schema.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString()});
    if (query.lastError().isValid()) {
        lost->append(QStringLiteral("schema: ") + query.lastError().text());
        return false;
    }
    QStringList virtualTables;
    for (const Entry &entry : std::as_const(schema)) {
        if (entry.type == QLatin1String("table") && entry.sql.startsWith(QLatin1String("CREATE VIRTUAL"), Qt::CaseInsensitive))
            virtualTables << entry.name;
    }
    // A virtual table makes its own shadow tables; their rows are copied like any other.
    const auto isShadow = [&virtualTables](const QString &name) {
        for (const QString &table : virtualTables) {
            if (name.startsWith(table + QLatin1Char('_')))
                return true;
        }
        return false;
    };
    QStringList tables;
    for (const Entry &entry : std::as_const(schema)) {
        if (entry.type != QLatin1String("table") || entry.name.startsWith(QLatin1String("sqlite_")))
            continue;
        if (!virtualTables.contains(entry.name))
            tables << entry.name;
        if (isShadow(entry.name))
            continue;
        if (!query.exec(entry.sql)) {
            lost->append(QStringLiteral("%1: %2").arg(entry.name, query.lastError().text()));
            return false;
        }
    }
    QSqlQuery sequence(db);
    if (sequence.exec(QStringLiteral("SELECT 1 FROM main.sqlite_master WHERE name = 'sqlite_sequence'")) && sequence.next())
        tables << QStringLiteral("sqlite_sequence");
    sequence.finish();
    for (const QString &table : std::as_const(tables))
        copyTable(db, table, lost);
    for (const Entry &entry : std::as_const(schema)) {
        if ((entry.type == QLatin1String("index") || entry.type == QLatin1String("trigger")) && !query.exec(entry.sql))
            lost->append(QStringLiteral("%1: %2").arg(entry.name, query.lastError().text()));
    }
    if (query.exec(QStringLiteral("PRAGMA old.user_version")) && query.next())
        query.exec(QStringLiteral("PRAGMA main.user_version = %1").arg(query.value(0).toInt()));
    query.finish();
    query.exec(QStringLiteral("DETACH DATABASE old"));
    if (!query.exec(QStringLiteral("PRAGMA main.integrity_check")) || !query.next()
        || query.value(0).toString() != QLatin1String("ok")) {
        lost->append(QStringLiteral("the new file fails its check: ") + query.value(0).toString());
        return false;
    }
    return true;
}

} // namespace

bool rebuildInto(const QString &damaged, const QString &target, QStringList *lost)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(target + QLatin1String(suffix));
    // Private before the first row lands in it; SQLite's own files take its mode.
    QFile created(target);
    if (!created.open(QIODevice::NewOnly | QIODevice::WriteOnly, QFile::ReadOwner | QFile::WriteOwner)) {
        lost->append(created.errorString());
        return false;
    }
    created.close();
    const QString name = QStringLiteral("repair-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(target);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        if (db.open()) {
            QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
            ok = db.transaction() && copyEverything(db, damaged, lost);
            ok = ok && db.commit();
            if (!ok)
                db.rollback();
            db.close();
        } else {
            lost->append(db.lastError().text());
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok)
        QFile::remove(target);
    qCInfo(lcStorage).noquote() << "Database rebuilt" << (ok ? "into" : "failed for") << target << lost->join("; ");
    return ok;
}

Outcome repair(const QString &path)
{
    Outcome outcome;
    const QString rebuilt = path + QStringLiteral(".repairing");
    if (!rebuildInto(path, rebuilt, &outcome.lost))
        return outcome;
    outcome.keptDamaged =
        path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (const char *suffix : {"", "-wal", "-shm"}) {
        const QString from = path + QLatin1String(suffix);
        if (QFile::exists(from) && !QFile::rename(from, outcome.keptDamaged + QLatin1String(suffix))) {
            outcome.lost.append(QStringLiteral("cannot move %1 aside").arg(from));
            QFile::remove(rebuilt);
            return outcome;
        }
    }
    outcome.ok = QFile::rename(rebuilt, path);
    if (!outcome.ok) {
        outcome.lost.append(QStringLiteral("cannot move the rebuilt file into place"));
        QFile::rename(outcome.keptDamaged, path);
    }
    PrivateFiles::restrictFile(path);
    return outcome;
}

} // namespace DatabaseRepair
