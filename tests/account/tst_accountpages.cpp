#include "accountclient.h"
#include "apiclient.h"
#include "datapage.h"
#include "devicespage.h"
#include "grouppage.h"
#include "profilepage.h"
#include "securitypage.h"
#include "serverfixture.h"
#include "velmtest.h"

#include <QLabel>
#include <QPushButton>

// Each account page against a real server: every action reports what the
// server answered, and only once it has answered.

using namespace VelmAccount;

namespace {

QList<QPushButton *> buttons(const QWidget &page, const QString &text)
{
    QList<QPushButton *> found;
    for (QPushButton *button : page.findChildren<QPushButton *>()) {
        if (button->text() == text)
            found << button;
    }
    return found;
}

bool shows(const QWidget &page, const QString &text)
{
    const QList<QLabel *> labels = page.findChildren<QLabel *>();
    return std::any_of(labels.cbegin(), labels.cend(), [&text](QLabel *label) { return label->text().startsWith(text); });
}

// Runs action and waits until the page has been rebuilt afterwards.
template<typename Action>
bool rebuiltAfter(AccountPage &page, Action action)
{
    QSignalSpy spy(&page, &AccountPage::rebuilt);
    action();
    return !spy.isEmpty() || spy.wait(20000);
}

// Runs action and waits for its report; one made before the action returned
// (before any answer could arrive) is marked "at once: ".
template<typename Action>
QString reportAfter(AccountPage &page, Action action)
{
    QSignalSpy spy(&page, &AccountPage::reported);
    action();
    const QString early = spy.isEmpty() ? QString() : QStringLiteral("at once: ");
    if (spy.isEmpty() && !spy.wait(20000))
        return QString();
    return early + spy.first().at(0).toString();
}

void answer(AccountPage &page, QStringList texts)
{
    page.prompts().text = [texts](const QString &, const QString &, const QString &) mutable {
        return texts.isEmpty() ? std::nullopt : std::optional<QString>(texts.takeFirst());
    };
    page.prompts().confirm = [](const QString &, const QString &) { return true; };
}

void answerPasswords(AccountPage &page, QStringList passwords, int *asked)
{
    page.prompts().password = [passwords, asked](const QString &, const QString &) mutable {
        ++*asked;
        return passwords.isEmpty() ? std::nullopt : std::optional<QString>(passwords.takeFirst());
    };
}

} // namespace

