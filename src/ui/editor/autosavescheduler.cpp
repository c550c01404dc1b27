#include "autosavescheduler.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

#include <algorithm>

AutosaveScheduler::AutosaveScheduler(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    m_clock = [elapsed] { return elapsed->elapsed(); };
    m_timer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the debounce is a full second.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_due = -1;
        m_retryAt = -1;
        emit saveDue();
    });
}

void AutosaveScheduler::edited()
{
    const qint64 now = m_clock();
    if (m_pendingSince < 0)
        m_pendingSince = now;
    qint64 due = std::min(now + m_timing.debounceMs, m_pendingSince + m_timing.maxWaitMs);
    // Typing does not push back a retry that is due sooner.
    if (m_retryAt >= 0)
        due = std::min(due, m_retryAt);
    m_saved = false;
    arm(due);
}

void AutosaveScheduler::reset()
{
    disarm();
    m_pendingSince = -1;
    m_retryAt = -1;
    setFailures(0);
    m_saved = true;
}

void AutosaveScheduler::saveSucceeded()
{
    reset();
}

void AutosaveScheduler::saveFailed()
{
    const qint64 now = m_clock();
    setFailures(m_failures + 1);
    // Typing waits a full maxWait from this attempt, not from the first edit.
    m_pendingSince = now;
    const int doublings = std::min(m_failures - 1, 16);
    const qint64 wait = std::min<qint64>(qint64(m_timing.firstRetryMs) << doublings, m_timing.maxRetryMs);
    m_retryAt = now + wait;
    m_saved = false;
    arm(m_retryAt);
}

qint64 AutosaveScheduler::dueIn() const
{
    return m_due < 0 ? -1 : std::max<qint64>(0, m_due - m_clock());
}

void AutosaveScheduler::arm(qint64 due)
{
    m_due = due;
    m_timer->start(int(std::max<qint64>(0, due - m_clock())));
}

void AutosaveScheduler::disarm()
{
    m_due = -1;
    m_timer->stop();
}

void AutosaveScheduler::setFailures(int failures)
{
    const bool was = isFailing();
    m_failures = failures;
    if (was != isFailing())
        emit failingChanged(isFailing());
}
