#include "notestore.h"

#include <QSqlQuery>

#include <algorithm>

namespace VelmServer {

namespace {

const QString noteColumns = QStringLiteral("n.id, n.owner_id, n.notebook_id, n.body, n.version, n.created_at, n.updated_at,"
                                           " n.modified_at, n.deleted_at, n.purged");

NoteRow noteFromRow(const QSqlQuery &q, int first = 0)
{
    const QVariant deleted = q.value(first + 8);
    return NoteRow{q.value(first).toString(),       q.value(first + 1).toString(),   q.value(first + 2).toString(),
                   q.value(first + 3).toString(),   q.value(first + 4).toLongLong(), q.value(first + 5).toLongLong(),
                   q.value(first + 6).toLongLong(), q.value(first + 7).toLongLong(),
                   deleted.isNull() ? std::nullopt : std::optional<qint64>(deleted.toLongLong()),
                   q.value(first + 9).toInt() != 0};
}

QVariant nullableMs(const std::optional<qint64> &ms)
{
    return ms ? QVariant(*ms) : QVariant(QMetaType(QMetaType::LongLong));
}

// Versions a device may still build on; older ones are dropped as new ones come.
constexpr qint64 keptVersions = 50;

} // namespace

StoreResult<std::optional<NoteRow>> NoteStore::byId(const QString &id, bool lock)
{
    QSqlQuery q = m_db.query();
    const QString sql = QStringLiteral("SELECT %1 FROM notes n WHERE n.id = ?").arg(noteColumns);
    if (!m_db.run(q, lock ? sql + m_db.lockRows() : sql, {id}))
        return storeFailure;
    return q.next() ? std::optional<NoteRow>(noteFromRow(q)) : std::nullopt;
}

StoreResult<QList<NoteRow>> NoteStore::byIds(const QStringList &ids, bool lock)
{
    QSqlQuery q = m_db.query();
    // Ordered, so that concurrent writers lock shared rows in one order.
    QList<NoteRow> notes;
    for (const QVariantList &chunk : Db::idChunks(ids)) {
        const QString sql = QStringLiteral("SELECT %1 FROM notes n WHERE n.id IN (%2) ORDER BY n.id")
                                .arg(noteColumns, Db::inList(int(chunk.size())));
        if (!m_db.run(q, lock ? sql + m_db.lockRows() : sql, chunk))
            return storeFailure;
        while (q.next())
            notes.append(noteFromRow(q));
    }
    return notes;
}

StoreResult<QList<NoteRow>> NoteStore::inNotebook(const QString &notebookId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM notes n WHERE n.notebook_id = ?").arg(noteColumns), {notebookId}))
        return storeFailure;
    QList<NoteRow> notes;
    while (q.next())
        notes.append(noteFromRow(q));
    return notes;
}

StoreResult<QStringList> NoteStore::idsInNotebook(const QString &notebookId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT id FROM notes WHERE notebook_id = ?"), {notebookId}))
        return storeFailure;
    QStringList ids;
    while (q.next())
        ids.append(q.value(0).toString());
    return ids;
}

StoreStatus NoteStore::insert(const NoteRow &n)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("INSERT INTO notes (id, owner_id, notebook_id, body, version, created_at,"
                                                      " updated_at, modified_at, deleted_at, purged)"
                                                      " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                                    {n.id, n.ownerId, n.notebookId, n.body, n.version, n.createdAt, n.updatedAt,
                                     n.modifiedAt, nullableMs(n.deletedAt), n.purged ? 1 : 0}));
}

StoreStatus NoteStore::insertMany(const QList<NoteRow> &rows)
{
    return insertRows(rows, QString());
}

StoreStatus NoteStore::updateMany(const QList<NoteRow> &rows)
{
    // An upsert of rows known to be stored: one statement updates many, on both back ends.
    return insertRows(rows, QStringLiteral(" ON CONFLICT (id) DO UPDATE SET notebook_id = excluded.notebook_id,"
                                           " body = excluded.body, version = excluded.version,"
                                           " updated_at = excluded.updated_at, modified_at = excluded.modified_at,"
                                           " deleted_at = excluded.deleted_at"));
}

