#pragma once

#include <QtGlobal>

#include <mutex>
#include <thread>

namespace VelmServer {

class Db;

// PostgreSQL plans from statistics that autovacuum refreshes only after a
// pause. Right after a bulk upload they still describe the tables as they
// were: a feed of 90 000 rows is planned as 20, and a page of it is sorted
// instead of read in index order. Rows written through this process are
// counted, and once the tables have grown by a fifth since they were last
// analysed here, they are analysed on a thread of their own, so that no
// request waits for it.
class PlannerStats
{
public:
    explicit PlannerStats(Db &db);
    ~PlannerStats();
    PlannerStats(const PlannerStats &) = delete;
    PlannerStats &operator=(const PlannerStats &) = delete;

    // rows notes (and as many feed rows) were committed.
    void written(qint64 rows);
    // Analyses that succeeded so far.
    int analyses() const;

private:
    void analyze();

    // Below this the planner's guesses cost little.
    static constexpr qint64 kFirstRows = 1000;

    Db &m_db;
    mutable std::mutex m_mutex;
    std::thread m_thread;
    qint64 m_pending = 0;
    qint64 m_analysedRows = 0;
    bool m_running = false;
    int m_analyses = 0;
};

} // namespace VelmServer
