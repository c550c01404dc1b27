#pragma once

#include "authstate.h"
#include "clientconfig.h"
#include "vlmclaims.h"

#include <QObject>
#include <QUrl>

#include <memory>

namespace VelmAccount {

class AccountClient;
class ApiClient;
class AuthClient;
class TokenManager;
class TokenStore;

// The account client as the application sees it: owns the token manager, the
// auth, account and sync request frames, the auth client and the account
// client (all as QObject children) and relays the sign-in state.
class Client final : public QObject
{
    Q_OBJECT
public:
    // Takes ownership of store (see createPlatformTokenStore).
    Client(const ClientConfig &config, std::unique_ptr<TokenStore> store, QObject *parent = nullptr);

    // Decides the sign-in state from the stored tokens. Call once, after
    // connecting to authStateChanged.
    void initialize();
    bool isAuthenticated() const;
    // True from the server ending the session until the next sign-in.
    bool wasSignedOutByServer() const { return m_signedOutByServer; }
    // Empty while no fresh access token is held.
    VlmClaims claims() const;

    ClientConfig config() const { return m_config; }
    // Points every request frame at other services. Meant for a signed-out
    // client: tokens of the old server are not carried over.
    void setEndpoints(const ClientConfig &config, const QString &syncApiUrl);
    TokenManager *tokenManager() const { return m_tokens; }
    ApiClient *authApi() const { return m_authApi; }
    ApiClient *accountApi() const { return m_accountApi; }
    ApiClient *syncApi() const { return m_syncApi; }
    AuthClient *authClient() const { return m_authClient; }
    AccountClient *accountClient() const { return m_accountClient; }

    // "linux", "macos", "windows", or the kernel type as reported.
    static QString platformName(const QString &configured, const QString &kernelType);

signals:
    void authStateChanged(VelmAccount::AuthState state);
    void claimsUpdated(const VelmAccount::VlmClaims &claims);
    void tokenStorageFailed(const QString &message);
    // The server refused the session (revoked elsewhere, password changed,
    // refresh token rejected): the tokens are gone and the state is signed
    // out. Emitted once per session, after authStateChanged.
    void sessionEnded();

private:
    void endRejectedSession();

    static QUrl authApiUrl(const ClientConfig &config);

    ClientConfig m_config;
    TokenManager *m_tokens;
    ApiClient *m_authApi;
    ApiClient *m_accountApi;
    ApiClient *m_syncApi;
    AuthClient *m_authClient;
    AccountClient *m_accountClient;
    bool m_signedOutByServer = false;
};

} // namespace VelmAccount
