#pragma once

// Runs velmora-server in-process on a free loopback port, over SQLite or a
// throwaway PostgreSQL cluster, and signs users up through the browser form.

#include "server.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QUrl>
#include <QUrlQuery>

#include <httplib.h>

#include <memory>
#include <unistd.h>

namespace VelmServerTest {

// A PostgreSQL 15 cluster in a temporary folder, reached over a unix socket there.
class PgCluster
{
public:
    bool start(QString *error)
    {
        const QString bin = QStringLiteral("/usr/lib/postgresql/15/bin/");
        if (!m_dir.isValid()) {
            *error = QStringLiteral("no temporary folder");
            return false;
        }
        // initdb refuses to run as root: the cluster belongs to the postgres user then.
        if (::getuid() == 0) {
            m_prefix = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")};
            if (!run({QStringLiteral("chown"), QStringLiteral("postgres"), m_dir.path()}, false, error))
                return false;
        }
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        const QString data = m_dir.filePath(QStringLiteral("data"));
        if (!run({bin + "initdb", "-D", data, "-U", "velm", "--auth=trust", "-E", "UTF8", "--no-sync"}, true, error))
            return false;
        const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses='' -c fsync=off -c max_connections=60")
                                    .arg(m_port).arg(m_dir.path());
        if (!run({bin + "pg_ctl", "-D", data, "-o", options, "-l", m_dir.filePath("log"), "-w", "start"}, true, error))
            return false;
        m_running = true;
        return run({bin + "createdb", "-h", m_dir.path(), "-p", QString::number(m_port), "-U", "velm", "velm"}, true, error);
    }
    void stop()
    {
        QString ignored;
        if (m_running)
            run({"/usr/lib/postgresql/15/bin/pg_ctl", "-D", m_dir.filePath("data"), "-m", "immediate", "stop"}, true, &ignored);
        m_running = false;
    }
    ~PgCluster() { stop(); }
    QString url() const
    {
        return QStringLiteral("postgresql://velm@/velm?host=%1&port=%2").arg(m_dir.path()).arg(m_port);
    }

private:
    bool run(QStringList args, bool asOwner, QString *error)
    {
        if (asOwner)
            args = m_prefix + args;
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(args.takeFirst(), args);
        const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok)
            *error = QString::fromLocal8Bit(p.readAll()) + p.errorString();
        return ok;
    }
    QTemporaryDir m_dir;
    QStringList m_prefix;
    int m_port = 0;
    bool m_running = false;
};

// velmora-server as a process of its own over a PostgreSQL database another
// server already uses, with that server's signing key.
class ServerProcess
{
public:
    bool start(const QString &binary, const QString &keyOf, const QString &databaseUrl, QString *error,
               const QStringList &options = {})
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        QFile::copy(keyOf + "/signing.key", m_data.filePath("signing.key"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments{"--data", m_data.path(), "--port", QString::number(m_port)};
        if (!databaseUrl.isEmpty())
            arguments << "--database" << databaseUrl;
        m_process.start(binary, arguments + options);
        for (int i = 0; i < 200 && m_process.state() != QProcess::NotRunning; ++i) {
            httplib::Client c("127.0.0.1", m_port);
            if (const auto r = c.Get("/healthz"); r && r->status == 200)
                return true;
            m_process.waitForFinished(50);
        }
        *error = QStringLiteral("velmora-server did not come up on port %1").arg(m_port);
        return false;
    }
    ~ServerProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished();
    }
    int port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }

private:
    QTemporaryDir m_data;
    QProcess m_process;
    int m_port = 0;
};

// signInForCode: access holds the code and refresh any token the redirect wrongly carried.
struct Tokens
{
    QString access, refresh, state;
};

class Harness
{
public:
    // databaseUrl empty: SQLite.
    bool start(const QString &databaseUrl, QString *error, int signInsPerMinute = 100000, int uploadsPerMinute = 100000,
               const QString &tlsCert = {}, const QString &tlsKey = {})
    {
        VelmServer::Config config;
        config.dataDir = m_data.path();
        config.port = fixedPort;
        config.databaseUrl = databaseUrl;
        config.feedHoldMs = feedHoldMs;
        config.feedsPerUser = feedsPerUser;
        config.threads = threads;
        config.releasesDir = m_releases.path();
        config.maxAttachmentMb = m_maxAttachmentMb;
        config.signInsPerMinute = signInsPerMinute;
        config.uploadsPerMinute = uploadsPerMinute;
        config.tlsCert = tlsCert;
        config.tlsKey = tlsKey;
        config.attachmentsInDatabase = attachmentsInDatabase;
        m_server = std::make_unique<VelmServer::Server>(config);
        return m_server->start(error);
    }
    // Before start(); 1 unless set.
    void setMaxAttachmentMb(int mb) { m_maxAttachmentMb = mb; }
    void stop() { m_server.reset(); }
    // Applied at the next start.
    int fixedPort = 0;
    int feedHoldMs = 25000;
    int feedsPerUser = 10;
    int threads = 8;
    bool attachmentsInDatabase = false;
    int openFeeds() const { return m_server->openFeeds(); }
    int port() const { return m_server->port(); }
    QString releasesDir() const { return m_releases.path(); }
    QString dataDir() const { return m_data.path(); }
    // Non-zero: sign-ins and client() go to this port (another server process).
    int targetPort = 0;
    std::unique_ptr<httplib::Client> client() const
    {
        auto c = std::make_unique<httplib::Client>("127.0.0.1", targetPort ? targetPort : port());
        c->set_read_timeout(60, 0);
        return c;
    }

