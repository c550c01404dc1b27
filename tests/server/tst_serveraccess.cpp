// Sign-in, sessions, account deletion and the server's bounds, over real
// HTTP against SQLite and then a throwaway PostgreSQL cluster.
#include "serversuite.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QUuid>
#include <QtTest>

using namespace VelmServerTest;

namespace {

QString uuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QJsonObject noteChange(const QString &id, const QString &body)
{
    const QJsonObject data{{"body", body}, {"created_at", 1000}, {"updated_at", 2000}, {"modified_at", 3000}};
    return {{"entity_type", "note"}, {"entity_id", id}, {"action", "update"}, {"version", 1}, {"data", data}};
}

void push(const Api &api, const QJsonArray &changes)
{
    api.call("POST", "/notes/v1/sync/push", QJsonObject{{"changes", changes}});
}

} // namespace

class TestServerAccess : public ServerSuite
{
    Q_OBJECT

private:
    int signInStatus(const QString &email, const QString &password = "correct horse")
    {
        int status = 0;
        m_h->signIn(email, false, &status, password);
        return status;
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(startServer(&error), qPrintable(error));
    }
    void cleanupTestCase() { stopServer(); }

    void signUpSignInAndRateLimit()
    {
        const Tokens t = m_h->signIn("new@example.org", true);
        QCOMPARE(t.state, QStringLiteral("state 1"));
        const QJsonObject claims = jwtPayload(t.access);
        QVERIFY(!claims.value("sub").toString().isEmpty());
        QVERIFY(claims.value("exp").toInteger() > QDateTime::currentSecsSinceEpoch());
        QVERIFY(claims.value("custom").toObject().value("vlm").isObject());
        int status = 0;
        m_h->signIn("new@example.org", true, &status);
        QCOMPARE(status, 409);
        QCOMPARE(signInStatus("new@example.org", "wrong password"), 401);
        const Tokens again = m_h->signIn("NEW@example.org", false, &status);
        QCOMPARE(status, 302);
        QCOMPARE(Api(m_h->port(), again.access).call("GET", "/api/v1/realms/velmora/users/me").json.value("email"),
                 QJsonValue("new@example.org"));

        // A database of its own: on PostgreSQL the count is shared with every
        // server on the database, and this one's sign-ins above would count.
        Harness limited;
        QString error;
        QVERIFY2(limited.start(QString(), &error, 3), qPrintable(error));
        for (int expected : {401, 401, 401, 429}) {
            limited.signIn("limit@example.org", false, &status, "bad password");
            QCOMPARE(status, expected);
        }
    }

    void userProfilePasswordAndSessions()
    {
        const Tokens first = m_h->signIn("me@example.org", true);
        const Tokens second = m_h->signIn("me@example.org", false);
        const Api me{m_h->port(), first.access};
        const std::string base = "/api/v1/realms/velmora/users/me";
        const auto patched = me.call("PATCH", base, QJsonObject{{"display_name", "Mia"}});
        QCOMPARE(patched.json.value("display_name"), QJsonValue("Mia"));
        QVERIFY(patched.json.value("created_at").isString());
        QCOMPARE(me.call("PATCH", base, QJsonObject{{"display_name", ""}}).status, 400);

        QString other;
        for (const QJsonValue &s : me.call("GET", base + "/sessions").json.value("sessions").toArray())
            if (!s.toObject().value("is_current").toBool())
                other = s.toObject().value("id").toString();
        QVERIFY(!other.isEmpty());
        QCOMPARE(newUser().call("DELETE", base + "/sessions/" + other.toStdString()).status, 404);
        QCOMPARE(me.call("DELETE", base + "/sessions/" + other.toStdString()).status, 200);
        QCOMPARE(Api(m_h->port(), second.access).call("GET", base).status, 401);

        const auto changePassword = [&](const char *current) {
            return me.call("POST", base + "/password", {{"current_password", current}, {"new_password", "new secret 1"}});
        };
        QCOMPARE(changePassword("nope").status, 403);
        QCOMPARE(changePassword("correct horse").status, 200);
        QCOMPARE(signInStatus("me@example.org"), 401);
        QCOMPARE(signInStatus("me@example.org", "new secret 1"), 302);
    }

