#include "accountpagetest.h"
#include "profilepage.h"
#include "velmtest.h"

using namespace VelmAccount;
using namespace AccountPageTest;

class TestProfilePage : public QObject
{
    Q_OBJECT
private slots:
    void passwordPromptsStopEarly_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("report");
        QTest::newRow("7 characters") << QStringList{"old secret", "1234567", "1234567"} << 2
                                      << "at once: Password must be at least 8 characters.";
        QTest::newRow("mismatch") << QStringList{"old secret", "12345678", "12345679"} << 3
                                  << "at once: Passwords do not match.";
        QTest::newRow("empty current") << QStringList{"", "12345678", "12345678"} << 1 << "";
        QTest::newRow("cancelled") << QStringList{} << 1 << "";
    }
    void passwordPromptsStopEarly()
    {
        QFETCH(QStringList, answers);
        ProfilePage page(nullptr);
        int asked = 0;
        answerPasswords(page, answers, &asked);
        QTEST(reportAfter(page, [&] { page.changePassword(); }, 0), "report");
        QTEST(asked, "asked");
    }

    // Each action reports what the server answered, once it has answered.
    void actionsReportTheServersAnswer_data()
    {
        QTest::addColumn<QStringList>("answers"); // a display name, or three passwords
        QTest::addColumn<QString>("report");
        QTest::newRow("name") << QStringList{"  Olive Owner "} << "Display name updated.";
        QTest::newRow("name too long") << QStringList{QString(101, 'n')}
                                       << "Failed to update profile: display_name must be 1 to 100 characters.";
        QTest::newRow("password") << QStringList{"correct horse", "staple battery", "staple battery"}
                                  << "Password changed.";
        QTest::newRow("wrong current password") << QStringList{"not my password", "staple battery", "staple battery"}
                                                << "Failed to change password: the current password is wrong.";
    }
    void actionsReportTheServersAnswer()
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
        answerPasswords(page, answers);
        QCOMPARE(reportAfter(page, [&] { name ? page.editDisplayName() : page.changePassword(); }), report);
        QCOMPARE(shows(page, "Olive Owner"), report == "Display name updated.");
        QVERIFY(!shows(page, QString(101, 'n')));
        int status = 0;
        server.signIn("shown@example.org", false, &status, "staple battery");
        QCOMPARE(status == 302, report == "Password changed.");
    }
};

VELM_TEST_MAIN(TestProfilePage)
#include "tst_profilepage.moc"
