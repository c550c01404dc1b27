#include "services.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QUrl>

#include <sodium.h>

Q_DECLARE_LOGGING_CATEGORY(lcServer)

namespace VelmServer {

namespace {

constexpr int defaultSeats = 6;
constexpr int maxDeviceName = 100;
constexpr qint64 inviteLifetimeMs = 7LL * 24 * 3600 * 1000;

QString inviteCode()
{
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    QString code;
    for (int i = 0; i < 10; ++i)
        code += QLatin1Char(alphabet[randombytes_uniform(sizeof(alphabet) - 1)]);
    return code;
}

struct GroupRow
{
    QString id, name, ownerId;
    int maxSeats = 0;
};

std::optional<GroupRow> groupOf(Services &s, const QString &userId)
{
    QSqlQuery q = s.db->query();
    if (!s.db->run(q, QStringLiteral("SELECT g.id, g.name, g.owner_id, g.max_seats FROM users u JOIN groups_ g"
                                     " ON g.id = u.group_id WHERE u.id = ?"), {userId}) || !q.next())
        return std::nullopt;
    return GroupRow{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toInt()};
}

QJsonArray members(Services &s, const GroupRow &g)
{
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT id, display_name, email, created_at FROM users WHERE group_id = ?"
                                " ORDER BY created_at"), {g.id});
    QJsonArray list;
    while (q.next())
        list.append(QJsonObject{{"account_id", q.value(0).toString()},
                                {"auth_user_id", q.value(0).toString()},
                                {"display_name", q.value(1).toString()},
                                {"email", q.value(2).toString()},
                                {"role", q.value(0).toString() == g.ownerId ? "owner" : "member"},
                                {"joined_at", isoTime(q.value(3).toLongLong())}});
    return list;
}

QJsonObject invitationJson(QSqlQuery &q)
{
    return QJsonObject{{"id", q.value(0).toString()},
                       {"invited_email", q.value(1).toString()},
                       {"invite_code", q.value(2).toString()},
                       {"status", q.value(3).toString()},
                       {"expires_at", isoTime(q.value(4).toLongLong())}};
}

QJsonArray invitations(Services &s, const GroupRow &g)
{
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT id, invited_email, invite_code, status, expires_at FROM invitations"
                                " WHERE group_id = ? AND status = 'pending' AND expires_at > ? ORDER BY created_at"),
              {g.id, nowMs()});
    QJsonArray list;
    while (q.next())
        list.append(invitationJson(q));
    return list;
}

void profile(Services &s, const Caller &c, httplib::Response &res)
{
    QSqlQuery q = s.db->query();
    if (!s.db->run(q, QStringLiteral("SELECT id, email, display_name, avatar_url, language, timezone, status, created_at"
                                     " FROM users WHERE id = ?"), {c.userId}) || !q.next())
        return replyError(res, 404, QStringLiteral("not found"));
    QJsonObject p{{"id", q.value(0).toString()},       {"email", q.value(1).toString()},
                  {"display_name", q.value(2).toString()}, {"avatar_url", q.value(3).toString()},
                  {"language", q.value(4).toString()}, {"timezone", q.value(5).toString()},
                  {"status", q.value(6).toString()},   {"created_at", isoTime(q.value(7).toLongLong())}};
    if (const auto g = groupOf(s, c.userId))
        p.insert("group", QJsonObject{{"id", g->id},
                                      {"name", g->name},
                                      {"role", g->ownerId == c.userId ? "owner" : "member"},
                                      {"member_count", members(s, *g).size()}});
    replyJson(res, 200, p);
}

void invite(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QString email = body->value("email").toString().trimmed().toLower();
    if (body->contains("email") && (!email.contains('@') || email.size() > maxEmailLength))
        return replyError(res, 400, QStringLiteral("email is not an e-mail address"));
    Tx tx(*s.db);
    QSqlQuery q = s.db->query();
    auto group = groupOf(s, c.userId);
    if (!group) {
        // The first invitation founds the inviter's group.
        group = GroupRow{newId(), QString(), c.userId, defaultSeats};
        s.db->run(q, QStringLiteral("SELECT display_name FROM users WHERE id = ?"), {c.userId});
        group->name = (q.next() ? q.value(0).toString() : QString()) + QStringLiteral("'s group");
        if (!s.db->run(q, QStringLiteral("INSERT INTO groups_ (id, name, owner_id, max_seats, created_at) VALUES (?, ?, ?, ?, ?)"),
                       {group->id, group->name, c.userId, group->maxSeats, nowMs()})
            || !s.db->run(q, QStringLiteral("UPDATE users SET group_id = ? WHERE id = ?"), {group->id, c.userId}))
            return replyError(res, 503, QStringLiteral("try again"));
    } else if (group->ownerId != c.userId) {
        return replyError(res, 403, QStringLiteral("only the group owner can invite"));
    }
    const QString id = newId();
    const qint64 expires = nowMs() + inviteLifetimeMs;
    if (!s.db->run(q, QStringLiteral("INSERT INTO invitations (id, group_id, invited_email, invite_code, status, expires_at,"
                                     " created_at) VALUES (?, ?, ?, ?, 'pending', ?, ?)"),
                   // A code invitation has no e-mail; the column takes "", never NULL.
                   {id, group->id, email.isNull() ? QStringLiteral("") : email, inviteCode(), expires, nowMs()})
        || !s.db->run(q, QStringLiteral("SELECT id, invited_email, invite_code, status, expires_at FROM invitations"
                                        " WHERE id = ?"), {id})
        || !q.next())
        return replyError(res, 503, QStringLiteral("try again"));
    const QJsonObject reply = invitationJson(q);
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 201, reply);
}

