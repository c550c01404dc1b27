#include "accountpageparts.h"
#include "accountscreen.h"
#include "profilepage.h"
#include "velmtest.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace VelmAccount;

class TestAccountScreen : public QObject
{
    Q_OBJECT
private slots:
    void sessionsAreNamedInWords_data()
    {
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QString>("words");
        QTest::newRow("chrome") << "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
                                   "Chrome/120.0.0.0 Safari/537.36" << "Chrome on Linux";
        QTest::newRow("edge") << "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                                 "Chrome/120.0 Safari/537.36 Edg/120.0" << "Edge on Windows";
        QTest::newRow("firefox") << "Mozilla/5.0 (Macintosh; Intel Mac OS X 14.1; rv:121.0) Gecko/20100101 "
                                    "Firefox/121.0" << "Firefox on macOS";
        QTest::newRow("android") << "Mozilla/5.0 (Linux; Android 14) AppleWebKit/537.36 Chrome/120.0 Mobile "
                                    "Safari/537.36" << "Chrome on Android";
        QTest::newRow("tool") << "curl/8.5.0" << "curl";
        QTest::newRow("none") << "" << "Unknown client";
    }
    void sessionsAreNamedInWords()
    {
        QFETCH(QString, agent);
        QFETCH(QString, words);
        QCOMPARE(sessionInWords(agent), words);
    }

    // A badge beside a row's button in a narrow window stays one line.
    void badgesKeepOneLine()
    {
        QWidget page;
        auto *layout = new QVBoxLayout(&page);
        QLabel *tag = AccountParts::badge(QStringLiteral("This device"), -1);
        QVBoxLayout *lines = AccountParts::addRow(layout, {tag, new QPushButton(QStringLiteral("Rename…"))});
        lines->addWidget(AccountParts::label(QStringLiteral("A machine with a rather long name indeed")));
        page.resize(260, 200);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY2(tag->height() < 2 * tag->fontMetrics().lineSpacing(), qPrintable(QString::number(tag->height())));
        QVERIFY(tag->width() >= tag->fontMetrics().horizontalAdvance(tag->text()));
    }

    void relativeTimes_data()
    {
        QTest::addColumn<qint64>("secondsAgo");
        QTest::addColumn<QString>("text");
        QTest::newRow("half a minute") << qint64(30) << "Active now";
        QTest::newRow("just under an hour") << qint64(3599) << "59m ago";
        QTest::newRow("two hours") << qint64(7300) << "2h ago";
        QTest::newRow("six days") << qint64(6 * 86400 + 10) << "6d ago";
        QTest::newRow("eight days") << qint64(8 * 86400) << "Mar 12, 2026";
        QTest::newRow("invalid") << qint64(-1) << "Unknown";
    }
    void relativeTimes()
    {
        QFETCH(qint64, secondsAgo);
        const QDateTime now(QDate(2026, 3, 20), QTime(12, 0), Qt::LocalTime);
        QTEST(accountRelativeTime(secondsAgo < 0 ? QDateTime() : now.addSecs(-secondsAgo), now), "text");
    }

    // A page's report shows in the window's status line until it clears itself.
    void reportsShowInTheStatusLine()
    {
        AccountScreen screen(nullptr);
        auto *profile = static_cast<ProfilePage *>(screen.page(AccountScreen::ProfilePage));
        profile->prompts().password = [](const QString &, const QString &) { return QStringLiteral("short"); };
        profile->changePassword();
        QCOMPARE(screen.statusText(), QStringLiteral("Password must be at least 8 characters."));
        QTRY_VERIFY_WITH_TIMEOUT(screen.statusText().isEmpty(), 5000);
    }
};

VELM_TEST_MAIN(TestAccountScreen)
#include "tst_accountscreen.moc"
