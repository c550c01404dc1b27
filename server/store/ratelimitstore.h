#pragma once

#include "db.h"

#include <QString>

#include <atomic>
#include <optional>

namespace VelmServer {

// Attempts per key in a sliding minute, counted in the database so that
// every server process on it shares one count.
class RateLimitStore
{
public:
    explicit RateLimitStore(Db &db) : m_db(db) {}
    // Records an attempt at now unless perMinute of them already fell in the
    // minute before; nothing on a storage failure.
    std::optional<bool> tryHit(const QString &key, int perMinute, qint64 now);

private:
    Db &m_db;
    std::atomic<int> m_calls{0};
};

} // namespace VelmServer
