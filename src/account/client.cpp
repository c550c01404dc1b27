#include "client.h"

#include "accountclient.h"
#include "apiclient.h"
#include "accountlog.h"
#include "authclient.h"
#include "tokenmanager.h"
#include "tokenstore.h"
#include "wireprotocol.h"

#include <QSysInfo>

namespace VelmAccount {

QString Client::platformName(const QString &configured, const QString &kernelType)
{
    if (!configured.isEmpty())
        return configured;
    const QString kernel = kernelType.toLower();
    if (kernel == QLatin1String("darwin"))
        return QStringLiteral("macos");
    if (kernel == QLatin1String("winnt"))
        return QStringLiteral("windows");
    return kernel;
}

Client::Client(const ClientConfig &config, std::unique_ptr<TokenStore> store, QObject *parent)
    : QObject(parent)
    , m_config(config)
{
    m_config.platform = platformName(config.platform, QSysInfo::kernelType());
    m_tokens = new TokenManager(std::move(store), this);
    m_authApi = new ApiClient(m_tokens, this);
    m_authApi->setBaseUrl(authApiUrl(config));
    m_accountApi = new ApiClient(m_tokens, this);
    m_accountApi->setBaseUrl(QUrl(config.accountApiUrl));
    m_syncApi = new ApiClient(m_tokens, this);
    for (ApiClient *api : {m_authApi, m_accountApi, m_syncApi}) {
        api->setAppInfo(m_config.appId, m_config.appVersion, m_config.platform);
        api->setDeviceInfo(m_config.deviceId, m_config.deviceName);
    }

    m_authClient = new AuthClient(config.authBaseUrl, config.realm, config.clientId, m_authApi, m_tokens, this);
    connect(m_authClient, &AuthClient::stateChanged, this, [this](AuthState state) {
        if (state == AuthState::Authenticated)
            m_signedOutByServer = false;
        emit authStateChanged(state);
        if (state == AuthState::Authenticated)
            emit claimsUpdated(claims());
    });
    connect(m_authClient, &AuthClient::tokenStorageFailed, this, &Client::tokenStorageFailed);
    connect(m_authClient, &AuthClient::sessionEnded, this, [this] {
        qCInfo(lcAccount) << "Client: the server ended the session; signed out";
        m_signedOutByServer = true;
        emit sessionEnded();
    });
    // A refreshed token may name another group (joined or left meanwhile).
    connect(m_tokens, &TokenManager::tokensChanged, this, [this] {
        if (m_authClient->isAuthenticated())
            emit claimsUpdated(claims());
    });
    m_accountClient = new AccountClient(m_accountApi, m_authClient, this);
    // Queued: the callers that failed with it (a sync cycle, the account
    // screen) finish first, so the signed-out state is what the user sees last.
    for (ApiClient *api : {m_authApi, m_accountApi, m_syncApi})
        connect(api, &ApiClient::authenticationRequired, this, &Client::endRejectedSession, Qt::QueuedConnection);
}

void Client::endRejectedSession()
{
    if (m_authClient->isAuthenticated())
        m_authClient->dropSession();
}

QUrl Client::authApiUrl(const ClientConfig &config)
{
    return QUrl(config.authBaseUrl + QLatin1StringView(VelmWire::realmsBase) + config.realm);
}

void Client::setEndpoints(const ClientConfig &config, const QString &syncApiUrl)
{
    m_config.authBaseUrl = config.authBaseUrl;
    m_config.realm = config.realm;
    m_config.accountApiUrl = config.accountApiUrl;
    m_config.portalUrl = config.portalUrl;
    m_authApi->setBaseUrl(authApiUrl(config));
    m_accountApi->setBaseUrl(QUrl(config.accountApiUrl));
    m_syncApi->setBaseUrl(QUrl(syncApiUrl));
    m_authClient->setServer(config.authBaseUrl, config.realm);
}

void Client::initialize()
{
    m_authClient->initialize();
}

bool Client::isAuthenticated() const
{
    return m_authClient->isAuthenticated();
}

VlmClaims Client::claims() const
{
    const QString token = m_tokens->accessToken();
    return token.isEmpty() ? VlmClaims() : VlmClaims::fromToken(token);
}

} // namespace VelmAccount
