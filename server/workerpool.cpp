#include "workerpool.h"

#include <chrono>

namespace VelmServer {

namespace {
thread_local WorkerPool *t_pool = nullptr;
constexpr auto retireAfter = std::chrono::seconds(60);
} // namespace

WorkerPool::WorkerPool(int workers, int maxParked)
    : m_workers(std::max(1, workers))
    , m_maxThreads(std::max(1, workers) + std::max(0, maxParked))
{
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < m_workers; ++i)
        spawnLocked();
}

WorkerPool::~WorkerPool()
{
    shutdown();
}

void WorkerPool::enqueue(std::function<void()> fn)
{
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return;
    m_jobs.push_back(std::move(fn));
    // An idle thread counts until it wakes: jobs beyond the idle threads need one more.
    if (m_jobs.size() <= size_t(m_idle))
        m_wake.notify_one();
    else if (activeLocked() < m_workers)
        spawnLocked();
}

void WorkerPool::shutdown()
{
    std::list<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
    }
    // Threads only leave m_running under the lock, into m_finished; take both
    // until every thread has ended.
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            threads.splice(threads.end(), m_finished);
            threads.splice(threads.end(), m_running);
        }
        if (threads.empty())
            break;
        for (std::thread &t : threads)
            if (t.joinable())
                t.join();
        threads.clear();
    }
}

void WorkerPool::parkCurrent()
{
    WorkerPool *pool = t_pool;
    if (!pool)
        return;
    std::lock_guard lock(pool->m_mutex);
    ++pool->m_parked;
    while (pool->m_jobs.size() > size_t(pool->m_idle) && pool->activeLocked() < pool->m_workers && pool->spawnLocked()) {
    }
}

void WorkerPool::unparkCurrent()
{
    WorkerPool *pool = t_pool;
    if (!pool)
        return;
    std::lock_guard lock(pool->m_mutex);
    --pool->m_parked;
}

int WorkerPool::threadCount() const
{
    std::lock_guard lock(m_mutex);
    return m_threads;
}

bool WorkerPool::spawnLocked()
{
    if (m_stopping || m_threads >= m_maxThreads)
        return false;
    joinFinishedLocked();
    ++m_threads;
    ++m_idle; // counted idle until it takes its first job
    m_running.emplace_back([this] { run(); });
    return true;
}

void WorkerPool::joinFinishedLocked()
{
    // A finished thread has left run() and only its thread-local state (a
    // database connection) is still closing; joining waits for that.
    for (std::thread &t : m_finished)
        t.join();
    m_finished.clear();
}

void WorkerPool::run()
{
    t_pool = this;
    std::unique_lock lock(m_mutex);
    --m_idle;
    for (;;) {
        ++m_idle;
        const bool woken = m_wake.wait_for(lock, retireAfter, [this] { return m_stopping || !m_jobs.empty(); });
        --m_idle;
        if (m_stopping && m_jobs.empty())
            break;
        if (!woken) {
            if (activeLocked() > m_workers)
                break;
            continue;
        }
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
    --m_threads;
    const auto self = std::this_thread::get_id();
    for (auto it = m_running.begin(); it != m_running.end(); ++it) {
        if (it->get_id() == self) {
            m_finished.splice(m_finished.end(), m_running, it);
            break;
        }
    }
}

} // namespace VelmServer
