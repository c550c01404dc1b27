#include "notebookstore.h"

#include <QSqlQuery>

namespace VelmServer {

namespace {

const QString notebookColumns = QStringLiteral("n.id, n.owner_id, n.name, n.is_default, n.version, n.created_at,"
                                               " n.updated_at, n.deleted_at");
constexpr int notebookColumnCount = 8;

NotebookRow notebookFromRow(const QSqlQuery &q)
{
    const QVariant deleted = q.value(7);
    return NotebookRow{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toInt() != 0,
                       q.value(4).toLongLong(), q.value(5).toLongLong(), q.value(6).toLongLong(),
                       deleted.isNull() ? std::nullopt : std::optional<qint64>(deleted.toLongLong())};
}

QVariant nullableMs(const std::optional<qint64> &ms)
{
    return ms ? QVariant(*ms) : QVariant(QMetaType(QMetaType::LongLong));
}

} // namespace

StoreResult<std::optional<NotebookRow>> NotebookStore::byId(const QString &id)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM notebooks n WHERE n.id = ?").arg(notebookColumns), {id}))
        return storeFailure;
    return q.next() ? std::optional<NotebookRow>(notebookFromRow(q)) : std::nullopt;
}

StoreResult<QList<NotebookRow>> NotebookStore::byIds(const QStringList &ids)
{
    QSqlQuery q = m_db.query();
    QList<NotebookRow> notebooks;
    for (const QVariantList &chunk : Db::idChunks(ids)) {
        const QString sql = QStringLiteral("SELECT %1 FROM notebooks n WHERE n.id IN (%2)")
                                .arg(notebookColumns, Db::inList(int(chunk.size())));
        if (!m_db.run(q, sql, chunk))
            return storeFailure;
        while (q.next())
            notebooks.append(notebookFromRow(q));
    }
    return notebooks;
}

StoreResult<QList<VisibleNotebook>> NotebookStore::visibleTo(const QString &userId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1, COALESCE(sh.permission, 'owner') FROM notebooks n LEFT JOIN shares sh"
                                    " ON sh.kind = 1 AND sh.item_id = n.id AND sh.user_id = ? WHERE n.deleted_at IS NULL"
                                    " AND (n.owner_id = ? OR sh.user_id IS NOT NULL) ORDER BY n.created_at, n.id")
                         .arg(notebookColumns),
                  {userId, userId}))
        return storeFailure;
    QList<VisibleNotebook> list;
    while (q.next())
        list.append({notebookFromRow(q), VelmWire::permissionFromName(q.value(notebookColumnCount).toString())});
    return list;
}

StoreStatus NotebookStore::insert(const NotebookRow &n)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("INSERT INTO notebooks (id, owner_id, name, is_default, version,"
                                                      " created_at, updated_at, deleted_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                                    {n.id, n.ownerId, n.name, n.isDefault ? 1 : 0, n.version, n.createdAt, n.updatedAt,
                                     nullableMs(n.deletedAt)}));
}

StoreStatus NotebookStore::update(const NotebookRow &n)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("UPDATE notebooks SET name = ?, deleted_at = ?, version = ?, updated_at = ?"
                                                      " WHERE id = ?"),
                                    {n.name, nullableMs(n.deletedAt), n.version, n.updatedAt, n.id}));
}

} // namespace VelmServer
