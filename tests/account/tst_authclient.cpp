#include "authclient.h"
#include "fakehttpserver.h"
#include "filetokenstore.h"
#include "serverfixture.h"
#include "velmtest.h"
#include "webauthhandler.h"

using namespace VelmAccount;

namespace {

QStringList *capturedLog = nullptr;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (capturedLog)
        capturedLog->append(message);
}

// Starts sign-in and hands back the login page URL the browser would open.
QUrl startLogin(Client &client, bool browserOpens = true)
{
    QUrl opened;
    client.authClient()->setUrlOpener([&opened, browserOpens](const QUrl &url) {
        opened = url;
        return browserOpens;
    });
    client.authClient()->login();
    return opened;
}

QString queryValue(const QUrl &url, const QString &key)
{
    return QUrlQuery(url.query()).queryItemValue(key, QUrl::FullyDecoded);
}

// A raw GET with the Host header given, as a page or another local user could send it; the reply's status code.
int rawGet(quint16 port, const QByteArray &target, const QByteArray &host)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return 0;
    socket.write("GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    while (!reply.contains("\r\n") && QTest::qWaitFor([&socket] { return socket.bytesAvailable() > 0; }, 5000))
        reply += socket.readAll();
    return reply.split(' ').value(1).toInt();
}

bool listening(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    return socket.waitForConnected(2000);
}

} // namespace

class TestAuthClient : public QObject
{
    Q_OBJECT
private slots:
    // The test plays the browser: opens the login page, sends its form and
    // follows the redirect to the loopback listener.
    void browserSignInEndToEnd_data()
    {
        QTest::addColumn<bool>("occupyPreferredPort");
        QTest::addColumn<bool>("faviconFirst");
        QTest::newRow("preferred port") << false << false;
        QTest::newRow("preferred port taken") << true << false;
        QTest::newRow("a favicon request first") << false << true;
    }
    void browserSignInEndToEnd()
    {
        QFETCH(bool, occupyPreferredPort);
        QFETCH(bool, faviconFirst);
        ServerFixture server;
        QVERIFY(server.start());
        QTemporaryDir dir;
        const QString tokenFile = dir.filePath(QStringLiteral("tokens.json"));
        QTcpServer blocker;
        if (occupyPreferredPort)
            blocker.listen(QHostAddress::LocalHost, WebAuthHandler::preferredPort);
        const bool preferredFree = !occupyPreferredPort && QTcpServer().listen(QHostAddress::LocalHost, WebAuthHandler::preferredPort);

        QStringList log;
        capturedLog = &log;
        QLoggingCategory::setFilterRules(QStringLiteral("velmora.*=true"));
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        auto cleanup = qScopeGuard([previous] {
            qInstallMessageHandler(previous);
            capturedLog = nullptr;
        });

        auto client = std::make_unique<Client>(server.config(), std::make_unique<FileTokenStore>(tokenFile));
        client->initialize();
        QSignalSpy succeeded(client->authClient(), &AuthClient::loginSucceeded);
        const QUrl loginUrl = startLogin(*client);
        QCOMPARE(queryValue(loginUrl, QStringLiteral("client_id")), server.config().clientId);
        const QUrl redirect(queryValue(loginUrl, QStringLiteral("redirect_uri")));
        QCOMPARE(redirect.path(), QStringLiteral("/callback"));
        QVERIFY(redirect.port() != WebAuthHandler::preferredPort || !occupyPreferredPort);
        QVERIFY(redirect.port() == WebAuthHandler::preferredPort || !preferredFree);
        QVERIFY(listening(redirect.port()));

        QCOMPARE(httpRequest(loginUrl).status, 200);
        if (faviconFirst) {
            QCOMPARE(httpRequest(redirect.resolved(QUrl(QStringLiteral("/favicon.ico")))).status, 404);
            QCOMPARE(succeeded.size(), 0);
        }
        const HttpResult form = ServerFixture::submitLogin(loginUrl, QStringLiteral("ann@example.org"));
        const QUrl back(QString::fromLatin1(form.location));
        QCOMPARE(back.port(), redirect.port());
        QVERIFY(httpRequest(back).body.contains("Authentication complete!"));
        QTRY_COMPARE(succeeded.size(), 1);
        QVERIFY(client->isAuthenticated());
        QTRY_VERIFY(!listening(redirect.port()));
        User user;
        client->authClient()->fetchCurrentUser([&user](const User &fetched) { user = fetched; });
        QTRY_COMPARE(user.email, QStringLiteral("ann@example.org"));

        // The browser saw a one-time code, never a token.
        QVERIFY(!queryValue(back, QStringLiteral("code")).isEmpty());
        QVERIFY(!back.toString().contains(QLatin1String("token")));
        // Started again, the application is still signed in; signing out forgets the tokens.
        const QString access = client->tokenManager()->accessToken();
        const QString refresh = client->tokenManager()->refreshToken();
        QVERIFY(!access.isEmpty() && !refresh.isEmpty());
        client.reset();
        Client again(server.config(), std::make_unique<FileTokenStore>(tokenFile));
        again.initialize();
        QTRY_COMPARE(again.authClient()->state(), AuthState::Authenticated);
        again.authClient()->logout();
        QCOMPARE(again.authClient()->state(), AuthState::Unauthenticated);
        QCOMPARE(FileTokenStore(tokenFile).value(TokenStore::refreshTokenKey), std::nullopt);
        QCOMPARE(FileTokenStore(tokenFile).value(TokenStore::accessTokenKey), std::nullopt);

        for (const QString &line : std::as_const(log))
            QVERIFY2(!line.contains(access) && !line.contains(refresh.section('.', 1)), qPrintable(line));
        QVERIFY(!log.isEmpty()); // the capture saw the client's own lines
    }

