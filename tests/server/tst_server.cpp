#include "serverharness.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QUuid>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace VelmServerTest;

namespace {

QString uuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QJsonObject jwtPayload(const QString &token)
{
    return QJsonDocument::fromJson(QByteArray::fromBase64(token.section('.', 1, 1).toLatin1(),
                                                          QByteArray::Base64UrlEncoding)).object();
}

QJsonObject noteChange(const QString &id, qint64 version, const QString &body, const QJsonValue &base = {},
                       const QString &notebookId = {})
{
    QJsonObject data{{"body", body}, {"created_at", 1000}, {"updated_at", 2000}, {"modified_at", 3000}};
    if (!notebookId.isEmpty())
        data.insert("notebook_id", notebookId);
    QJsonObject change{{"entity_type", "note"}, {"entity_id", id}, {"action", "update"}, {"version", version}, {"data", data}};
    if (!base.isUndefined())
        change.insert("base_version", base);
    return change;
}

Api::Reply push(const Api &api, const QJsonArray &changes)
{
    return api.call("POST", "/notes/v1/sync/push", QJsonObject{{"changes", changes}});
}

// Pulls every page from since; returns the changes by id and the final cursor.
QHash<QString, QJsonObject> pullAll(const Api &api, qint64 *since, int *pages = nullptr)
{
    QHash<QString, QJsonObject> seen;
    for (int page = 1;; ++page) {
        const auto r = api.call("GET", "/notes/v1/sync/pull?since=" + std::to_string(*since));
        if (r.status != 200)
            return {};
        for (const QJsonValue &v : r.json.value("changes").toArray())
            seen.insert(v.toObject().value("id").toString(), v.toObject());
        *since = r.json.value("timestamp").toInteger();
        if (pages)
            *pages = page;
        if (!r.json.value("has_more").toBool())
            return seen;
    }
}

} // namespace

class TestServer : public QObject
{
    Q_OBJECT
public:
    bool postgres = false;

private:
    Api newUser(const char *name = "user")
    {
        const QString email = QStringLiteral("%1%2@example.org").arg(QLatin1String(name)).arg(++m_users);
        const Tokens t = m_h->signIn(email, true);
        return Api{m_h->port(), t.access, t.refresh};
    }
    QString email(const Api &api) const { return api.call("GET", "/account/v1/profile").json.value("email").toString(); }
    QString idOf(const Api &api) const { return jwtPayload(api.token).value("sub").toString(); }
    // Two users in one group, the first its owner.
    std::pair<Api, Api> group()
    {
        Api owner = newUser("owner"), member = newUser("member");
        const auto invite = owner.call("POST", "/account/v1/group/invite");
        member.call("POST", "/account/v1/group/join/" + invite.json.value("invite_code").toString().toStdString());
        return {owner, member};
    }

    std::unique_ptr<PgCluster> m_pg;
    std::unique_ptr<Harness> m_h;
    int m_users = 0;

private slots:
    void initTestCase()
    {
        QString error;
        if (postgres) {
            m_pg = std::make_unique<PgCluster>();
            QVERIFY2(m_pg->start(&error), qPrintable("PostgreSQL did not start: " + error));
        }
        m_h = std::make_unique<Harness>();
        QVERIFY2(m_h->start(postgres ? m_pg->url() : QString(), &error), qPrintable(error));
    }

    void cleanupTestCase()
    {
        m_h.reset();
        m_pg.reset();
    }

