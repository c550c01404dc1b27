#pragma once

#include "db.h"
#include "storeresult.h"

#include <QList>
#include <QString>

#include <optional>

namespace VelmServer {

struct SessionRow
{
    QString id, userId, tokenHash, prevHash;
    qint64 prevUntil = 0;
    QString userAgent, ipAddress;
    qint64 createdAt = 0, lastActiveAt = 0;
    bool revoked = false;
};

// A one-time sign-in code waiting to be traded for tokens.
struct AuthCodeRow
{
    QString codeHash, userId, clientId, redirectUri, challenge;
    qint64 expiresAt = 0;
    QString userAgent, ipAddress;
};

// Sessions, the refresh tokens rotated out of them and the sign-in codes.
class SessionStore
{
public:
    explicit SessionStore(Db &db) : m_db(db) {}

    StoreResult<std::optional<SessionRow>> byId(const QString &id);
    StoreResult<QList<SessionRow>> liveSessions(const QString &userId);
    StoreStatus insert(const SessionRow &s);
    StoreStatus revoke(const QString &id);
    // Ends the user's own live session; false when there is none such.
    StoreResult<bool> revokeOwn(const QString &userId, const QString &id);
    // Ends the user's other live sessions; how many.
    StoreResult<int> revokeOthers(const QString &userId, const QString &keepId);
    // The current token becomes the previous one, good until graceUntil, and
    // the one before it is kept as retired for keepRetiredMs.
    StoreStatus rotate(const SessionRow &s, const QString &nextHash, qint64 graceUntil, qint64 now, qint64 keepRetiredMs);
    StoreResult<bool> isRetired(const QString &tokenHash, const QString &sessionId);

    // Drops the expired codes and stores a new one.
    StoreStatus addCode(const AuthCodeRow &c, qint64 now);
    StoreResult<std::optional<AuthCodeRow>> code(const QString &codeHash);
    StoreStatus dropCode(const QString &codeHash);

private:
    Db &m_db;
};

} // namespace VelmServer
