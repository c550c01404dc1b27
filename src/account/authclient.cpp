#include "authclient.h"

#include "accountlog.h"
#include "apiclient.h"
#include "tokenmanager.h"
#include "webauthhandler.h"

#include <QDesktopServices>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrlQuery>

namespace VelmAccount {

AuthClient::AuthClient(const QString &authBaseUrl, const QString &realm, const QString &clientId, ApiClient *api,
                       TokenManager *tokens, QObject *parent)
    : QObject(parent)
    , m_authBaseUrl(authBaseUrl)
    , m_realm(realm)
    , m_clientId(clientId)
    , m_api(api)
    , m_tokens(tokens)
    , m_urlOpener([](const QUrl &url) { return QDesktopServices::openUrl(url); })
    , m_loginTimer(new QTimer(this))
{
    m_loginTimer->setSingleShot(true);
    connect(m_loginTimer, &QTimer::timeout, this, [this]() {
        endLogin();
        emit loginFailed(tr("Sign-in timed out"));
    });
    connect(m_tokens, &TokenManager::storeFailed, this, [this]() {
        if (m_storageFailureTold)
            return;
        m_storageFailureTold = true;
        emit tokenStorageFailed(tr("Could not store your sign-in; you will need to sign in again next time."));
    });

    QPointer<ApiClient> apiGuard(api);
    m_tokens->setRefresher([apiGuard](const QString &refreshToken, TokenManager::SuccessHandler onSuccess,
                                      TokenManager::FailureHandler onFailure) {
        if (!apiGuard) {
            onFailure(false);
            return;
        }
        apiGuard->postPublic(QStringLiteral("/auth/token/refresh"),
                             QJsonObject{{QStringLiteral("refresh_token"), refreshToken}},
                             [onSuccess, onFailure](bool ok, int status, const QJsonObject &body) {
                                 if (ok)
                                     onSuccess(body.value(QLatin1String("access_token")).toString(),
                                               body.value(QLatin1String("refresh_token")).toString());
                                 else
                                     onFailure(status >= 400 && status <= 499);
                             });
    });
}

AuthClient::~AuthClient() = default;

void AuthClient::setState(AuthState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void AuthClient::initialize()
{
    m_tokens->loadTokens();
    if (!m_tokens->accessToken().isEmpty()) {
        setState(AuthState::Authenticated);
    } else if (!m_tokens->refreshToken().isEmpty()) {
        m_tokens->refresh([this, guard = QPointer<AuthClient>(this)](RefreshResult result) {
            if (!guard)
                return;
            if (result == RefreshResult::Rejected) {
                m_tokens->clearTokens();
                setState(AuthState::Unauthenticated);
            } else {
                // A transient failure keeps the user signed in while offline.
                setState(AuthState::Authenticated);
            }
        });
    } else {
        setState(AuthState::Unauthenticated);
    }
}

void AuthClient::login()
{
    endLogin();
    auto *handler = new WebAuthHandler(this);
    const QString redirectUri = handler->start();
    if (redirectUri.isEmpty()) {
        delete handler;
        emit loginFailed(tr("Failed to start local auth server"));
        return;
    }
    m_handler = handler;
    connect(handler, &WebAuthHandler::callbackReceived, this, &AuthClient::handleCallback);

    // Binds the redirect to this attempt, so a callback forged by another page
    // cannot sign the user in to someone else's account.
    m_loginState = QString::number(QRandomGenerator::system()->generate64(), 16)
                   + QString::number(QRandomGenerator::system()->generate64(), 16);
    const auto encode = [](const QString &text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); };
    const QUrl url(QStringLiteral("%1/%2/account/login?client_id=%3&redirect_uri=%4&state=%5")
                       .arg(m_authBaseUrl, m_realm, encode(m_clientId), encode(redirectUri), m_loginState));
    m_loginTimer->start(m_loginTimeoutMs);
    if (!m_urlOpener(url))
        qCWarning(lcAccount) << "AuthClient: the browser could not be opened for sign-in";
}

void AuthClient::endLogin()
{
    m_loginTimer->stop();
    if (m_handler)
        m_handler->deleteLater();
    m_handler = nullptr;
}

void AuthClient::handleCallback(const QUrl &url)
{
    const QString expectedState = m_loginState;
    endLogin();
    const QUrlQuery fragment(url.fragment(QUrl::FullyEncoded));
    const QUrlQuery query(url.query(QUrl::FullyEncoded));
    const auto value = [](const QUrlQuery &from, const char *key) {
        return from.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
    };
    QString access = value(fragment, "access_token");
    QString refresh = value(fragment, "refresh_token");
    if (access.isEmpty()) {
        access = value(query, "access_token");
        refresh = value(query, "refresh_token");
    }
    const bool hasState = fragment.hasQueryItem(QStringLiteral("state")) || query.hasQueryItem(QStringLiteral("state"));
    const QString state = fragment.hasQueryItem(QStringLiteral("state")) ? value(fragment, "state") : value(query, "state");
    if (hasState && state != expectedState) {
        qCWarning(lcAccount) << "AuthClient: sign-in callback refused: its state does not match the request";
        emit loginFailed(tr("Sign-in response did not match this request"));
        return;
    }
    if (!hasState)
        qCWarning(lcAccount) << "AuthClient: sign-in callback carries no state; accepted without that check";
    if (access.isEmpty() || refresh.isEmpty()) {
        emit loginFailed(tr("No tokens received"));
        return;
    }
    m_tokens->setTokens(access, refresh);
    setState(AuthState::Authenticated);
    emit loginSucceeded();
}

void AuthClient::logout()
{
    // Sent with the token as it is: a refresh here could outlive the sign-out.
    m_api->postWithoutRefresh(QStringLiteral("/auth/logout"), QJsonObject(), nullptr);
    m_tokens->clearTokens();
    m_user = User();
    setState(AuthState::Unauthenticated);
    emit logoutCompleted();
}

void AuthClient::refreshToken(std::function<void(bool ok)> callback)
{
    m_tokens->refresh([this, guard = QPointer<AuthClient>(this), callback = std::move(callback)](RefreshResult result) {
        if (guard && result == RefreshResult::Rejected) {
            m_tokens->clearTokens();
            m_user = User();
            setState(AuthState::Unauthenticated);
        }
        if (callback)
            callback(result == RefreshResult::Success);
    });
}

void AuthClient::storeUser(bool ok, const QJsonObject &body, const std::function<void(const User &)> &callback)
{
    if (ok)
        m_user = User::fromJson(body);
    if (callback)
        callback(m_user);
}

void AuthClient::fetchCurrentUser(std::function<void(const User &)> callback)
{
    m_api->get(QStringLiteral("/users/me"),
               [this, guard = QPointer<AuthClient>(this), callback](bool ok, int, const QJsonObject &body) {
                   if (guard)
                       storeUser(ok, body, callback);
               });
}

void AuthClient::updateProfile(const QString &displayName, std::function<void(const User &)> callback)
{
    m_api->patch(QStringLiteral("/users/me"), QJsonObject{{QStringLiteral("display_name"), displayName}},
                 [this, guard = QPointer<AuthClient>(this), callback](bool ok, int, const QJsonObject &body) {
                     if (guard)
                         storeUser(ok, body, callback);
                 });
}

void AuthClient::changePassword(const QString &current, const QString &replacement,
                                std::function<void(bool ok)> callback)
{
    m_api->post(QStringLiteral("/users/me/password"),
                QJsonObject{{QStringLiteral("current_password"), current},
                            {QStringLiteral("new_password"), replacement}},
                [callback](bool ok, int, const QJsonObject &) {
                    if (callback)
                        callback(ok);
                });
}

void AuthClient::listSessions(std::function<void(const QList<Session> &)> callback)
{
    m_api->get(QStringLiteral("/users/me/sessions"), [callback](bool ok, int, const QJsonObject &body) {
        if (callback)
            callback(ok ? sessionsFrom(body) : QList<Session>());
    });
}

void AuthClient::revokeSession(const QString &id)
{
    m_api->del(QStringLiteral("/users/me/sessions/%1").arg(id), nullptr);
}

} // namespace VelmAccount
