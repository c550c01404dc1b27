#include "apiclient.h"
#include "client.h"
#include "fakehttpserver.h"
#include "memorytokenstore.h"
#include "tokenmanager.h"
#include "velmtest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QHttpMultiPart>
#include <QSignalSpy>

using namespace VelmAccount;

namespace {

struct Outcome
{
    bool done = false;
    bool ok = false;
    int status = -1;
    QJsonObject body;
};

ApiClient::Callback recordInto(Outcome &outcome)
{
    return [&outcome](bool ok, int status, const QJsonObject &body) {
        outcome = {true, ok, status, body};
    };
}

const QString refreshPath = QStringLiteral("/api/v1/realms/velmora/auth/token/refresh");

// Several reads' worth, so the file is written in pieces.
QByteArray bigBody()
{
    QByteArray body;
    for (int i = 0; body.size() < 700 * 1024; ++i)
        body += QByteArray::number(i) + ' ';
    return body;
}

} // namespace

class TestApiClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<Client> clientOver(const FakeHttpServer &server)
    {
        ClientConfig config;
        config.authBaseUrl = server.baseUrl();
        config.realm = QStringLiteral("velmora");
        config.accountApiUrl = server.baseUrl(QStringLiteral("/account/v1"));
        config.appId = QStringLiteral("app.test.notes");
        config.appVersion = QStringLiteral("9.9");
        config.platform = QStringLiteral("testos");
        auto client = std::make_unique<Client>(config, std::make_unique<MemoryTokenStore>());
        client->syncApi()->setBaseUrl(QUrl(server.baseUrl(QStringLiteral("/notes/v1"))));
        return client;
    }

