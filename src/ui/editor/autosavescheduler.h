#pragma once

#include <QObject>

#include <functional>

class QTimer;

// When an edited note is due to be stored. A pause in typing (the debounce)
// saves; typing that never pauses still saves once the oldest unsaved edit is
// maxWait old. A failed save stays unsaved and is retried: after every later
// edit as usual, and without edits after a wait that doubles up to maxRetry.
// The scheduler only asks (saveDue); the owner saves and reports the result.
class AutosaveScheduler final : public QObject
{
    Q_OBJECT
public:
    struct Timing
    {
        int debounceMs = 1000;
        int maxWaitMs = 5000;
        int firstRetryMs = 2000;
        int maxRetryMs = 60000;
    };
    // Milliseconds on a monotonic clock; tests drive a clock of their own.
    using Clock = std::function<qint64()>;

    explicit AutosaveScheduler(QObject *parent = nullptr);

    void setTiming(const Timing &timing) { m_timing = timing; }
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // An edit that the store does not hold yet.
    void edited();
    // The content is what the store holds (loaded, cleared, or given up).
    void reset();
    void saveSucceeded();
    void saveFailed();

    bool isSaved() const { return m_saved; }
    bool isFailing() const { return m_failures > 0; }
    // Milliseconds from now until saveDue; -1 when no save is due.
    qint64 dueIn() const;

signals:
    void saveDue();
    void failingChanged(bool failing);

private:
    void arm(qint64 due);
    void disarm();
    void setFailures(int failures);

    Timing m_timing;
    Clock m_clock;
    QTimer *m_timer = nullptr;
    bool m_saved = true;
    int m_failures = 0;
    // The oldest edit not yet attempted, the retry after a failure, and when
    // saveDue comes; -1 for none.
    qint64 m_pendingSince = -1;
    qint64 m_retryAt = -1;
    qint64 m_due = -1;
};
