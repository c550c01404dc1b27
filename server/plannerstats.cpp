#include "plannerstats.h"

#include "db.h"

#include <QLoggingCategory>
#include <QSqlError>

#include <algorithm>

Q_LOGGING_CATEGORY(lcPlannerStats, "velmora.server.stats")

namespace VelmServer {

PlannerStats::PlannerStats(Db &db)
    : m_db(db)
{
}

PlannerStats::~PlannerStats()
{
    std::thread running;
    {
        const std::lock_guard lock(m_mutex);
        running = std::move(m_thread);
    }
    if (running.joinable())
        running.join();
}

void PlannerStats::written(qint64 rows)
{
    if (m_db.kind() != Db::Kind::Postgres || rows <= 0)
        return;
    std::thread finished;
    {
        const std::lock_guard lock(m_mutex);
        m_pending += rows;
        if (m_running || m_pending < std::max(kFirstRows, m_analysedRows / 5))
            return;
        m_running = true;
        m_analysedRows += m_pending;
        m_pending = 0;
        finished = std::move(m_thread);
        m_thread = std::thread([this] { analyze(); });
    }
    // The previous run has ended (m_running was false): joining is immediate.
    if (finished.joinable())
        finished.join();
}

int PlannerStats::analyses() const
{
    const std::lock_guard lock(m_mutex);
    return m_analyses;
}

void PlannerStats::analyze()
{
    bool ok = false;
    {
        QSqlQuery q = m_db.query();
        ok = q.exec(QStringLiteral("ANALYZE feed, notes"));
        if (!ok)
            qCWarning(lcPlannerStats).noquote() << "Could not refresh the planner's statistics:" << q.lastError().text();
    }
    m_db.closeThreadConnection();
    const std::lock_guard lock(m_mutex);
    m_analyses += ok;
    m_running = false;
}

} // namespace VelmServer
