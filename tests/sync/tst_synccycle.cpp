// A reply or a later turn belongs to the cycle that sent it: once that cycle
// has ended (a cancel, a failure, the end of the cycle, the engine gone), it
// is dropped, even when another cycle is running by then.
#include "synccycle.h"
#include "velmtest.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QTest>
#include <QTimer>

#include <functional>

#include <memory>

namespace {

// Another timer on the loop (the window's input and painting alike), counting its turns.
std::unique_ptr<QTimer> ticker(int *ticks)
{
    auto timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(1);
    QObject::connect(timer.get(), &QTimer::timeout, [ticks] { ++*ticks; });
    timer->start();
    return timer;
}

} // namespace

class TestSyncCycle : public QObject
{
    Q_OBJECT
private slots:
    void onlyTheRunningCycleKeepsItsReplies_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("kept");
        QTest::newRow("still running") << "none" << true;
        QTest::newRow("ended") << "idle" << false;
        QTest::newRow("cancelled, next cycle running") << "next" << false;
        QTest::newRow("engine gone") << "gone" << false;
    }

    void onlyTheRunningCycleKeepsItsReplies()
    {
        QFETCH(QString, end);
        QFETCH(bool, kept);
        auto cycle = std::make_unique<SyncCycle>();
        cycle->begin();
        cycle->setRunning(true);
        const SyncCycle::Guard guard = cycle->guard();
        bool ran = false;
        cycle->later([&ran] { ran = true; });
        if (end == QLatin1String("idle")) {
            cycle->setRunning(false);
        } else if (end == QLatin1String("next")) {
            cycle->begin();
            cycle->setRunning(true);
        } else if (end == QLatin1String("gone")) {
            cycle.reset();
        }
        QCOMPARE(!guard, !kept);
        QTest::qWait(20);
        QCOMPARE(ran, kept);
    }

    // Slices of a long write run one per turn of the loop: a timer (the
    // window's input and painting alike) gets its turn between any two.
    void slicesLetTheLoopTurnBetweenThem()
    {
        SyncCycle cycle;
        cycle.begin();
        cycle.setRunning(true);
        int ticks = 0;
        const auto other = ticker(&ticks);
        QList<int> ticksAtSlice;
        std::function<void()> slice = [&] {
            ticksAtSlice << ticks;
            QElapsedTimer busy;
            busy.start();
            while (busy.elapsed() < 3) {
            }
            if (ticksAtSlice.size() < 8)
                cycle.later(slice);
        };
        cycle.later(slice);
        QTRY_COMPARE(ticksAtSlice.size(), 8);
        for (qsizetype i = 1; i < ticksAtSlice.size(); ++i)
            QVERIFY2(ticksAtSlice.at(i) > ticksAtSlice.at(i - 1), qPrintable(QString::number(i)));
    }

    // A step writes: while the background fill holds the lock it waits, and
    // the loop keeps turning meanwhile.
    void aStepWaitsForTheLockWithoutHoldingTheLoop()
    {
        SyncCycle cycle;
        auto lock = std::make_shared<QMutex>();
        cycle.setLock(lock);
        cycle.begin();
        cycle.setRunning(true);
        lock->lock();
        int ticks = 0;
        const auto other = ticker(&ticks);
        bool ran = false;
        bool heldWhileRunning = false;
        cycle.later([&] {
            ran = true;
            heldWhileRunning = !lock->tryLock();
        });
        QEventLoop loop; // qWait sleeps between its turns
        QTimer::singleShot(30, &loop, &QEventLoop::quit);
        loop.exec();
        QVERIFY(!ran);
        QVERIFY2(ticks > 5, qPrintable(QString::number(ticks)));
        lock->unlock();
        QTRY_VERIFY(ran);
        QVERIFY(heldWhileRunning);
        QVERIFY(lock->tryLock()); // and let go after
        lock->unlock();
    }
};

VELM_TEST_CORE_MAIN(TestSyncCycle)

#include "tst_synccycle.moc"
