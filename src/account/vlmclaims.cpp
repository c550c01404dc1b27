#include "vlmclaims.h"

#include <QByteArray>
#include <QJsonDocument>

namespace VelmAccount {

QJsonObject jwtPayload(const QString &token)
{
    const QStringList parts = token.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return {};
    const auto decoded = QByteArray::fromBase64Encoding(
        parts.at(1).toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    if (!decoded)
        return {};
    return QJsonDocument::fromJson(*decoded).object();
}

qint64 jwtExpiry(const QString &token)
{
    return jwtPayload(token).value(QLatin1String("exp")).toInteger(0);
}

bool tokenIsFresh(const QString &token, qint64 nowSecs)
{
    if (token.isEmpty())
        return false;
    const qint64 expiry = jwtExpiry(token);
    // Compared on the side of the clock: a hostile "exp" near the lower limit must not wrap to the future.
    return expiry != 0 && nowSecs + 30 < expiry;
}

VlmClaims VlmClaims::fromToken(const QString &token)
{
    const QJsonObject vlm = jwtPayload(token)
                                .value(QLatin1String("custom")).toObject()
                                .value(QLatin1String("vlm")).toObject();
    return {vlm.value(QLatin1String("group_id")).toString(), vlm.value(QLatin1String("role")).toString()};
}

} // namespace VelmAccount
