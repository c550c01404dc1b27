#include "authclient.h"

#include "accountlog.h"
#include "apiclient.h"
#include "tokenmanager.h"
#include "webauthhandler.h"
#include "wireprotocol.h"

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrlQuery>

namespace VelmAccount {

namespace Field = VelmWire::Field;
namespace AccountField = VelmWire::AccountField;
namespace AccountValue = VelmWire::AccountValue;

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
        apiGuard->postPublic(QLatin1StringView(VelmWire::Path::tokenRefresh),
                             QJsonObject{{AccountField::refreshToken, refreshToken}},
                             [onSuccess, onFailure](bool ok, int status, const QJsonObject &body) {
                                 if (ok)
                                     onSuccess(body.value(QLatin1String(AccountField::accessToken)).toString(),
                                               body.value(QLatin1String(AccountField::refreshToken)).toString());
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

void AuthClient::setServer(const QString &authBaseUrl, const QString &realm)
{
    m_authBaseUrl = authBaseUrl;
    m_realm = realm;
}

void AuthClient::initialize()
{
    // Tokens set in this run are newer than any the store holds.
    if (!m_tokens->refreshToken().isEmpty())
        return decideFromStoredTokens();
    setState(AuthState::Checking);
    m_tokens->loadTokens([this, guard = QPointer<AuthClient>(this)] {
        // A sign-in or sign-out while the store was slow has decided already.
        if (guard && m_state == AuthState::Checking)
            decideFromStoredTokens();
    });
}

void AuthClient::decideFromStoredTokens()
{
    if (!m_tokens->accessToken().isEmpty()) {
        setState(AuthState::Authenticated);
    } else if (!m_tokens->refreshToken().isEmpty()) {
        m_tokens->refresh([this, guard = QPointer<AuthClient>(this)](RefreshResult result) {
            if (!guard)
                return;
            if (result == RefreshResult::Rejected) {
                dropSession();
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

    // The state binds the redirect to this attempt, so a callback forged by
    // another page or local user cannot sign the user in to someone else's
    // account; the PKCE verifier proves to the server that the code it sent
    // comes back to the application that asked for it.
    const auto randomText = [](int bytes) {
        QByteArray raw(bytes, Qt::Uninitialized);
        for (char &c : raw)
            c = char(QRandomGenerator::system()->bounded(256));
        return QString::fromLatin1(raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    };
    m_loginState = randomText(24);
    m_codeVerifier = randomText(32);
    m_redirectUri = redirectUri;
    handler->setExpectedState(m_loginState.toUtf8());
    const QString challenge = QString::fromLatin1(
        QCryptographicHash::hash(m_codeVerifier.toLatin1(), QCryptographicHash::Sha256)
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    const auto encode = [](const QString &text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); };
    const QUrl url(QStringLiteral("%1/%2/account/login?response_type=code&client_id=%3&redirect_uri=%4&state=%5"
                                  "&code_challenge=%6&code_challenge_method=S256")
                       .arg(m_authBaseUrl, m_realm, encode(m_clientId), encode(redirectUri), m_loginState, challenge));
    m_loginTimer->start(m_loginTimeoutMs);
    emit loginStarted();
    probeServer();
    if (!m_urlOpener(url)) {
        qCWarning(lcAccount) << "AuthClient: the browser could not be opened for sign-in";
        // Nobody can finish the sign-in: waiting for the timeout helps no one.
        endLogin();
        emit loginFailed(tr("No web browser could be opened for the sign-in. Set a default browser and try again."));
    }
}

void AuthClient::probeServer()
{
    const QUrl server(m_authBaseUrl);
    if (!server.isValid() || server.host().isEmpty())
        return;
    if (!m_probeNetwork)
        m_probeNetwork = new QNetworkAccessManager(this);
    QNetworkRequest request(server);
    request.setTransferTimeout(10000);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *reply = m_probeNetwork->head(request);
    m_probe = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        // Any HTTP status means a server answered; only silence fails.
        if (m_probe != reply || reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() > 0)
            return;
        m_probe.clear();
        qCWarning(lcAccount).noquote() << "AuthClient: the server does not answer:" << reply->errorString();
        endLogin();
        emit loginFailed(tr("Cannot reach the server at %1. Check your connection and the server address in "
                            "Preferences.").arg(m_authBaseUrl));
    });
}

void AuthClient::cancelLogin()
{
    if (!isSigningIn())
        return;
    endLogin();
    emit loginCancelled();
}

void AuthClient::endLogin()
{
    if (QNetworkReply *probe = m_probe.data()) {
        m_probe.clear();
        probe->abort();
    }
    m_loginTimer->stop();
    m_loginState.clear();
    m_codeVerifier.clear();
    if (m_handler)
        m_handler->deleteLater();
    m_handler = nullptr;
}

void AuthClient::handleCallback(const QUrl &url)
{
    const QByteArray expectedState = m_loginState.toUtf8();
    const QString verifier = m_codeVerifier;
    const QString redirectUri = m_redirectUri;
    endLogin();
    const QUrlQuery fragment(url.fragment(QUrl::FullyEncoded));
    const QUrlQuery query(url.query(QUrl::FullyEncoded));
    const auto value = [](const QUrlQuery &from, const char *key) {
        return from.queryItemValue(QLatin1String(key), QUrl::FullyDecoded);
    };
    // The listener has checked the state already; tokens that arrive in the
    // fragment (servers that still send them) need it too.
    const QString state = fragment.hasQueryItem(QLatin1String(AccountField::state)) ? value(fragment, AccountField::state)
                                                                                    : value(query, AccountField::state);
    if (expectedState.isEmpty() || !constantTimeEquals(state.toUtf8(), expectedState)) {
        qCWarning(lcAccount) << "AuthClient: sign-in callback refused: its state does not match the request";
        emit loginFailed(tr("Sign-in response did not match this request"));
        return;
    }
    const QString code = value(query, Field::code);
    if (!code.isEmpty()) {
        exchangeCode(code, verifier, redirectUri);
        return;
    }
    QString access = value(fragment, AccountField::accessToken);
    QString refresh = value(fragment, AccountField::refreshToken);
    if (access.isEmpty()) {
        access = value(query, AccountField::accessToken);
        refresh = value(query, AccountField::refreshToken);
    }
    if (access.isEmpty() || refresh.isEmpty()) {
        emit loginFailed(tr("No tokens received"));
        return;
    }
    finishLogin(access, refresh);
}

void AuthClient::exchangeCode(const QString &code, const QString &verifier, const QString &redirectUri)
{
    const QJsonObject body{{AccountField::grantType, QLatin1StringView(AccountValue::authorizationCode)},
                           {Field::code, code},
                           {AccountField::codeVerifier, verifier},
                           {AccountField::redirectUri, redirectUri},
                           {AccountField::clientId, m_clientId}};
    m_api->postPublic(QLatin1StringView(VelmWire::Path::token), body,
                      [this, guard = QPointer<AuthClient>(this)](bool ok, int status, const QJsonObject &reply) {
                          if (!guard)
                              return;
                          const QString access = reply.value(QLatin1String(AccountField::accessToken)).toString();
                          const QString refresh = reply.value(QLatin1String(AccountField::refreshToken)).toString();
                          if (!ok || access.isEmpty() || refresh.isEmpty()) {
                              qCWarning(lcAccount) << "AuthClient: the sign-in code was not accepted; status" << status;
                              emit loginFailed(tr("Sign-in could not be completed; try again"));
                              return;
                          }
                          finishLogin(access, refresh);
                      });
}

void AuthClient::finishLogin(const QString &access, const QString &refresh)
{
    m_tokens->setTokens(access, refresh);
    setState(AuthState::Authenticated);
    emit loginSucceeded();
}

void AuthClient::logout()
{
    // Sent with the token as it is: a refresh here could outlive the sign-out.
    m_api->postWithoutRefresh(QLatin1StringView(VelmWire::Path::logout), QJsonObject(), nullptr);
    m_tokens->clearTokens();
    m_user = User();
    setState(AuthState::Unauthenticated);
    emit logoutCompleted();
}

void AuthClient::dropSession()
{
    const bool held = m_state == AuthState::Authenticated || !m_tokens->refreshToken().isEmpty();
    m_tokens->clearTokens();
    m_user = User();
    setState(AuthState::Unauthenticated);
    if (held)
        emit sessionEnded();
}

void AuthClient::refreshToken(std::function<void(bool ok)> callback)
{
    m_tokens->refresh([this, guard = QPointer<AuthClient>(this), callback = std::move(callback)](RefreshResult result) {
        if (guard && result == RefreshResult::Rejected)
            dropSession();
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
    m_api->get(QLatin1StringView(VelmWire::Path::me),
               [this, guard = QPointer<AuthClient>(this), callback](bool ok, int, const QJsonObject &body) {
                   if (guard)
                       storeUser(ok, body, callback);
               });
}

void AuthClient::updateProfile(const QString &displayName,
                               std::function<void(const Outcome &, const User &)> callback)
{
    m_api->patch(QLatin1StringView(VelmWire::Path::me), QJsonObject{{AccountField::displayName, displayName}},
                 [this, guard = QPointer<AuthClient>(this), callback](bool ok, int status, const QJsonObject &body) {
                     if (!guard)
                         return;
                     const Outcome outcome = Outcome::from(ok, status, body);
                     storeUser(outcome.ok, body, [&outcome, &callback](const User &user) {
                         if (callback)
                             callback(outcome, user);
                     });
                 });
}

void AuthClient::changePassword(const QString &current, const QString &replacement,
                                std::function<void(const Outcome &)> callback)
{
    m_api->post(QLatin1StringView(VelmWire::Path::password),
                QJsonObject{{AccountField::currentPassword, current},
                            {AccountField::newPassword, replacement}},
                [callback](bool ok, int status, const QJsonObject &body) {
                    if (callback)
                        callback(Outcome::from(ok, status, body));
                });
}

void AuthClient::listSessions(std::function<void(const QList<Session> &)> callback)
{
    m_api->get(QLatin1StringView(VelmWire::Path::sessions), [callback](bool ok, int, const QJsonObject &body) {
        if (callback)
            callback(ok ? sessionsFrom(body) : QList<Session>());
    });
}

void AuthClient::revokeSession(const QString &id, std::function<void(const Outcome &)> callback)
{
    m_api->del(VelmWire::at(VelmWire::Path::sessions, id), [callback](bool ok, int status, const QJsonObject &body) {
        if (callback)
            callback(Outcome::from(ok, status, body));
    });
}

} // namespace VelmAccount
