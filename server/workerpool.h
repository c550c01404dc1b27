#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace VelmServer {

// The HTTP library's task queue, grown by one thread for each request that
// parks in a long wait (a change feed), so that parked requests never take
// the threads the other routes are served by. Threads beyond the base count
// retire after a minute without work.
class WorkerPool final : public httplib::TaskQueue
{
public:
    // workers: threads for ordinary requests; maxParked: the most requests parked at once.
    WorkerPool(int workers, int maxParked);
    ~WorkerPool() override;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

    // Called by a handler on a pool thread before and after a long wait; no-ops elsewhere.
    static void parkCurrent();
    static void unparkCurrent();

    // Threads alive now, for measurements.
    int threadCount() const;

private:
    bool spawnLocked();
    void run();
    void joinFinishedLocked();
    // Threads free to take ordinary work, counting those about to be started.
    int activeLocked() const { return m_threads - m_parked; }

    const int m_workers;
    const int m_maxThreads;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::list<std::thread> m_running;
    std::list<std::thread> m_finished;
    int m_threads = 0;
    int m_idle = 0;
    int m_parked = 0;
    bool m_stopping = false;
};

} // namespace VelmServer