    void loginPageAcceptsOnlyLoopbackCallbacks_data()
    {
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<int>("status");
        QTest::newRow("localhost") << "http://localhost:19876/callback" << 200;
        QTest::newRow("127.0.0.1") << "http://127.0.0.1:5000/callback" << 200;
        QTest::newRow("other host") << "http://evil.example:19876/callback" << 400;
        QTest::newRow("https") << "https://localhost:19876/callback" << 400;
        QTest::newRow("no port") << "http://localhost/callback" << 400;
        QTest::newRow("other path") << "http://localhost:19876/steal" << 400;
        QTest::newRow("query") << "http://localhost:19876/callback?next=x" << 400;
        QTest::newRow("user info") << "http://evil@localhost:19876/callback" << 400;
    }
    void loginPageAcceptsOnlyLoopbackCallbacks()
    {
        QFETCH(QString, redirect);
        QFETCH(int, status);
        const std::string path = "/velmora/account/login?client_id=c&state=%3Cb%3E&redirect_uri="
                                 + QUrl::toPercentEncoding(redirect).toStdString();
        const auto res = m_h->client()->Get(path);
        QVERIFY(res);
        QCOMPARE(res->status, status);
        if (status == 200) {
            QVERIFY(res->body.find("Create account") != std::string::npos);
            QVERIFY(res->body.find("value=\"&lt;b&gt;\"") != std::string::npos);
        }
        const std::string email = QTest::currentDataTag() + std::string("@example.org");
        httplib::Params form{{"client_id", "c"}, {"redirect_uri", redirect.toStdString()}, {"email", email},
                             {"password", "whatever1"}, {"action", "signup"}};
        const auto post = m_h->client()->Post("/velmora/account/login", form);
        QCOMPARE(post->status == 302, status == 200);
    }

    void signUpThenSignIn()
    {
        const Tokens t = m_h->signIn("new@example.org", true);
        QCOMPARE(t.state, QStringLiteral("state 1"));
        const QJsonObject claims = jwtPayload(t.access);
        QVERIFY(!claims.value("sub").toString().isEmpty());
        const qint64 ttl = claims.value("exp").toInteger() - QDateTime::currentSecsSinceEpoch();
        QVERIFY(ttl > 880 && ttl <= 900);
        QVERIFY(claims.value("custom").toObject().value("vlm").isObject());
        int status = 0;
        m_h->signIn("new@example.org", true, &status);
        QCOMPARE(status, 409);
        m_h->signIn("new@example.org", false, &status, "wrong password");
        QCOMPARE(status, 401);
        const Tokens again = m_h->signIn("NEW@example.org", false, &status);
        QCOMPARE(status, 302);
        QCOMPARE(Api({m_h->port(), again.access}).call("GET", "/api/v1/realms/velmora/users/me").json.value("email").toString(),
                 QStringLiteral("new@example.org"));
    }

    void signInAttemptsAreLimited()
    {
        Harness limited;
        QString error;
        QVERIFY2(limited.start(postgres ? m_pg->url() : QString(), &error, 3), qPrintable(error));
        int status = 0;
        for (int i = 0; i < 3; ++i) {
            limited.signIn("limit@example.org", false, &status, "bad password");
            QCOMPARE(status, 401);
        }
        limited.signIn("limit@example.org", false, &status, "bad password");
        QCOMPARE(status, 429);
    }

    void refreshRotatesWithGraceForThePreviousToken()
    {
        const Tokens t = m_h->signIn("rotate@example.org", true);
        const Api anon{m_h->port(), {}};
        const auto refresh = [&anon](const QString &token) {
            return anon.call("POST", "/api/v1/realms/velmora/auth/token/refresh", QJsonObject{{"refresh_token", token}});
        };
        const auto r1 = refresh(t.refresh);
        QCOMPARE(r1.status, 200);
        QVERIFY(r1.json.value("refresh_token").toString() != t.refresh);
        QVERIFY(!r1.json.value("access_token").toString().isEmpty());
        // A lost reply: the previous token still works once more within its grace.
        const auto r2 = refresh(t.refresh);
        QCOMPARE(r2.status, 200);
        QCOMPARE(refresh(r1.json.value("refresh_token").toString()).status, 401);
        const auto r3 = refresh(r2.json.value("refresh_token").toString());
        QCOMPARE(r3.status, 200);
        QCOMPARE(refresh(t.refresh).status, 401);
        QCOMPARE(refresh("not-a-token").status, 401);

        const Api user{m_h->port(), r3.json.value("access_token").toString()};
        QCOMPARE(user.call("POST", "/api/v1/realms/velmora/auth/logout").status, 200);
        QCOMPARE(user.call("GET", "/api/v1/realms/velmora/users/me").status, 401);
        QCOMPARE(refresh(r3.json.value("refresh_token").toString()).status, 401);
    }

