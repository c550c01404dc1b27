#include "services.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QUrl>

#include <sodium.h>

Q_DECLARE_LOGGING_CATEGORY(lcServer)

namespace VelmServer {

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
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT 1 FROM users WHERE email = ?"), {email});
    if (q.next()) {
        *status = 409;
        return QStringLiteral("An account with this e-mail already exists.");
    }
    const QString hash = Tokens::hashPassword(password);
    if (hash.isEmpty()
        || !s.db->run(q, QStringLiteral("INSERT INTO users (id, email, password_hash, display_name, created_at)"
                                        " VALUES (?, ?, ?, ?, ?)"),
                      {newId(), email, hash, email.section('@', 0, 0), nowMs()})) {
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
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT id, password_hash FROM users WHERE email = ?"), {email});
    const bool found = q.next();
    if (!found || !Tokens::verifyPassword(q.value(1).toString(), password)) {
        loginPage(res, 401, req, QStringLiteral("The e-mail or password is wrong."));
        return;
    }
    const QByteArray code = Tokens::randomSecret();
    const qint64 now = nowMs();
    const QString userId = q.value(0).toString();
    if (!s.db->run(q, QStringLiteral("DELETE FROM auth_codes WHERE expires_at < ?"), {now})
        || !s.db->run(q, QStringLiteral("INSERT INTO auth_codes (code_hash, user_id, client_id, redirect_uri, challenge,"
                                        " expires_at, user_agent, ip_address) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                      {Tokens::hashSecret(code), userId, param(req, "client_id"), redirect, challenge,
                       now + codeLifetimeMs, QString::fromStdString(req.get_header_value("User-Agent")),
                       QString::fromStdString(req.remote_addr)})) {
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
    const QString code = body->value("code").toString();
    const QString verifier = body->value("code_verifier").toString();
    if (body->value("grant_type").toString() != QLatin1String("authorization_code") || code.isEmpty()
        || code.size() > 200 || verifier.size() < 43 || verifier.size() > 128)
        return replyError(res, 400, QStringLiteral("invalid_request"));
    Tx tx(*s.db);
    QSqlQuery q = s.db->query();
    const QString hash = Tokens::hashSecret(code.toLatin1());
    if (!tx.ok()
        || !s.db->run(q, QStringLiteral("SELECT user_id, client_id, redirect_uri, challenge, expires_at, user_agent,"
                                        " ip_address FROM auth_codes WHERE code_hash = ?"), {hash}))
        return replyError(res, 503, QStringLiteral("try again"));
    if (!q.next())
        return replyError(res, 400, QStringLiteral("invalid_grant"));
    const QString userId = q.value(0).toString();
    const QByteArray expected = q.value(3).toString().toLatin1();
    const QByteArray given = s256(verifier).toLatin1();
    const bool valid = q.value(1).toString() == body->value("client_id").toString()
                       && q.value(2).toString() == body->value("redirect_uri").toString()
                       && q.value(4).toLongLong() > nowMs() && given.size() == expected.size()
                       && sodium_memcmp(given.constData(), expected.constData(), size_t(given.size())) == 0;
    const QString userAgent = q.value(5).toString();
    const QString ip = q.value(6).toString();
    if (!s.db->run(q, QStringLiteral("DELETE FROM auth_codes WHERE code_hash = ?"), {hash}))
        return replyError(res, 503, QStringLiteral("try again"));
    const auto tokens = valid ? openSession(s, userId, userAgent, ip) : std::nullopt;
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    if (!valid)
        return replyError(res, 400, QStringLiteral("invalid_grant"));
    if (!tokens)
        return replyError(res, 503, QStringLiteral("try again"));
    res.set_header("Cache-Control", "no-store");
    replyJson(res, 200, QJsonObject{{"access_token", tokens->first}, {"refresh_token", tokens->second},
                                    {"token_type", "Bearer"}, {"expires_in", Tokens::accessLifetimeSeconds}});
}

QJsonObject userJson(QSqlQuery &q)
{
    return QJsonObject{{"id", q.value(0).toString()},         {"email", q.value(1).toString()},
                       {"display_name", q.value(2).toString()}, {"username", q.value(3).toString()},
                       {"avatar_url", q.value(4).toString()},   {"created_at", isoTime(q.value(5).toLongLong())}};
}

bool readUser(Services &s, const QString &id, QJsonObject *out)
{
    QSqlQuery q = s.db->query();
    if (!s.db->run(q, QStringLiteral("SELECT id, email, display_name, username, avatar_url, created_at FROM users"
                                     " WHERE id = ?"), {id}) || !q.next())
        return false;
    *out = userJson(q);
    return true;
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
    const QString token = body->value("refresh_token").toString();
    const QString sessionId = token.section('.', 0, 0);
    const QByteArray secret = token.section('.', 1).toLatin1();
    const QString hash = Tokens::hashSecret(secret);
    const qint64 now = nowMs();
    Tx tx(*s.db);
    QSqlQuery q = s.db->query();
    if (!tx.ok() || !s.db->run(q, QStringLiteral("SELECT user_id, token_hash, prev_hash, prev_until FROM sessions"
                                                 " WHERE id = ? AND revoked = 0"), {sessionId})) {
        replyError(res, 503, QStringLiteral("try again"));
        return;
    }
    if (!isPlainId(sessionId) || secret.isEmpty() || !q.next()) {
        replyError(res, 401, QStringLiteral("invalid refresh token"));
        return;
    }
    const QString userId = q.value(0).toString();
    const QString currentHash = q.value(1).toString();
    const QString prevHash = q.value(2).toString();
    const bool current = currentHash == hash;
    const bool previous = !current && prevHash == hash;
    const QByteArray successor = s.tokens.successorSecret(sessionId, secret);
    const bool replay = previous && now < q.value(3).toLongLong() && Tokens::hashSecret(successor) == currentHash;
    if (!current && !replay) {
        bool reused = previous;
        if (!reused) {
            if (!s.db->run(q, QStringLiteral("SELECT 1 FROM retired_tokens WHERE token_hash = ? AND session_id = ?"),
                           {hash, sessionId})) {
                replyError(res, 503, QStringLiteral("try again"));
                return;
            }
            reused = q.next();
        }
        if (reused) {
            if (!s.db->run(q, QStringLiteral("UPDATE sessions SET revoked = 1 WHERE id = ?"), {sessionId}) || !tx.commit()) {
                replyError(res, 503, QStringLiteral("try again"));
                return;
            }
            qCWarning(lcServer) << "a retired refresh token was presented again; its session is revoked";
        }
        replyError(res, 401, QStringLiteral("invalid refresh token"));
        return;
    }
    if (current) {
        const qint64 graceMs = 24LL * 3600 * 1000;
        const qint64 keepRetiredMs = 90LL * 24 * 3600 * 1000;
        const bool retired = prevHash.isEmpty()
            || (s.db->run(q, QStringLiteral("INSERT INTO retired_tokens (token_hash, session_id, retired_at)"
                                            " VALUES (?, ?, ?) ON CONFLICT DO NOTHING"), {prevHash, sessionId, now})
                && s.db->run(q, QStringLiteral("DELETE FROM retired_tokens WHERE session_id = ? AND retired_at < ?"),
                             {sessionId, now - keepRetiredMs}));
        if (!retired
            || !s.db->run(q, QStringLiteral("UPDATE sessions SET prev_hash = token_hash, prev_until = ?, token_hash = ?,"
                                            " last_active_at = ? WHERE id = ?"),
                          {now + graceMs, Tokens::hashSecret(successor), now, sessionId})
            || !tx.commit()) {
            replyError(res, 503, QStringLiteral("try again"));
            return;
        }
    }
    QString groupId;
    const QString role = groupRole(s, userId, &groupId);
    replyJson(res, 200, QJsonObject{{"access_token", s.tokens.issueAccess(userId, sessionId, groupId, role)},
                                    {"refresh_token", sessionId + '.' + QString::fromLatin1(successor)},
                                    {"token_type", "Bearer"},
                                    {"expires_in", Tokens::accessLifetimeSeconds}});
}

} // namespace

void addAuthRoutes(httplib::Server &http, Services &s)
{
    const std::string realm = s.config.realm.toStdString();
    const std::string loginPath = "/" + realm + "/account/login";
    http.Get(loginPath, [&s](const httplib::Request &req, httplib::Response &res) { handleLogin(s, req, res); });
    http.Post(loginPath, [&s](const httplib::Request &req, httplib::Response &res) { handleLogin(s, req, res); });

    const std::string api = "/api/v1/realms/" + realm;
    http.Post(api + "/auth/token", [&s](const httplib::Request &req, httplib::Response &res) { exchangeCode(s, req, res); });
    http.Post(api + "/auth/token/refresh", [&s](const httplib::Request &req, httplib::Response &res) { refresh(s, req, res); });
    http.Post(api + "/auth/logout", [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        if (!caller)
            return;
        QSqlQuery q = s.db->query();
        if (!s.db->run(q, QStringLiteral("UPDATE sessions SET revoked = 1 WHERE id = ?"), {caller->sessionId}))
            return replyError(res, 503, QStringLiteral("try again"));
        replyJson(res, 200, QJsonObject{{"ok", true}});
    });
    http.Get(api + "/users/me", [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        QJsonObject user;
        if (caller)
            readUser(s, caller->userId, &user) ? replyJson(res, 200, user) : replyError(res, 404, QStringLiteral("not found"));
    });
    http.Patch(api + "/users/me", [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        const auto body = caller ? jsonBody(req, res) : std::nullopt;
        if (!body)
            return;
        QSqlQuery q = s.db->query();
        const QString name = body->value("display_name").toString().trimmed();
        if (body->contains("display_name") && (name.isEmpty() || name.size() > 100))
            return replyError(res, 400, QStringLiteral("display_name must be 1 to 100 characters"));
        if (body->contains("display_name")
            && !s.db->run(q, QStringLiteral("UPDATE users SET display_name = ? WHERE id = ?"), {name, caller->userId}))
            return replyError(res, 503, QStringLiteral("the display name could not be saved; try again"));
        QJsonObject user;
        readUser(s, caller->userId, &user);
        replyJson(res, 200, user);
    });
    http.Post(api + "/users/me/password", [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        const auto body = caller ? jsonBody(req, res) : std::nullopt;
        if (!body)
            return;
        if (!s.signIns.allow(QStringLiteral("password:") + caller->userId))
            return replyError(res, 429, QStringLiteral("too many attempts"));
        QSqlQuery q = s.db->query();
        s.db->run(q, QStringLiteral("SELECT password_hash FROM users WHERE id = ?"), {caller->userId});
        if (!q.next() || !Tokens::verifyPassword(q.value(0).toString(), body->value("current_password").toString()))
            return replyError(res, 403, QStringLiteral("the current password is wrong"));
        const QString next = body->value("new_password").toString();
        if (next.size() < 8 || next.size() > 1024)
            return replyError(res, 400, QStringLiteral("the new password needs 8 to 1024 characters"));
        const QString hash = Tokens::hashPassword(next);
        // Both or neither: a new password that leaves the old sessions open
        // would tell the user they were ended when they were not.
        Tx tx(*s.db);
        if (hash.isEmpty() || !tx.ok()
            || !s.db->run(q, QStringLiteral("UPDATE users SET password_hash = ? WHERE id = ?"), {hash, caller->userId}))
            return replyError(res, 503, QStringLiteral("the password could not be changed; try again"));
        if (!s.db->run(q, QStringLiteral("UPDATE sessions SET revoked = 1 WHERE user_id = ? AND id <> ? AND revoked = 0"),
                       {caller->userId, caller->sessionId}))
            return replyError(res, 503, QStringLiteral("your other sessions could not be ended, so the password was"
                                                       " not changed; try again"));
        const int ended = q.numRowsAffected();
        if (!tx.commit())
            return replyError(res, 503, QStringLiteral("the password could not be changed; try again"));
        replyJson(res, 200, QJsonObject{{"ok", true}, {"sessions_ended", ended}});
    });
    http.Get(api + "/users/me/sessions", [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        if (!caller)
            return;
        QSqlQuery q = s.db->query();
        s.db->run(q, QStringLiteral("SELECT id, user_agent, ip_address, created_at, last_active_at FROM sessions"
                                    " WHERE user_id = ? AND revoked = 0 ORDER BY created_at"), {caller->userId});
        QJsonArray sessions;
        while (q.next())
            sessions.append(QJsonObject{{"id", q.value(0).toString()},
                                        {"user_agent", q.value(1).toString()},
                                        {"ip_address", q.value(2).toString()},
                                        {"created_at", isoTime(q.value(3).toLongLong())},
                                        {"last_active_at", isoTime(q.value(4).toLongLong())},
                                        {"is_current", q.value(0).toString() == caller->sessionId}});
        replyJson(res, 200, QJsonObject{{"sessions", sessions}});
    });
    http.Delete(api + R"(/users/me/sessions/([A-Za-z0-9-]+))", [&s](const httplib::Request &req, httplib::Response &res) {
        const auto caller = requireUser(s, req, res);
        if (!caller)
            return;
        QSqlQuery q = s.db->query();
        if (!s.db->run(q, QStringLiteral("UPDATE sessions SET revoked = 1 WHERE id = ? AND user_id = ? AND revoked = 0"),
                       {pathArg(req, 1), caller->userId}) || q.numRowsAffected() != 1)
            return replyError(res, 404, QStringLiteral("not found"));
        replyJson(res, 200, QJsonObject{{"ok", true}});
    });
}

} // namespace VelmServer
