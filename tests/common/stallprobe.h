#pragma once

// How long the GUI thread's event loop goes without turning: a 5 ms timer on
// the thread notes the longest gap between two of its ticks. Shared by the
// benchmarks under bench/ and the tests that hold the window responsive.

#include <QElapsedTimer>
#include <QTimer>

class StallProbe final : public QObject
{
public:
    explicit StallProbe(QObject *parent = nullptr)
        : QObject(parent)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &StallProbe::tick);
    }

    void start()
    {
        m_longestNs = 0;
        m_clock.start();
        m_lastNs = 0;
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

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longestNs = std::max(m_longestNs, now - m_lastNs);
        m_lastNs = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
};
