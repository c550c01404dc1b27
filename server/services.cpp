#include "services.h"

#include "store/groupstore.h"
#include "store/sessionstore.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUuid>

#include <atomic>

namespace VelmServer {

bool RateLimiter::allow(const QString &key)
{
    const qint64 now = nowMs();
    if (m_store)
        return m_store->tryHit(key, m_perMinute, now).value_or(false);
    std::lock_guard lock(m_mutex);
    QList<qint64> &hits = m_hits[key];
    while (!hits.isEmpty() && hits.first() <= now - 60000)
        hits.removeFirst();
    if (hits.size() >= m_perMinute)
        return false;
    hits.append(now);
    if (m_hits.size() > 100000) // forget idle keys so the table stays bounded
        m_hits.removeIf([now](auto it) { return it.value().isEmpty() || it.value().last() <= now - 60000; });
    return true;
}

namespace {
std::atomic<qint64> s_clockSkewMs{0};
}

qint64 bodyLimit(const httplib::Request &req, qint64 maxAttachmentMb)
{
    static const std::string push = std::string(VelmWire::syncBase) + VelmWire::Path::push;
    static const std::string attachments = std::string(VelmWire::syncBase) + VelmWire::Path::attachments;
    if (req.method == "POST" && req.path == push)
        return pushMaxBytes;
    if (req.method == "POST" && req.path == attachments)
        return maxAttachmentMb * 1024 * 1024 + 64 * 1024; // the file and its multipart frame
    return jsonMaxBytes;
}

bool bodyTooLarge(const httplib::Request &req, httplib::Response &res, qint64 maxAttachmentMb)
{
    const qint64 limit = bodyLimit(req, maxAttachmentMb);
    if (qint64(req.body.size()) <= limit)
        return false;
    replyError(res, 413, QStringLiteral("request too large: this request takes at most %1 bytes").arg(limit));
    return true;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch() + s_clockSkewMs.load();
}

void advanceClockForTests(qint64 ms)
{
    s_clockSkewMs += ms;
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString isoTime(qint64 ms)
{
    return VelmWire::isoTime(ms);
}

bool isPlainId(const QString &id)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return plain.match(id).hasMatch();
}

QString pathArg(const httplib::Request &req, int index)
{
    return index < int(req.matches.size()) ? QString::fromStdString(req.matches[size_t(index)].str()) : QString();
}

void replyJson(httplib::Response &res, int status, const QJsonObject &body)
{
    res.status = status;
    res.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

void replyError(httplib::Response &res, int status, const QString &message)
{
    replyJson(res, status, QJsonObject{{VelmWire::Field::error, message}});
}

void replyStoreFailure(httplib::Response &res)
{
    replyError(res, 500, QStringLiteral("the server could not store or read this; try again"));
}

std::optional<qint64> sinceParam(const httplib::Request &req, httplib::Response &res)
{
    if (!req.has_param(VelmWire::Field::since))
        return 0;
    bool ok = false;
    const qint64 since = QString::fromStdString(req.get_param_value(VelmWire::Field::since)).toLongLong(&ok);
    if (!ok) {
        replyError(res, 400, QStringLiteral("since must be a number"));
        return std::nullopt;
    }
    return since;
}

std::optional<QJsonObject> jsonBody(const httplib::Request &req, httplib::Response &res)
{
    // The attachment route reads no JSON, so its limit never applies here.
    if (bodyTooLarge(req, res, 0))
        return std::nullopt;
    if (req.body.empty())
        return QJsonObject();
    QJsonParseError error;
    // Parsed in place: a push body is not worth a second copy.
    const QJsonDocument doc = QJsonDocument::fromJson(
        QByteArray::fromRawData(req.body.data(), qsizetype(req.body.size())), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        replyError(res, 400, QStringLiteral("body is not a JSON object"));
        return std::nullopt;
    }
    return doc.object();
}

std::optional<AccessClaims> bearerClaims(Services &s, const httplib::Request &req)
{
    const std::string header = req.get_header_value("Authorization");
    const std::string prefix = "Bearer ";
    if (header.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    return s.tokens.verifyAccess(QByteArray::fromStdString(header.substr(prefix.size())));
}

std::optional<Caller> requireUser(Services &s, const httplib::Request &req, httplib::Response &res)
{
    if (const std::optional<AccessClaims> claims = bearerClaims(s, req)) {
        // A signed-out or revoked session ends its access tokens too.
        const auto session = SessionStore(*s.db).byId(claims->sessionId);
        if (!session) {
            replyStoreFailure(res);
            return std::nullopt;
        }
        if (*session && (*session)->userId == claims->userId && !(*session)->revoked)
            return Caller{claims->userId, claims->sessionId};
    }
    replyError(res, 401, QStringLiteral("authentication required"));
    return std::nullopt;
}

httplib::Server::Handler authed(Services &s, CallerHandler h)
{
    return [&s, h = std::move(h)](const httplib::Request &req, httplib::Response &res) {
        if (const auto caller = requireUser(s, req, res))
            h(*caller, req, res);
    };
}

QString groupRole(Services &s, const QString &userId, QString *groupId)
{
    const auto g = GroupStore(*s.db).groupOf(userId);
    if (!g || !*g) {
        groupId->clear();
        return {};
    }
    *groupId = (*g)->id;
    return (*g)->ownerId == userId ? QStringLiteral("owner") : QStringLiteral("member");
}

std::optional<std::pair<QString, QString>> openSession(Services &s, const QString &userId, const QString &userAgent,
                                                       const QString &ip)
{
    const QByteArray secret = Tokens::randomSecret();
    const qint64 now = nowMs();
    SessionRow session;
    session.id = newId();
    session.userId = userId;
    session.tokenHash = Tokens::hashSecret(secret);
    session.userAgent = userAgent.left(300);
    session.ipAddress = ip;
    session.createdAt = session.lastActiveAt = now;
    if (!SessionStore(*s.db).insert(session))
        return std::nullopt;
    QString groupId;
    const QString role = groupRole(s, userId, &groupId);
    return std::make_pair(s.tokens.issueAccess(userId, session.id, groupId, role),
                          session.id + '.' + QString::fromLatin1(secret));
}

} // namespace VelmServer