    void userProfilePasswordAndSessions()
    {
        const Tokens first = m_h->signIn("me@example.org", true);
        const Tokens second = m_h->signIn("me@example.org", false);
        const Api me{m_h->port(), first.access};
        const std::string base = "/api/v1/realms/velmora/users/me";
        const auto patched = me.call("PATCH", base, QJsonObject{{"display_name", "Mia"}});
        QCOMPARE(patched.json.value("display_name").toString(), QStringLiteral("Mia"));
        for (const char *key : {"id", "email", "username", "avatar_url", "created_at"})
            QVERIFY2(patched.json.contains(QLatin1String(key)), key);
        QCOMPARE(me.call("PATCH", base, QJsonObject{{"display_name", ""}}).status, 400);

        const auto sessions = me.call("GET", base + "/sessions").json.value("sessions").toArray();
        QCOMPARE(sessions.size(), 2);
        QString other;
        for (const QJsonValue &s : sessions)
            if (!s.toObject().value("is_current").toBool())
                other = s.toObject().value("id").toString();
        QVERIFY(!other.isEmpty());
        QCOMPARE(newUser().call("DELETE", base + "/sessions/" + other.toStdString()).status, 404);
        QCOMPARE(me.call("DELETE", base + "/sessions/" + other.toStdString()).status, 200);
        QCOMPARE(Api({m_h->port(), second.access}).call("GET", base).status, 401);

        QCOMPARE(me.call("POST", base + "/password", QJsonObject{{"current_password", "nope"}, {"new_password", "new secret 1"}}).status, 403);
        QCOMPARE(me.call("POST", base + "/password", QJsonObject{{"current_password", "correct horse"}, {"new_password", "new secret 1"}}).status, 200);
        int status = 0;
        m_h->signIn("me@example.org", false, &status);
        QCOMPARE(status, 401);
        m_h->signIn("me@example.org", false, &status, "new secret 1");
        QCOMPARE(status, 302);
    }

    void groupsInvitesAndDevices()
    {
        Api owner = newUser("owner");
        Api member = newUser("member");
        QCOMPARE(owner.call("GET", "/account/v1/group").status, 404);
        QVERIFY(!owner.call("GET", "/account/v1/profile").json.contains("group"));
        const auto code = owner.call("POST", "/account/v1/group/invite");
        QCOMPARE(code.status, 201);
        QVERIFY(!code.json.value("invite_code").toString().isEmpty());
        const auto byMail = owner.call("POST", "/account/v1/group/invite", QJsonObject{{"email", "someone@example.org"}});
        QCOMPARE(byMail.json.value("invited_email").toString(), QStringLiteral("someone@example.org"));
        QCOMPARE(member.call("POST", "/account/v1/group/join/" + byMail.json.value("invite_code").toString().toStdString()).status, 404);
        QCOMPARE(member.call("POST", "/account/v1/group/join/" + code.json.value("invite_code").toString().toStdString()).status, 200);
        QCOMPARE(member.call("POST", "/account/v1/group/invite").status, 403);

        const QJsonObject group = owner.call("GET", "/account/v1/group").json;
        QCOMPARE(group.value("members").toArray().size(), 2);
        QCOMPARE(group.value("pending_invitations").toArray().size(), 1);
        QVERIFY(group.value("max_seats").toInt() >= 2);
        const QJsonObject profile = member.call("GET", "/account/v1/profile").json;
        QCOMPARE(profile.value("group").toObject().value("member_count").toInt(), 2);
        QCOMPARE(profile.value("group").toObject().value("role").toString(), QStringLiteral("member"));

        // Claims follow the group after a refresh.
        const auto refreshed = Api{m_h->port(), {}}.call("POST", "/api/v1/realms/velmora/auth/token/refresh",
                                                         QJsonObject{{"refresh_token", owner.refresh}});
        const QJsonObject vlm = jwtPayload(refreshed.json.value("access_token").toString()).value("custom").toObject().value("vlm").toObject();
        QCOMPARE(vlm.value("group_id").toString(), group.value("id").toString());
        QCOMPARE(vlm.value("role").toString(), QStringLiteral("owner"));

        member.call("GET", "/notes/v1/sync/pull", {}, {{"X-App-Id", "org.velmora.notes"}, {"X-App-Version", "1.0.4"}, {"X-Platform", "linux"}});
        const auto devices = member.call("GET", "/account/v1/devices").json.value("devices").toArray();
        QCOMPARE(devices.size(), 1);
        QCOMPARE(devices[0].toObject().value("platform").toString(), QStringLiteral("linux"));
        QCOMPARE(devices[0].toObject().value("app_version").toString(), QStringLiteral("1.0.4"));
        const std::string device = "/account/v1/devices/" + devices[0].toObject().value("id").toString().toStdString();
        QCOMPARE(owner.call("DELETE", device).status, 404);
        QCOMPARE(member.call("DELETE", device).status, 200);

        const std::string invitation = "/account/v1/group/invitations/" + byMail.json.value("id").toString().toStdString();
        QCOMPARE(owner.call("DELETE", invitation).status, 200);
        QCOMPARE(member.call("POST", "/account/v1/group/leave").status, 200);
        QCOMPARE(owner.call("GET", "/account/v1/group").json.value("members").toArray().size(), 1);

        QCOMPARE(member.call("DELETE", "/account/v1/profile").status, 200);
        QCOMPARE(member.call("GET", "/account/v1/profile").status, 401);
        int status = 0;
        m_h->signIn(email(owner), false, &status);
        QCOMPARE(status, 302);
    }

