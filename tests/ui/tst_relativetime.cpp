#include "velmtest.h"

#include "relativetime.h"

#include <QLocale>

class TestRelativeTime : public QObject
{
    Q_OBJECT

private:
    // Wednesday, 18 March 2026, 15:00 local time.
    const QDateTime m_now{QDate(2026, 3, 18), QTime(15, 0)};

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void textForAge_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("expected");

        QTest::newRow("invalid") << QDateTime() << QString();
        QTest::newRow("same moment") << m_now << "just now";
        QTest::newRow("59 s") << m_now.addSecs(-59) << "just now";
        QTest::newRow("60 s") << m_now.addSecs(-60) << "1m ago";
        QTest::newRow("59 min 59 s") << m_now.addSecs(-3599) << "59m ago";
        QTest::newRow("1 h") << m_now.addSecs(-3600) << "1h ago";
        QTest::newRow("23 h 59 min") << m_now.addSecs(-86399) << "23h ago";
        QTest::newRow("yesterday evening, under a day")
            << QDateTime(QDate(2026, 3, 17), QTime(16, 0)) << "23h ago";
        QTest::newRow("yesterday morning") << QDateTime(QDate(2026, 3, 17), QTime(9, 0)) << "Yesterday";
        QTest::newRow("two days ago") << QDateTime(QDate(2026, 3, 16), QTime(9, 0)) << "Monday";
        QTest::newRow("six days ago") << QDateTime(QDate(2026, 3, 12), QTime(23, 0)) << "Thursday";
        QTest::newRow("seven days ago") << QDateTime(QDate(2026, 3, 11), QTime(23, 0)) << "Mar 11";
        QTest::newRow("same year") << QDateTime(QDate(2026, 1, 5), QTime(8, 0)) << "Jan 5";
        QTest::newRow("other year") << QDateTime(QDate(2025, 12, 30), QTime(8, 0)) << "Dec 30, 2025";
        QTest::newRow("seconds ahead") << m_now.addSecs(10) << "Mar 18";
        QTest::newRow("future same year") << QDateTime(QDate(2026, 11, 2), QTime(8, 0)) << "Nov 2";
        QTest::newRow("future other year") << QDateTime(QDate(2027, 1, 2), QTime(8, 0)) << "Jan 2, 2027";
    }
    void textForAge()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, expected);
        QCOMPARE(relativeTimeText(time, m_now), expected);
    }

    void utcTimesAreComparedAsTheSameInstant()
    {
        const QDateTime utc = m_now.addSecs(-5 * 60).toUTC();
        QCOMPARE(relativeTimeText(utc, m_now), QStringLiteral("5m ago"));
        QCOMPARE(relativeTimeText(utc, m_now.toUTC()), QStringLiteral("5m ago"));
    }
};

VELM_TEST_CORE_MAIN(TestRelativeTime)
#include "tst_relativetime.moc"
