#include "services.h"
#include "workerpool.h"

#include <QJsonObject>

namespace VelmServer {

namespace {

// The user's open feeds in this process, counted from admission to reply.
class FeedSlot
{
public:
    FeedSlot(ChangeHub &hub, const QString &userId) : m_hub(hub), m_userId(userId), m_admission(hub.enter(userId)) {}
    ~FeedSlot()
    {
        if (m_admission == ChangeHub::Admission::Open)
            m_hub.leave(m_userId);
    }
    ChangeHub::Admission admission() const { return m_admission; }

private:
    ChangeHub &m_hub;
    QString m_userId;
    ChangeHub::Admission m_admission;
};

// GET /notes/v1/sync/feed?since=<pull cursor>: answers {"cursor", "changed"}
// as soon as the caller's cursor passes since, or after the hold with
// "changed" false. The session and cursor are read by the hub, and the
// request parks without a database connection of its own.
void feed(Services &s, const httplib::Request &req, httplib::Response &res)
{
    const std::optional<qint64> since = sinceParam(req, res);
    if (!since)
        return;
    const std::optional<AccessClaims> claims = bearerClaims(s, req);
    if (!claims)
        return replyError(res, 401, QStringLiteral("authentication required"));
    res.set_header("Cache-Control", "no-store");
    FeedSlot slot(*s.changes, claims->userId);
    switch (slot.admission()) {
    case ChangeHub::Admission::Open:
        break;
    case ChangeHub::Admission::UserFull:
        res.set_header("Retry-After", "30");
        return replyError(res, 429, QStringLiteral("too many open change feeds for this account"));
    case ChangeHub::Admission::ServerFull:
    case ChangeHub::Admission::Closed:
        res.set_header("Retry-After", "30");
        return replyError(res, 503, QStringLiteral("no room for another change feed; try again"));
    }
    const ChangeHub::Lookup found = s.changes->lookup(claims->sessionId, claims->userId);
    if (found.status != 200)
        return replyError(res, found.status, found.status == 401 ? QStringLiteral("authentication required")
                                                                 : QStringLiteral("try again"));
    qint64 cursor = found.cursor;
    if (cursor <= *since) {
        s.db->closeThreadConnection();
        WorkerPool::parkCurrent();
        cursor = s.changes->wait(claims->userId, *since, std::chrono::milliseconds(s.config.feedHoldMs));
        WorkerPool::unparkCurrent();
    }
    replyJson(res, 200, QJsonObject{{"cursor", std::max(cursor, *since)}, {"changed", cursor > *since}});
}

} // namespace

void addFeedRoutes(httplib::Server &http, Services &s)
{
    http.Get(std::string(VelmWire::syncBase) + VelmWire::Path::feed, [&s](const httplib::Request &req, httplib::Response &res) { feed(s, req, res); });
}

} // namespace VelmServer