class TestAccountPages : public QObject
{
    Q_OBJECT
private slots:
    void profileActionsReportTheServersAnswer_data()
    {
        QTest::addColumn<QStringList>("answers"); // a display name, or three passwords
        QTest::addColumn<int>("asked"); // password prompts shown
        QTest::addColumn<QString>("report");
        QTest::newRow("name") << QStringList{"  Olive Owner "} << 0 << "Display name updated.";
        QTest::newRow("name too long") << QStringList{QString(101, 'n')} << 0
                                       << "Failed to update profile: display_name must be 1 to 100 characters.";
        QTest::newRow("password") << QStringList{"correct horse", "staple battery", "staple battery"} << 3
                                  << "Password changed.";
        QTest::newRow("wrong current password") << QStringList{"not my password", "staple battery", "staple battery"}
                                                << 3 << "Failed to change password: the current password is wrong.";
        QTest::newRow("7 characters") << QStringList{"correct horse", "1234567", "1234567"} << 2
                                      << "at once: Password must be at least 8 characters.";
        QTest::newRow("mismatch") << QStringList{"correct horse", "12345678", "12345679"} << 3
                                  << "at once: Passwords do not match.";
    }
    void profileActionsReportTheServersAnswer()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, report);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("shown@example.org"));
        ProfilePage page(client.get());
        QVERIFY(rebuiltAfter(page, [&] { page.refresh(); }));
        QVERIFY(shows(page, "shown@example.org"));
        const bool name = answers.size() == 1;
        answer(page, answers);
        int asked = 0;
        answerPasswords(page, answers, &asked);
        QCOMPARE(reportAfter(page, [&] { name ? page.editDisplayName() : page.changePassword(); }), report);
        QTEST(asked, "asked");
        QCOMPARE(shows(page, "Olive Owner"), report == "Display name updated.");
        QVERIFY(!shows(page, QString(101, 'n')));
        int status = 0;
        server.signIn("shown@example.org", false, &status, "staple battery");
        QCOMPARE(status == 302, report == "Password changed.");
    }

    // Each action reports what the server answered; these all fail there.
    void groupFailuresReportTheServersAnswer_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("report");
        QTest::newRow("invitation of no group") << "invitation" << "Failed to revoke the invitation: not found.";
        QTest::newRow("member of no group") << "member" << "Failed to remove Ann: not found.";
        QTest::newRow("leaving no group") << "leave" << "Failed to leave the group: not in a group.";
        QTest::newRow("unknown invite code") << "join" << "Invalid or expired invite code.";
        QTest::newRow("joining a second group") << "rejoin" << "Failed to join the group: leave your current group first.";
        QTest::newRow("invitation to no address") << "email" << "Failed to send invitation: email is not an e-mail address.";
        QTest::newRow("code from a member") << "code" << "Failed to generate code: only the group owner can invite.";
    }
    void groupFailuresReportTheServersAnswer()
    {
        QFETCH(QString, action);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("alone@example.org"));
        GroupPage page(client.get());
        const auto codeOf = [](VelmAccount::Client *inviter) {
            return await<GroupInvitation>([&](auto done) {
                inviter->accountClient()->generateInviteCode([done](const GroupInvitation &made, const Outcome &) { done(made); });
            }).inviteCode;
        };
        answer(page, {action == "rejoin" ? codeOf(client.get()) : "NOSUCHCODE"});
        if (action == "code") {
            const auto owner = server.signedIn(QStringLiteral("owner@example.org"));
            QVERIFY(await<Outcome>([&](auto done) { client->accountClient()->joinGroup(codeOf(owner.get()), done); }).ok);
        }
        GroupMember member;
        member.accountId = QStringLiteral("no-such-account");
        member.displayName = QStringLiteral("Ann");
        const QHash<QString, std::function<void()>> actions{
            {"invitation", [&] { page.revokeInvitation(QStringLiteral("no-such-invitation")); }},
            {"member", [&] { page.removeMember(member); }},
            {"leave", [&] { page.leaveGroup(); }},
            {"join", [&] { page.joinGroup(); }},
            {"rejoin", [&] { page.joinGroup(); }},
            {"email", [&] { page.inviteByEmail(); }},
            {"code", [&] { page.generateInviteCode(); }},
        };
        QTEST(reportAfter(page, actions.value(action)), "report");
    }

    void groupFoundedJoinedAndLeft()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto owner = server.signedIn(QStringLiteral("owner@example.org"));
        auto member = server.signedIn(QStringLiteral("member@example.org"));
        GroupPage owners(owner.get());
        GroupPage members(member.get());

        // Someone in no group founds one by inviting; join from the second
        // account: each then sees the controls of its role.
        QString invite;
        owners.prompts().inform = [&](const QString &, const QString &text) { invite = text.section('\n', -1); };
        QVERIFY(rebuiltAfter(owners, [&] { owners.refresh(); }));
        const QList<QPushButton *> generate = buttons(owners, "Generate Invite Code");
        QCOMPARE(generate.size(), 1);
        QVERIFY(rebuiltAfter(owners, [&] { generate.first()->click(); }));
        QVERIFY(shows(owners, "Invite code: " + invite));
        QCOMPARE(invite.size(), 10);
        answer(members, {" " + invite + " "});
        QCOMPARE(reportAfter(members, [&] { members.joinGroup(); }), QStringLiteral("Joined group."));
        QVERIFY(rebuiltAfter(members, [] {}));
        QVERIFY(rebuiltAfter(owners, [&] { owners.refresh(); }));
        QVERIFY(shows(owners, "member@example.org"));
        for (const auto &[text, forOwner, forMember] : {std::tuple{"Remove", 1, 0}, {"Invite by Email", 1, 0},
                                                        {"Leave Group", 0, 1}}) {
            QCOMPARE(buttons(owners, text).size(), forOwner);
            QCOMPARE(buttons(members, text).size(), forMember);
        }

        // The owner removes the member, who is then offered to join again.
        answer(owners, {});
        QCOMPARE(reportAfter(owners, [&] { buttons(owners, "Remove").first()->click(); }),
                 QStringLiteral("member removed."));
        QVERIFY(rebuiltAfter(owners, [] {}));
        QVERIFY(buttons(owners, "Remove").isEmpty());
        QVERIFY(rebuiltAfter(members, [&] { members.refresh(); }));
        QCOMPARE(buttons(members, "Join with Invite Code").size(), 1);
    }

    // Each action reports what the server answered, and only a success
    // changes the page.
    void deviceActionsReportTheServersAnswer_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("known"); // this computer, or a device the server never saw
        QTest::addColumn<QString>("report");
        QTest::newRow("rename") << "rename" << true << "Device renamed.";
        QTest::newRow("rename unknown") << "rename" << false << "Failed to rename the device: not found.";
        QTest::newRow("remove") << "remove" << true << "Device removed.";
        QTest::newRow("remove unknown") << "remove" << false << "Failed to remove the device: not found.";
    }
    void deviceActionsReportTheServersAnswer()
    {
        QFETCH(QString, action);
        QFETCH(bool, known);
        QFETCH(QString, report);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("dee@example.org"));
        // A sync request records this computer from the identity headers.
        client->syncApi()->setBaseUrl(QUrl(server.url(QStringLiteral("/notes/v1"))));
        QVERIFY(await<bool>([&](auto done) {
            client->syncApi()->get(QStringLiteral("/sync/pull"), [done](bool ok, int, const QJsonObject &) { done(ok); });
        }));
        DevicesPage page(client.get());
        answer(page, {"  Study "});
        QVERIFY(rebuiltAfter(page, [&] { page.refresh(); }));
        QCOMPARE(buttons(page, "Rename…").size(), 1);
        Device device = await<QList<Device>>([&](auto done) { client->accountClient()->getDevices(done); }).value(0);
        if (!known)
            device.id = QStringLiteral("no-such-device");
        QCOMPARE(reportAfter(page, [&] { action == "remove" ? page.removeDevice(device) : page.renameDevice(device); }),
                 report);
        if (known)
            QVERIFY(rebuiltAfter(page, [] {}));
        QCOMPARE(shows(page, "<b>Study</b>"), report == "Device renamed.");
        QCOMPARE(shows(page, "No devices registered."), report == "Device removed.");
    }

    // The other session's revocation reports what the server answered, and
    // only a success takes the session off the page.
    void sessionRevocationReportsTheServersAnswer_data()
    {
        QTest::addColumn<bool>("known");
        QTest::addColumn<QString>("report");
        QTest::newRow("other session") << true << "Session revoked.";
        QTest::newRow("unknown session") << false << "Failed to revoke the session: not found.";
    }
    void sessionRevocationReportsTheServersAnswer()
    {
        QFETCH(bool, known);
        QFETCH(QString, report);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("two@example.org"));
        server.signIn(QStringLiteral("two@example.org"), false);
        SecurityPage page(client.get());
        QVERIFY(rebuiltAfter(page, [&] { page.refresh(); }));
        QVERIFY(shows(page, "This session"));
        const QList<QPushButton *> revoke = buttons(page, "Revoke");
        QCOMPARE(revoke.size(), 1);
        QCOMPARE(reportAfter(page, [&] { known ? revoke.first()->click() : page.revokeSession("no-such-session"); }),
                 report);
        if (known)
            QVERIFY(rebuiltAfter(page, [] {}));
        QCOMPARE(buttons(page, "Revoke").size(), known ? 0 : 1);
    }

    void deletionNeedsTheExactWordAndNoGroup_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("owner");
        QTest::newRow("lower case") << "delete" << false;
        QTest::newRow("trailing space") << "DELETE " << false;
        QTest::newRow("exact") << "DELETE" << false;
        QTest::newRow("exact, group owner") << "DELETE" << true;
    }
    void deletionNeedsTheExactWordAndNoGroup()
    {
        QFETCH(QString, typed);
        QFETCH(bool, owner);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("leaver@example.org"));
        DataPage page(client.get());
        if (owner) {
            // The first invitation founds a group and makes its sender the owner.
            GroupPage group(client.get());
            group.prompts().inform = [](const QString &, const QString &) {};
            QVERIFY(rebuiltAfter(group, [&] { group.generateInviteCode(); }));
            page.refresh();
        }
        QCOMPARE(buttons(page, "Delete Account").first()->isEnabled(), !owner);
        answer(page, {typed});
        QString told;
        page.prompts().inform = [&](const QString &title, const QString &) { told = title; };
        page.deleteAccount();
        const bool deleted = typed == QLatin1String("DELETE") && !owner;
        if (deleted)
            QTRY_COMPARE_WITH_TIMEOUT(told, QStringLiteral("Account Deleted"), 20000);
        QCOMPARE(told.isEmpty(), !deleted);
        QCOMPARE(client->isAuthenticated(), !deleted);
        int status = 0;
        server.signIn(QStringLiteral("leaver@example.org"), false, &status);
        QCOMPARE(status == 302, !deleted);
    }
};

VELM_TEST_MAIN(TestAccountPages)
#include "tst_accountpages.moc"
