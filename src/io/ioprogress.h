#pragma once

#include <QString>

#include <functional>

// Progress of a long import, backup or restore, called between items on
// the thread that runs it. total < 1 means the amount of work is not known yet. A UI
// that wants to stay responsive processes events inside the callback.
using ProgressCallback = std::function<void(int current, int total, const QString &label)>;