    static constexpr const char *verifier = "a-verifier-of-the-test-browser-sign-in-0123456789";
    static constexpr const char *callback = "http://127.0.0.1:19876/callback";

    // Plays the browser: posts the sign-in form and reads the one-time code off the redirect.
    Tokens signInForCode(const QString &email, bool create, int *status = nullptr, const QString &password = "correct horse")
    {
        const QString challenge = QString::fromLatin1(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                                          .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
        const QList<std::pair<const char *, QString>> fields{
            {"client_id", "test"}, {"redirect_uri", callback}, {"state", "state 1"},
            {"code_challenge", challenge}, {"code_challenge_method", "S256"},
            {"email", email}, {"password", password}, {"action", create ? "signup" : "signin"}};
        QByteArray form;
        for (const auto &[key, value] : fields)
            form += (form.isEmpty() ? "" : "&") + QByteArray(key) + '=' + QUrl::toPercentEncoding(value);
        const auto res = client()->Post("/velmora/account/login", form.toStdString(), "application/x-www-form-urlencoded");
        if (status)
            *status = res ? res->status : 0;
        if (!res || res->status != 302)
            return {};
        const QUrl location(QString::fromStdString(res->get_header_value("Location")));
        const QUrlQuery q(location.query(QUrl::FullyEncoded));
        return {q.queryItemValue("code", QUrl::FullyDecoded), q.queryItemValue("access_token", QUrl::FullyDecoded),
                q.queryItemValue("state", QUrl::FullyDecoded)};
    }

    // Trades a code as the application does; the reply's status and body.
    std::pair<int, QJsonObject> exchange(const QString &code, const QString &codeVerifier = verifier,
                                         const QString &redirectUri = callback, const QString &clientId = "test")
    {
        const QJsonObject body{{"grant_type", "authorization_code"}, {"code", code}, {"code_verifier", codeVerifier},
                               {"redirect_uri", redirectUri}, {"client_id", clientId}};
        const auto res = client()->Post("/api/v1/realms/velmora/auth/token",
                                        QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), "application/json");
        if (!res)
            return {0, {}};
        return {res->status, QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object()};
    }

    // Signs in through the browser form and the code exchange.
    Tokens signIn(const QString &email, bool create, int *status = nullptr, const QString &password = "correct horse")
    {
        const Tokens form = signInForCode(email, create, status, password);
        if (form.access.isEmpty())
            return {};
        const auto [code, body] = exchange(form.access);
        return {body.value("access_token").toString(), body.value("refresh_token").toString(), form.state};
    }

private:
    QTemporaryDir m_data, m_releases;
    int m_maxAttachmentMb = 1;
    std::unique_ptr<VelmServer::Server> m_server;
};

// One signed-in user's JSON calls.
struct Api
{
    Api(int p, QString access, QString refreshToken = {}) : port(p), token(std::move(access)), refresh(std::move(refreshToken)) {}

    int port = 0;
    QString token;
    QString refresh;

    struct Reply
    {
        int status = 0;
        QJsonObject json;
        std::string body;
    };

    Reply call(const char *method, const std::string &path, const QJsonObject &body = {},
               const httplib::Headers &extra = {}) const
    {
        httplib::Client c("127.0.0.1", port);
        c.set_read_timeout(60, 0);
        httplib::Headers headers = extra;
        if (!token.isEmpty())
            headers.emplace("Authorization", "Bearer " + token.toStdString());
        const std::string data = body.isEmpty() ? std::string() : QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
        const std::string m = method;
        httplib::Result r = m == "GET"      ? c.Get(path, headers)
                            : m == "DELETE" ? c.Delete(path, headers)
                            : m == "PUT"    ? c.Put(path, headers, data, "application/json")
                            : m == "PATCH"  ? c.Patch(path, headers, data, "application/json")
                                            : c.Post(path, headers, data, "application/json");
        if (!r)
            return {};
        return {r->status, QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object(), r->body};
    }
};

// Saves a note's body as another device would: a new note without baseVersion,
// else an edit of that version. The reply's "results" tell the version stored.
inline Api::Reply pushBody(const Api &api, const QString &id, const QString &body, qint64 baseVersion = 0)
{
    QJsonObject change{{"entity_type", "note"}, {"entity_id", id}, {"action", "update"}, {"version", baseVersion + 1},
                       {"data", QJsonObject{{"body", body}, {"created_at", 1}, {"updated_at", 1}, {"modified_at", 1}}}};
    if (baseVersion > 0)
        change.insert("base_version", baseVersion);
    return api.call("POST", "/notes/v1/sync/push", {{"changes", QJsonArray{change}}});
}

// Puts member into owner's group; returns the member's account id.
inline QString joinGroup(const Api &owner, const Api &member)
{
    const auto invite = owner.call("POST", "/account/v1/group/invite");
    member.call("POST", "/account/v1/group/join/" + invite.json.value("invite_code").toString().toStdString());
    return member.call("GET", "/account/v1/profile").json.value("id").toString();
}

} // namespace VelmServerTest
