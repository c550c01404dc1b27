#include "accountclient.h"
#include "apiclient.h"
#include "authclient.h"
#include "serverfixture.h"
#include "velmtest.h"

using namespace VelmAccount;

// What the account screen's flow does not reach: invitations by email,
// leaving, devices and deletion.
class TestAccountClient : public QObject
{
    Q_OBJECT
private slots:
    void groupFromInvitationToLeaving()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto owner = server.signedIn(QStringLiteral("owner@example.org"));
        auto member = server.signedIn(QStringLiteral("member@example.org"));
        AccountClient *owners = owner->accountClient();
        AccountClient *members = member->accountClient();
        const auto groupOf = [&owners] { return await<Group>([&](auto done) { owners->getGroup(done); }); };

        const auto made = [](auto done) { return [done](const GroupInvitation &made, const Outcome &) { done(made); }; };
        const GroupInvitation code = await<GroupInvitation>([&](auto done) { owners->generateInviteCode(made(done)); });
        const GroupInvitation byEmail = await<GroupInvitation>([&](auto done) {
            owners->inviteByEmail(QStringLiteral("carol@example.org"), made(done));
        });
        QCOMPARE(byEmail.invitedEmail, QStringLiteral("carol@example.org"));
        QCOMPARE(byEmail.status, QStringLiteral("pending"));
        QVERIFY(byEmail.expiresAt > QDateTime::currentDateTimeUtc());

        QSignalSpy joinedOrLeft(members, &AccountClient::groupChanged);
        QVERIFY(await<Outcome>([&](auto done) { members->joinGroup(code.inviteCode, done); }).ok);
        QTRY_COMPARE(joinedOrLeft.size(), 1);
        const Group group = groupOf();
        QCOMPARE(group.members.last().email, QStringLiteral("member@example.org"));
        QCOMPARE(group.pendingInvitations.size(), 1);
        // The refreshed token carries the new group.
        QCOMPARE(member->claims().groupId, group.id);
        QCOMPARE(member->claims().role, QStringLiteral("member"));
        const Profile profile = await<Profile>([&](auto done) { owners->getProfile(done); });
        QCOMPARE(profile.group.memberCount, 2);
        QCOMPARE(profile.group.role, QStringLiteral("owner"));

        owners->revokeInvitation(byEmail.id);
        QTRY_VERIFY_WITH_TIMEOUT(groupOf().pendingInvitations.isEmpty(), 20000);
        members->leaveGroup();
        QTRY_COMPARE(joinedOrLeft.size(), 2);
        QVERIFY(member->claims().groupId.isEmpty());
        QCOMPARE(groupOf().members.size(), 1);
        QCOMPARE(await<Outcome>([&](auto done) { members->joinGroup(QStringLiteral("NOSUCHCODE"), done); }).status, 404);
        QCOMPARE(joinedOrLeft.size(), 2);
    }

    void devicesPasswordAndDeletion()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("dee@example.org"));
        const Outcome wrong = await<Outcome>([&](auto done) { client->authClient()->changePassword("wrong one", "new secret 1", done); });
        QVERIFY(!wrong.ok);
        QCOMPARE(wrong.status, 403);
        QCOMPARE(wrong.message, QStringLiteral("the current password is wrong"));

        // A sync request records this device from the identity headers.
        client->syncApi()->setBaseUrl(QUrl(server.url(QStringLiteral("/notes/v1"))));
        QVERIFY(await<bool>([&](auto done) {
            client->syncApi()->get(QStringLiteral("/sync/pull"), [done](bool ok, int, const QJsonObject &) { done(ok); });
        }));
        const auto devices = [&client] {
            return await<QList<Device>>([&client](auto done) { client->accountClient()->getDevices(done); });
        };
        const QList<Device> recorded = devices();
        QCOMPARE(recorded.size(), 1);
        QCOMPARE(recorded.first().appId, QStringLiteral("app.velmora.notes"));
        QCOMPARE(recorded.first().appVersion, QStringLiteral("1.0.4"));
        QCOMPARE(recorded.first().platform, Client::platformName(QString(), QSysInfo::kernelType()));
        QVERIFY(recorded.first().lastSyncAt.isValid());
        QVERIFY(await<Outcome>([&](auto done) { client->accountClient()->removeDevice(recorded.first().id, done); }).ok);
        QVERIFY(devices().isEmpty());
        QCOMPARE(await<Outcome>([&](auto done) { client->accountClient()->removeDevice(recorded.first().id, done); }).status,
                 404);

        QVERIFY(await<Outcome>([&](auto done) { client->accountClient()->deleteAccount(done); }).ok);
        QVERIFY(await<Profile>([&](auto done) { client->accountClient()->getProfile(done); }).id.isEmpty());
    }

    // A password change on another computer ends this session: however many
    // requests then fail, the client signs out once and says so.
    void sessionEndedElsewhereSignsOutOnce()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("two@example.org"));
        client->syncApi()->setBaseUrl(QUrl(server.url(QStringLiteral("/notes/v1"))));
        const VelmServerTest::Tokens other = server.signIn(QStringLiteral("two@example.org"), false);
        VelmServerTest::Api elsewhere(server.port(), other.access);
        QCOMPARE(elsewhere.call("POST", "/api/v1/realms/velmora/users/me/password",
                                {{"current_password", "correct horse"}, {"new_password", "battery staple"}}).status, 200);
        QSignalSpy ended(client.get(), &Client::sessionEnded);
        QSignalSpy states(client.get(), &Client::authStateChanged);
        int answered = 0;
        for (int i = 0; i < 3; ++i) {
            client->syncApi()->get(QStringLiteral("/sync/pull"), [&answered](bool, int, const QJsonObject &) { ++answered; });
            client->accountClient()->getDevices([&answered](const QList<Device> &) { ++answered; });
        }
        QTRY_COMPARE_WITH_TIMEOUT(answered, 6, 20000);
        QTRY_COMPARE(ended.size(), 1);
        QTest::qWait(100);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(states.size(), 1);
        QVERIFY(!client->isAuthenticated());
        QVERIFY(client->wasSignedOutByServer());
        QVERIFY(client->tokenManager()->refreshToken().isEmpty());

        const VelmServerTest::Tokens again = server.signIn(QStringLiteral("two@example.org"), false, nullptr, "battery staple");
        client->tokenManager()->setTokens(again.access, again.refresh);
        client->initialize();
        QVERIFY(client->isAuthenticated());
        QVERIFY(!client->wasSignedOutByServer());
    }
};

VELM_TEST_CORE_MAIN(TestAccountClient)
#include "tst_accountclient.moc"
