#include "sharestore.h"

#include <QSqlQuery>
#include <QUuid>

namespace VelmServer {

namespace {

const QString shareColumns = QStringLiteral("sh.id, sh.kind, sh.item_id, sh.user_id, sh.permission, sh.created_at");
constexpr int shareColumnCount = 6;

ShareRow shareFromRow(const QSqlQuery &q, int first = 0)
{
    return ShareRow{q.value(first).toString(), ShareKind(q.value(first + 1).toInt()), q.value(first + 2).toString(),
                    q.value(first + 3).toString(), VelmWire::permissionFromName(q.value(first + 4).toString()),
                    q.value(first + 5).toLongLong()};
}

Permission stronger(Permission a, Permission b)
{
    return int(a) >= int(b) ? a : b;
}

} // namespace

Permission ReceivedAccess::of(const QString &noteId, const QString &notebookId) const
{
    return stronger(notes.value(noteId, Permission::None), notebooks.value(notebookId, Permission::None));
}

StoreResult<Permission> ShareStore::notePermission(const QString &userId, const QString &ownerId, const QString &noteId,
                                                   const QString &notebookId)
{
    if (ownerId == userId)
        return Permission::Owner;
    QSqlQuery q = m_db.query();
    Permission best = Permission::None;
    if (!m_db.run(q, QStringLiteral("SELECT permission FROM shares WHERE user_id = ? AND ((kind = 0 AND item_id = ?)"
                                    " OR (kind = 1 AND item_id = ?))"), {userId, noteId, notebookId}))
        return storeFailure;
    while (q.next())
        best = stronger(best, VelmWire::permissionFromName(q.value(0).toString()));
    if (!notebookId.isEmpty()) {
        // Notes others add to a notebook stay editable by its owner.
        if (!m_db.run(q, QStringLiteral("SELECT 1 FROM notebooks WHERE id = ? AND owner_id = ?"), {notebookId, userId}))
            return storeFailure;
        if (q.next())
            best = Permission::Edit;
    }
    return best;
}

StoreResult<Permission> ShareStore::notebookPermission(const QString &userId, const QString &ownerId,
                                                       const QString &notebookId)
{
    if (ownerId == userId)
        return Permission::Owner;
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT permission FROM shares WHERE user_id = ? AND kind = 1 AND item_id = ?"),
                  {userId, notebookId}))
        return storeFailure;
    return q.next() ? VelmWire::permissionFromName(q.value(0).toString()) : Permission::None;
}

StoreResult<QSet<QString>> ShareStore::noteReaders(const QString &ownerId, const QString &noteId, const QString &notebookId)
{
    QSet<QString> readers{ownerId};
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT user_id FROM shares WHERE (kind = 0 AND item_id = ?) OR (kind = 1 AND item_id = ?)"),
                  {noteId, notebookId}))
        return storeFailure;
    while (q.next())
        readers.insert(q.value(0).toString());
    if (!notebookId.isEmpty()) {
        if (!m_db.run(q, QStringLiteral("SELECT owner_id FROM notebooks WHERE id = ?"), {notebookId}))
            return storeFailure;
        if (q.next())
            readers.insert(q.value(0).toString());
    }
    return readers;
}

StoreResult<QList<ShareRow>> ShareStore::onItems(ShareKind kind, const QStringList &itemIds)
{
    QSqlQuery q = m_db.query();
    QList<ShareRow> shares;
    for (const QVariantList &chunk : Db::idChunks(itemIds)) {
        const QString sql = QStringLiteral("SELECT %1 FROM shares sh WHERE sh.kind = %2 AND sh.item_id IN (%3)")
                                .arg(shareColumns).arg(int(kind)).arg(Db::inList(int(chunk.size())));
        if (!m_db.run(q, sql, chunk))
            return storeFailure;
        while (q.next())
            shares.append(shareFromRow(q));
    }
    return shares;
}