    void notebooks()
    {
        Api a = newUser(), b = newUser();
        const QString id = uuid();
        const std::string path = "/notes/v1/notebooks/" + id.toStdString();
        const auto created = a.call("POST", "/notes/v1/notebooks", QJsonObject{{"id", id}, {"name", "Work"}});
        QCOMPARE(created.status, 201);
        QCOMPARE(created.json.value("version").toInt(), 1);
        QCOMPARE(a.call("POST", "/notes/v1/notebooks", QJsonObject{{"id", id}, {"name", "Work"}}).status, 200);
        QCOMPARE(a.call("PUT", path, QJsonObject{{"name", "Jobs"}, {"version", 1}}).json.value("version").toInt(), 2);
        QCOMPARE(a.call("PUT", "/notes/v1/notebooks/" + uuid().toStdString(), QJsonObject{{"name", "x"}}).status, 404);

        const QJsonArray list = a.call("GET", "/notes/v1/notebooks").json.value("notebooks").toArray();
        QCOMPARE(list.size(), 1);
        const QJsonObject nb = list[0].toObject();
        QCOMPARE(nb.value("name").toString(), QStringLiteral("Jobs"));
        QCOMPARE(nb.value("is_shared").toBool(true), false);
        for (const char *key : {"id", "is_default", "version", "created_at", "updated_at"})
            QVERIFY2(nb.contains(QLatin1String(key)), key);
        QVERIFY(nb.value("created_at").isDouble());

        QCOMPARE(b.call("GET", "/notes/v1/notebooks").json.value("notebooks").toArray().size(), 0);
        QCOMPARE(a.call("DELETE", path).status, 200);
        QCOMPARE(a.call("GET", "/notes/v1/notebooks").json.value("notebooks").toArray().size(), 0);
        QCOMPARE(a.call("DELETE", path).status, 404);
    }

    void conflicts_data()
    {
        QTest::addColumn<QJsonValue>("base");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("status");
        QTest::newRow("base matches") << QJsonValue(1) << 1 << "ok";
        QTest::newRow("base is stale") << QJsonValue(0) << 9 << "conflict";
        QTest::newRow("base null, newer version") << QJsonValue() << 5 << "ok";
        QTest::newRow("no base, newer version") << QJsonValue(QJsonValue::Undefined) << 2 << "ok";
        QTest::newRow("no base, same version") << QJsonValue(QJsonValue::Undefined) << 1 << "conflict";
        QTest::newRow("no base, older version") << QJsonValue(QJsonValue::Undefined) << 0 << "conflict";
    }
    void conflicts()
    {
        QFETCH(QJsonValue, base);
        QFETCH(int, version);
        QFETCH(QString, status);
        const Api a = newUser();
        const QString id = uuid();
        QCOMPARE(push(a, {noteChange(id, 1, "[]")}).json.value("results")[0].toObject().value("version").toInt(), 1);
        const QJsonObject result = push(a, {noteChange(id, version, "second", base)}).json.value("results")[0].toObject();
        QCOMPARE(result.value("entity_id").toString(), id);
        QCOMPARE(result.value("status").toString(), status);
        QCOMPARE(result.contains("message"), status == "conflict");
        qint64 since = 0;
        const QJsonObject stored = pullAll(a, &since).value(id);
        QCOMPARE(stored.value("version").toInt(), status == "ok" ? 2 : 1);
        QCOMPARE(stored.value("body").toString(), status == "ok" ? QStringLiteral("second") : QStringLiteral("[]"));
    }