    // A refused callback (400) leaves the attempt waiting: the right one still signs in.
    void callbackIsCheckedBeforeSigningIn_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::newRow("tokens in the query") << "access_token=%A&refresh_token=%R&state=%S" << "localhost:%P" << 200 << "";
        QTest::newRow("host by address") << "access_token=%A&refresh_token=%R&state=%S" << "127.0.0.1:%P" << 200 << "";
        QTest::newRow("no state") << "access_token=%A&refresh_token=%R" << "localhost:%P" << 400 << "";
        QTest::newRow("another request's state") << "access_token=%A&refresh_token=%R&state=forged" << "localhost:%P"
                                                 << 400 << "";
        QTest::newRow("state one character short") << "access_token=%A&refresh_token=%R&state=%s" << "localhost:%P"
                                                   << 400 << "";
        QTest::newRow("rebound host name") << "access_token=%A&refresh_token=%R&state=%S" << "evil.example:%P" << 400 << "";
        QTest::newRow("other port") << "access_token=%A&refresh_token=%R&state=%S" << "localhost:1" << 400 << "";
        QTest::newRow("only an access token") << "access_token=%A&state=%S" << "localhost:%P" << 200 << "No tokens received";
    }
    void callbackIsCheckedBeforeSigningIn()
    {
        QFETCH(QString, query);
        QFETCH(QString, host);
        QFETCH(int, status);
        QFETCH(QString, error);
        Client client(ClientConfig(), std::make_unique<MemoryTokenStore>());
        client.initialize();
        QSignalSpy succeeded(client.authClient(), &AuthClient::loginSucceeded);
        QSignalSpy failed(client.authClient(), &AuthClient::loginFailed);
        const QUrl loginUrl = startLogin(client);
        const QString access = jwtExpiringIn(3600);
        const QString state = queryValue(loginUrl, QStringLiteral("state"));
        const quint16 port = quint16(QUrl(queryValue(loginUrl, QStringLiteral("redirect_uri"))).port());
        const auto fill = [&](QString text) {
            return text.replace(QLatin1String("%A"), access)
                .replace(QLatin1String("%R"), QStringLiteral("s1.secret"))
                .replace(QLatin1String("%S"), state)
                .replace(QLatin1String("%s"), state.chopped(1))
                .replace(QLatin1String("%P"), QString::number(port))
                .toLatin1();
        };
        QCOMPARE(rawGet(port, "/callback?" + fill(query), fill(host)), status);
        if (status == 400) {
            QTest::qWait(50);
            QCOMPARE(succeeded.size() + failed.size(), 0);
            QVERIFY(!client.isAuthenticated());
            QCOMPARE(rawGet(port, "/callback?" + fill("access_token=%A&refresh_token=%R&state=%S"), fill("localhost:%P")), 200);
        }
        QTRY_COMPARE(succeeded.size() + failed.size(), 1);
        QCOMPARE(failed.value(0).value(0).toString(), error);
        QCOMPARE(client.isAuthenticated(), error.isEmpty());
        QCOMPARE(client.tokenManager()->accessToken(), error.isEmpty() ? access : QString());
    }

    void signInEndsAtOnceWithoutServerOrBrowserOrWhenCancelled_data()
    {
        QTest::addColumn<bool>("serverRunning");
        QTest::addColumn<bool>("browserOpens");
        QTest::newRow("no server: fails") << false << true;
        QTest::newRow("cancelled") << true << true;
        QTest::newRow("no browser: fails") << true << false;
    }
    void signInEndsAtOnceWithoutServerOrBrowserOrWhenCancelled()
    {
        QFETCH(bool, serverRunning);
        QFETCH(bool, browserOpens);
        ServerFixture server;
        QVERIFY(server.start());
        ClientConfig config = server.config();
        if (!serverRunning) {
            QTcpServer unused; // a port nobody listens on once it closes
            QVERIFY(unused.listen(QHostAddress::LocalHost));
            config.authBaseUrl = QStringLiteral("http://127.0.0.1:%1").arg(unused.serverPort());
            unused.close();
        }
        Client client(config, std::make_unique<MemoryTokenStore>());
        QSignalSpy started(client.authClient(), &AuthClient::loginStarted);
        QSignalSpy failed(client.authClient(), &AuthClient::loginFailed);
        QSignalSpy cancelled(client.authClient(), &AuthClient::loginCancelled);
        const quint16 port = quint16(QUrl(queryValue(startLogin(client, browserOpens), QStringLiteral("redirect_uri"))).port());
        QCOMPARE(started.size(), 1);
        QCOMPARE(client.authClient()->isSigningIn(), browserOpens);
        if (!browserOpens) {
            QCOMPARE(failed.size(), 1);
            QVERIFY(failed.first().first().toString().startsWith("No web browser could be opened"));
        } else if (serverRunning) {
            client.authClient()->cancelLogin();
            QCOMPARE(cancelled.size(), 1);
            QCOMPARE(failed.size(), 0);
        } else {
            QVERIFY(failed.wait(10000));
            QVERIFY2(failed.first().first().toString().startsWith("Cannot reach the server at " + config.authBaseUrl),
                     qPrintable(failed.first().first().toString()));
        }
        QVERIFY(!client.authClient()->isSigningIn());
        QTRY_VERIFY(!listening(port));
    }

    void signInGivesUpAfterItsTimeout()
    {
        Client client(ClientConfig(), std::make_unique<MemoryTokenStore>());
        client.authClient()->setLoginTimeout(50);
        QSignalSpy failed(client.authClient(), &AuthClient::loginFailed);
        const QUrl redirect(queryValue(startLogin(client), QStringLiteral("redirect_uri")));
        QVERIFY(failed.wait());
        QCOMPARE(failed.first().first().toString(), QStringLiteral("Sign-in timed out"));
        QTRY_VERIFY(!listening(redirect.port()));
    }

    // At start-up an expired access token and a refresh token meet the server.
    void startUpWithStoredRefreshToken_data()
    {
        QTest::addColumn<bool>("serverRunning");
        QTest::addColumn<AuthState>("state");
        QTest::addColumn<bool>("tokensKept");
        QTest::newRow("server stopped: stay signed in") << false << AuthState::Authenticated << true;
        QTest::newRow("server refuses the token") << true << AuthState::Unauthenticated << false;
    }
    void startUpWithStoredRefreshToken()
    {
        QFETCH(bool, serverRunning);
        ServerFixture server;
        QVERIFY(server.start());
        const ClientConfig config = server.config();
        if (!serverRunning)
            server.stop();
        auto store = std::make_unique<MemoryTokenStore>();
        MemoryTokenStore *stored = store.get();
        stored->write(TokenStore::accessTokenKey, jwtExpiringIn(-60), nullptr);
        stored->write(TokenStore::refreshTokenKey, QStringLiteral("s1.unknown"), nullptr);
        Client client(config, std::move(store));
        QSignalSpy states(&client, &Client::authStateChanged);
        client.initialize();
        QTRY_COMPARE(states.size(), 2);
        QCOMPARE(states.first().first().value<AuthState>(), AuthState::Checking);
        QTEST(states.last().first().value<AuthState>(), "state");
        QTEST(stored->value(TokenStore::refreshTokenKey).has_value(), "tokensKept");
        QTEST(stored->value(TokenStore::accessTokenKey).has_value(), "tokensKept");
    }
};

VELM_TEST_CORE_MAIN(TestAuthClient)
#include "tst_authclient.moc"