void join(Services &s, const Caller &c, const QString &code, httplib::Response &res)
{
    Tx tx(*s.db);
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT i.id, i.group_id, i.invited_email, g.max_seats FROM invitations i"
                                " JOIN groups_ g ON g.id = i.group_id WHERE i.invite_code = ? AND i.status = 'pending'"
                                " AND i.expires_at > ?"), {code.toUpper(), nowMs()});
    if (!q.next())
        return replyError(res, 404, QStringLiteral("no such invitation"));
    const QString invitationId = q.value(0).toString();
    const QString groupId = q.value(1).toString();
    const QString invitedEmail = q.value(2).toString();
    const int seats = q.value(3).toInt();
    s.db->run(q, QStringLiteral("SELECT email, group_id FROM users WHERE id = ?"), {c.userId});
    if (!q.next())
        return replyError(res, 404, QStringLiteral("not found"));
    if (!invitedEmail.isEmpty() && invitedEmail != q.value(0).toString())
        return replyError(res, 404, QStringLiteral("no such invitation"));
    if (!q.value(1).toString().isEmpty())
        return replyError(res, 409, QStringLiteral("leave your current group first"));
    s.db->run(q, QStringLiteral("SELECT COUNT(*) FROM users WHERE group_id = ?"), {groupId});
    if (q.next() && q.value(0).toInt() >= seats)
        return replyError(res, 409, QStringLiteral("the group is full"));
    if (!s.db->run(q, QStringLiteral("UPDATE users SET group_id = ? WHERE id = ?"), {groupId, c.userId})
        || !s.db->run(q, QStringLiteral("UPDATE invitations SET status = 'accepted' WHERE id = ?"), {invitationId})
        || !tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 200, QJsonObject{{"ok", true}, {"group_id", groupId}});
}

// The caller leaves g (the owner dissolves it), inside the caller's transaction.
bool leaveWithin(Services &s, const Caller &c, const GroupRow &g)
{
    QSqlQuery q = s.db->query();
    // Shares exist only inside a group; a dissolved group ends all of them.
    bool ok = true;
    if (g.ownerId == c.userId) {
        ok = s.db->run(q, QStringLiteral("SELECT id FROM users WHERE group_id = ?"), {g.id});
        QStringList members;
        while (ok && q.next())
            members.append(q.value(0).toString());
        for (const QString &member : members)
            ok = ok && dropShares(s, member);
    } else {
        ok = dropShares(s, c.userId);
    }
    // A group never stays without its owner: the owner leaving dissolves it.
    return ok && (g.ownerId == c.userId
        ? s.db->run(q, QStringLiteral("UPDATE users SET group_id = NULL WHERE group_id = ?"), {g.id})
              && s.db->run(q, QStringLiteral("DELETE FROM invitations WHERE group_id = ?"), {g.id})
              && s.db->run(q, QStringLiteral("DELETE FROM groups_ WHERE id = ?"), {g.id})
        : s.db->run(q, QStringLiteral("UPDATE users SET group_id = NULL WHERE id = ?"), {c.userId}));
}

void leave(Services &s, const Caller &c, httplib::Response &res)
{
    const auto g = groupOf(s, c.userId);
    if (!g)
        return replyError(res, 404, QStringLiteral("not in a group"));
    Tx tx(*s.db);
    if (!tx.ok() || !leaveWithin(s, c, *g) || !tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 200, QJsonObject{{"ok", true}});
}