    void loginPageAcceptsOnlyLoopbackCallbacksWithPkce_data()
    {
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QString>("pkce");
        QTest::addColumn<int>("status");
        const QString s256 = "code_challenge=" + QString(43, 'x') + "&code_challenge_method=S256";
        QTest::newRow("localhost") << "http://localhost:19876/callback" << s256 << 200;
        QTest::newRow("127.0.0.1") << "http://127.0.0.1:5000/callback" << s256 << 200;
        QTest::newRow("other host") << "http://evil.example:19876/callback" << s256 << 400;
        QTest::newRow("https") << "https://localhost:19876/callback" << s256 << 400;
        QTest::newRow("no port") << "http://localhost/callback" << s256 << 400;
        QTest::newRow("other path") << "http://localhost:19876/steal" << s256 << 400;
        QTest::newRow("query") << "http://localhost:19876/callback?next=x" << s256 << 400;
        QTest::newRow("user info") << "http://evil@localhost:19876/callback" << s256 << 400;
        QTest::newRow("no challenge") << "http://localhost:19876/callback" << "" << 400;
        QTest::newRow("plain challenge") << "http://localhost:19876/callback"
                                         << "code_challenge=" + QString(43, 'x') + "&code_challenge_method=plain" << 400;
        QTest::newRow("short challenge") << "http://localhost:19876/callback"
                                         << "code_challenge=abc&code_challenge_method=S256" << 400;
    }
    void loginPageAcceptsOnlyLoopbackCallbacksWithPkce()
    {
        QFETCH(QString, redirect);
        QFETCH(QString, pkce);
        QFETCH(int, status);
        const auto res = m_h->client()->Get("/velmora/account/login?client_id=c&state=%3Cb%3E&" + pkce.toStdString()
                                            + "&redirect_uri=" + QUrl::toPercentEncoding(redirect).toStdString());
        QVERIFY(res);
        QCOMPARE(res->status, status);
        if (status == 200)
            QVERIFY(res->body.find("value=\"&lt;b&gt;\"") != std::string::npos);
        httplib::Params form{{"client_id", "c"}, {"redirect_uri", redirect.toStdString()},
                             {"email", QTest::currentDataTag() + std::string("@example.org")},
                             {"password", "whatever1"}, {"action", "signup"}};
        for (const QString &item : pkce.split('&', Qt::SkipEmptyParts))
            form.emplace(item.section('=', 0, 0).toStdString(), item.section('=', 1).toStdString());
        const auto posted = m_h->client()->Post("/velmora/account/login", form);
        QCOMPARE(posted->status == 302, status == 200);
        // The redirect carries a one-time code, never a token.
        const std::string location = posted->get_header_value("Location");
        QCOMPARE(location.find("code=") != std::string::npos, status == 200);
        QVERIFY(location.find("token") == std::string::npos);
    }

    void codeExchangeIsBoundAndSingleUse_data()
    {
        QTest::addColumn<QString>("verifier");
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QString>("clientId");
        QTest::addColumn<qint64>("laterMs");
        QTest::addColumn<int>("status");
        const QString v = Harness::verifier, r = Harness::callback;
        QTest::newRow("right") << v << r << "test" << 0LL << 200;
        QTest::newRow("right after 50 s") << v << r << "test" << 50000LL << 200;
        QTest::newRow("expired") << v << r << "test" << 61000LL << 400;
        QTest::newRow("wrong verifier") << v + "x" << r << "test" << 0LL << 400;
        QTest::newRow("wrong redirect URI") << v << "http://127.0.0.1:19877/callback" << "test" << 0LL << 400;
        QTest::newRow("other client") << v << r << "other" << 0LL << 400;
    }
    void codeExchangeIsBoundAndSingleUse()
    {
        QFETCH(QString, verifier);
        QFETCH(QString, redirect);
        QFETCH(QString, clientId);
        QFETCH(qint64, laterMs);
        QFETCH(int, status);
        const Tokens form = m_h->signInForCode(QStringLiteral("code%1@example.org").arg(++m_users), true);
        QVERIFY(!form.access.isEmpty());
        QVERIFY(form.refresh.isEmpty());
        QCOMPARE(form.state, QStringLiteral("state 1"));
        VelmServer::advanceClockForTests(laterMs);
        const auto [got, body] = m_h->exchange(form.access, verifier, redirect, clientId);
        QCOMPARE(got, status);
        if (status == 200)
            QCOMPARE(Api(m_h->port(), body.value("access_token").toString()).call("GET", "/api/v1/realms/velmora/users/me").status, 200);
        // Used once, right or wrong: the right request is refused afterwards.
        QCOMPARE(m_h->exchange(form.access).first, 400);
    }

