#include "ratelimitstore.h"

namespace VelmServer {

std::optional<bool> RateLimitStore::tryHit(const QString &key, int perMinute, qint64 now)
{
    const qint64 windowStart = now - 60000;
    Tx tx(m_db);
    QSqlQuery q = m_db.query();
    // The key's row serialises the count and the insert across processes; on
    // SQLite the transaction's write lock already does.
    const QString lock = m_db.kind() == Db::Kind::Postgres
        ? QStringLiteral("SELECT key FROM rate_keys WHERE key = ? FOR UPDATE")
        : QStringLiteral("SELECT key FROM rate_keys WHERE key = ?");
    if (!tx.ok() || !m_db.run(q, QStringLiteral("INSERT INTO rate_keys (key) VALUES (?) ON CONFLICT (key) DO NOTHING"), {key})
        || !m_db.run(q, lock, {key})
        || !m_db.run(q, QStringLiteral("DELETE FROM rate_hits WHERE key = ? AND at <= ?"), {key, windowStart})
        || !m_db.run(q, QStringLiteral("SELECT COUNT(*) FROM rate_hits WHERE key = ?"), {key}) || !q.next())
        return std::nullopt;
    const bool allowed = q.value(0).toLongLong() < perMinute;
    if (allowed && !m_db.run(q, QStringLiteral("INSERT INTO rate_hits (key, at) VALUES (?, ?)"), {key, now}))
        return std::nullopt;
    // Keys nobody tried for a minute go now and then, so the tables stay small.
    if (m_calls.fetch_add(1) % 1000 == 999
        && !(m_db.run(q, QStringLiteral("DELETE FROM rate_hits WHERE at <= ?"), {windowStart})
             && m_db.run(q, QStringLiteral("DELETE FROM rate_keys WHERE key NOT IN (SELECT key FROM rate_hits)"))))
        return std::nullopt;
    if (!tx.commit())
        return std::nullopt;
    return allowed;
}

} // namespace VelmServer
