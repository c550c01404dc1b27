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
        QTest::newRow("no leap day") << "2025-02-29T10:00:00.000Z";
        QTest::newRow("month 13") << "2026-13-01T10:00:00.000Z";
        QTest::newRow("hour 24") << "2026-03-04T24:00:00.000Z";
        QTest::newRow("letter in the year") << "20x6-03-04T05:06:07.089Z";
        QTest::newRow("no milliseconds") << "2026-03-04T05:06:07Z";
        QTest::newRow("offset") << "2026-03-04T05:06:07.089+02:00";
        QTest::newRow("no zone") << "2026-03-04T05:06:07.089";
        QTest::newRow("empty") << "";
    }
    void readsAsTheIsoReader()
    {
        QFETCH(QString, text);
        const QDateTime expected = QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
        const QDateTime read = storageTimeFromText(text);
        QCOMPARE(read.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(read.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
            QCOMPARE(read.timeSpec(), Qt::UTC);
            QCOMPARE(storageTimeFromText(storageTimeText(read)), read);
        }
    }
};

VELM_TEST_CORE_MAIN(TestStorageTime)
#include "tst_storagetime.moc"