    void refreshRotationSurvivesLostRepliesAndCatchesReuse_data()
    {
        QTest::addColumn<int>("rotations");
        QTest::addColumn<qint64>("laterMs");
        QTest::addColumn<int>("presented"); // tokens back from the newest; -1: a made-up secret
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("sessionLives");
        const qint64 minute = 60 * 1000, hour = 60 * minute;
        QTest::newRow("lost reply retried at once") << 1 << 0LL << 1 << 200 << true;
        QTest::newRow("lost reply retried after two minutes") << 1 << 2 * minute << 1 << 200 << true;
        QTest::newRow("lost reply retried after 23 hours") << 1 << 23 * hour << 1 << 200 << true;
        QTest::newRow("just-rotated token after a day") << 1 << 25 * hour << 1 << 401 << false;
        QTest::newRow("older token reused") << 2 << 0LL << 2 << 401 << false;
        QTest::newRow("first token after three rotations") << 3 << minute << 3 << 401 << false;
        QTest::newRow("made-up secret") << 1 << 0LL << -1 << 401 << true;
    }

    void refreshRotationSurvivesLostRepliesAndCatchesReuse()
    {
        QFETCH(int, rotations);
        QFETCH(qint64, laterMs);
        QFETCH(int, presented);
        QFETCH(int, status);
        QFETCH(bool, sessionLives);
        const Tokens t = m_h->signIn(QStringLiteral("rotate%1@example.org").arg(++m_users), true);
        QStringList chain{t.refresh};
        for (int i = 0; i < rotations; ++i) {
            const auto r = refresh(chain.last());
            QCOMPARE(r.status, 200);
            chain.append(r.json.value("refresh_token").toString());
            QVERIFY(chain.last() != chain.at(chain.size() - 2));
        }
        VelmServer::advanceClockForTests(laterMs);
        const QString again = presented < 0 ? chain.last().section('.', 0, 0) + ".madeup"
                                            : chain.at(chain.size() - 1 - presented);
        const auto r = refresh(again);
        QCOMPARE(r.status, status);
        if (status == 200) // the same successor again, never a new one
            QCOMPARE(r.json.value("refresh_token").toString(), chain.last());
        QCOMPARE(refresh(chain.last()).status, sessionLives ? 200 : 401);
    }

    void logoutEndsTheSession()
    {
        const Tokens t = m_h->signIn("logout@example.org", true);
        QCOMPARE(refresh("not-a-token").status, 401);
        const Api user{m_h->port(), t.access};
        QCOMPARE(user.call("POST", "/api/v1/realms/velmora/auth/logout").status, 200);
        QCOMPARE(user.call("GET", "/api/v1/realms/velmora/users/me").status, 401);
        QCOMPARE(refresh(t.refresh).status, 401);
    }

