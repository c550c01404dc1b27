#pragma once

// A migrated database of its own for each test function, plus raw SQL helpers
// for building rows and inspecting what the repositories wrote.

#include "database.h"
#include "note.h"
#include "noterepository.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include <memory>

namespace StorageFixture {

inline const QDateTime kBase = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::UTC);

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

// A bare notes row, for records that must name an existing note.
inline bool addNoteRow(const Database &db, const QString &id)
{
    return run(db, "INSERT INTO notes (id, created_at, updated_at, modified_at) VALUES (?, 't', 't', 't')", {id});
}

// The words of a Delta body's inserts, as the application's extractor gives them.
// The inserted text; lines starting "TODO:" (or "DONE:", ticked) are to-dos.
inline NoteText deltaText(const QString &body)
{
    QString text;
    for (const QJsonValue &op : QJsonDocument::fromJson(body.toUtf8()).array())
        text += op.toObject().value(QLatin1String("insert")).toString();
    NoteText result{QString(), QString(), text, {}};
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).startsWith(QLatin1String("TODO:")) || lines.at(i).startsWith(QLatin1String("DONE:")))
            result.todos.append({i, 0, 2, lines.at(i).startsWith(QLatin1Char('D')), lines.at(i).mid(5).trimmed()});
    }
    return result;
}

inline Note textNote(const QString &id, const QString &text, int minutesAfterBase = 0,
                     SyncStatus status = SyncStatus::Pending)
{
    Note note;
    note.id = id;
    note.body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
    note.createdAt = kBase;
    note.updatedAt = kBase.addSecs(60 * minutesAfterBase);
    note.modifiedAt = note.updatedAt;
    note.syncStatus = status;
    return note;
}

// A fresh database and a note repository on it whose clock stands still.
struct RepositoryFixture
{
    const QDateTime now = QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9, 123), Qt::UTC);
    std::unique_ptr<Database> db;
    std::unique_ptr<NoteRepository> repo;

    bool open()
    {
        db = openFreshDatabase();
        if (!db)
            return false;
        db->setTextExtractor(deltaText);
        repo = std::make_unique<NoteRepository>(db.get());
        repo->setClock([this] { return now; });
        return true;
    }
    void close()
    {
        repo.reset();
        db.reset();
    }
};

template<typename Record>
QStringList ids(const QList<Record> &records)
{
    QStringList result;
    for (const Record &record : records)
        result << record.id;
    return result;
}

} // namespace StorageFixture
