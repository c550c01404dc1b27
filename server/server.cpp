#include "server.h"

#include <QDir>
#include <QLoggingCategory>

#include <zlib.h>

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
// Refuses a body far over its route's limit before it is read. A body a
// little over it is read (so an honest client gets the 413, not a broken
// connection) and refused by the route; a small route takes no body of
// unknown length.
bool refuseOversizedBody(const httplib::Request &req, httplib::Response &res, const Config &c)
{
    const qint64 limit = bodyLimit(req, c.maxAttachmentMb);
    if (req.has_header("Transfer-Encoding") && limit == jsonMaxBytes) {
        replyError(res, 411, QStringLiteral("a body needs a Content-Length here"));
        res.set_header("Connection", "close");
        return true;
    }
    const std::string declared = req.get_header_value("Content-Length");
    if (declared.empty())
        return false;
    bool ok = false;
    const qint64 length = QByteArray::fromStdString(declared).toLongLong(&ok);
    if (ok && length <= limit + drainableExcessBytes)
        return false;
    replyError(res, 413, QStringLiteral("request too large: this request takes at most %1 bytes").arg(limit));
    // The body stays unread: the connection cannot carry another request.
    res.set_header("Connection", "close");
    return true;
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
    http.new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
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
    http.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (refuseOversizedBody(req, res, m_services.config))
            return httplib::Server::HandlerResponse::Handled;
        auto &request = const_cast<httplib::Request &>(req);
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
        if (res.status >= 500)
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
    addAuthRoutes(http, m_services);
    addAccountRoutes(http, m_services);
    addSyncRoutes(http, m_services);
    addShareRoutes(http, m_services);

    m_port = c.port == 0 ? http.bind_to_any_port(c.bind.toStdString()) : (http.bind_to_port(c.bind.toStdString(), c.port) ? c.port : -1);
    if (m_port <= 0) {
        *error = QStringLiteral("cannot listen on %1:%2").arg(c.bind).arg(c.port);
        return false;
    }
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

void Server::stop()
{
    if (m_http)
        m_http->stop();
}

void Server::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace VelmServer
