#include "server.h"

#include <QDir>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcServer, "velmserver")

namespace VelmServer {

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

    m_http = std::make_unique<httplib::Server>();
    httplib::Server &http = *m_http;
    const int threads = c.threads;
    http.new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    // Room for the largest attachment; pushes have their own lower limit.
    http.set_payload_max_length(size_t(std::max<qint64>(pushMaxBytes, c.maxAttachmentMb * 1024 * 1024 + 64 * 1024)));
    http.set_read_timeout(30, 0);
    http.set_write_timeout(30, 0);
    http.set_keep_alive_max_count(1000);
    // Headers and body leave in separate writes; without this each reply waits
    // for the client's delayed acknowledgement.
    http.set_tcp_nodelay(true);

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
    qCInfo(lcServer).noquote() << "listening on" << QStringLiteral("http://%1:%2").arg(c.bind).arg(m_port)
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
