#pragma once

#include <QString>

namespace VelmAccount {

// What the account client needs to know about the services and the
// application. Filled once at start-up.
struct ClientConfig
{
    QString authBaseUrl;
    QString realm;
    QString accountApiUrl;
    QString clientId;
    QString appId;
    QString appName;
    QString appVersion;
    QString platform; // empty: derived from the running system
    QString portalUrl;

    // Built-in values (a velmora-server on this machine), each overridden by
    // its environment variable when that is set and not empty.
    static ClientConfig fromEnvironment(const QString &appVersion);
    static QString syncApiUrlFromEnvironment();
};

} // namespace VelmAccount
