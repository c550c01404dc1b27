#include "server.h"
#include "workerpool.h"

#include <QDir>
#include <QLoggingCategory>

#include <zlib.h>

#include <sys/socket.h>

#include <atomic>

Q_LOGGING_CATEGORY(lcServer, "velmserver")

namespace VelmServer {

namespace {
// Marks a request whose client accepts gzip replies.
constexpr char kTakesGzip[] = "X-Velmora-Takes-Gzip";

// data in a gzip stream at zlib's fastest level.
bool gzipFast(const std::string &data, std::string *out)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out->resize(deflateBound(&stream, uLong(data.size())) + 32);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out->data());
    stream.avail_out = uInt(out->size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out->resize(stream.total_out);
    deflateEnd(&stream);
    return done;
}
// Where a request whose body is over its route's limit goes instead: the
// body is read and thrown away in small pieces, so the reply is a 413 the
// client reads in order and the connection stays usable, without the server
// ever holding the body.
constexpr char kRefusedBodyPath[] = "/_refused-body";
constexpr char kBodyLimit[] = "X-Velmora-Body-Limit";

// Large bodies (pushes, attachments) held at once, in bytes. Each worker
// thread holds the share of the request it serves until its reply is written
// (or, should the library skip the logger on a broken connection, until that
// thread's next request).
constexpr qint64 largeBodyBytes = 1024 * 1024;
constexpr qint64 largeBodiesBudget = 40LL * 1024 * 1024;
std::atomic<qint64> s_largeBodiesHeld{0};
thread_local qint64 t_largeBodyHeld = 0;

void releaseLargeBody()
{
    s_largeBodiesHeld -= t_largeBodyHeld;
    t_largeBodyHeld = 0;
}

// Takes length bytes of the budget; false when they do not fit now.
bool holdLargeBody(qint64 length)
{
    releaseLargeBody();
    if (length <= largeBodyBytes)
        return true;
    qint64 held = s_largeBodiesHeld.load();
    do {
        if (held > 0 && held + length > largeBodiesBudget)
            return false;
    } while (!s_largeBodiesHeld.compare_exchange_weak(held, held + length));
    t_largeBodyHeld = length;
    return true;
}

bool redirectOversizedBody(httplib::Request &request, const Config &c)
{
    request.headers.erase(kBodyLimit);
    const qint64 limit = bodyLimit(request, c.maxAttachmentMb);
    bool ok = false;
    const qint64 length = QByteArray::fromStdString(request.get_header_value("Content-Length")).toLongLong(&ok);
    // A small route takes no body of unknown length.
    const bool refused = ok ? length > limit : request.has_header("Transfer-Encoding") && limit == jsonMaxBytes;
    // An attachment goes to disk as it is read: it takes none of the budget.
    const bool streamed = request.method == "POST" && request.path == "/notes/v1/attachments";
    if (!refused && (!ok || streamed || holdLargeBody(length)))
        return false;
    // Over the limit: 413; within it while other large bodies fill the budget: 503.
    request.set_header(kBodyLimit, refused ? std::to_string(limit) : std::string("busy"));
    request.path = kRefusedBodyPath;
    return true;
}

void refuseBody(const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &reader)
{
    const bool busy = req.get_header_value(kBodyLimit) == "busy";
    const qint64 limit = req.has_header(kBodyLimit) && !busy
        ? QByteArray::fromStdString(req.get_header_value(kBodyLimit)).toLongLong() : jsonMaxBytes;
    // A body of declared length is read to its end, or the rest of it would
    // be taken for the next request; one of unknown length only so far.
    const bool declared = req.has_header("Content-Length");
    qint64 seen = 0;
    const auto drop = [&seen, limit, declared](const char *, size_t n) {
        return declared || (seen += qint64(n)) <= limit + 1024 * 1024;
    };
    if (req.is_multipart_form_data())
        reader([](const httplib::MultipartFormData &) { return true; }, drop);
    else
        reader(drop);
    if (busy) {
        res.set_header("Retry-After", "5");
        replyError(res, 503, QStringLiteral("the server is busy with other large requests; try again"));
        return;
    }
    replyError(res, 413, QStringLiteral("request too large: this request takes at most %1 bytes").arg(limit));
}
} // namespace