// Removes the account and everything it owns in one transaction; the
// attachment files go once it has committed.
void deleteAccount(Services &s, const Caller &c, httplib::Response &res)
{
    const auto g = groupOf(s, c.userId);
    Tx tx(*s.db);
    QSqlQuery q = s.db->query();
    bool ok = tx.ok() && (!g || leaveWithin(s, c, *g));
    QStringList files;
    const QString owned = QStringLiteral("SELECT id FROM attachments WHERE owner_id = ?"
                                         " OR note_id IN (SELECT id FROM notes WHERE owner_id = ?)");
    ok = ok && s.db->run(q, owned, {c.userId, c.userId});
    while (ok && q.next())
        files.append(q.value(0).toString());
    ok = ok && s.db->run(q, QStringLiteral("DELETE FROM attachment_feed WHERE attachment_id IN (%1)").arg(owned),
                         {c.userId, c.userId})
         && s.db->run(q, QStringLiteral("DELETE FROM attachments WHERE id IN (%1)").arg(owned), {c.userId, c.userId});
    for (const char *sql : {"DELETE FROM attachment_feed WHERE user_id = ?",
                            "DELETE FROM shares WHERE user_id = ?",
                            "DELETE FROM shares WHERE item_id IN (SELECT id FROM notes WHERE owner_id = ?)",
                            "DELETE FROM shares WHERE item_id IN (SELECT id FROM notebooks WHERE owner_id = ?)",
                            "DELETE FROM feed WHERE note_id IN (SELECT id FROM notes WHERE owner_id = ?)",
                            "DELETE FROM feed WHERE user_id = ?", "DELETE FROM notes WHERE owner_id = ?",
                            "DELETE FROM notebooks WHERE owner_id = ?", "DELETE FROM devices WHERE user_id = ?",
                            "DELETE FROM invitations WHERE invited_email = (SELECT email FROM users WHERE id = ?)",
                            "DELETE FROM retired_tokens WHERE session_id IN (SELECT id FROM sessions WHERE user_id = ?)",
                            "DELETE FROM auth_codes WHERE user_id = ?",
                            "DELETE FROM sessions WHERE user_id = ?", "DELETE FROM users WHERE id = ?"})
        ok = ok && s.db->run(q, QString::fromLatin1(sql), {c.userId});
    if (!ok || !tx.commit())
        return replyError(res, 503, QStringLiteral("the account could not be deleted; try again"));
    removeAttachmentContents(s, files);
    qCInfo(lcServer) << "account deleted";
    replyJson(res, 200, QJsonObject{{"ok", true}});
}

} // namespace

