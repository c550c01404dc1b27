#include "velmtest.h"

#include "autosavescheduler.h"

// The timing rules, on a clock the test moves by hand.
class TestAutosaveScheduler : public QObject
{
    Q_OBJECT

private slots:
    void timing_data()
    {
        // Steps "e" edit, "f" failed save, "s" stored, "r" reset, each at a time
        // in ms; due is when the next save is asked for (-1: none).
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("due");
        QTest::addColumn<bool>("failing");
        QTest::newRow("a pause saves") << "e0" << 1000 << false;
        QTest::newRow("typing moves the save") << "e0 e700" << 1700 << false;
        QTest::newRow("typing never pausing saves by 5 s") << "e0 e900 e1800 e2700 e3600 e4500" << 5000 << false;
        QTest::newRow("the longest wait starts after a save") << "e0 e900 s1800 e4000 e4900" << 5900 << false;
        QTest::newRow("a failure retries later") << "e0 f1000" << 3000 << true;
        QTest::newRow("retries back off") << "e0 f1000 f3000 f7000" << 15000 << true;
        QTest::newRow("back-off stops at a minute") << "e0 f0 f0 f0 f0 f0 f0 f0" << 60000 << true;
        QTest::newRow("an edit after a failure retries soon") << "e0 f1000 f3000 e4000" << 5000 << true;
        QTest::newRow("typing does not delay a retry") << "e0 f1000 e2500" << 3000 << true;
        QTest::newRow("typing after a failure saves by 5 s") << "e0 f0 f0 f0 e500 e1400 e2300 e3200 e4100"
                                                              << 5000 << true;
        QTest::newRow("a stored save ends the retries") << "e0 f1000 s3000" << -1 << false;
        QTest::newRow("a reload drops what was due") << "e0 f1000 r1500" << -1 << false;
    }
    void timing()
    {
        QFETCH(QString, steps);
        QFETCH(int, due);
        QFETCH(bool, failing);
        qint64 now = 0;
        AutosaveScheduler scheduler;
        scheduler.setClock([&now] { return now; });
        for (const QString &step : steps.split(' ')) {
            now = step.mid(1).toLongLong();
            switch (step.at(0).toLatin1()) {
            case 'e': scheduler.edited(); break;
            case 'f': scheduler.saveFailed(); break;
            case 's': scheduler.saveSucceeded(); break;
            case 'r': scheduler.reset(); break;
            }
        }
        QCOMPARE(scheduler.dueIn() < 0 ? -1 : int(now + scheduler.dueIn()), due);
        QCOMPARE(scheduler.isFailing(), failing);
        QCOMPARE(scheduler.isSaved(), due < 0);
    }
};

VELM_TEST_CORE_MAIN(TestAutosaveScheduler)
#include "tst_autosavescheduler.moc"