    void accountDeletionLeavesNothing_data()
    {
        QTest::addColumn<bool>("owner");
        QTest::newRow("group member") << false;
        QTest::newRow("group owner") << true;
    }
    void accountDeletionLeavesNothing()
    {
        QFETCH(bool, owner);
        const Api deleted = newUser("deleted"), other = newUser("other");
        const QString id = idOf(deleted), otherId = idOf(other);
        const QString email = deleted.call("GET", "/account/v1/profile").json.value("email").toString();
        owner ? joinGroup(deleted, other) : joinGroup(other, deleted);
        QCOMPARE(other.call("POST", "/account/v1/group/invite", {{"email", email}}).status, owner ? 403 : 201);
        const QString note = uuid(), att = uuid(), book = uuid();
        push(deleted, {noteChange(note, "private")});
        QCOMPARE(deleted.call("POST", "/notes/v1/notebooks", {{"id", book}, {"name", "Mine"}}).status, 201);
        QCOMPARE(deleted.call("POST", "/notes/v1/shares/notes/" + note.toStdString(),
                              {{"account_id", otherId}, {"permission", "view"}}).status, 201);
        const httplib::MultipartFormDataItems parts{{"note_id", note.toStdString(), "", ""}, {"id", att.toStdString(), "", ""},
                                                    {"file", "bytes", "a.txt", "text/plain"}};
        const httplib::Headers auth{{"Authorization", "Bearer " + deleted.token.toStdString()}};
        QCOMPARE(m_h->client()->Post("/notes/v1/attachments", auth, parts)->status, 201);
        QCOMPARE(refresh(deleted.refresh).status, 200); // a retired token too
        const QString file = m_h->dataDir() + "/attachments/" + att;
        QVERIFY(QFile::exists(file));

        const auto r = deleted.call("DELETE", "/account/v1/profile");
        QCOMPARE(r.status, 200);
        QCOMPARE(r.json, (QJsonObject{{"ok", true}}));
        QString error;
        auto db = VelmServer::Db::open(m_h->dataDir(), databaseUrl(), &error);
        QVERIFY2(db, qPrintable(error));
        QSqlQuery q = db->query();
        const QString who = "'" + id + "'", mail = "'" + email + "'";
        for (const QString &rows : {"users WHERE id = " + who + " OR email = " + mail, "sessions WHERE user_id = " + who,
                                    "devices WHERE user_id = " + who, "notes WHERE owner_id = " + who,
                                    "notebooks WHERE owner_id = " + who, "feed WHERE user_id = " + who,
                                    "shares WHERE user_id = " + who, "attachments WHERE owner_id = " + who,
                                    "attachment_feed WHERE user_id = " + who, "groups_ WHERE owner_id = " + who,
                                    "auth_codes WHERE user_id = " + who, "invitations WHERE invited_email = " + mail,
                                    QString("retired_tokens WHERE session_id NOT IN (SELECT id FROM sessions)"),
                                    QString("feed WHERE note_id NOT IN (SELECT id FROM notes)"),
                                    QString("shares WHERE item_id NOT IN (SELECT id FROM notes UNION SELECT id FROM notebooks)"),
                                    QString("attachment_feed WHERE attachment_id NOT IN (SELECT id FROM attachments)"),
                                    QString("invitations WHERE group_id NOT IN (SELECT id FROM groups_)")}) {
            QVERIFY2(db->run(q, "SELECT COUNT(*) FROM " + rows) && q.next(), qPrintable(rows));
            QVERIFY2(q.value(0).toInt() == 0, qPrintable(rows));
        }
        QVERIFY(!QFile::exists(file));
        // The other account goes on, out of any group the deleted one owned.
        QCOMPARE(other.call("GET", "/account/v1/profile").status, 200);
        QCOMPARE(other.call("GET", "/account/v1/group").json.value("id").toString().isEmpty(), owner);
    }

