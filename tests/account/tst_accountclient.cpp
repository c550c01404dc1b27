#include "accountclient.h"
#include "apiclient.h"
#include "authclient.h"
#include "account/client.h"
#include "fakehttpserver.h"
#include "memorytokenstore.h"
#include "serverfixture.h"
#include "tokenmanager.h"
#include "velmtest.h"

#include <QSignalSpy>

using namespace VelmAccount;

namespace {

// Waits for an asynchronous call's single answer.
template<typename Value, typename Call>
Value await(Call call)
{
    std::optional<Value> result;
    call([&result](const Value &value) { result = value; });
    if (!QTest::qWaitFor([&result]() { return result.has_value(); }, 20000))
        qWarning("no answer within 20 s");
    return result.value_or(Value());
}

std::unique_ptr<Client> signedIn(ServerFixture &server, const QString &email)
{
    const auto [access, refresh] = server.signUp(email);
    auto client = std::make_unique<Client>(server.config(), std::make_unique<MemoryTokenStore>());
    client->tokenManager()->setTokens(access, refresh);
    return client;
}

Group groupOf(Client &client)
{
    return await<Group>([&client](auto done) { client.accountClient()->getGroup(done); });
}

} // namespace

class TestAccountClient : public QObject
{
    Q_OBJECT
private slots:
    void groupFromInvitationToLeaving()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto owner = signedIn(server, QStringLiteral("owner@example.org"));
        auto member = signedIn(server, QStringLiteral("member@example.org"));
        AccountClient *owners = owner->accountClient();
        AccountClient *members = member->accountClient();

        Profile profile = await<Profile>([&](auto done) { owners->getProfile(done); });
        QCOMPARE(profile.email, QStringLiteral("owner@example.org"));
        QVERIFY(!profile.hasGroup);

        const GroupInvitation code = await<GroupInvitation>([&](auto done) { owners->generateInviteCode(done); });
        QCOMPARE(code.inviteCode.size(), 10);
        QVERIFY(code.invitedEmail.isEmpty());
        const GroupInvitation byEmail = await<GroupInvitation>([&](auto done) {
            owners->inviteByEmail(QStringLiteral("carol@example.org"), done);
        });
        QCOMPARE(byEmail.invitedEmail, QStringLiteral("carol@example.org"));
        QCOMPARE(byEmail.status, QStringLiteral("pending"));
        QVERIFY(byEmail.expiresAt > QDateTime::currentDateTimeUtc());

        QSignalSpy joinedOrLeft(members, &AccountClient::groupChanged);
        QVERIFY(await<bool>([&](auto done) { members->joinGroup(code.inviteCode, done); }));
        QTRY_COMPARE(joinedOrLeft.size(), 1);
        Group group = groupOf(*owner);
        QCOMPARE(group.maxSeats, 6);
        QCOMPARE(group.members.size(), 2);
        QCOMPARE(group.members.first().role, QStringLiteral("owner"));
        QCOMPARE(group.members.last().email, QStringLiteral("member@example.org"));
        QCOMPARE(group.pendingInvitations.size(), 1);
        // The refreshed token carries the new group.
        QCOMPARE(member->claims().groupId, group.id);
        QCOMPARE(member->claims().role, QStringLiteral("member"));
        profile = await<Profile>([&](auto done) { owners->getProfile(done); });
        QVERIFY(profile.hasGroup);
        QCOMPARE(profile.group.memberCount, 2);
        QCOMPARE(profile.group.role, QStringLiteral("owner"));

        owners->revokeInvitation(byEmail.id);
        QTRY_VERIFY_WITH_TIMEOUT(groupOf(*owner).pendingInvitations.isEmpty(), 20000);

        members->leaveGroup();
        QTRY_COMPARE(joinedOrLeft.size(), 2);
        QVERIFY(member->claims().groupId.isEmpty());
        QCOMPARE(groupOf(*owner).members.size(), 1);