private slots:
    void requestCarriesVerbPathBodyAndIdentity_data()
    {
        QTest::addColumn<QString>("verb");
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<QByteArray>("sentBody");
        QTest::addColumn<QString>("refreshToken"); // none: no Authorization
        const QJsonObject email{{QStringLiteral("email"), QStringLiteral("a@b.c")}};
        QTest::newRow("GET") << "GET" << QJsonObject() << QByteArray() << "r1";
        QTest::newRow("GET without a refresh token") << "GET" << QJsonObject() << QByteArray() << "";
        QTest::newRow("POST with an empty object sends no body") << "POST" << QJsonObject() << QByteArray() << "r1";
        QTest::newRow("POST compact body") << "POST" << email << QByteArray(R"({"email":"a@b.c"})") << "r1";
        QTest::newRow("POST of a body written beforehand, as it is")
            << "POST prepared" << email << QJsonDocument(email).toJson(QJsonDocument::Indented) << "r1";
        QTest::newRow("PUT") << "PUT" << email << QByteArray(R"({"email":"a@b.c"})") << "r1";
        QTest::newRow("PATCH") << "PATCH" << email << QByteArray(R"({"email":"a@b.c"})") << "r1";
        QTest::newRow("DELETE") << "DELETE" << QJsonObject() << QByteArray() << "r1";
    }
    void requestCarriesVerbPathBodyAndIdentity()
    {
        QFETCH(QString, verb);
        QFETCH(QJsonObject, body);
        QFETCH(QString, refreshToken);
        FakeHttpServer server([](const RecordedRequest &) { return FakeReply(); });
        auto client = clientOver(server);
        const QString token = jwtExpiringIn(refreshToken.isEmpty() ? -60 : 3600);
        client->tokenManager()->setTokens(token, refreshToken);
        ApiClient *api = client->syncApi();
        Outcome outcome;
        const QString path = QStringLiteral("/sync/pull");
        const QHash<QString, std::function<void()>> send{
            {"GET", [&] { api->get(path, recordInto(outcome)); }},
            {"POST", [&] { api->post(path, body, recordInto(outcome)); }},
            {"POST prepared", [&] { api->postJson(path, QJsonDocument(body).toJson(), recordInto(outcome)); }},
            {"PUT", [&] { api->put(path, body, recordInto(outcome)); }},
            {"PATCH", [&] { api->patch(path, body, recordInto(outcome)); }},
            {"DELETE", [&] { api->del(path, recordInto(outcome)); }}};
        send[verb]();
        QTRY_VERIFY(outcome.done);
        QVERIFY(outcome.ok);
        QCOMPARE(server.requests.size(), 1);
        const RecordedRequest &request = server.requests.first();
        QCOMPARE(request.method, verb.section(' ', 0, 0).toLatin1());
        QCOMPARE(request.target, QByteArray("/notes/v1/sync/pull"));
        QTEST(request.body, "sentBody");
        const QByteArray bearer = refreshToken.isEmpty() ? QByteArray() : "Bearer " + token.toLatin1();
        for (const auto &[name, value] : {std::pair<QByteArray, QByteArray>{"content-type", "application/json"},
                                          {"x-app-id", "app.test.notes"}, {"x-app-version", "9.9"},
                                          {"x-platform", "testos"}, {"authorization", bearer}})
            QCOMPARE(request.headers.value(name), value);
    }

    void replyReachesCallback_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("drop");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("seenStatus");
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<int>("networkErrors");
        const QJsonObject error{{QStringLiteral("error"), QStringLiteral("not found")}};
        QTest::newRow("404 keeps its error body") << 404 << QByteArray(R"({"error":"not found"})") << false << false << 404 << error << 0;
        QTest::newRow("array gives {}") << 200 << QByteArray("[1,2]") << false << true << 200 << QJsonObject() << 0;
        QTest::newRow("garbage gives {}") << 201 << QByteArray("<html>") << false << true << 201 << QJsonObject() << 0;
        QTest::newRow("500") << 500 << QByteArray(R"({"error":"not found"})") << false << false << 500 << error << 0;
        QTest::newRow("dropped connection") << 0 << QByteArray() << true << false << 0 << QJsonObject() << 1;
        // Both would hold the request, and a sync, for good.
        QTest::newRow("server that never answers") << -1 << QByteArray() << false << false << 0 << QJsonObject() << 1;
        QTest::newRow("only an interim reply") << 100 << QByteArray() << false << false << 0 << QJsonObject() << 1;
    }
    void replyReachesCallback()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(bool, drop);
        FakeHttpServer server([&](const RecordedRequest &) { return FakeReply{status, reply, drop, status < 0}; });
        auto client = clientOver(server);
        client->syncApi()->setTransferTimeout(300);
        QSignalSpy networkErrors(client->syncApi(), &ApiClient::networkError);
        Outcome outcome;
        client->syncApi()->get(QStringLiteral("/x"), recordInto(outcome));
        QTRY_VERIFY(outcome.done);
        QTEST(outcome.ok, "ok");
        QTEST(outcome.status, "seenStatus");
        QTEST(outcome.body, "body");
        QTEST(int(networkErrors.size()), "networkErrors");
    }

    // Ten requests meet an expiring token: one refresh, then all ten in order.
    void expiringTokenIsRefreshedOnceForManyRequests()
    {
        const QString fresh = jwtExpiringIn(3600);
        FakeHttpServer server([&](const RecordedRequest &request) {
            if (request.target == refreshPath.toLatin1())
                return FakeReply{200, QJsonDocument(QJsonObject{{"access_token", fresh}, {"refresh_token", "r2"}}).toJson()};
            return FakeReply();
        });
        auto client = clientOver(server);
        client->tokenManager()->setTokens(jwtExpiringIn(20), QStringLiteral("r1"));
        QList<int> answered;
        for (int i = 0; i < 10; ++i)
            client->syncApi()->get(QStringLiteral("/item/%1").arg(i), [&answered, i](bool ok, int, const QJsonObject &) {
                if (ok)
                    answered.append(i);
            });
        QTRY_COMPARE(answered.size(), 10);
        // Replies come back over parallel connections, so only the set is fixed here;
        // the order of release is the token manager's test.
        std::sort(answered.begin(), answered.end());
        QCOMPARE(answered, QList<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
        QCOMPARE(server.requests.size(), 11);
        QCOMPARE(server.requests.first().target, refreshPath.toLatin1());
        QCOMPARE(server.requests.first().body, QByteArray(R"({"refresh_token":"r1"})"));
        QVERIFY(!server.requests.first().hasHeader("authorization"));
        for (int i = 1; i <= 10; ++i) {
            QVERIFY(server.requests[i].target.startsWith("/notes/v1/item/"));
            QCOMPARE(server.requests[i].headers.value("authorization"), "Bearer " + fresh.toLatin1());
        }
        QCOMPARE(client->tokenManager()->refreshToken(), QStringLiteral("r2"));
    }

    // A 401 is retried once after a refresh; a second 401 reaches the caller.
    void unauthorizedIsRetriedOnceThenReported()
    {
        FakeHttpServer server([](const RecordedRequest &request) {
            if (request.target == refreshPath.toLatin1())
                return FakeReply{200, QJsonDocument(QJsonObject{{"access_token", jwtExpiringIn(3600, {{"sub", "renewed"}})}, {"refresh_token", "r2"}}).toJson()};
            return FakeReply{401, R"({"error":"expired"})"};
        });
        auto client = clientOver(server);
        client->tokenManager()->setTokens(jwtExpiringIn(3600), QStringLiteral("r1"));
        Outcome outcome;
        client->syncApi()->get(QStringLiteral("/x"), recordInto(outcome));
        QTRY_VERIFY(outcome.done);
        QCOMPARE(outcome.status, 401);
        QCOMPARE(outcome.body.value("error").toString(), QStringLiteral("expired"));
        QStringList targets;
        for (const RecordedRequest &request : std::as_const(server.requests))
            targets.append(QString::fromLatin1(request.target));
        QCOMPARE(targets, QStringList({"/notes/v1/x", refreshPath, "/notes/v1/x"}));
        QVERIFY(server.requests[0].headers.value("authorization") != server.requests[2].headers.value("authorization"));
    }

    // A refused refresh means sign in again; an unreachable one is transient.
    void failedRefreshEndsTheRequest_data()
    {
        QTest::addColumn<int>("refreshStatus");
        QTest::addColumn<int>("seenStatus");
        QTest::addColumn<int>("authRequired");
        QTest::newRow("refused") << 400 << 401 << 1;
        QTest::newRow("server error") << 503 << 0 << 0;
    }
    void failedRefreshEndsTheRequest()
    {
        QFETCH(int, refreshStatus);
        FakeHttpServer server([&](const RecordedRequest &request) {
            if (request.target == refreshPath.toLatin1())
                return FakeReply{refreshStatus, R"({"error":"no"})"};
            return FakeReply();
        });
        auto client = clientOver(server);
        client->tokenManager()->setTokens(QStringLiteral("not-a-jwt"), QStringLiteral("r1"));
        QSignalSpy authRequired(client->syncApi(), &ApiClient::authenticationRequired);
        Outcome outcome;
        client->syncApi()->get(QStringLiteral("/x"), recordInto(outcome));
        QTRY_VERIFY(outcome.done);
        QVERIFY(!outcome.ok);
        QTEST(outcome.status, "seenStatus");
        QTEST(int(authRequired.size()), "authRequired");
        QCOMPARE(server.requests.size(), 1); // the request itself never left
    }

    // The file in place changes only for a whole, intact body; anything else
    // leaves it as it was and nothing beside it.
    void downloadReplacesTheFileOnlyWhenWhole_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("digestOf"); // empty: no Digest header
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<int>("cutAfter");
        QTest::addColumn<bool>("ok");
        const QByteArray body = bigBody();
        const qint64 size = body.size();
        QTest::newRow("whole with its digest") << 200 << body << size << -1 << true;
        QTest::newRow("no digest, listed size") << 200 << QByteArray() << size << -1 << true;
        QTest::newRow("no digest, no size") << 200 << QByteArray() << -1LL << -1 << true;
        QTest::newRow("altered on the way") << 200 << QByteArray("other") << size << -1 << false;
        QTest::newRow("shorter than listed") << 200 << body << size + 1 << -1 << false;
        QTest::newRow("connection cut midway") << 200 << body << -1LL << int(size / 2) << false;
        QTest::newRow("not found") << 404 << QByteArray() << -1LL << -1 << false;
    }
    void downloadReplacesTheFileOnlyWhenWhole()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, digestOf);
        QFETCH(int, cutAfter);
        QFETCH(qint64, expected);
        const QByteArray body = bigBody();
        FakeHttpServer server([&](const RecordedRequest &) {
            const QByteArray digest = QCryptographicHash::hash(digestOf, QCryptographicHash::Sha256).toBase64();
            return FakeReply{status, status == 200 ? body : R"({"error":"not found"})", false, false,
                             digestOf.isEmpty() ? QByteArray() : "Digest: sha-256=" + digest + "\r\n", cutAfter};
        });
        auto client = clientOver(server);
        client->tokenManager()->setTokens(jwtExpiringIn(3600), QStringLiteral("r1"));
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("a1"));
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        Outcome outcome;
        client->syncApi()->download(QStringLiteral("/attachments/a1"), target, expected,
                                    [&outcome](bool ok, int status, qint64 bytes) {
                                        outcome = {true, ok, status, {{"bytes", bytes}}};
                                    });
        QTRY_VERIFY(outcome.done);
        QTEST(outcome.ok, "ok");
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), outcome.ok ? body : QByteArray("old"));
        QCOMPARE(outcome.body.value("bytes").toInteger(), outcome.ok ? body.size() : 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("a1")}));
    }

    void binaryAndMultipartUseTheirOwnHeaders()
    {
        FakeHttpServer server([](const RecordedRequest &) { return FakeReply{200, "\x01raw["}; });
        auto client = clientOver(server);
        client->tokenManager()->setTokens(jwtExpiringIn(3600), QStringLiteral("r1"));
        QByteArray data;
        client->syncApi()->getBinary(QStringLiteral("/attachments/a1"), [&data](bool ok, int, const QByteArray &bytes) {
            data = ok ? bytes : QByteArray("failed");
        });
        QTRY_COMPARE(data, QByteArray("\x01raw["));
        QCOMPARE(server.requests.first().headers.value("accept"), QByteArray("*/*"));

        auto *multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"file\""));
        part.setBody("payload");
        multipart->append(part);
        Outcome outcome;
        client->syncApi()->postMultipart(QStringLiteral("/attachments"), multipart, recordInto(outcome));
        QTRY_VERIFY(outcome.done);
        const RecordedRequest &upload = server.requests.last();
        QCOMPARE(upload.method, QByteArray("POST"));
        QVERIFY(upload.headers.value("content-type").startsWith("multipart/form-data; boundary="));
        QVERIFY(upload.body.contains("payload"));
        QVERIFY(upload.hasHeader("authorization"));
    }
};

VELM_TEST_CORE_MAIN(TestApiClient)
#include "tst_apiclient.moc"
