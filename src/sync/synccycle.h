#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>

class QMutex;

// The running sync cycle as the engine's parts see it: whether a reply still
// belongs to it, and how a part reports back. The engine owns it and alone
// begins and ends cycles; a part only reports, and the engine moves on.
class SyncCycle final : public QObject
{
    Q_OBJECT
public:
    // What the callbacks of a request hold instead of the part that sent it:
    // false (!guard) once the engine is gone or the cycle that sent it has ended.
    class Guard
    {
    public:
        explicit Guard(const SyncCycle *cycle)
            : m_cycle(cycle)
            , m_number(cycle->m_number)
        {
        }
        bool operator!() const { return !m_cycle || m_cycle->m_number != m_number || !m_cycle->m_running; }

    private:
        QPointer<const SyncCycle> m_cycle;
        quint64 m_number;
    };

    // Long writes go in slices of about this long, each its own transaction,
    // so the window keeps turning between them.
    static constexpr int kSliceMs = 8;
    // What a slice may spend on its rows: its commit counts too, and the last
    // commit's cost is the best guess of the next one's (FTS5 merges its
    // segments at commit, now and then for much longer than the rows took).
    int rowBudgetMs() const { return std::max(2, kSliceMs - m_lastCommitMs); }
    void commitTook(qint64 ms) { m_lastCommitMs = int(std::min<qint64>(ms, kSliceMs)); }

    explicit SyncCycle(QObject *parent = nullptr);

    Guard guard() const { return Guard(this); }
    // A new cycle, or none after a cancel: every guard handed out so far turns false.
    void begin();
    // Between cycles every guard is false.
    void setRunning(bool running) { m_running = running; }
    // Runs step on a later turn of the event loop, unless the cycle ended
    // meanwhile. Steps write: each runs holding lock, when one is set, and
    // waits for it without holding the window (tried again every kLockRetryMs).
    void later(std::function<void()> step);
    void setLock(std::shared_ptr<QMutex> lock) { m_lock = std::move(lock); }
    static constexpr int kLockRetryMs = 2;
    // The cycle wrote something the lists show.
    void setDataChanged() { m_dataChanged = true; }
    bool dataChanged() const { return m_dataChanged; }

signals:
    // The phase running has ended; the engine starts the next one.
    void phaseDone();
    // The cycle cannot go on. message holds %1 for the status; 0: the server was not reached.
    void failed(const QString &message, int status);
    void progress(const QString &label, int current, int total);

private:
    struct Step
    {
        Guard guard;
        std::function<void()> run;
    };
    void runNextStep();

    QTimer m_turn;
    std::deque<Step> m_steps;
    std::shared_ptr<QMutex> m_lock;
    int m_lastCommitMs = 0;
    quint64 m_number = 0; // grows with every cycle and cancel: replies of an older one are dropped
    bool m_running = false;
    bool m_dataChanged = false;
};
