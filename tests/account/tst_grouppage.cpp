#include "accountpagetest.h"
#include "grouppage.h"
#include "velmtest.h"

using namespace VelmAccount;
using namespace AccountPageTest;

class TestGroupPage : public QObject
{
    Q_OBJECT
private slots:
    // Each action reports what the server answered; these all fail there.
    void failuresReportTheServersAnswer_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("report");
        QTest::newRow("invitation of no group") << "invitation" << "Failed to revoke the invitation: not found.";
        QTest::newRow("member of no group") << "member" << "Failed to remove Ann: not found.";
        QTest::newRow("leaving no group") << "leave" << "Failed to leave the group: not in a group.";
        QTest::newRow("unknown invite code") << "join" << "Invalid or expired invite code.";
    }
    void failuresReportTheServersAnswer()
    {
        QFETCH(QString, action);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("alone@example.org"));
        GroupPage page(client.get());
        answer(page, {"NOSUCHCODE"});
        GroupMember member;
        member.accountId = QStringLiteral("no-such-account");
        member.displayName = QStringLiteral("Ann");
        const QHash<QString, std::function<void()>> actions{
            {"invitation", [&] { page.revokeInvitation(QStringLiteral("no-such-invitation")); }},
            {"member", [&] { page.removeMember(member); }},
            {"leave", [&] { page.leaveGroup(); }},
            {"join", [&] { page.joinGroup(); }},
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
};

VELM_TEST_MAIN(TestGroupPage)
#include "tst_grouppage.moc"
