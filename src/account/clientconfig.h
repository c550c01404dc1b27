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
    // This installation, as the account's device list shows it: the id picks
    // the row, the name (the computer's host name) labels it when first seen.
    QString deviceId;
    QString deviceName;

    // The services of a velmora-server at serverUrl (empty: the one on this
    // machine), each overridden by its environment variable when that is set
    // and not empty.
    static ClientConfig fromEnvironment(const QString &appVersion, const QString &serverUrl = QString());
    static QString syncApiUrlFromEnvironment(const QString &serverUrl = QString());
    // True when AUTH_BASE_URL names the server, so a stored address is ignored.
    static bool serverFromEnvironment();

    static QString defaultServerUrl();
    // serverUrl trimmed and without trailing slashes, with "https://" added
    // to a bare host ("http://" for this computer); empty unless it is then
    // an http or https address with a host and nothing after the path.
    static QString normalizedServerUrl(const QString &serverUrl);
    // True for an http:// address of another computer: tokens and notes would
    // cross the network unencrypted.
    static bool sendsInClear(const QString &url);
};

} // namespace VelmAccount
