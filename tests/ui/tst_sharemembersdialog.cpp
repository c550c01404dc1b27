#include "notesharingservice.h"
#include "serverharness.h"
#include "sharemembersdialog.h"
#include "syncdevice.h"
#include "velmtest.h"

#include <QSignalSpy>

using namespace VelmAccount;

class TestShareMembersDialog : public QObject
{
    Q_OBJECT

private slots:
    void initials_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("expected");
        QTest::newRow("three words") << "ada king lovelace" << "ada@example.org" << "AL";
        QTest::newRow("one word, lower case") << "  grace " << "" << "G";
        QTest::newRow("e-mail only") << "" << "bob@example.org" << "B";
        QTest::newRow("nothing") << "" << "" << "?";
    }
    void initials()
    {
        QFETCH(QString, name);
        QFETCH(QString, email);
        QFETCH(QString, expected);
        QCOMPARE(personInitials(name, email), expected);
    }

    void offersOnlyOthersWithoutAccess()
    {
        const QList<GroupPerson> group{{"me", "", "Me", "me@example.org"},
                                       {"ann", "", "Ann", "ann@example.org"},
                                       {"", "bo-auth", "Bo", "bo@example.org"},
                                       {"cy", "", "Cy", "cy@example.org"}};
        const QList<ShareMember> shares{{"s1", "ann", "ann@example.org", "Ann", "edit", ""},
                                        {"s2", "bo-auth", "bo@example.org", "Bo", "view", ""}};
        const QList<GroupPerson> offered = membersToOffer(group, "me", shares);
        QCOMPARE(offered.size(), 1);
        QCOMPARE(offered.first().accountId, QStringLiteral("cy"));
    }

    void twoFastClicksSendOneShare()
    {
        VelmServerTest::Harness server;
        QString error;
        QVERIFY2(server.start(QString(), &error), qPrintable(error));
        const auto ownerTokens = server.signIn("owner@example.org", true);
        const auto memberTokens = server.signIn("member@example.org", true);
        const VelmServerTest::Api ownerApi(server.port(), ownerTokens.access), memberApi(server.port(), memberTokens.access);
        const auto invite = ownerApi.call("POST", "/account/v1/group/invite");
        memberApi.call("POST", "/account/v1/group/join/" + invite.json.value("invite_code").toString().toStdString());
        const QString memberId = memberApi.call("GET", "/account/v1/profile").json.value("id").toString();

        VelmSyncTest::Device owner(server.port(), ownerTokens.access, ownerTokens.refresh);
        const Note note = owner.addNote("to share");
        QVERIFY(owner.sync());
        owner.requests.clear();
        NoteSharingService sharing(&owner.api, NoteSharingService::Notes);
        QStringList texts(ShareMembersDialog::TextCount);
        texts[ShareMembersDialog::Permission] = QStringLiteral("view");
        ShareMembersDialog dialog(&sharing, note.id, texts, {});
        QSignalSpy changed(&dialog, &ShareMembersDialog::sharingChanged);
        const GroupPerson member{memberId, "", "Member", "member@example.org"};
        dialog.shareWith(member);
        dialog.shareWith(member);
        QVERIFY(changed.wait(20000));
        QCOMPARE(dialog.errorText(), QString());

        // The server's reason reaches the error label.
        dialog.shareWith({"nobody", "", "Nobody", ""});
        QTRY_VERIFY(!dialog.isBusy());
        QCOMPARE(dialog.errorText(), QStringLiteral("you can share only with other members of your group"));
        // Every answer is in by now: the double click went out once.
        QCOMPARE(owner.requests.filter("POST /shares/notes/").size(), 2);
    }
};

VELM_TEST_MAIN(TestShareMembersDialog)
#include "tst_sharemembersdialog.moc"