StoreStatus NoteStore::insertRows(const QList<NoteRow> &rows, const QString &onConflict)
{
    QSqlQuery q = m_db.query();
    for (qsizetype at = 0; at < rows.size(); at += Db::chunkRows) {
        const qsizetype count = std::min<qsizetype>(Db::chunkRows, rows.size() - at);
        QVariantList values;
        values.reserve(count * 10);
        for (const NoteRow &n : rows.mid(at, count))
            values << n.id << n.ownerId << n.notebookId << n.body << n.version << n.createdAt << n.updatedAt
                   << n.modifiedAt << nullableMs(n.deletedAt) << (n.purged ? 1 : 0);
        if (!m_db.run(q, QStringLiteral("INSERT INTO notes (id, owner_id, notebook_id, body, version, created_at, updated_at,"
                                        " modified_at, deleted_at, purged) VALUES %1")
                                 .arg(Db::valueRows(int(count), 10))
                             + onConflict,
                      values))
            return storeFailure;
    }
    return {};
}

StoreStatus NoteStore::update(const NoteRow &n)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("UPDATE notes SET notebook_id = ?, body = ?, version = ?, updated_at = ?,"
                                                      " modified_at = ?, deleted_at = ? WHERE id = ?"),
                                    {n.notebookId, n.body, n.version, n.updatedAt, n.modifiedAt, nullableMs(n.deletedAt),
                                     n.id}));
}

StoreStatus NoteStore::purge(const QString &id, qint64 version, qint64 now)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("UPDATE notes SET body = '', notebook_id = '', version = ?, updated_at = ?,"
                                                      " modified_at = ?, deleted_at = ?, purged = 1 WHERE id = ?"),
                                    {version, now, now, now, id}));
}

StoreResult<QList<FedNote>> NoteStore::fedTo(const QString &userId, qint64 since, int limit)
{
    QSqlQuery q = m_db.query();
    // The page is cut from the feed before the join: a plan made once for any
    // cursor (PostgreSQL's generic plan) otherwise joins every note of the account.
    if (!m_db.run(q, QStringLiteral("SELECT f.stamp, %1 FROM (SELECT stamp, note_id FROM feed WHERE user_id = ? AND stamp > ?"
                                    " ORDER BY stamp LIMIT %2) f LEFT JOIN notes n ON n.id = f.note_id ORDER BY f.stamp")
                         .arg(noteColumns).arg(limit),
                  {userId, since}))
        return storeFailure;
    QList<FedNote> notes;
    while (q.next())
        notes.append({q.value(0).toLongLong(), noteFromRow(q, 1)});
    return notes;
}

StoreResult<std::optional<NoteVersionRow>> NoteStore::version(const QString &noteId, qint64 version)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT body_hash, notebook_id, deleted FROM note_versions WHERE note_id = ? AND version = ?"),
                  {noteId, version}))
        return storeFailure;
    if (!q.next())
        return std::optional<NoteVersionRow>();
    return std::optional<NoteVersionRow>(NoteVersionRow{q.value(0).toString(), q.value(1).toString(), q.value(2).toInt() != 0});
}

StoreStatus NoteStore::recordVersion(const QString &noteId, qint64 version, const NoteVersionRow &fields)
{
    if (!recordVersions({{noteId, version, fields}}))
        return storeFailure;
    return trimVersions(noteId, version);
}

StoreStatus NoteStore::recordVersions(const QList<VersionEntry> &entries)
{
    QSqlQuery q = m_db.query();
    for (qsizetype at = 0; at < entries.size(); at += Db::chunkRows) {
        const qsizetype count = std::min<qsizetype>(Db::chunkRows, entries.size() - at);
        QVariantList values;
        values.reserve(count * 5);
        for (const VersionEntry &e : entries.mid(at, count))
            values << e.noteId << e.version << e.fields.bodyHash << e.fields.notebookId << (e.fields.deleted ? 1 : 0);
        if (!m_db.run(q, QStringLiteral("INSERT INTO note_versions (note_id, version, body_hash, notebook_id, deleted)"
                                        " VALUES %1 ON CONFLICT (note_id, version) DO UPDATE SET"
                                        " body_hash = excluded.body_hash, notebook_id = excluded.notebook_id,"
                                        " deleted = excluded.deleted")
                             .arg(Db::valueRows(int(count), 5)),
                      values))
            return storeFailure;
    }
    return {};
}

StoreStatus NoteStore::trimVersions(const QString &noteId, qint64 newest)
{
    // Versions start at 1: below keptVersions + 1 there is nothing old enough to drop.
    if (newest <= keptVersions + 1)
        return {};
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("DELETE FROM note_versions WHERE note_id = ? AND version < ?"),
                                    {noteId, newest - keptVersions}));
}

StoreStatus NoteStore::forgetVersions(const QString &noteId)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("DELETE FROM note_versions WHERE note_id = ?"), {noteId}));
}

} // namespace VelmServer
