#include "services.h"

#include <QJsonArray>
#include <QLoggingCategory>
#include <QUrl>

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
             hidden("client_id"), hidden("redirect_uri"), hidden("state"), param(req, "email").toHtmlEscaped());
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Frame-Options", "DENY");
    res.set_content(html.toStdString(), "text/html; charset=utf-8");
}

QString createUser(Services &s, const QString &email, const QString &password, int *status)
{
    if (!email.contains('@') || email.size() > 254) {
        *status = 400;
        return QStringLiteral("Enter a valid e-mail address.");
    }
    if (password.size() < 8) {
        *status = 400;
        return QStringLiteral("Choose a password of at least 8 characters.");
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
    const QString redirect = param(req, "redirect_uri");
    if (param(req, "client_id").isEmpty() || !isLoopbackCallback(redirect)) {
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
    const auto tokens = openSession(s, q.value(0).toString(), req);
    if (!tokens) {
        loginPage(res, 500, req, QStringLiteral("Sign-in failed; try again."));
        return;
    }
    QString query = QStringLiteral("access_token=%1&refresh_token=%2")
                        .arg(QString::fromLatin1(QUrl::toPercentEncoding(tokens->first)),
                             QString::fromLatin1(QUrl::toPercentEncoding(tokens->second)));
    const QString state = param(req, "state");
    if (!state.isEmpty())
        query += QStringLiteral("&state=") + QString::fromLatin1(QUrl::toPercentEncoding(state));
    res.set_header("Cache-Control", "no-store");
    res.set_redirect((redirect + '?' + query).toStdString(), 302);
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

void refresh(Services &s, const httplib::Request &req, httplib::Response &res)
{
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QString token = body->value("refresh_token").toString();
    const QString sessionId = token.section('.', 0, 0);
    const QString hash = Tokens::hashSecret(token.section('.', 1).toLatin1());
    const qint64 now = nowMs();
    Tx tx(*s.db);
    QSqlQuery q = s.db->query();
    if (!tx.ok() || !s.db->run(q, QStringLiteral("SELECT user_id, token_hash, prev_hash, prev_until FROM sessions"
                                                 " WHERE id = ? AND revoked = 0"), {sessionId})) {
        replyError(res, 503, QStringLiteral("try again"));
        return;
    }
    if (!q.next()) {
        replyError(res, 401, QStringLiteral("invalid refresh token"));
        return;
    }
    const QString userId = q.value(0).toString();
    const bool current = q.value(1).toString() == hash;
    // The previous token stays good briefly, so a lost reply does not sign the user out.
    const bool previous = !current && q.value(2).toString() == hash && now < q.value(3).toLongLong();
    if (!current && !previous) {
        replyError(res, 401, QStringLiteral("invalid refresh token"));
        return;
    }
    const QByteArray secret = Tokens::randomSecret();
    const bool written = current
        ? s.db->run(q, QStringLiteral("UPDATE sessions SET prev_hash = token_hash, prev_until = ?, token_hash = ?,"
                                      " last_active_at = ? WHERE id = ?"),
                    {now + 60000, Tokens::hashSecret(secret), now, sessionId})
        : s.db->run(q, QStringLiteral("UPDATE sessions SET token_hash = ?, last_active_at = ? WHERE id = ?"),
                    {Tokens::hashSecret(secret), now, sessionId});
    if (!written || !tx.commit()) {
        replyError(res, 503, QStringLiteral("try again"));
        return;
    }
    QString groupId;
    const QString role = groupRole(s, userId, &groupId);
    replyJson(res, 200, QJsonObject{{"access_token", s.tokens.issueAccess(userId, sessionId, groupId, role)},
                                    {"refresh_token", sessionId + '.' + QString::fromLatin1(secret)},
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
        if (body->contains("display_name")
            && (name.isEmpty() || name.size() > 100
                || !s.db->run(q, QStringLiteral("UPDATE users SET display_name = ? WHERE id = ?"), {name, caller->userId})))
            return replyError(res, 400, QStringLiteral("display_name must be 1 to 100 characters"));
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
        if (next.size() < 8)
            return replyError(res, 400, QStringLiteral("the new password needs at least 8 characters"));
        if (!s.db->run(q, QStringLiteral("UPDATE users SET password_hash = ? WHERE id = ?"),
                       {Tokens::hashPassword(next), caller->userId}))
            return replyError(res, 503, QStringLiteral("try again"));
        // Every other session ends with the old password.
        s.db->run(q, QStringLiteral("UPDATE sessions SET revoked = 1 WHERE user_id = ? AND id <> ?"),
                  {caller->userId, caller->sessionId});
        replyJson(res, 200, QJsonObject{{"ok", true}});
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
