#include "changehub.h"

#include "db.h"

#include <QLoggingCategory>
#include <QSqlQuery>

#include <libpq-fe.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcFeed, "velmserver.feed")

namespace VelmServer {

namespace {
// How long a quiet listening connection goes before it is asked whether it is alive.
constexpr int probeMs = 15000;
constexpr int reconnectMs = 2000;
constexpr auto lookupLimit = std::chrono::seconds(10);
} // namespace

ChangeHub::ChangeHub(Db &db, int feedsPerUser, int feedsMax)
    : m_db(db)
    , m_feedsPerUser(feedsPerUser)
    , m_feedsMax(feedsMax)
{
}

ChangeHub::~ChangeHub()
{
    close();
    stop();
}

bool ChangeHub::start(QString *error)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = QStringLiteral("cannot create the change feed's wake-up pipe");
        return false;
    }
    m_wakeRead = fds[0];
    m_wakeWrite = fds[1];
    m_thread = std::thread([this] { run(); });
    return true;
}

void ChangeHub::close()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    for (const auto &watch : std::as_const(m_watches))
        watch->moved.notify_all();
}

void ChangeHub::stop()
{
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_requestMutex);
            m_stopping = true;
        }
        wakeThread();
        m_thread.join();
    }
    if (m_wakeRead >= 0) {
        ::close(m_wakeRead);
        ::close(m_wakeWrite);
        m_wakeRead = m_wakeWrite = -1;
    }
    // Look-ups that arrived too late are answered as failed.
    std::lock_guard lock(m_requestMutex);
    for (auto &request : m_requests)
        request->answer.set_value(Lookup{});
    m_requests.clear();
}

void ChangeHub::publish(const QString &userId, qint64 stamp)
{
    std::lock_guard lock(m_mutex);
    const auto watch = m_watches.value(userId);
    if (!watch || stamp <= watch->cursor)
        return;
    watch->cursor = stamp;
    watch->moved.notify_all();
}

ChangeHub::Admission ChangeHub::enter(const QString &userId)
{
    std::lock_guard lock(m_mutex);
    if (m_closed)
        return Admission::Closed;
    std::shared_ptr<Watch> &watch = m_watches[userId];
    if (!watch)
        watch = std::make_shared<Watch>();
    if (watch->feeds >= m_feedsPerUser)
        return Admission::UserFull;
    if (m_open >= m_feedsMax) {
        if (watch->feeds == 0)
            m_watches.remove(userId);
        return Admission::ServerFull;
    }
    ++watch->feeds;
    ++m_open;
    return Admission::Open;
}

void ChangeHub::leave(const QString &userId)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_watches.find(userId);
    if (it == m_watches.end())
        return;
    --m_open;
    if (--(*it)->feeds == 0)
        m_watches.erase(it);
}

ChangeHub::Lookup ChangeHub::lookup(const QString &sessionId, const QString &userId)
{
    auto request = std::make_unique<Request>();
    request->sessionId = sessionId;
    request->userId = userId;
    std::future<Lookup> answer = request->answer.get_future();
    {
        std::lock_guard lock(m_requestMutex);
        if (m_stopping)
            return Lookup{};
        m_requests.push_back(std::move(request));
    }
    wakeThread();
    if (answer.wait_for(lookupLimit) != std::future_status::ready)
        return Lookup{};
    return answer.get();
}

qint64 ChangeHub::wait(const QString &userId, qint64 since, std::chrono::milliseconds hold)
{
    std::unique_lock lock(m_mutex);
    const auto watch = m_watches.value(userId);
    if (!watch)
        return since;
    const quint64 epoch = m_epoch;
    watch->moved.wait_for(lock, hold, [&] { return m_closed || watch->cursor > since || m_epoch != epoch; });
    return watch->cursor;
}

int ChangeHub::openFeeds() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

void ChangeHub::wakeThread()
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(m_wakeWrite, &byte, 1);
}

void ChangeHub::interruptAll()
{
    std::lock_guard lock(m_mutex);
    ++m_epoch;
    for (const auto &watch : std::as_const(m_watches))
        watch->moved.notify_all();
}

void ChangeHub::answerLookups()
{
    std::deque<std::unique_ptr<Request>> requests;
    {
        std::lock_guard lock(m_requestMutex);
        requests.swap(m_requests);
    }
    QSqlQuery q = m_db.query();
    for (auto &request : requests) {
        Lookup found;
        if (m_db.run(q, QStringLiteral("SELECT s.revoked, u.last_stamp FROM sessions s JOIN users u ON u.id = s.user_id"
                                       " WHERE s.id = ? AND s.user_id = ?"), {request->sessionId, request->userId})) {
            const bool live = q.next() && q.value(0).toInt() == 0;
            found = Lookup{live ? 200 : 401, live ? q.value(1).toLongLong() : 0};
            if (live)
                publish(request->userId, found.cursor);
        }
        request->answer.set_value(found);
    }
}

void ChangeHub::run()
{
    const bool postgres = m_db.kind() == Db::Kind::Postgres;
    const QByteArray conninfo = postgres ? m_db.postgresConnInfo().toUtf8() : QByteArray();
    PGconn *pg = nullptr;
    const auto listen = [&] {
        pg = PQconnectdb(conninfo.constData());
        PGresult *r = PQstatus(pg) == CONNECTION_OK ? PQexec(pg, (std::string("LISTEN ") + Db::feedChannel).c_str()) : nullptr;
        const bool ok = r && PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
        if (!ok) {
            qCWarning(lcFeed) << "cannot listen for changes:" << PQerrorMessage(pg);
            PQfinish(pg);
            pg = nullptr;
            return;
        }
        // Changes made while nobody listened were not announced.
        interruptAll();
    };
    if (postgres)
        listen();

    while (!m_stopping) {
        pollfd fds[2] = {{m_wakeRead, POLLIN, 0}, {pg ? PQsocket(pg) : -1, POLLIN, 0}};
        const int timeout = !postgres ? -1 : pg ? probeMs : reconnectMs;
        const int n = ::poll(fds, pg ? 2 : 1, timeout);
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(m_wakeRead, drain, sizeof drain) > 0) {
            }
        }
        answerLookups();
        if (!postgres || m_stopping)
            continue;
        if (!pg) {
            listen();
            continue;
        }
        bool healthy = true;
        if (n == 0) {
            PGresult *r = PQexec(pg, "SELECT 1");
            healthy = PQresultStatus(r) == PGRES_TUPLES_OK;
            PQclear(r);
        } else if (fds[1].revents) {
            healthy = PQconsumeInput(pg) == 1;
        }
        while (PGnotify *note = PQnotifies(pg)) {
            const QString payload = QString::fromUtf8(note->extra);
            const qsizetype space = payload.indexOf(QLatin1Char(' '));
            bool ok = false;
            const qint64 stamp = payload.mid(space + 1).toLongLong(&ok);
            if (space > 0 && ok)
                publish(payload.left(space), stamp);
            PQfreemem(note);
        }
        if (!healthy || PQstatus(pg) != CONNECTION_OK) {
            qCWarning(lcFeed) << "lost the change notifications, reconnecting:" << PQerrorMessage(pg);
            PQfinish(pg);
            pg = nullptr;
            interruptAll();
        }
    }
    PQfinish(pg);
}

} // namespace VelmServer
