#include "clientconfig.h"

#include "wireprotocol.h"

#include <QHostAddress>
#include <QUrl>
#include <QtGlobal>

namespace VelmAccount {

namespace {
QString envOr(const char *name, const QString &builtIn)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? builtIn : value;
}

QString serverOrDefault(const QString &serverUrl)
{
    const QString normalized = ClientConfig::normalizedServerUrl(serverUrl);
    return normalized.isEmpty() ? ClientConfig::defaultServerUrl() : normalized;
}
} // namespace

QString ClientConfig::defaultServerUrl()
{
    return QStringLiteral("http://127.0.0.1:8787");
}

QString ClientConfig::normalizedServerUrl(const QString &serverUrl)
{
    QString text = serverUrl.trimmed();
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    // People type the host alone: this computer speaks plain HTTP, any other
    // server is reached over HTTPS.
    if (!text.isEmpty() && !text.contains(QLatin1String("://"))) {
        const QString host = QUrl(QStringLiteral("http://") + text).host();
        text.prepend(QHostAddress(host).isLoopback() || host == QLatin1String("localhost") ? QStringLiteral("http://")
                                                                                         : QStringLiteral("https://"));
    }
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || url.host().isEmpty() || url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return {};
    return text;
}

bool ClientConfig::sendsInClear(const QString &url)
{
    const QUrl parsed(url.trimmed());
    if (parsed.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
        return false;
    const QString host = parsed.host().toLower();
    const QHostAddress address(host);
    return host != QLatin1String("localhost") && !host.endsWith(QLatin1String(".localhost"))
           && (address.isNull() || !address.isLoopback());
}

bool ClientConfig::serverFromEnvironment()
{
    return !qEnvironmentVariable("AUTH_BASE_URL").isEmpty();
}

ClientConfig ClientConfig::fromEnvironment(const QString &appVersion, const QString &serverUrl)
{
    const QString server = serverOrDefault(serverUrl);
    ClientConfig config;
    config.authBaseUrl = envOr("AUTH_BASE_URL", server);
    config.realm = envOr("AUTH_REALM_SLUG", QStringLiteral("velmora"));
    config.accountApiUrl = envOr("ACCOUNT_API_URL", server + QLatin1StringView(VelmWire::accountBase));
    config.clientId = envOr("AUTH_CLIENT_ID", QStringLiteral("9f1c2a7be04d53c8a6e1f0b2d7c4e913"));
    config.appId = QStringLiteral("app.velmora.notes");
    config.appName = QStringLiteral("Velmora Notes");
    config.appVersion = appVersion;
    config.portalUrl = envOr("ACCOUNT_PORTAL_URL", QStringLiteral("%1/%2/account").arg(server, config.realm));
    return config;
}

QString ClientConfig::syncApiUrlFromEnvironment(const QString &serverUrl)
{
    return envOr("SYNC_API_URL", serverOrDefault(serverUrl) + QLatin1StringView(VelmWire::syncBase));
}

} // namespace VelmAccount
