#include "updateconfig.h"

#include <QHostAddress>

namespace VelmUpdate {

UpdateConfig UpdateConfig::fromEnvironment(const QString &product, const QString &channel,
                                           const QString &currentVersion, const QString &serverUrl)
{
    QString base = qEnvironmentVariable("UPDATE_BASE_URL");
    if (base.isEmpty()) {
        QString server = serverUrl.trimmed();
        while (server.endsWith(QLatin1Char('/')))
            server.chop(1);
        base = (server.isEmpty() ? QStringLiteral("http://127.0.0.1:8787") : server) + QStringLiteral("/releases");
    }
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return {product, channel, QUrl(base + QStringLiteral("/%1/%2/").arg(product, channel)), currentVersion};
}

bool isSafeDownloadUrl(const QUrl &url)
{
    if (url.scheme() == QLatin1String("https"))
        return !url.host().isEmpty();
    if (url.scheme() != QLatin1String("http"))
        return false;
    return url.host() == QLatin1String("localhost") || QHostAddress(url.host()).isLoopback();
}

} // namespace VelmUpdate