        const GroupInvitation again = await<GroupInvitation>([&](auto done) { owners->generateInviteCode(done); });
        QVERIFY(await<bool>([&](auto done) { members->joinGroup(again.inviteCode, done); }));
        owners->removeMember(groupOf(*owner).members.last().accountId);
        QTRY_COMPARE_WITH_TIMEOUT(groupOf(*owner).members.size(), 1, 20000);

        QVERIFY(!await<bool>([&](auto done) { members->joinGroup(QStringLiteral("NOSUCHCODE"), done); }));
        QCOMPARE(joinedOrLeft.size(), 3);
    }

    void signedInUserManagesOwnAccount()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto client = signedIn(server, QStringLiteral("dee@example.org"));
        AuthClient *auth = client->authClient();
        const User renamed = await<User>([&](auto done) { auth->updateProfile(QStringLiteral("Dee D."), done); });
        QCOMPARE(renamed.displayName, QStringLiteral("Dee D."));
        QCOMPARE(renamed.email, QStringLiteral("dee@example.org"));
        QVERIFY(renamed.createdAt.isValid());

        QVERIFY(!await<bool>([&](auto done) { auth->changePassword(QStringLiteral("wrong one"), QStringLiteral("new secret 1"), done); }));
        QVERIFY(await<bool>([&](auto done) {
            auth->changePassword(QStringLiteral("correct horse battery"), QStringLiteral("new secret 1"), done);
        }));

        const QList<Session> sessions = await<QList<Session>>([&](auto done) { auth->listSessions(done); });
        QCOMPARE(sessions.size(), 1);
        QVERIFY(!sessions.first().id.isEmpty());
        QVERIFY(sessions.first().createdAt.isValid());

        // A sync request records this device from the identity headers.
        client->syncApi()->setBaseUrl(QUrl(server.url(QStringLiteral("/notes/v1"))));
        QVERIFY(await<bool>([&](auto done) {
            client->syncApi()->get(QStringLiteral("/sync/pull"), [done](bool ok, int, const QJsonObject &) { done(ok); },
                                   QUrlQuery(QStringLiteral("since=0")));
        }));
        const auto devices = [&client]() {
            return await<QList<Device>>([&client](auto done) { client->accountClient()->getDevices(done); });
        };
        const QList<Device> recorded = devices();
        QCOMPARE(recorded.size(), 1);
        QCOMPARE(recorded.first().appId, QStringLiteral("app.velmora.notes"));
        QCOMPARE(recorded.first().appVersion, QStringLiteral("1.0.4"));
        QCOMPARE(recorded.first().platform, Client::platformName(QString(), QSysInfo::kernelType()));
        QVERIFY(recorded.first().lastSyncAt.isValid());
        client->accountClient()->removeDevice(recorded.first().id);
        QTRY_VERIFY_WITH_TIMEOUT(devices().isEmpty(), 20000);

        QVERIFY(await<bool>([&](auto done) { client->accountClient()->deleteAccount(done); }));
        QVERIFY(await<Profile>([&](auto done) { client->accountClient()->getProfile(done); }).id.isEmpty());
    }

    // Replies the server never gives: the list stays empty.
    void devicesNeedTheDevicesArray_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("no devices key") << QByteArray(R"({"items":[{"id":"d1"}]})");
        QTest::newRow("an array reply") << QByteArray(R"([{"id":"d1"}])");
    }
    void devicesNeedTheDevicesArray()
    {
        QFETCH(QByteArray, reply);
        FakeHttpServer fake([&reply](const RecordedRequest &) { return FakeReply{200, reply}; });
        ClientConfig config;
        config.accountApiUrl = fake.baseUrl(QStringLiteral("/account/v1"));
        Client client(config, std::make_unique<MemoryTokenStore>());
        const QList<Device> devices = await<QList<Device>>([&](auto done) { client.accountClient()->getDevices(done); });
        QCOMPARE(fake.requests.size(), 1);
        QVERIFY(devices.isEmpty());
    }
};

VELM_TEST_CORE_MAIN(TestAccountClient)
#include "tst_accountclient.moc"
