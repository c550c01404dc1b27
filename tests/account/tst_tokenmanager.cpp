#include "authclient.h"
#include "client.h"
#include "clientconfig.h"
#include "fakehttpserver.h"
#include "memorytokenstore.h"
#include "tokenmanager.h"
#include "velmtest.h"

#include <QSignalSpy>
#include <QTimer>

using namespace VelmAccount;

namespace {

// Answers each exchange on the next turn of the event loop, as a server would,
// with whatever the test decides.
struct ScriptedRefresher
{
    int calls = 0;
    QList<std::function<void()>> answers;

    TokenManager::Refresher refresher(std::function<void(TokenManager::SuccessHandler, TokenManager::FailureHandler)> reply)
    {
        return [this, reply](const QString &, TokenManager::SuccessHandler ok, TokenManager::FailureHandler fail) {
            ++calls;
            QTimer::singleShot(0, [reply, ok, fail]() { reply(ok, fail); });
        };
    }
};

} // namespace

class TestTokenManager : public QObject
{
    Q_OBJECT
private slots:
    void freshnessOfAccessToken_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<bool>("fresh");
        const QString exp1000 = makeJwt({{"exp", 1000}});
        QTest::newRow("31 s left") << exp1000 << qint64(969) << true;
        QTest::newRow("exactly 30 s left counts as expired") << exp1000 << qint64(970) << false;
        QTest::newRow("past") << exp1000 << qint64(2000) << false;
        QTest::newRow("no dot") << QStringLiteral("opaque-token") << qint64(0) << false;
        QTest::newRow("no exp") << makeJwt({{"sub", "u1"}}) << qint64(0) << false;
        QTest::newRow("payload not base64 JSON") << QStringLiteral("a.%%%.c") << qint64(0) << false;
        QTest::newRow("empty") << QString() << qint64(0) << false;
    }
    void freshnessOfAccessToken()
    {
        QFETCH(QString, token);
        QFETCH(qint64, now);
        QTEST(tokenIsFresh(token, now), "fresh");
    }

    void claimsComeOnlyFromAFreshToken_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("groupId");
        QTest::addColumn<QString>("role");
        const QJsonObject vlm{{"custom", QJsonObject{{"vlm", QJsonObject{{"group_id", "g1"}, {"role", "owner"}}}}}};
        QTest::newRow("group and role") << jwtExpiringIn(3600, vlm) << "g1" << "owner";
        QTest::newRow("no custom object") << jwtExpiringIn(3600) << "" << "";
        QTest::newRow("expired token") << jwtExpiringIn(10, vlm) << "" << "";
    }
    void claimsComeOnlyFromAFreshToken()
    {
        QFETCH(QString, token);
        Client client(ClientConfig(), std::make_unique<MemoryTokenStore>());
        client.tokenManager()->setTokens(token, QStringLiteral("r"));
        QTEST(client.claims().groupId, "groupId");
        QTEST(client.claims().role, "role");
    }

    // Waiting callers are answered in the order they asked, with the lock
    // released: one that asks again starts a new exchange.
    void waitingCallersAreAnsweredInOrderAndMayAskAgain()
    {
        TokenManager tokens(std::make_unique<MemoryTokenStore>());
        tokens.setTokens(QString(), QStringLiteral("r0"));
        ScriptedRefresher script;
        int issued = 0;
        tokens.setRefresher(script.refresher([&issued](auto ok, auto) {
            ++issued;
            ok(jwtExpiringIn(3600), QStringLiteral("r%1").arg(issued));
        }));
        QStringList answered;
        tokens.refresh([&](RefreshResult) {
            answered.append(QStringLiteral("first"));
            tokens.refresh([&](RefreshResult result) {
                answered.append(result == RefreshResult::Success ? QStringLiteral("again") : QStringLiteral("failed"));
            });
        });
        for (const QString &name : {QStringLiteral("second"), QStringLiteral("third")})
            tokens.refresh([&answered, name](RefreshResult) { answered.append(name); });
        QTRY_COMPARE(answered.size(), 4);
        QCOMPARE(answered, QStringList({"first", "second", "third", "again"}));
        QCOMPARE(script.calls, 2);
        QCOMPARE(tokens.refreshToken(), QStringLiteral("r2"));
    }

    // Signing out while an exchange is in flight: the waiting callers hear
    // Rejected at once and the late answer is dropped, whatever it is.
    void signOutDuringRefreshIsFinal_data()
    {
        QTest::addColumn<bool>("lateSuccess");
        QTest::newRow("late success") << true;
        QTest::newRow("late failure") << false;
    }
    void signOutDuringRefreshIsFinal()
    {
        QFETCH(bool, lateSuccess);
        auto store = std::make_unique<MemoryTokenStore>();
        MemoryTokenStore *stored = store.get();
        TokenManager tokens(std::move(store));
        tokens.setTokens(QString(), QStringLiteral("r0"));
        bool answered = false;
        ScriptedRefresher script;
        tokens.setRefresher(script.refresher([&](auto ok, auto fail) {
            answered = true;
            if (lateSuccess)
                ok(jwtExpiringIn(3600), QStringLiteral("r1"));
            else
                fail(false);
        }));
        QList<RefreshResult> results;
        tokens.refresh([&](RefreshResult result) { results.append(result); });
        tokens.clearTokens();
        QCOMPARE(results, QList<RefreshResult>({RefreshResult::Rejected}));
        QTRY_VERIFY(answered);
        QCOMPARE(results.size(), 1);
        QVERIFY(tokens.refreshToken().isEmpty());
        QVERIFY(tokens.accessToken().isEmpty());
        QCOMPARE(stored->value(TokenStore::refreshTokenKey), std::nullopt);
        // The next exchange is not blocked by the abandoned one.
        tokens.refresh([&](RefreshResult result) { results.append(result); });
        QCOMPARE(results.last(), RefreshResult::Rejected);
    }

    void storeThatRefusesKeepsTokensForTheSession()
    {
        auto store = std::make_unique<MemoryTokenStore>();
        store->setFailWrites(true);
        Client client(ClientConfig(), std::move(store));
        QSignalSpy told(&client, &Client::tokenStorageFailed);
        const QString access = jwtExpiringIn(3600);
        client.tokenManager()->setTokens(access, QStringLiteral("r1"));
        client.tokenManager()->setTokens(access, QStringLiteral("r2"));
        QCOMPARE(client.tokenManager()->accessToken(), access);
        QCOMPARE(client.tokenManager()->refreshToken(), QStringLiteral("r2"));
        QTRY_COMPARE(told.size(), 1);
        QTest::qWait(50);
        QCOMPARE(told.size(), 1);
    }

    void environmentOverridesBuiltInService_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("resolved");
        QTest::newRow("auth") << QByteArray("AUTH_BASE_URL") << QByteArray("https://a.example") << "https://a.example";
        QTest::newRow("empty keeps built-in") << QByteArray("AUTH_BASE_URL") << QByteArray() << "http://127.0.0.1:8787";
        QTest::newRow("sync built-in") << QByteArray("SYNC_API_URL") << QByteArray() << "http://127.0.0.1:8787/notes/v1";
        QTest::newRow("sync") << QByteArray("SYNC_API_URL") << QByteArray("https://c.example/notes/v1") << "https://c.example/notes/v1";
        QTest::newRow("realm") << QByteArray("AUTH_REALM_SLUG") << QByteArray("office") << "office";
        QTest::newRow("portal") << QByteArray("ACCOUNT_PORTAL_URL") << QByteArray("https://d.example/me") << "https://d.example/me";
    }
    void environmentOverridesBuiltInService()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        qputenv(variable.constData(), value);
        const ClientConfig config = ClientConfig::fromEnvironment(QStringLiteral("1.0.4"));
        const QHash<QByteArray, QString> resolved{{"AUTH_BASE_URL", config.authBaseUrl},
                                                  {"ACCOUNT_API_URL", config.accountApiUrl},
                                                  {"SYNC_API_URL", ClientConfig::syncApiUrlFromEnvironment()},
                                                  {"AUTH_REALM_SLUG", config.realm},
                                                  {"AUTH_CLIENT_ID", config.clientId},
                                                  {"ACCOUNT_PORTAL_URL", config.portalUrl}};
        qunsetenv(variable.constData());
        QTEST(resolved.value(variable), "resolved");
    }

    void platformName_data()
    {
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("platform");
        QTest::newRow("linux") << "" << "linux" << "linux";
        QTest::newRow("winnt") << "" << "winnt" << "windows";
        QTest::newRow("configured wins") << "kiosk" << "linux" << "kiosk";
    }
    void platformName()
    {
        QFETCH(QString, configured);
        QFETCH(QString, kernel);
        QTEST(Client::platformName(configured, kernel), "platform");
    }
};

VELM_TEST_CORE_MAIN(TestTokenManager)
#include "tst_tokenmanager.moc"
