#pragma once

#include "accountrecords.h"
#include "authstate.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace VelmAccount {

class ApiClient;
class TokenManager;
class WebAuthHandler;

// Owns the sign-in state: browser sign-in over a loopback listener, the
// decision at start-up from the stored tokens, sign-out, and the calls about
// the signed-in user.
class AuthClient final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated NOTIFY stateChanged)
public:
    using UrlOpener = std::function<bool(const QUrl &url)>;
    static constexpr int defaultLoginTimeoutMs = 5 * 60 * 1000;

    // api and tokens are not owned; both outlive this object.
    AuthClient(const QString &authBaseUrl, const QString &realm, const QString &clientId, ApiClient *api,
               TokenManager *tokens, QObject *parent = nullptr);
    ~AuthClient() override;

    AuthState state() const { return m_state; }
    bool isAuthenticated() const { return m_state == AuthState::Authenticated; }
    User currentUser() const { return m_user; }

    // Reads the stored tokens without waiting for them: the state is Checking
    // until the store answers, then Authenticated or Unauthenticated.
    void initialize();
    // Another server; takes effect with the next sign-in.
    void setServer(const QString &authBaseUrl, const QString &realm);
    // Opens the login page in the browser and waits for its redirect; ends in
    // loginSucceeded, loginFailed (the server cannot be reached, a refused
    // answer, the timeout) or loginCancelled.
    void login();
    // Stops waiting for the browser.
    void cancelLogin();
    bool isSigningIn() const { return !m_handler.isNull(); }
    // Signs out locally at once; the server is told without waiting for it.
    void logout();
    void refreshToken(std::function<void(bool ok)> callback);
    // Forgets a session the server no longer accepts, without telling it;
    // emits sessionEnded when there was one.
    void dropSession();

    void fetchCurrentUser(std::function<void(const User &)> callback);
    // The user the server returned, or the cached one when it failed.
    void updateProfile(const QString &displayName, std::function<void(const Outcome &, const User &)> callback);
    void changePassword(const QString &current, const QString &replacement,
                        std::function<void(const Outcome &)> callback);
    void listSessions(std::function<void(const QList<Session> &)> callback);
    void revokeSession(const QString &id, std::function<void(const Outcome &)> callback = nullptr);

    // Seams for tests: how the login page is opened, how long sign-in waits.
    void setUrlOpener(UrlOpener opener) { m_urlOpener = std::move(opener); }
    void setLoginTimeout(int ms) { m_loginTimeoutMs = ms; }

signals:
    void stateChanged(VelmAccount::AuthState state);
    // The login page is open in the browser; the application waits for it.
    void loginStarted();
    void loginCancelled();
    void loginSucceeded();
    void loginFailed(const QString &error);
    void logoutCompleted();
    // The server refused the session's refresh token; the state is signed out.
    void sessionEnded();
    // The store refused the tokens; said once per run, for the UI to show.
    void tokenStorageFailed(const QString &message);

private:
    void setState(AuthState state);
    void decideFromStoredTokens();
    void handleCallback(const QUrl &url);
    void exchangeCode(const QString &code, const QString &verifier, const QString &redirectUri);
    void finishLogin(const QString &access, const QString &refresh);
    void endLogin();
    // Asks the server for anything at all while the browser opens: no answer
    // ends the sign-in at once instead of after the timeout.
    void probeServer();
    void storeUser(bool ok, const QJsonObject &body, const std::function<void(const User &)> &callback);

    QString m_authBaseUrl;
    QString m_realm;
    QString m_clientId;
    ApiClient *m_api;
    TokenManager *m_tokens;
    AuthState m_state = AuthState::Unknown;
    User m_user;

    UrlOpener m_urlOpener;
    int m_loginTimeoutMs = defaultLoginTimeoutMs;
    QPointer<WebAuthHandler> m_handler;
    QTimer *m_loginTimer;
    QNetworkAccessManager *m_probeNetwork = nullptr;
    QPointer<QNetworkReply> m_probe;
    QString m_loginState;
    QString m_codeVerifier; // PKCE: the secret behind the challenge the login page got
    QString m_redirectUri;
    bool m_storageFailureTold = false;
};

} // namespace VelmAccount