// The devices row a request comes from. One row per installation; clients
// that send no installation id fall back to what they do send, which cannot
// tell two installs of one system apart.
QString deviceFingerprint(const Caller &c, const httplib::Request &req)
{
    const QString appId = QString::fromStdString(req.get_header_value("X-App-Id")).left(200);
    const QString installation = QString::fromStdString(req.get_header_value("X-Device-Id")).left(100);
    const QString identity = installation.isEmpty()
        ? c.userId + '\n' + appId + '\n' + QString::fromStdString(req.get_header_value("X-Platform")).left(50) + '\n'
              + QString::fromStdString(req.get_header_value("User-Agent")).left(300)
        : c.userId + QStringLiteral("\ninstallation\n") + installation;
    return QString::fromLatin1(QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

void recordDevice(Services &s, const Caller &c, const httplib::Request &req)
{
    const QString appId = QString::fromStdString(req.get_header_value("X-App-Id")).left(200);
    if (appId.isEmpty())
        return;
    const QString platform = QString::fromStdString(req.get_header_value("X-Platform")).left(50);
    const QString version = QString::fromStdString(req.get_header_value("X-App-Version")).left(50);
    const QString hostName = QUrl::fromPercentEncoding(QByteArray::fromStdString(req.get_header_value("X-Device-Name")))
                                 .simplified().left(maxDeviceName);
    const QString fingerprint = deviceFingerprint(c, req);
    const qint64 now = nowMs();
    QSqlQuery q = s.db->query();
    // The name is set once: the user may have renamed the device since.
    s.db->run(q, QStringLiteral("UPDATE devices SET last_sync_at = ?, app_version = ?, platform = ? WHERE user_id = ?"
                                " AND device_fingerprint = ?"),
              {now, version, platform, c.userId, fingerprint});
    if (q.numRowsAffected() == 0) {
        const QString name = !hostName.isEmpty() ? hostName : platform.isEmpty() ? appId : platform;
        s.db->run(q, QStringLiteral("INSERT INTO devices (id, user_id, device_name, platform, app_id, app_version,"
                                    " device_fingerprint, last_sync_at, created_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                  {newId(), c.userId, name, platform, appId, version, fingerprint, now, now});
    }
}

void addAccountRoutes(httplib::Server &http, Services &s)
{
    const std::string base = "/account/v1";
    http.Get(base + "/profile", authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        profile(s, c, res);
    }));
    http.Delete(base + "/profile", authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        deleteAccount(s, c, res);
    }));
    http.Get(base + "/devices", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        const QString mine = deviceFingerprint(c, req);
        QSqlQuery q = s.db->query();
        s.db->run(q, QStringLiteral("SELECT id, device_name, platform, app_id, app_version, last_sync_at,"
                                    " device_fingerprint, created_at FROM devices WHERE user_id = ? ORDER BY created_at"),
                  {c.userId});
        QJsonArray devices;
        while (q.next())
            devices.append(QJsonObject{{"id", q.value(0).toString()},           {"device_name", q.value(1).toString()},
                                       {"platform", q.value(2).toString()},     {"app_id", q.value(3).toString()},
                                       {"app_version", q.value(4).toString()},  {"last_sync_at", isoTime(q.value(5).toLongLong())},
                                       {"device_fingerprint", q.value(6).toString()},
                                       {"created_at", isoTime(q.value(7).toLongLong())},
                                       {"is_current", q.value(6).toString() == mine}});
        replyJson(res, 200, QJsonObject{{"devices", devices}});
    }));
    http.Delete(base + R"(/devices/([A-Za-z0-9-]+))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        QSqlQuery q = s.db->query();
        if (!s.db->run(q, QStringLiteral("DELETE FROM devices WHERE id = ? AND user_id = ?"), {pathArg(req, 1), c.userId})
            || q.numRowsAffected() != 1)
            return replyError(res, 404, QStringLiteral("not found"));
        replyJson(res, 200, QJsonObject{{"ok", true}});
    }));
    http.Patch(base + R"(/devices/([A-Za-z0-9-]+))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        const auto body = jsonBody(req, res);
        if (!body)
            return;
        const QString name = body->value("device_name").toString().simplified();
        if (name.isEmpty() || name.size() > maxDeviceName)
            return replyError(res, 400, QStringLiteral("device_name must be 1 to %1 characters").arg(maxDeviceName));
        QSqlQuery q = s.db->query();
        if (!s.db->run(q, QStringLiteral("UPDATE devices SET device_name = ? WHERE id = ? AND user_id = ?"),
                       {name, pathArg(req, 1), c.userId}))
            return replyError(res, 503, QStringLiteral("try again"));
        if (q.numRowsAffected() != 1)
            return replyError(res, 404, QStringLiteral("not found"));
        replyJson(res, 200, QJsonObject{{"ok", true}, {"device_name", name}});
    }));
    http.Get(base + "/group", authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        const auto g = groupOf(s, c.userId);
        if (!g)
            return replyError(res, 404, QStringLiteral("not in a group"));
        replyJson(res, 200, QJsonObject{{"id", g->id}, {"name", g->name}, {"max_seats", g->maxSeats},
                                        {"members", members(s, *g)}, {"pending_invitations", invitations(s, *g)}});
    }));
    http.Get(base + "/group/members", authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        const auto g = groupOf(s, c.userId);
        g ? replyJson(res, 200, QJsonObject{{"members", members(s, *g)}}) : replyError(res, 404, QStringLiteral("not in a group"));
    }));
    http.Get(base + "/group/invitations", authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        const auto g = groupOf(s, c.userId);
        g ? replyJson(res, 200, QJsonObject{{"invitations", invitations(s, *g)}}) : replyError(res, 404, QStringLiteral("not in a group"));
    }));
    http.Post(base + "/group/invite", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        invite(s, c, req, res);
    }));
    http.Post(base + R"(/group/join/([A-Za-z0-9]{1,64}))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        join(s, c, pathArg(req, 1), res);
    }));
    http.Post(base + "/group/leave", authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        leave(s, c, res);
    }));
    http.Delete(base + R"(/group/members/([A-Za-z0-9-]+))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        const auto g = groupOf(s, c.userId);
        const QString member = pathArg(req, 1);
        if (!g || g->ownerId != c.userId || member == c.userId)
            return replyError(res, 404, QStringLiteral("not found"));
        Tx tx(*s.db);
        QSqlQuery q = s.db->query();
        if (!s.db->run(q, QStringLiteral("UPDATE users SET group_id = NULL WHERE id = ? AND group_id = ?"), {member, g->id})
            || q.numRowsAffected() != 1)
            return replyError(res, 404, QStringLiteral("not found"));
        if (!dropShares(s, member) || !tx.commit())
            return replyError(res, 503, QStringLiteral("try again"));
        replyJson(res, 200, QJsonObject{{"ok", true}});
    }));
    http.Delete(base + R"(/group/invitations/([A-Za-z0-9-]+))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        const auto g = groupOf(s, c.userId);
        QSqlQuery q = s.db->query();
        if (!g || g->ownerId != c.userId
            || !s.db->run(q, QStringLiteral("UPDATE invitations SET status = 'revoked' WHERE id = ? AND group_id = ?"),
                          {pathArg(req, 1), g->id})
            || q.numRowsAffected() != 1)
            return replyError(res, 404, QStringLiteral("not found"));
        replyJson(res, 200, QJsonObject{{"ok", true}});
    }));
}

} // namespace VelmServer
