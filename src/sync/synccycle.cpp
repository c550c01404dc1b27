#include "synccycle.h"

#include <QMutex>
#include <QTimer>

#include <mutex>

void SyncCycle::begin()
{
    ++m_number;
    m_dataChanged = false;
    m_steps.clear(); // an ended cycle's steps would only be dropped
}

SyncCycle::SyncCycle(QObject *parent)
    : QObject(parent)
{
    // A zero timer, not a queued call: queued calls posted from a queued call
    // run in the same turn of the loop, so a chain of slices would hold the
    // window (input, timers) for as long as the whole chain.
    m_turn.setSingleShot(true);
    m_turn.setInterval(0);
    connect(&m_turn, &QTimer::timeout, this, &SyncCycle::runNextStep);
}

void SyncCycle::later(std::function<void()> step)
{
    m_steps.push_back({guard(), std::move(step)});
    if (!m_turn.isActive() || m_turn.interval() == 0)
        m_turn.start(0);
}

void SyncCycle::runNextStep()
{
    if (m_steps.empty())
        return;
    std::unique_lock<QMutex> locked;
    if (m_lock && !!m_steps.front().guard) {
        locked = std::unique_lock<QMutex>(*m_lock, std::try_to_lock);
        if (!locked.owns_lock())
            return m_turn.start(kLockRetryMs);
    }
    Step next = std::move(m_steps.front());
    m_steps.pop_front();
    if (!m_steps.empty())
        m_turn.start(0);
    if (!next.guard)
        return;
    next.run();
}