Server::Server(Config config)
{
    m_services.config = std::move(config);
    m_services.signIns.setLimit(m_services.config.signInsPerMinute);
    m_services.uploads.setLimit(m_services.config.uploadsPerMinute);
}

Server::~Server()
{
    stop();
    wait();
}

bool Server::start(QString *error)
{
    Config &c = m_services.config;
    if (c.dataDir.isEmpty() || !QDir().mkpath(c.dataDir + QStringLiteral("/attachments"))) {
        *error = QStringLiteral("cannot use the data folder \"%1\"").arg(c.dataDir);
        return false;
    }
    QFile::setPermissions(c.dataDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!m_services.tokens.loadKey(QDir(c.dataDir).filePath(QStringLiteral("signing.key")), error))
        return false;
    m_services.db = Db::open(c.dataDir, c.databaseUrl, error);
    if (!m_services.db)
        return false;
    // Several processes may serve one PostgreSQL database: their sign-in
    // attempts and uploads count together, or each would allow the full number.
    if (m_services.db->kind() == Db::Kind::Postgres) {
        m_services.rateStore = std::make_unique<RateLimitStore>(*m_services.db);
        m_services.signIns.setStore(m_services.rateStore.get());
        m_services.uploads.setStore(m_services.rateStore.get());
        m_services.plannerStats = std::make_unique<PlannerStats>(*m_services.db);
    }
    m_services.changes = std::make_unique<ChangeHub>(*m_services.db, c.feedsPerUser, c.feedsMax);
    if (!m_services.changes->start(error))
        return false;
    m_services.db->setCommittedListener([hub = m_services.changes.get()](const QString &userId, qint64 stamp) {
        hub->publish(userId, stamp);
    });

    if (c.tlsCert.isEmpty() != c.tlsKey.isEmpty()) {
        *error = QStringLiteral("--tls-cert and --tls-key go together");
        return false;
    }
    if (c.tlsCert.isEmpty()) {
        m_http = std::make_unique<httplib::Server>();
    } else {
        auto tls = std::make_unique<httplib::SSLServer>(QFile::encodeName(c.tlsCert).constData(),
                                                        QFile::encodeName(c.tlsKey).constData());
        if (!tls->is_valid()) {
            *error = QStringLiteral("cannot use the certificate \"%1\" with the key \"%2\"").arg(c.tlsCert, c.tlsKey);
            return false;
        }
        m_http = std::move(tls);
    }
    httplib::Server &http = *m_http;
    const int threads = c.threads;
    const int feeds = c.feedsMax;
    http.new_task_queue = [this, threads, feeds] { return m_pool = new WorkerPool(threads, feeds); };
    // Room for the largest attachment; every other route has its own lower limit (bodyLimit).
    http.set_payload_max_length(size_t(std::max<qint64>(pushMaxBytes, c.maxAttachmentMb * 1024 * 1024 + 64 * 1024)));
    http.set_read_timeout(30, 0);
    http.set_write_timeout(30, 0);
    http.set_keep_alive_max_count(1000);
    // Headers and body leave in separate writes; without this each reply waits
    // for the client's delayed acknowledgement.
    http.set_tcp_nodelay(true);

    // The HTTP library would compress JSON with brotli at its slowest setting,
    // which costs far more than the transfer it saves (a pull of 10 000 notes
    // spent most of its time there). It is told the client takes no encoding,
    // and large JSON replies are gzipped at the fastest level instead. The
    // request objects are the library's own, not const.
    http.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &) {
        auto &request = const_cast<httplib::Request &>(req);
        if (redirectOversizedBody(request, m_services.config))
            return httplib::Server::HandlerResponse::Unhandled;
        request.headers.erase(kTakesGzip);
        if (request.get_header_value("Accept-Encoding").find("gzip") != std::string::npos)
            request.set_header(kTakesGzip, "1");
        request.headers.erase("Accept-Encoding");
        return httplib::Server::HandlerResponse::Unhandled;
    });
    http.set_post_routing_handler([](const httplib::Request &req, httplib::Response &res) {
        if (!req.has_header(kTakesGzip) || res.body.size() < 4096
            || res.get_header_value("Content-Type") != "application/json")
            return;
        if (std::string packed; gzipFast(res.body, &packed)) {
            res.body = std::move(packed);
            res.set_header("Content-Encoding", "gzip");
            res.headers.erase("Content-Length");
            res.set_header("Content-Length", std::to_string(res.body.size()));
        }
    });
    http.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request &, httplib::Response &res) {
        if (!res.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        const char *text = res.status == 404 ? "not found"
                           : res.status == 413 ? "request too large"
                           : res.status == 400 ? "bad request"
                                               : "request failed";
        replyError(res, res.status, QString::fromLatin1(text));
        return httplib::Server::HandlerResponse::Handled;
    }));
    http.set_exception_handler([](const httplib::Request &req, httplib::Response &res, std::exception_ptr) {
        qCWarning(lcServer) << "handler failed:" << req.method.c_str() << req.path.c_str();
        replyError(res, 500, QStringLiteral("internal error"));
    });
    http.set_logger([](const httplib::Request &req, const httplib::Response &res) {
        releaseLargeBody();
        if (res.status >= 500 && res.status != 503)
            qCWarning(lcServer) << req.method.c_str() << req.path.c_str() << res.status;
    });

    http.Get("/healthz", [this](const httplib::Request &, httplib::Response &res) {
        QSqlQuery q = m_services.db->query();
        const bool ok = q.exec(QStringLiteral("SELECT 1")) && q.next();
        replyJson(res, ok ? 200 : 503, QJsonObject{{"status", ok ? "ok" : "database unavailable"}});
    });
    http.set_file_extension_and_mimetype_mapping("md", "text/markdown; charset=utf-8");
    if (!c.releasesDir.isEmpty() && !http.set_mount_point("/releases", c.releasesDir.toStdString())) {
        *error = QStringLiteral("cannot serve releases from \"%1\"").arg(c.releasesDir);
        return false;
    }
    const httplib::Server::HandlerWithContentReader refuse(refuseBody);
    http.Post(kRefusedBodyPath, refuse).Put(kRefusedBodyPath, refuse).Patch(kRefusedBodyPath, refuse).Delete(kRefusedBodyPath, refuse);
    addAuthRoutes(http, m_services);
    addAccountRoutes(http, m_services);
    addSyncRoutes(http, m_services);
    addShareRoutes(http, m_services);
    addFeedRoutes(http, m_services);
    addAttachmentRoutes(http, m_services);

    // The library listens with a backlog of 5: when many devices connect at
    // once (their feeds after a restart) most connects would be dropped and
    // retried by their kernels a second or more later. The listening socket
    // is kept as it is made, and its backlog raised once it is bound.
    int listening = -1;
    http.set_socket_options([&listening](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listening = sock;
    });
    m_port = c.port == 0 ? http.bind_to_any_port(c.bind.toStdString()) : (http.bind_to_port(c.bind.toStdString(), c.port) ? c.port : -1);
    if (m_port <= 0) {
        *error = QStringLiteral("cannot listen on %1:%2").arg(c.bind).arg(c.port);
        return false;
    }
    if (listening >= 0 && ::listen(listening, SOMAXCONN) != 0)
        qCWarning(lcServer) << "could not widen the listening backlog";
    m_thread = std::thread([&http] { http.listen_after_bind(); });
    // stop() only reaches a server that is already accepting.
    for (int i = 0; i < 2000 && !http.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    qCInfo(lcServer).noquote() << "listening on"
                               << QStringLiteral("%1://%2:%3").arg(c.tlsCert.isEmpty() ? "http" : "https", c.bind).arg(m_port)
                               << (m_services.db->kind() == Db::Kind::Sqlite ? "(SQLite)" : "(PostgreSQL)");
    if (!c.publicUrl.isEmpty())
        qCInfo(lcServer).noquote() << "users reach it at" << c.publicUrl;
    return true;
}

int Server::openFeeds() const
{
    return m_services.changes ? m_services.changes->openFeeds() : 0;
}

int Server::workerThreads() const
{
    return m_pool ? m_pool->threadCount() : 0;
}

void Server::stop()
{
    // Parked feeds answer first, or stopping would wait for their hold.
    if (m_services.changes)
        m_services.changes->close();
    if (m_http)
        m_http->stop();
}

void Server::wait()
{
    if (m_thread.joinable())
        m_thread.join();
    m_pool = nullptr;
    if (m_services.changes)
        m_services.changes->stop();
}

} // namespace VelmServer
