#include "services.h"
#include "store/sessionstore.h"
#include "store/userstore.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QUrl>

#include <sodium.h>

Q_DECLARE_LOGGING_CATEGORY(lcServer)

namespace VelmServer {

namespace Field = VelmWire::Field;
namespace AccountField = VelmWire::AccountField;
namespace AccountValue = VelmWire::AccountValue;

namespace {

// Only the application's own loopback listener may receive tokens.
bool isLoopbackCallback(const QString &uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    return url.isValid() && url.scheme() == QLatin1String("http")
           && (url.host() == QLatin1String("localhost") || url.host() == QLatin1String("127.0.0.1"))
           && url.port() > 0 && url.path() == QLatin1String("/callback") && !url.hasQuery() && !url.hasFragment()
           && url.userInfo().isEmpty();
}

QString param(const httplib::Request &req, const char *name)
{
    return QString::fromStdString(req.get_param_value(name));
}

constexpr qint64 codeLifetimeMs = 60 * 1000;

// A PKCE S256 challenge: base64url of a SHA-256, 43 characters.
bool isS256Challenge(const QString &challenge)
{
    static const QRegularExpression shape(QStringLiteral("^[A-Za-z0-9_-]{43}$"));
    return shape.match(challenge).hasMatch();
}

QString s256(const QString &verifier)
{
    return QString::fromLatin1(QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

void loginPage(httplib::Response &res, int status, const httplib::Request &req, const QString &message)
{
    const auto hidden = [&req](const char *name) {
        return QStringLiteral("<input type=\"hidden\" name=\"%1\" value=\"%2\">")
            .arg(QLatin1String(name), param(req, name).toHtmlEscaped());
    };
    const QString html = QStringLiteral(
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Velmora Notes sign-in</title>"
        "<meta name=\"viewport\" content=\"width=device-width\"></head>"
        "<body style=\"font-family: sans-serif; max-width: 22em; margin: 40px auto;\">"
        "<h1>Velmora Notes</h1>%1<form method=\"post\">%2%3%4"
        "<p><label>E-mail<br><input type=\"email\" name=\"email\" required value=\"%5\"></label></p>"
        "<p><label>Password<br><input type=\"password\" name=\"password\" required minlength=\"8\"></label></p>"
        "<p><button type=\"submit\" name=\"action\" value=\"signin\">Sign in</button> "
        "<button type=\"submit\" name=\"action\" value=\"signup\">Create account</button></p>"
        "</form></body></html>")
        .arg(message.isEmpty() ? QString() : QStringLiteral("<p role=\"alert\">%1</p>").arg(message.toHtmlEscaped()),
             hidden("client_id"), hidden("redirect_uri"),
             hidden("state") + hidden("code_challenge") + hidden("code_challenge_method"),
             param(req, "email").toHtmlEscaped());
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Frame-Options", "DENY");
    res.set_content(html.toStdString(), "text/html; charset=utf-8");
}

QString createUser(Services &s, const QString &email, const QString &password, int *status)
{
    if (!email.contains('@') || email.size() > maxEmailLength) {
        *status = 400;
        return QStringLiteral("Enter a valid e-mail address.");
    }
    if (password.size() < 8 || password.size() > 1024) {
        *status = 400;
        return QStringLiteral("Choose a password of 8 to 1024 characters.");
    }
    UserStore users(*s.db);
    const auto existing = users.byEmail(email);
    if (existing && *existing) {
        *status = 409;
        return QStringLiteral("An account with this e-mail already exists.");
    }
    UserRow user;
    user.id = newId();
    user.email = email;
    user.passwordHash = Tokens::hashPassword(password);
    user.displayName = email.section('@', 0, 0);
    user.createdAt = nowMs();
    if (!existing || user.passwordHash.isEmpty() || !users.insert(user)) {
        *status = 500;
        return QStringLiteral("The account could not be created.");
    }
    return {};
}

void handleLogin(Services &s, const httplib::Request &req, httplib::Response &res)
{
    if (bodyTooLarge(req, res, s.config.maxAttachmentMb))
        return;
    const QString redirect = param(req, "redirect_uri");
    const QString challenge = param(req, "code_challenge");
    // Tokens never travel in the redirect: the application proves with PKCE
    // that it is the one that asked before it gets them.
    if (param(req, "client_id").isEmpty() || param(req, "client_id").size() > 200 || !isLoopbackCallback(redirect)
        || !isS256Challenge(challenge) || param(req, "code_challenge_method") != QLatin1String("S256")
        || param(req, "state").size() > 200) {
        loginPage(res, 400, req, QStringLiteral("This sign-in link is not valid. Start again from the application."));
        return;
    }
    if (req.method == "GET") {
        loginPage(res, 200, req, {});
        return;
    }
    const QString email = param(req, "email").trimmed().toLower();
    const QString password = param(req, "password");
    if (!s.signIns.allow(QStringLiteral("ip:") + QString::fromStdString(req.remote_addr))
        || !s.signIns.allow(QStringLiteral("email:") + email)) {
        loginPage(res, 429, req, QStringLiteral("Too many attempts. Wait a minute and try again."));
        return;
    }
    if (param(req, "action") == QLatin1String("signup")) {
        int status = 200;
        const QString failure = createUser(s, email, password, &status);
        if (!failure.isEmpty()) {
            loginPage(res, status, req, failure);
            return;
        }
        qCInfo(lcServer) << "account created";
    }
    const auto user = UserStore(*s.db).byEmail(email);
    if (!user) {
        loginPage(res, 500, req, QStringLiteral("Sign-in failed; try again."));
        return;
    }
    if (!*user || !Tokens::verifyPassword((*user)->passwordHash, password)) {
        loginPage(res, 401, req, QStringLiteral("The e-mail or password is wrong."));
        return;
    }
    const QByteArray code = Tokens::randomSecret();
    const qint64 now = nowMs();
    const AuthCodeRow row{Tokens::hashSecret(code), (*user)->id, param(req, "client_id"), redirect, challenge,
                          now + codeLifetimeMs, QString::fromStdString(req.get_header_value("User-Agent")),
                          QString::fromStdString(req.remote_addr)};
    if (!SessionStore(*s.db).addCode(row, now)) {
        loginPage(res, 500, req, QStringLiteral("Sign-in failed; try again."));
        return;
    }
    QString query = QStringLiteral("code=") + QString::fromLatin1(code);
    const QString state = param(req, "state");
    if (!state.isEmpty())
        query += QStringLiteral("&state=") + QString::fromLatin1(QUrl::toPercentEncoding(state));
    res.set_header("Cache-Control", "no-store");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_redirect((redirect + '?' + query).toStdString(), 302);
}

// Trades a sign-in code for tokens. The code is gone after the first attempt,
// right or wrong, so a verifier cannot be guessed at.
void exchangeCode(Services &s, const httplib::Request &req, httplib::Response &res)
{
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QString code = body->value(Field::code).toString();
    const QString verifier = body->value(AccountField::codeVerifier).toString();
    if (body->value(AccountField::grantType).toString() != QLatin1String(AccountValue::authorizationCode) || code.isEmpty()
        || code.size() > 200 || verifier.size() < 43 || verifier.size() > 128)
        return replyError(res, 400, QStringLiteral("invalid_request"));
    Tx tx(*s.db);
    if (!tx.ok())
        return replyError(res, 503, QStringLiteral("try again"));
    SessionStore sessions(*s.db);
    const QString hash = Tokens::hashSecret(code.toLatin1());
    const auto found = sessions.code(hash);
    if (!found)
        return replyStoreFailure(res);
    if (!*found)
        return replyError(res, 400, QStringLiteral("invalid_grant"));
    const AuthCodeRow &row = **found;
    const QByteArray expected = row.challenge.toLatin1();
    const QByteArray given = s256(verifier).toLatin1();
    const bool valid = row.clientId == body->value(AccountField::clientId).toString()
                       && row.redirectUri == body->value(AccountField::redirectUri).toString()
                       && row.expiresAt > nowMs() && given.size() == expected.size()
                       && sodium_memcmp(given.constData(), expected.constData(), size_t(given.size())) == 0;
    if (!sessions.dropCode(hash))
        return replyStoreFailure(res);
    const auto tokens = valid ? openSession(s, row.userId, row.userAgent, row.ipAddress) : std::nullopt;
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    if (!valid)
        return replyError(res, 400, QStringLiteral("invalid_grant"));
    if (!tokens)
        return replyError(res, 503, QStringLiteral("try again"));
    res.set_header("Cache-Control", "no-store");
    replyJson(res, 200, QJsonObject{{AccountField::accessToken, tokens->first},
                                    {AccountField::refreshToken, tokens->second},
                                    {AccountField::tokenType, AccountValue::bearer},
                                    {AccountField::expiresIn, Tokens::accessLifetimeSeconds}});
}

QJsonObject userJson(const UserRow &u)
{
    return QJsonObject{{Field::id, u.id},
                       {AccountField::email, u.email},
                       {AccountField::displayName, u.displayName},
                       {AccountField::username, u.username},
                       {AccountField::avatarUrl, u.avatarUrl},
                       {Field::createdAt, isoTime(u.createdAt)}};
}

// Answers the user's record: 404 when the account is gone.
void replyUser(Services &s, const QString &id, httplib::Response &res)
{
    const auto user = UserStore(*s.db).byId(id);
    if (!user)
        return replyStoreFailure(res);
    *user ? replyJson(res, 200, userJson(**user)) : replyError(res, 404, QStringLiteral("not found"));
}

// Refresh tokens rotate on every use. The token just rotated away stays good
// for a day (or until its successor is used) and is answered with the same
// successor, so a lost reply never locks a device out. Any older token of the
// session seen again means it was copied: the whole session ends.
void refresh(Services &s, const httplib::Request &req, httplib::Response &res)
{
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QString token = body->value(AccountField::refreshToken).toString();
    const QString sessionId = token.section('.', 0, 0);
    const QByteArray secret = token.section('.', 1).toLatin1();
    const QString hash = Tokens::hashSecret(secret);
    const qint64 now = nowMs();
    Tx tx(*s.db);
    if (!tx.ok())
        return replyError(res, 503, QStringLiteral("try again"));
    SessionStore sessions(*s.db);
    const auto found = sessions.byId(sessionId);
    if (!found)
        return replyStoreFailure(res);
    if (!isPlainId(sessionId) || secret.isEmpty() || !*found || (*found)->revoked) {
        replyError(res, 401, QStringLiteral("invalid refresh token"));
        return;
    }
    const SessionRow &session = **found;
    const QString userId = session.userId;
    const bool current = session.tokenHash == hash;
    const bool previous = !current && session.prevHash == hash;
    const QByteArray successor = s.tokens.successorSecret(sessionId, secret);
    const bool replay = previous && now < session.prevUntil && Tokens::hashSecret(successor) == session.tokenHash;
    if (!current && !replay) {
        bool reused = previous;
        if (!reused) {
            const auto retired = sessions.isRetired(hash, sessionId);
            if (!retired)
                return replyStoreFailure(res);
            reused = *retired;
        }
        if (reused) {
            if (!sessions.revoke(sessionId))
                return replyStoreFailure(res);
            if (!tx.commit())
                return replyError(res, 503, QStringLiteral("try again"));
            qCWarning(lcServer) << "a retired refresh token was presented again; its session is revoked";
        }
        replyError(res, 401, QStringLiteral("invalid refresh token"));
        return;
    }
    if (current) {
        const qint64 graceMs = 24LL * 3600 * 1000;
        const qint64 keepRetiredMs = 90LL * 24 * 3600 * 1000;
        if (!sessions.rotate(session, Tokens::hashSecret(successor), now + graceMs, now, keepRetiredMs))
            return replyStoreFailure(res);
        if (!tx.commit())
            return replyError(res, 503, QStringLiteral("try again"));
    }
    QString groupId;
    const QString role = groupRole(s, userId, &groupId);
    replyJson(res, 200, QJsonObject{{AccountField::accessToken, s.tokens.issueAccess(userId, sessionId, groupId, role)},
                                    {AccountField::refreshToken, sessionId + '.' + QString::fromLatin1(successor)},
                                    {AccountField::tokenType, AccountValue::bearer},
                                    {AccountField::expiresIn, Tokens::accessLifetimeSeconds}});
}

} // namespace

void addAuthRoutes(httplib::Server &http, Services &s)
{
    const std::string realm = s.config.realm.toStdString();
    const std::string loginPath = "/" + realm + "/account/login";
    http.Get(loginPath, [&s](const httplib::Request &req, httplib::Response &res) { handleLogin(s, req, res); });
    http.Post(loginPath, [&s](const httplib::Request &req, httplib::Response &res) { handleLogin(s, req, res); });

    const std::string api = VelmWire::realmsBase + realm;
    http.Post(api + VelmWire::Path::token, [&s](const httplib::Request &req, httplib::Response &res) { exchangeCode(s, req, res); });
    http.Post(api + VelmWire::Path::tokenRefresh, [&s](const httplib::Request &req, httplib::Response &res) { refresh(s, req, res); });
    http.Post(api + VelmWire::Path::logout, [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        if (!caller)
            return;
        if (!SessionStore(*s.db).revoke(caller->sessionId))
            return replyStoreFailure(res);
        replyJson(res, 200, QJsonObject{{AccountField::ok, true}});
    });
    http.Get(api + VelmWire::Path::me, [&s](const httplib::Request &req, httplib::Response &res) {
        if (const auto caller = requireUser(s, req, res))
            replyUser(s, caller->userId, res);
    });
    http.Patch(api + VelmWire::Path::me, [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        const auto body = caller ? jsonBody(req, res) : std::nullopt;
        if (!body)
            return;
        const QString name = body->value(AccountField::displayName).toString().trimmed();
        if (body->contains(AccountField::displayName) && (name.isEmpty() || name.size() > 100))
            return replyError(res, 400, QStringLiteral("display_name must be 1 to 100 characters"));
        if (body->contains(AccountField::displayName) && !UserStore(*s.db).setDisplayName(caller->userId, name))
            return replyError(res, 500, QStringLiteral("the display name could not be saved; try again"));
        replyUser(s, caller->userId, res);
    });
    http.Post(api + VelmWire::Path::password, [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        const auto body = caller ? jsonBody(req, res) : std::nullopt;
        if (!body)
            return;
        if (!s.signIns.allow(QStringLiteral("password:") + caller->userId))
            return replyError(res, 429, QStringLiteral("too many attempts"));
        UserStore users(*s.db);
        const auto user = users.byId(caller->userId);
        if (!user)
            return replyStoreFailure(res);
        if (!*user || !Tokens::verifyPassword((*user)->passwordHash, body->value(AccountField::currentPassword).toString()))
            return replyError(res, 403, QStringLiteral("the current password is wrong"));
        const QString next = body->value(AccountField::newPassword).toString();
        if (next.size() < 8 || next.size() > 1024)
            return replyError(res, 400, QStringLiteral("the new password needs 8 to 1024 characters"));
        const QString hash = Tokens::hashPassword(next);
        // Both or neither: a new password that leaves the old sessions open
        // would tell the user they were ended when they were not.
        Tx tx(*s.db);
        if (hash.isEmpty() || !tx.ok())
            return replyError(res, 503, QStringLiteral("the password could not be changed; try again"));
        if (!users.setPasswordHash(caller->userId, hash))
            return replyError(res, 500, QStringLiteral("the password could not be changed; try again"));
        const auto ended = SessionStore(*s.db).revokeOthers(caller->userId, caller->sessionId);
        if (!ended)
            return replyError(res, 500, QStringLiteral("your other sessions could not be ended, so the password was"
                                                       " not changed; try again"));
        if (!tx.commit())
            return replyError(res, 503, QStringLiteral("the password could not be changed; try again"));
        replyJson(res, 200, QJsonObject{{AccountField::ok, true}, {AccountField::sessionsEnded, *ended}});
    });
    http.Get(api + VelmWire::Path::sessions, [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        if (!caller)
            return;
        const auto live = SessionStore(*s.db).liveSessions(caller->userId);
        if (!live)
            return replyStoreFailure(res);
        QJsonArray sessions;
        for (const SessionRow &row : *live)
            sessions.append(QJsonObject{{Field::id, row.id},
                                        {AccountField::userAgent, row.userAgent},
                                        {AccountField::ipAddress, row.ipAddress},
                                        {Field::createdAt, isoTime(row.createdAt)},
                                        {AccountField::lastActiveAt, isoTime(row.lastActiveAt)},
                                        {AccountField::isCurrent, row.id == caller->sessionId}});
        replyJson(res, 200, QJsonObject{{AccountField::sessions, sessions}});
    });
    http.Delete(api + VelmWire::Path::sessions + R"(/([A-Za-z0-9-]+))", [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        if (!caller)
            return;
        const auto revoked = SessionStore(*s.db).revokeOwn(caller->userId, pathArg(req, 1));
        if (!revoked)
            return replyStoreFailure(res);
        if (!*revoked)
            return replyError(res, 404, QStringLiteral("not found"));
        replyJson(res, 200, QJsonObject{{AccountField::ok, true}});
    });
}

} // namespace VelmServer
