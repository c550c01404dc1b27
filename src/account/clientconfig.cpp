#include "clientconfig.h"

#include <QtGlobal>

namespace VelmAccount {

namespace {
QString envOr(const char *name, const QString &builtIn)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? builtIn : value;
}
} // namespace

ClientConfig ClientConfig::fromEnvironment(const QString &appVersion)
{
    ClientConfig config;
    config.authBaseUrl = envOr("AUTH_BASE_URL", QStringLiteral("http://127.0.0.1:8787"));
    config.realm = envOr("AUTH_REALM_SLUG", QStringLiteral("velmora"));
    config.accountApiUrl = envOr("ACCOUNT_API_URL", QStringLiteral("http://127.0.0.1:8787/account/v1"));
    config.clientId = envOr("AUTH_CLIENT_ID", QStringLiteral("9f1c2a7be04d53c8a6e1f0b2d7c4e913"));
    config.appId = QStringLiteral("app.velmora.notes");
    config.appName = QStringLiteral("Velmora Notes");
    config.appVersion = appVersion;
    config.portalUrl = envOr("ACCOUNT_PORTAL_URL", QStringLiteral("http://127.0.0.1:8787/velmora/account"));
    return config;
}

QString ClientConfig::syncApiUrlFromEnvironment()
{
    return envOr("SYNC_API_URL", QStringLiteral("http://127.0.0.1:8787/notes/v1"));
}

} // namespace VelmAccount
