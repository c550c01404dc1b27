#pragma once

// How long the GUI thread's event loop goes without turning: a 5 ms timer on
// the thread notes the longest gap between two of its ticks. Shared by the
// benchmarks under bench/ and the tests that hold the window responsive.

#include <QElapsedTimer>
#include <QTimer>

#include <ctime>

class StallProbe final : public QObject
{
public:
    explicit StallProbe(QObject *parent = nullptr)
        : QObject(parent)
    {
        m_timer.setObjectName(QStringLiteral("stall probe"));
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &StallProbe::tick);
    }

    void start()
    {
        m_longestNs = 0;
        m_longestBusyNs = 0;
        m_clock.start();
        m_lastNs = 0;
        m_lastCpuNs = threadCpuNs();
        // Tells an event tracer that the next gap begins here, not at the last stop.
        m_timer.setProperty("restarted", true);
        m_timer.start();
    }
    // Counts the gap up to now as well: a stall still running is one.
    void stop()
    {
        tick();
        m_timer.stop();
    }
    // The longest time between ticks, in milliseconds (5 when never late).
    double longestMs() const { return double(m_longestNs) / 1e6; }
    // The most time the thread itself ran between two ticks. On a shared,
    // loaded machine a gap also holds the time the thread waited for a core;
    // this part is what the code did without letting the loop turn.
    double longestBusyMs() const { return double(m_longestBusyNs) / 1e6; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        m_longestNs = std::max(m_longestNs, now - m_lastNs);
        m_longestBusyNs = std::max(m_longestBusyNs, cpu - m_lastCpuNs);
        m_lastNs = now;
        m_lastCpuNs = cpu;
    }

    static qint64 threadCpuNs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
    qint64 m_lastCpuNs = 0;
    qint64 m_longestBusyNs = 0;
};
