#include "synccycle.h"

#include <QTimer>

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
    m_turn.start();
}

void SyncCycle::runNextStep()
{
    if (m_steps.empty())
        return;
    Step next = std::move(m_steps.front());
    m_steps.pop_front();
    if (!m_steps.empty())
        m_turn.start();
    if (!next.guard)
        return;
    next.run();
}