    void bodiesAreBoundedPerRoute_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("status");
        const qint64 kb = 1024, mb = 1024 * kb;
        // Blank bodies: a route that reads one answers 400.
        QTest::newRow("notebook of 90 MB") << QByteArray("POST") << QByteArray("/notes/v1/notebooks") << 90 * mb << 413;
        QTest::newRow("notebook of 300 KB") << QByteArray("POST") << QByteArray("/notes/v1/notebooks") << 300 * kb << 413;
        QTest::newRow("notebook of 200 KB") << QByteArray("POST") << QByteArray("/notes/v1/notebooks") << 200 * kb << 400;
        QTest::newRow("profile of 1 MB") << QByteArray("PATCH") << QByteArray("/api/v1/realms/velmora/users/me") << mb << 413;
        QTest::newRow("sign-in form of 1 MB") << QByteArray("POST") << QByteArray("/velmora/account/login") << mb << 413;
        QTest::newRow("refresh of 1 MB") << QByteArray("POST") << QByteArray("/api/v1/realms/velmora/auth/token/refresh")
                                         << mb << 413;
        QTest::newRow("invitation of 1 MB") << QByteArray("POST") << QByteArray("/account/v1/group/invite") << mb << 413;
        QTest::newRow("share of 1 MB") << QByteArray("POST") << QByteArray("/notes/v1/shares/notes/x") << mb << 413;
        QTest::newRow("push of 33 MB") << QByteArray("POST") << QByteArray("/notes/v1/sync/push") << 33 * mb << 413;
        QTest::newRow("push of 31 MB") << QByteArray("POST") << QByteArray("/notes/v1/sync/push") << 31 * mb << 400;
        // The test server takes attachments of up to 1 MB.
        QTest::newRow("attachment of 2 MB") << QByteArray("POST") << QByteArray("/notes/v1/attachments") << 2 * mb << 413;
        QTest::newRow("attachment of 1 MB") << QByteArray("POST") << QByteArray("/notes/v1/attachments") << mb << 400;
        QTest::newRow("chunked notebook") << QByteArray("POST") << QByteArray("/notes/v1/notebooks") << -1LL << 413;
    }
    // The refused body is read and dropped: the answer comes in order, as
    // JSON, and the connection carries the next request.
    void bodiesAreBoundedPerRoute()
    {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, path);
        QFETCH(qint64, length);
        QFETCH(int, status);
        const Api a = newUser();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(m_h->port()));
        QVERIFY(socket.waitForConnected(5000));
        socket.write(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                     + "Authorization: Bearer " + a.token.toLatin1() + "\r\n"
                     + (length < 0 ? QByteArray("Transfer-Encoding: chunked") : "Content-Length: " + QByteArray::number(length))
                     + "\r\n\r\n" + (length < 0 ? QByteArray("5\r\n     \r\n0\r\n\r\n") : QByteArray(length, ' ')));
        const auto reply = [&socket]() {
            QByteArray got;
            while (!got.contains("}") && socket.waitForReadyRead(20000))
                got += socket.readAll();
            return got;
        };
        const QByteArray first = reply();
        QCOMPARE(first.split(' ').value(1).toInt(), status);
        QVERIFY(QJsonDocument::fromJson(first.mid(first.indexOf("\r\n\r\n") + 4)).object().contains("error"));
        socket.write("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QCOMPARE(reply().split(' ').value(1).toInt(), 200);
    }

    void stringsAreBounded_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("status");
        QTest::newRow("notebook name of 200") << QByteArray("POST") << QByteArray("/notes/v1/notebooks") << "name" << 200 << 201;
        QTest::newRow("notebook name of 201") << QByteArray("POST") << QByteArray("/notes/v1/notebooks") << "name" << 201 << 400;
        QTest::newRow("display name of 101") << QByteArray("PATCH") << QByteArray("/api/v1/realms/velmora/users/me")
                                             << "display_name" << 101 << 400;
        QTest::newRow("invited e-mail of 300") << QByteArray("POST") << QByteArray("/account/v1/group/invite") << "email"
                                               << 300 << 400;
    }
    void stringsAreBounded()
    {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, path);
        QFETCH(QString, key);
        QFETCH(int, length);
        QFETCH(int, status);
        const Api a = newUser();
        QString text(length, 'n');
        if (key == "email")
            text.replace(0, 12, "a@example.org");
        const auto r = a.call(method.constData(), path.toStdString(), {{"id", uuid()}, {key, text.left(length)}});
        QCOMPARE(r.status, status);
        if (status >= 400)
            QVERIFY(r.json.contains("error"));
    }

    void servesHttpsWithItsCertificate_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("error");
        QTest::newRow("certificate and key") << "cert.pem" << "key.pem" << "";
        QTest::newRow("no key") << "cert.pem" << "" << "--tls-cert and --tls-key go together";
        QTest::newRow("key as certificate") << "key.pem" << "key.pem" << "cannot use the certificate";
    }
    void servesHttpsWithItsCertificate()
    {
        QFETCH(QString, cert);
        QFETCH(QString, key);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=localhost",
                                  "-keyout", dir.filePath("key.pem"), "-out", dir.filePath("cert.pem")});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
        Harness tls;
        QString why;
        const bool started = tls.start(databaseUrl(), &why, 100, 100, dir.filePath(cert), key.isEmpty() ? "" : dir.filePath(key));
        QCOMPARE(started, error.isEmpty());
        QVERIFY2(error.isEmpty() ? why.isEmpty() : why.startsWith(error), qPrintable(why));
        if (!started)
            return;
        httplib::SSLClient secure("127.0.0.1", tls.port());
        secure.enable_server_certificate_verification(false);
        const auto res = secure.Get("/healthz");
        QVERIFY(res);
        QCOMPARE(res->status, 200);
        QVERIFY(!tls.client()->Get("/healthz")); // no plain HTTP beside it
    }
};

int main(int argc, char *argv[])
{
    return runOnBothBackends<TestServerAccess>(argc, argv);
}

#include "tst_serveraccess.moc"
