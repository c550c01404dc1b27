#include "synccycle.h"

#include <QTimer>

void SyncCycle::begin()
{
    ++m_number;
    m_dataChanged = false;
}

void SyncCycle::later(std::function<void()> step)
{
    QTimer::singleShot(0, this, [self = guard(), step = std::move(step)] {
        if (!self)
            return;
        step();
    });
}
