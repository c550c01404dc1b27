#include "accountpagetest.h"
#include "securitypage.h"
#include "velmtest.h"

using namespace VelmAccount;
using namespace AccountPageTest;

class TestSecurityPage : public QObject
{
    Q_OBJECT
private slots:
    // The other session's revocation reports what the server answered, and
    // only a success takes the session off the page.
    void revocationReportsTheServersAnswer_data()
    {
        QTest::addColumn<bool>("known");
        QTest::addColumn<QString>("report");
        QTest::newRow("other session") << true << "Session revoked.";
        QTest::newRow("unknown session") << false << "Failed to revoke the session: not found.";
    }
    void revocationReportsTheServersAnswer()
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
};

VELM_TEST_MAIN(TestSecurityPage)
#include "tst_securitypage.moc"
