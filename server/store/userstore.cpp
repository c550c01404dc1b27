#include "userstore.h"

#include <QSqlQuery>

namespace VelmServer {

namespace {

const QString userColumns = QStringLiteral("u.id, u.email, u.password_hash, u.display_name, u.username, u.avatar_url,"
                                           " u.language, u.timezone, u.status, u.group_id, u.created_at, u.last_stamp");

UserRow userFromRow(const QSqlQuery &q)
{
    return UserRow{q.value(0).toString(), q.value(1).toString(),  q.value(2).toString(),     q.value(3).toString(),
                   q.value(4).toString(), q.value(5).toString(),  q.value(6).toString(),     q.value(7).toString(),
                   q.value(8).toString(), q.value(9).toString(),  q.value(10).toLongLong(), q.value(11).toLongLong()};
}

const QString deviceColumns = QStringLiteral("d.id, d.user_id, d.device_name, d.platform, d.app_id, d.app_version,"
                                             " d.device_fingerprint, d.last_sync_at, d.created_at");

DeviceRow deviceFromRow(const QSqlQuery &q)
{
    return DeviceRow{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),   q.value(3).toString(),
                     q.value(4).toString(), q.value(5).toString(), q.value(6).toString(), q.value(7).toLongLong(),
                     q.value(8).toLongLong()};
}

} // namespace

StoreResult<std::optional<UserRow>> UserStore::byId(const QString &id)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM users u WHERE u.id = ?").arg(userColumns), {id}))
        return storeFailure;
    return q.next() ? std::optional<UserRow>(userFromRow(q)) : std::nullopt;
}

StoreResult<std::optional<UserRow>> UserStore::byEmail(const QString &email)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM users u WHERE u.email = ?").arg(userColumns), {email}))
        return storeFailure;
    return q.next() ? std::optional<UserRow>(userFromRow(q)) : std::nullopt;
}

StoreStatus UserStore::insert(const UserRow &u)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("INSERT INTO users (id, email, password_hash, display_name, created_at)"
                                                      " VALUES (?, ?, ?, ?, ?)"),
                                    {u.id, u.email, u.passwordHash, u.displayName, u.createdAt}));
}

StoreStatus UserStore::setDisplayName(const QString &id, const QString &name)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("UPDATE users SET display_name = ? WHERE id = ?"), {name, id}));
}

StoreStatus UserStore::setPasswordHash(const QString &id, const QString &hash)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("UPDATE users SET password_hash = ? WHERE id = ?"), {hash, id}));
}

StoreStatus UserStore::removeAccount(const QString &id)
{
    QSqlQuery q = m_db.query();
    for (const char *sql : {"DELETE FROM shares WHERE user_id = ?",
                            "DELETE FROM shares WHERE item_id IN (SELECT id FROM notes WHERE owner_id = ?)",
                            "DELETE FROM shares WHERE item_id IN (SELECT id FROM notebooks WHERE owner_id = ?)",
                            "DELETE FROM feed WHERE note_id IN (SELECT id FROM notes WHERE owner_id = ?)",
                            "DELETE FROM feed WHERE user_id = ?", "DELETE FROM notes WHERE owner_id = ?",
                            "DELETE FROM notebooks WHERE owner_id = ?", "DELETE FROM devices WHERE user_id = ?",
                            "DELETE FROM invitations WHERE invited_email = (SELECT email FROM users WHERE id = ?)",
                            "DELETE FROM retired_tokens WHERE session_id IN (SELECT id FROM sessions WHERE user_id = ?)",
                            "DELETE FROM auth_codes WHERE user_id = ?",
                            "DELETE FROM sessions WHERE user_id = ?", "DELETE FROM users WHERE id = ?"})
        if (!m_db.run(q, QString::fromLatin1(sql), {id}))
            return storeFailure;
    return {};
}

StoreResult<QList<DeviceRow>> UserStore::devices(const QString &userId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM devices d WHERE d.user_id = ? ORDER BY d.created_at").arg(deviceColumns),
                  {userId}))
        return storeFailure;
    QList<DeviceRow> list;
    while (q.next())
        list.append(deviceFromRow(q));
    return list;
}

StoreResult<bool> UserStore::touchDevice(const QString &userId, const QString &fingerprint, const QString &appVersion,
                                         const QString &platform, qint64 now)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("UPDATE devices SET last_sync_at = ?, app_version = ?, platform = ? WHERE user_id = ?"
                                    " AND device_fingerprint = ?"),
                  {now, appVersion, platform, userId, fingerprint}))
        return storeFailure;
    return q.numRowsAffected() > 0;
}

StoreStatus UserStore::addDevice(const DeviceRow &d)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("INSERT INTO devices (id, user_id, device_name, platform, app_id,"
                                                      " app_version, device_fingerprint, last_sync_at, created_at)"
                                                      " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                                    {d.id, d.userId, d.deviceName, d.platform, d.appId, d.appVersion, d.fingerprint,
                                     d.lastSyncAt, d.createdAt}));
}

StoreResult<bool> UserStore::renameDevice(const QString &userId, const QString &id, const QString &name)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("UPDATE devices SET device_name = ? WHERE id = ? AND user_id = ?"), {name, id, userId}))
        return storeFailure;
    return q.numRowsAffected() == 1;
}

StoreResult<bool> UserStore::removeDevice(const QString &userId, const QString &id)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("DELETE FROM devices WHERE id = ? AND user_id = ?"), {id, userId}))
        return storeFailure;
    return q.numRowsAffected() == 1;
}

} // namespace VelmServer
