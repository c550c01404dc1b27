#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>

namespace VelmAccount {

// Sharing claims carried in the access token under "custom" -> "vlm".
struct VlmClaims
{
    QString groupId;
    QString role;

    bool isEmpty() const { return groupId.isEmpty() && role.isEmpty(); }
    // Reads the payload without checking validity; callers pass only a token
    // the token manager accepts.
    static VlmClaims fromToken(const QString &token);
};

// The payload of a JWT as an object; empty when it has no second part or
// that part is not base64url JSON.
QJsonObject jwtPayload(const QString &token);
// "exp" in seconds since the epoch; 0 when absent or unreadable.
qint64 jwtExpiry(const QString &token);
// A token is usable while more than 30 seconds remain before it expires, so a
// request never leaves with a token that lapses in flight.
bool tokenIsFresh(const QString &token, qint64 nowSecs);

} // namespace VelmAccount

Q_DECLARE_METATYPE(VelmAccount::VlmClaims)
