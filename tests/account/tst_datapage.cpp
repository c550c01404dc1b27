#include "accountpagetest.h"
#include "datapage.h"
#include "grouppage.h"
#include "velmtest.h"

using namespace VelmAccount;
using namespace AccountPageTest;

class TestDataPage : public QObject
{
    Q_OBJECT
private slots:
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

VELM_TEST_MAIN(TestDataPage)
#include "tst_datapage.moc"