StoreResult<QList<ListedShare>> ShareStore::list(ShareKind kind, const QString &itemId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1, u.email, u.display_name FROM shares sh JOIN users u ON u.id = sh.user_id"
                                    " WHERE sh.kind = ? AND sh.item_id = ? ORDER BY sh.created_at").arg(shareColumns),
                  {int(kind), itemId}))
        return storeFailure;
    QList<ListedShare> shares;
    while (q.next())
        shares.append({shareFromRow(q), q.value(shareColumnCount).toString(), q.value(shareColumnCount + 1).toString()});
    return shares;
}

StoreResult<std::optional<QString>> ShareStore::member(ShareKind kind, const QString &itemId, const QString &key)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT user_id FROM shares WHERE kind = ? AND item_id = ? AND (user_id = ? OR id = ?)"),
                  {int(kind), itemId, key, key}))
        return storeFailure;
    return q.next() ? std::optional<QString>(q.value(0).toString()) : std::nullopt;
}

StoreResult<bool> ShareStore::exists(ShareKind kind, const QString &itemId, const QString &userId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT 1 FROM shares WHERE kind = ? AND item_id = ? AND user_id = ?"),
                  {int(kind), itemId, userId}))
        return storeFailure;
    return q.next();
}

StoreStatus ShareStore::put(ShareKind kind, const QString &itemId, const QString &userId, Permission permission, qint64 now)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("INSERT INTO shares (id, kind, item_id, user_id, permission, created_at)"
                                                      " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (kind, item_id, user_id)"
                                                      " DO UPDATE SET permission = excluded.permission"),
                                    {QUuid::createUuid().toString(QUuid::WithoutBraces), int(kind), itemId, userId,
                                     QString(VelmWire::permissionName(permission)), now}));
}

StoreStatus ShareStore::remove(ShareKind kind, const QString &itemId, const QString &userId)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("DELETE FROM shares WHERE kind = ? AND item_id = ? AND user_id = ?"),
                                    {int(kind), itemId, userId}));
}

StoreResult<QList<ShareRow>> ShareStore::involving(const QString &userId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM shares sh"
                                    " LEFT JOIN notes n ON sh.kind = 0 AND n.id = sh.item_id"
                                    " LEFT JOIN notebooks b ON sh.kind = 1 AND b.id = sh.item_id"
                                    " WHERE sh.user_id = ? OR n.owner_id = ? OR b.owner_id = ?").arg(shareColumns),
                  {userId, userId, userId}))
        return storeFailure;
    QList<ShareRow> shares;
    while (q.next())
        shares.append(shareFromRow(q));
    return shares;
}

StoreResult<ReceivedAccess> ShareStore::received(const QString &userId)
{
    ReceivedAccess access;
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM shares sh WHERE sh.user_id = ?").arg(shareColumns), {userId}))
        return storeFailure;
    while (q.next()) {
        const ShareRow share = shareFromRow(q);
        (share.kind == ShareKind::Note ? access.notes : access.notebooks).insert(share.itemId, share.permission);
    }
    if (!m_db.run(q, QStringLiteral("SELECT id FROM notebooks WHERE owner_id = ?"), {userId}))
        return storeFailure;
    while (q.next())
        access.notebooks.insert(q.value(0).toString(), Permission::Edit);
    return access;
}

StoreResult<QSet<QString>> ShareStore::sharedBy(const QString &userId)
{
    QSet<QString> ids;
    QSqlQuery q = m_db.query();
    // Driven by the shares, each looked up by key: listing the user's notes
    // first made every pull with a change of theirs read all of them.
    if (!m_db.run(q, QStringLiteral("SELECT s.item_id FROM shares s JOIN notes n ON n.id = s.item_id "
                                    "WHERE s.kind = 0 AND n.owner_id = ? UNION ALL "
                                    "SELECT s.item_id FROM shares s JOIN notebooks b ON b.id = s.item_id "
                                    "WHERE s.kind = 1 AND b.owner_id = ?"),
                  {userId, userId}))
        return storeFailure;
    while (q.next())
        ids.insert(q.value(0).toString());
    return ids;
}

} // namespace VelmServer
