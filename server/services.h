#pragma once

#include "changehub.h"
#include "db.h"
#include "plannerstats.h"
#include "store/storeresult.h"
#include "store/ratelimitstore.h"
#include "tokens.h"
#include "wireprotocol.h"

#include <QHash>
#include <QJsonObject>
#include <QString>

#include <httplib.h>

#include <memory>
#include <mutex>
#include <optional>

namespace VelmServer {

struct Config
{
    QString dataDir;
    QString bind = QStringLiteral("127.0.0.1");
    int port = 8787;
    QString databaseUrl;
    QString releasesDir;
    QString publicUrl;
    qint64 maxAttachmentMb = 100;
    // Attachment contents in the database instead of files under dataDir.
    bool attachmentsInDatabase = false;
    QString realm = QStringLiteral("velmora");
    int threads = 8;
    int signInsPerMinute = 10;
    // Per user: keeps one account from filling the disk at wire speed.
    int uploadsPerMinute = 600;
    // Change feeds: how long one waits for a change before it answers
    // "nothing yet" (which also keeps proxies from closing it), and how many
    // may be open at once per user and in all, in this process.
    int feedHoldMs = 25000;
    int feedsPerUser = 10;
    int feedsMax = 2000;
    // Both set: serve HTTPS with this certificate chain and key (PEM files).
    QString tlsCert;
    QString tlsKey;
};

// Counts attempts per key in a sliding minute, in this process or, once
// given a store, in the database every process shares.
class RateLimiter
{
public:
    explicit RateLimiter(int perMinute) : m_perMinute(perMinute) {}
    void setLimit(int perMinute) { m_perMinute = perMinute; }
    void setStore(RateLimitStore *store) { m_store = store; }
    bool allow(const QString &key);

private:
    int m_perMinute;
    RateLimitStore *m_store = nullptr;
    std::mutex m_mutex;
    QHash<QString, QList<qint64>> m_hits;
};

// Everything a route handler needs; lives as long as the server.
struct Services
{
    Config config;
    std::unique_ptr<Db> db;
    std::unique_ptr<RateLimitStore> rateStore;
    // PostgreSQL only; goes before db.
    std::unique_ptr<PlannerStats> plannerStats;
    Tokens tokens;
    RateLimiter signIns{10};
    RateLimiter uploads{600};
    std::unique_ptr<ChangeHub> changes;
};

struct Caller
{
    QString userId;
    QString sessionId;
};

constexpr qint64 pushMaxBytes = VelmWire::pushMaxBytes;
// Every JSON route but the push: profiles, notebooks, shares, sign-in.
constexpr qint64 jsonMaxBytes = 256LL * 1024;
constexpr int pushMaxChanges = VelmWire::pushMaxChanges;
// Names (notebooks) and e-mail addresses, in characters.
constexpr int maxNameLength = 200;
constexpr int maxEmailLength = 254;
constexpr int pullPageSize = VelmWire::pullPageSize;

// The largest body the request's route takes.
qint64 bodyLimit(const httplib::Request &req, qint64 maxAttachmentMb);
// Replies 413 and returns true when the body read is over its route's limit.
bool bodyTooLarge(const httplib::Request &req, httplib::Response &res, qint64 maxAttachmentMb);

qint64 nowMs();
// Moves nowMs() forward, for tests that pass the server's time limits.
void advanceClockForTests(qint64 ms);
QString newId();
QString isoTime(qint64 ms);
bool isPlainId(const QString &id);
QString pathArg(const httplib::Request &req, int index);

void replyJson(httplib::Response &res, int status, const QJsonObject &body);
void replyError(httplib::Response &res, int status, const QString &message);
// A store call failed; its cause is logged where it happened. Answers 500.
void replyStoreFailure(httplib::Response &res);
// The "since" cursor of a pull (0 when absent); replies 400 and returns nothing when it is not a number.
std::optional<qint64> sinceParam(const httplib::Request &req, httplib::Response &res);
// The body as a JSON object; replies 400 and returns nothing when it is not
// one, 413 when it is over the route's limit.
std::optional<QJsonObject> jsonBody(const httplib::Request &req, httplib::Response &res);
// The claims of a well-signed, unexpired bearer token; the session is not looked up.
std::optional<AccessClaims> bearerClaims(Services &s, const httplib::Request &req);
// The signed-in caller from the bearer token; replies 401 when there is none.
std::optional<Caller> requireUser(Services &s, const httplib::Request &req, httplib::Response &res);

using CallerHandler = std::function<void(const Caller &, const httplib::Request &, httplib::Response &)>;
// Runs h only for a signed-in caller.
httplib::Server::Handler authed(Services &s, CallerHandler h);
// Remembers the device behind a sync request from its identity headers.
void recordDevice(Services &s, const Caller &c, const httplib::Request &req);

// Ends every share the user gave or received (they left their group); the
// other side's next pull withdraws the notes.
StoreStatus dropShares(Services &s, const QString &userId);

// Group and role for the token claims.
QString groupRole(Services &s, const QString &userId, QString *groupId);
// Creates a session and returns {access, refresh}; userAgent and ip describe the browser that signed in.
std::optional<std::pair<QString, QString>> openSession(Services &s, const QString &userId, const QString &userAgent,
                                                       const QString &ip);

void addAuthRoutes(httplib::Server &http, Services &s);
void addAccountRoutes(httplib::Server &http, Services &s);
void addSyncRoutes(httplib::Server &http, Services &s);
void addShareRoutes(httplib::Server &http, Services &s);
void addFeedRoutes(httplib::Server &http, Services &s);
void addAttachmentRoutes(httplib::Server &http, Services &s);

// Drops the contents of attachments whose rows are gone (after their commit).
void removeAttachmentContents(Services &s, const QStringList &ids);

} // namespace VelmServer