    void deletionsArePulledAsTombstones()
    {
        const Api a = newUser();
        const QString id = uuid();
        push(a, {noteChange(id, 1, "body")});
        qint64 since = 0;
        const QJsonObject live = pullAll(a, &since).value(id);
        for (const char *key : {"notebook_id", "created_at", "updated_at", "modified_at", "owner_id", "is_shared", "permission"})
            QVERIFY2(live.contains(QLatin1String(key)), key);
        QVERIFY(live.value("deleted_at").isNull());
        QCOMPARE(live.value("permission").toString(), QStringLiteral("owner"));
        QCOMPARE(live.value("created_at").toInteger(), 1000);

        QJsonObject del = noteChange(id, 2, "body", 1);
        del.insert("action", "delete");
        QJsonObject data = del.value("data").toObject();
        data.insert("deleted_at", 4242);
        del.insert("data", data);
        QCOMPARE(push(a, {del}).json.value("results")[0].toObject().value("status").toString(), QStringLiteral("ok"));
        const auto changes = pullAll(a, &since);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.value(id).value("deleted_at").toInteger(), 4242);
        QCOMPARE(changes.value(id).value("version").toInt(), 2);
    }

    void sharesGiveViewAndEditAccess()
    {
        auto [owner, member] = group();
        const Api stranger = newUser();
        const QString note = uuid();
        push(owner, {noteChange(note, 1, "mine")});
        const std::string shares = "/notes/v1/shares/notes/" + note.toStdString();
        QCOMPARE(owner.call("POST", shares, QJsonObject{{"account_id", idOf(stranger)}, {"permission", "view"}}).status, 400);
        QCOMPARE(member.call("POST", shares, QJsonObject{{"account_id", idOf(member)}, {"permission", "edit"}}).status, 404);
        QCOMPARE(owner.call("POST", shares, QJsonObject{{"account_id", idOf(member)}, {"auth_user_id", idOf(member)},
                                                        {"permission", "view"}}).status, 201);
        const QJsonArray listed = owner.call("GET", shares).json.value("shares").toArray();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed[0].toObject().value("shared_with_account_id").toString(), idOf(member));
        QCOMPARE(listed[0].toObject().value("shared_with_email").toString(), email(member));
        QVERIFY(listed[0].toObject().value("created_at").toInteger() > 0);

        qint64 since = 0;
        QJsonObject seen = pullAll(member, &since).value(note);
        QCOMPARE(seen.value("is_shared").toBool(), true);
        QCOMPARE(seen.value("permission").toString(), QStringLiteral("view"));
        QCOMPARE(seen.value("owner_id").toString(), idOf(owner));
        QCOMPARE(push(member, {noteChange(note, 2, "theirs", 1)}).json.value("results")[0].toObject().value("status").toString(),
                 QStringLiteral("error"));

        owner.call("POST", shares, QJsonObject{{"account_id", idOf(member)}, {"permission", "edit"}});
        QCOMPARE(push(member, {noteChange(note, 2, "theirs", 1)}).json.value("results")[0].toObject().value("status").toString(),
                 QStringLiteral("ok"));
        qint64 ownerSince = 0;
        QCOMPARE(pullAll(owner, &ownerSince).value(note).value("body").toString(), QStringLiteral("theirs"));

        QCOMPARE(owner.call("DELETE", shares + "/" + idOf(member).toStdString()).status, 200);
        seen = pullAll(member, &since).value(note);
        QVERIFY(!seen.value("deleted_at").isNull());
        QCOMPARE(seen.value("body").toString(), QStringLiteral("[]"));

        // A shared notebook brings its notes and itself.
        const QString nb = uuid(), inside = uuid();
        owner.call("POST", "/notes/v1/notebooks", QJsonObject{{"id", nb}, {"name", "Team"}});
        push(owner, {noteChange(inside, 1, "team note", {}, nb)});
        const std::string nbShares = "/notes/v1/notebooks/" + nb.toStdString();
        QCOMPARE(owner.call("POST", nbShares + "/share", QJsonObject{{"account_id", idOf(member)}, {"permission", "view"}}).status, 201);
        QCOMPARE(owner.call("GET", nbShares + "/shares").json.value("shares").toArray().size(), 1);
        const QJsonArray notebooks = member.call("GET", "/notes/v1/notebooks").json.value("notebooks").toArray();
        QCOMPARE(notebooks.size(), 1);
        QCOMPARE(notebooks[0].toObject().value("is_shared").toBool(), true);
        QCOMPARE(pullAll(member, &since).value(inside).value("permission").toString(), QStringLiteral("view"));
        QCOMPARE(owner.call("DELETE", nbShares + "/shares/" + idOf(member).toStdString()).status, 200);
        QCOMPARE(member.call("GET", "/notes/v1/notebooks").json.value("notebooks").toArray().size(), 0);

        // Leaving the group ends the shares it allowed.
        owner.call("POST", shares, QJsonObject{{"account_id", idOf(member)}, {"permission", "edit"}});
        QVERIFY(pullAll(member, &since).value(note).value("deleted_at").isNull());
        QCOMPARE(member.call("POST", "/account/v1/group/leave").status, 200);
        QVERIFY(!pullAll(member, &since).value(note).value("deleted_at").isNull());
        QCOMPARE(owner.call("GET", shares).json.value("shares").toArray().size(), 0);
    }

    void otherUsersIdsAreNotFound()
    {
        const Api a = newUser(), b = newUser();
        const QString note = uuid(), nb = uuid(), att = uuid();
        push(a, {noteChange(note, 1, "secret")});
        a.call("POST", "/notes/v1/notebooks", QJsonObject{{"id", nb}, {"name", "Private"}});
        httplib::Headers auth{{"Authorization", "Bearer " + a.token.toStdString()}};
        httplib::MultipartFormDataItems parts{{"note_id", note.toStdString(), "", ""}, {"id", att.toStdString(), "", ""},
                                              {"file", "data", "a.txt", "text/plain"}};
        QCOMPARE(m_h->client()->Post("/notes/v1/attachments", auth, parts)->status, 201);

        const struct { const char *method; std::string path; } requests[] = {
            {"PUT", "/notes/v1/notebooks/" + nb.toStdString()},
            {"DELETE", "/notes/v1/notebooks/" + nb.toStdString()},
            {"GET", "/notes/v1/notebooks/" + nb.toStdString() + "/shares"},
            {"GET", "/notes/v1/shares/notes/" + note.toStdString()},
            {"POST", "/notes/v1/shares/notes/" + note.toStdString()},
            {"GET", "/notes/v1/attachments/" + att.toStdString()},
            {"POST", "/notes/v1/notebooks"},
        };
        for (const auto &r : requests) {
            const auto reply = b.call(r.method, r.path, QJsonObject{{"id", nb}, {"name", "mine now"}, {"account_id", idOf(b)}, {"permission", "edit"}});
            QVERIFY2(reply.status == 404 && reply.json.value("error").isString(), (r.method + (" " + r.path)).c_str());
        }
        const QJsonObject result = push(b, {noteChange(note, 9, "stolen")}).json.value("results")[0].toObject();
        QCOMPARE(result.value("status").toString(), QStringLiteral("error"));
        qint64 since = 0;
        QVERIFY(!pullAll(b, &since).contains(note));
        QCOMPARE(b.call("GET", "/notes/v1/attachments").json.value("attachments").toArray().size(), 0);
        QCOMPARE(pullAll(a, &since).value(note).value("body").toString(), QStringLiteral("secret"));
    }

    void attachmentsUploadListDownload()
    {
        const Api a = newUser();
        const QString note = uuid(), att = uuid();
        push(a, {noteChange(note, 1, "with file")});
        httplib::Headers auth{{"Authorization", "Bearer " + a.token.toStdString()}};
        const std::string bytes("\x00\x01binary\xff", 9);
        const auto upload = [&](const std::string &id, const std::string &noteId, const std::string &content) {
            httplib::MultipartFormDataItems parts{{"note_id", noteId, "", ""}, {"id", id, "", ""},
                                                  {"file", content, "pic.png", "image/png"}};
            return m_h->client()->Post("/notes/v1/attachments", auth, parts)->status;
        };
        QCOMPARE(upload("../escape", note.toStdString(), bytes), 400);
        QCOMPARE(upload(att.toStdString(), uuid().toStdString(), bytes), 404);
        QCOMPARE(upload(att.toStdString(), note.toStdString(), std::string(1536 * 1024, 'x')), 413);
        QCOMPARE(upload(att.toStdString(), note.toStdString(), bytes), 201);

        const auto list = a.call("GET", "/notes/v1/attachments?since=0");
        const QJsonArray items = list.json.value("attachments").toArray();
        QCOMPARE(items.size(), 1);
        const QJsonObject item = items[0].toObject();
        QCOMPARE(item.value("id").toString(), att);
        QCOMPARE(item.value("note_id").toString(), note);
        QCOMPARE(item.value("filename").toString(), QStringLiteral("pic.png"));
        QCOMPARE(item.value("mime_type").toString(), QStringLiteral("image/png"));
        QCOMPARE(item.value("size_bytes").toInt(), 9);
        QVERIFY(item.value("created_at").toInteger() > 0);
        const qint64 stamp = list.json.value("timestamp").toInteger();
        QCOMPARE(a.call("GET", "/notes/v1/attachments?since=" + std::to_string(stamp)).json.value("attachments").toArray().size(), 0);

        const auto raw = m_h->client()->Get("/notes/v1/attachments/" + att.toStdString(), auth);
        QCOMPARE(raw->status, 200);
        QVERIFY(raw->body == bytes);
        QCOMPARE(raw->get_header_value("Content-Type"), std::string("image/png"));
    }

    void pullPagesAndPushLimits()
    {
        const Api a = newUser();
        QSet<QString> pushed;
        for (int batch : {1000, 200}) {
            QJsonArray changes;
            for (int i = 0; i < batch; ++i) {
                const QString id = uuid();
                pushed.insert(id);
                changes.append(noteChange(id, 1, "n"));
            }
            QCOMPARE(push(a, changes).status, 200);
        }
        const auto first = a.call("GET", "/notes/v1/sync/pull");
        QCOMPARE(first.json.value("changes").toArray().size(), 500);
        QCOMPARE(first.json.value("has_more").toBool(), true);
        qint64 since = 0;
        int pages = 0;
        const auto all = pullAll(a, &since, &pages);
        QCOMPARE(pages, 3);
        QCOMPARE(QSet<QString>(all.keyBegin(), all.keyEnd()).size(), 1200);
        QCOMPARE(a.call("GET", "/notes/v1/sync/pull?since=" + std::to_string(since)).json.value("changes").toArray().size(), 0);

        QJsonArray tooMany;
        for (int i = 0; i < 1001; ++i)
            tooMany.append(noteChange(uuid(), 1, "n"));
        QCOMPARE(push(a, tooMany).status, 413);
    }

    void errorsAreJson_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("status");
        QTest::newRow("bad JSON") << "POST" << "/notes/v1/sync/push" << QByteArray("{\"changes\": [") << true << 400;
        QTest::newRow("array body") << "POST" << "/notes/v1/sync/push" << QByteArray("[]") << true << 400;
        QTest::newRow("changes not array") << "POST" << "/notes/v1/sync/push" << QByteArray("{\"changes\":1}") << true << 400;
        QTest::newRow("bad since") << "GET" << "/notes/v1/sync/pull?since=abc" << QByteArray() << true << 400;
        QTest::newRow("bad attachments since") << "GET" << "/notes/v1/attachments?since=1x" << QByteArray() << true << 400;
        QTest::newRow("unknown route") << "GET" << "/notes/v1/nothing" << QByteArray() << true << 404;
        QTest::newRow("no token") << "GET" << "/notes/v1/notebooks" << QByteArray() << false << 401;
        QTest::newRow("push over 32 MB") << "POST" << "/notes/v1/sync/push"
                                         << QByteArray("{\"changes\":[],\"pad\":\"" + QByteArray(33 << 20, 'x') + "\"}") << true << 413;
    }
    void errorsAreJson()
    {
        QFETCH(QString, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(bool, signedIn);
        QFETCH(int, status);
        const Api a = newUser();
        httplib::Headers headers;
        if (signedIn)
            headers.emplace("Authorization", "Bearer " + a.token.toStdString());
        auto client = m_h->client();
        const auto res = method == "GET" ? client->Get(path.toStdString(), headers)
                                         : client->Post(path.toStdString(), headers, body.toStdString(), "application/json");
        QVERIFY(res);
        QCOMPARE(res->status, status);
        QVERIFY(QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object().value("error").isString());
    }

    void concurrentPushesNeverHideRows()
    {
        const Api a = newUser();
        QSet<QString> pushedIds;
        std::vector<QJsonArray> batches;
        for (int b = 0; b < 40; ++b) {
            QJsonArray changes;
            for (int i = 0; i < 10; ++i) {
                const QString id = uuid();
                pushedIds.insert(id);
                changes.append(noteChange(id, 1, "c"));
            }
            batches.push_back(changes);
        }
        std::atomic<int> writersLeft{2}, failures{0};
        const auto writer = [&](int first) {
            for (size_t b = size_t(first); b < batches.size(); b += 2)
                if (push(a, batches[b]).status != 200)
                    ++failures;
            --writersLeft;
        };
        QSet<QString> pulled;
        qint64 since = 0;
        std::thread w1(writer, 0), w2(writer, 1);
        std::thread reader([&] {
            bool last = false;
            while (!last) {
                last = writersLeft == 0; // one more pull after both writers are done
                const auto page = pullAll(a, &since);
                for (auto it = page.cbegin(); it != page.cend(); ++it)
                    pulled.insert(it.key());
            }
        });
        w1.join();
        w2.join();
        reader.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(pulled, pushedIds);
    }

    void releasesAreServedWithoutEscaping()
    {
        QDir(m_h->releasesDir()).mkpath("notes/stable");
        QFile manifest(m_h->releasesDir() + "/notes/stable/latest.json");
        QVERIFY(manifest.open(QIODevice::WriteOnly));
        manifest.write("{\"schema\":1}");
        manifest.close();
        auto client = m_h->client();
        const auto ok = client->Get("/releases/notes/stable/latest.json");
        QCOMPARE(ok->status, 200);
        QCOMPARE(ok->body, std::string("{\"schema\":1}"));
        QCOMPARE(client->Get("/releases/notes/stable/missing.json")->status, 404);
        QVERIFY(client->Get("/releases/../signing.key")->status != 200);
        QVERIFY(client->Get("/releases/%2e%2e/signing.key")->status != 200);
        QCOMPARE(client->Get("/healthz")->status, 200);
    }

    void restartKeepsEverything()
    {
        const Api a = newUser();
        const QString id = uuid();
        push(a, {noteChange(id, 1, "kept")});
        m_h->stop();
        QString error;
        QVERIFY2(m_h->start(postgres ? m_pg->url() : QString(), &error), qPrintable(error));
        const Api again{m_h->port(), a.token};
        qint64 since = 0;
        QCOMPARE(pullAll(again, &since).value(id).value("body").toString(), QStringLiteral("kept"));
    }
};

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    int failures = 0;
    for (bool postgres : {false, true}) {
        TestServer test;
        test.postgres = postgres;
        qInfo("=== backend: %s", postgres ? "PostgreSQL" : "SQLite");
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures;
}

#include "tst_server.moc"
