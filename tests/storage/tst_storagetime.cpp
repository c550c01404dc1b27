#include "velmtest.h"

#include "storagetime.h"

class TestStorageTime : public QObject
{
    Q_OBJECT

private slots:
    // Every text reads as the general ISO reader reads it, whether it takes
    // the short path for the written form or not.
    void readsAsTheIsoReader_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("written form") << "2026-03-04T05:06:07.089Z";
        QTest::newRow("end of a leap day") << "2024-02-29T23:59:59.999Z";
        QTest::newRow("first instant") << "1970-01-01T00:00:00.000Z";
        QTest::newRow("no leap day") << "2025-02-29T10:00:00.000Z";
        QTest::newRow("month 13") << "2026-13-01T10:00:00.000Z";
        QTest::newRow("hour 24") << "2026-03-04T24:00:00.000Z";
        QTest::newRow("second 60") << "2026-03-04T10:00:60.000Z";
        QTest::newRow("letter in the year") << "20x6-03-04T05:06:07.089Z";
        QTest::newRow("no milliseconds") << "2026-03-04T05:06:07Z";
        QTest::newRow("offset") << "2026-03-04T05:06:07.089+02:00";
        QTest::newRow("no zone") << "2026-03-04T05:06:07.089";
        QTest::newRow("space for T") << "2026-03-04 05:06:07.089Z";
        QTest::newRow("garbage") << "yesterday at noon, roughly";
    }
    void readsAsTheIsoReader()
    {
        QFETCH(QString, text);
        const QDateTime expected = QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
        const QDateTime read = storageTimeFromText(text);
        QCOMPARE(read.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(read, expected);
            QCOMPARE(read.timeSpec(), Qt::UTC);
            QCOMPARE(read.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
        }
    }

    void writtenTextReadsBackToTheSameInstant()
    {
        const QDateTime local = QDateTime(QDate(2026, 7, 1), QTime(9, 30, 15, 7), QTimeZone(3600 * 5));
        const QString text = storageTimeText(local);
        QCOMPARE(text, QStringLiteral("2026-07-01T04:30:15.007Z"));
        const QDateTime read = storageTimeFromText(text);
        QCOMPARE(read.toMSecsSinceEpoch(), local.toMSecsSinceEpoch());
        QCOMPARE(read.timeSpec(), Qt::UTC);
        QVERIFY(!storageTimeFromText(QString()).isValid());
        QCOMPARE(storageTimeText(QDateTime()), QString());
    }
};

VELM_TEST_CORE_MAIN(TestStorageTime)
#include "tst_storagetime.moc"
