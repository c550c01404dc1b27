#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace VelmServer {

struct AccessClaims
{
    QString userId;
    QString sessionId;
};

// Signing key, access tokens (JWT HS256), refresh secrets and password hashes.
class Tokens
{
public:
    static constexpr qint64 accessLifetimeSeconds = 15 * 60;

    // Reads the key from keyFile, creating it (mode 0600) on first run.
    bool loadKey(const QString &keyFile, QString *error);

    QString issueAccess(const QString &userId, const QString &sessionId, const QString &groupId,
                        const QString &role) const;
    std::optional<AccessClaims> verifyAccess(const QByteArray &token) const;

    static QByteArray randomSecret();           // url-safe, 256 bits
    // The refresh secret that follows secret in sessionId: the same every time it
    // is asked for, so a retried refresh can be answered with the pair it lost.
    QByteArray successorSecret(const QString &sessionId, const QByteArray &secret) const;
    static QString hashSecret(const QByteArray &secret);
    static QString hashPassword(const QString &password);
    static bool verifyPassword(const QString &hash, const QString &password);

private:
    QByteArray sign(const QByteArray &data) const;
    QByteArray m_key;
};

} // namespace VelmServer
