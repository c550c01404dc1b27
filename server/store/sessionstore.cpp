#include "sessionstore.h"

#include <QSqlQuery>

namespace VelmServer {

namespace {

const QString sessionColumns = QStringLiteral("s.id, s.user_id, s.token_hash, s.prev_hash, s.prev_until, s.user_agent,"
                                              " s.ip_address, s.created_at, s.last_active_at, s.revoked");

SessionRow sessionFromRow(const QSqlQuery &q)
{
    return SessionRow{q.value(0).toString(),     q.value(1).toString(),     q.value(2).toString(),
                      q.value(3).toString(),     q.value(4).toLongLong(),   q.value(5).toString(),
                      q.value(6).toString(),     q.value(7).toLongLong(),   q.value(8).toLongLong(),
                      q.value(9).toInt() != 0};
}

const QString codeColumns = QStringLiteral("c.code_hash, c.user_id, c.client_id, c.redirect_uri, c.challenge, c.expires_at,"
                                           " c.user_agent, c.ip_address");

AuthCodeRow codeFromRow(const QSqlQuery &q)
{
    return AuthCodeRow{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),   q.value(3).toString(),
                       q.value(4).toString(), q.value(5).toLongLong(), q.value(6).toString(), q.value(7).toString()};
}

} // namespace

StoreResult<std::optional<SessionRow>> SessionStore::byId(const QString &id)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM sessions s WHERE s.id = ?").arg(sessionColumns), {id}))
        return storeFailure;
    return q.next() ? std::optional<SessionRow>(sessionFromRow(q)) : std::nullopt;
}

StoreResult<QList<SessionRow>> SessionStore::liveSessions(const QString &userId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM sessions s WHERE s.user_id = ? AND s.revoked = 0 ORDER BY s.created_at")
                         .arg(sessionColumns), {userId}))
        return storeFailure;
    QList<SessionRow> list;
    while (q.next())
        list.append(sessionFromRow(q));
    return list;
}

StoreStatus SessionStore::insert(const SessionRow &s)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("INSERT INTO sessions (id, user_id, token_hash, user_agent, ip_address,"
                                                      " created_at, last_active_at) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                                    {s.id, s.userId, s.tokenHash, s.userAgent, s.ipAddress, s.createdAt, s.lastActiveAt}));
}

StoreStatus SessionStore::revoke(const QString &id)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("UPDATE sessions SET revoked = 1 WHERE id = ?"), {id}));
}

StoreResult<bool> SessionStore::revokeOwn(const QString &userId, const QString &id)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("UPDATE sessions SET revoked = 1 WHERE id = ? AND user_id = ? AND revoked = 0"),
                  {id, userId}))
        return storeFailure;
    return q.numRowsAffected() == 1;
}

StoreResult<int> SessionStore::revokeOthers(const QString &userId, const QString &keepId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("UPDATE sessions SET revoked = 1 WHERE user_id = ? AND id <> ? AND revoked = 0"),
                  {userId, keepId}))
        return storeFailure;
    return q.numRowsAffected();
}

StoreStatus SessionStore::rotate(const SessionRow &s, const QString &nextHash, qint64 graceUntil, qint64 now,
                                 qint64 keepRetiredMs)
{
    QSqlQuery q = m_db.query();
    const bool retired = s.prevHash.isEmpty()
        || (m_db.run(q, QStringLiteral("INSERT INTO retired_tokens (token_hash, session_id, retired_at)"
                                       " VALUES (?, ?, ?) ON CONFLICT DO NOTHING"), {s.prevHash, s.id, now})
            && m_db.run(q, QStringLiteral("DELETE FROM retired_tokens WHERE session_id = ? AND retired_at < ?"),
                        {s.id, now - keepRetiredMs}));
    return StoreStatus::of(retired
                           && m_db.run(q, QStringLiteral("UPDATE sessions SET prev_hash = token_hash, prev_until = ?,"
                                                         " token_hash = ?, last_active_at = ? WHERE id = ?"),
                                       {graceUntil, nextHash, now, s.id}));
}

StoreResult<bool> SessionStore::isRetired(const QString &tokenHash, const QString &sessionId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT 1 FROM retired_tokens WHERE token_hash = ? AND session_id = ?"),
                  {tokenHash, sessionId}))
        return storeFailure;
    return q.next();
}

StoreStatus SessionStore::addCode(const AuthCodeRow &c, qint64 now)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("DELETE FROM auth_codes WHERE expires_at < ?"), {now})
                           && m_db.run(q, QStringLiteral("INSERT INTO auth_codes (code_hash, user_id, client_id, redirect_uri,"
                                                         " challenge, expires_at, user_agent, ip_address)"
                                                         " VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                                       {c.codeHash, c.userId, c.clientId, c.redirectUri, c.challenge, c.expiresAt,
                                        c.userAgent, c.ipAddress}));
}

StoreResult<std::optional<AuthCodeRow>> SessionStore::code(const QString &codeHash)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM auth_codes c WHERE c.code_hash = ?").arg(codeColumns), {codeHash}))
        return storeFailure;
    return q.next() ? std::optional<AuthCodeRow>(codeFromRow(q)) : std::nullopt;
}

StoreStatus SessionStore::dropCode(const QString &codeHash)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("DELETE FROM auth_codes WHERE code_hash = ?"), {codeHash}));
}

} // namespace VelmServer
