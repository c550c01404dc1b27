#include "server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    ::umask(077); // the database and attachments stay private to the server's user
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sync, account and release server for Velmora Notes."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("Folder for the database, key and attachments."), QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free port)."), QStringLiteral("N"), QStringLiteral("8787"));
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Address to listen on."), QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("PostgreSQL URL (postgresql://user@host:port/db; password from PGPASSWORD or ~/.pgpass); SQLite in DIR when absent."), QStringLiteral("URL"));
    const QCommandLineOption releases(QStringLiteral("releases"), QStringLiteral("Folder served under /releases/."), QStringLiteral("DIR"));
    const QCommandLineOption publicUrl(QStringLiteral("public-url"), QStringLiteral("Address users reach this server at."), QStringLiteral("URL"));
    const QCommandLineOption maxAttachment(QStringLiteral("max-attachment-mb"), QStringLiteral("Largest attachment accepted."), QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption tlsCert(QStringLiteral("tls-cert"), QStringLiteral("Serve HTTPS with this certificate chain (PEM)."), QStringLiteral("FILE"));
    const QCommandLineOption tlsKey(QStringLiteral("tls-key"), QStringLiteral("The certificate's private key (PEM)."), QStringLiteral("FILE"));
    const QCommandLineOption maxFeeds(QStringLiteral("max-feeds"), QStringLiteral("Change feeds open at once, in all (each holds a thread while it waits)."), QStringLiteral("N"), QStringLiteral("2000"));
    const QCommandLineOption feedsPerUser(QStringLiteral("feeds-per-user"), QStringLiteral("Change feeds one account may hold open."), QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption feedHold(QStringLiteral("feed-hold"), QStringLiteral("Seconds a change feed waits before it answers that nothing changed (below a proxy's idle timeout)."), QStringLiteral("S"), QStringLiteral("25"));
    const QCommandLineOption inDatabase(QStringLiteral("attachments-in-database"), QStringLiteral("Keep attachment contents in the database (so several processes need no shared folder); files under DIR otherwise."));
    const QCommandLineOption signIns(QStringLiteral("sign-ins-per-minute"), QStringLiteral("Sign-in attempts allowed per address, e-mail address and account in a minute (counted in the database on PostgreSQL, across all processes)."), QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption uploads(QStringLiteral("uploads-per-minute"), QStringLiteral("Attachment uploads allowed per account in a minute (counted in the database on PostgreSQL, across all processes)."), QStringLiteral("N"), QStringLiteral("600"));
    parser.addOptions({data, port, bind, database, releases, publicUrl, maxAttachment, tlsCert, tlsKey, maxFeeds, feedsPerUser, feedHold,
                       inDatabase, signIns, uploads});
    // process() exits with 1 on a wrong option; callers and the man page expect 2.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "velmora-server: %s See --help.\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    bool portOk = false, sizeOk = false, feedsOk = false, perUserOk = false, holdOk = false, signInsOk = false,
         uploadsOk = false;
    VelmServer::Config config;
    config.dataDir = parser.value(data);
    config.port = parser.value(port).toInt(&portOk);
    config.bind = parser.value(bind);
    config.databaseUrl = parser.value(database);
    config.releasesDir = parser.value(releases);
    config.publicUrl = parser.value(publicUrl);
    config.maxAttachmentMb = parser.value(maxAttachment).toLongLong(&sizeOk);
    config.tlsCert = parser.value(tlsCert);
    config.tlsKey = parser.value(tlsKey);
    config.feedsMax = parser.value(maxFeeds).toInt(&feedsOk);
    config.feedsPerUser = parser.value(feedsPerUser).toInt(&perUserOk);
    config.feedHoldMs = parser.value(feedHold).toInt(&holdOk) * 1000;
    config.attachmentsInDatabase = parser.isSet(inDatabase);
    config.signInsPerMinute = parser.value(signIns).toInt(&signInsOk);
    config.uploadsPerMinute = parser.value(uploads).toInt(&uploadsOk);
    if (config.dataDir.isEmpty() || !portOk || config.port < 0 || config.port > 65535 || !sizeOk
        || config.maxAttachmentMb < 1 || !feedsOk || config.feedsMax < 0 || !perUserOk || config.feedsPerUser < 1
        || !holdOk || config.feedHoldMs < 1000 || config.feedHoldMs > 600000 || !signInsOk || config.signInsPerMinute < 1
        || !uploadsOk || config.uploadsPerMinute < 1) {
        std::fputs("velmora-server: --data DIR is required; --port, --max-attachment-mb, --max-feeds, --feeds-per-user,"
                   " --feed-hold, --sign-ins-per-minute and --uploads-per-minute take numbers. See --help.\n", stderr);
        return 2;
    }

    VelmServer::Server server(config);
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "velmora-server: %s\n", qPrintable(error));
        return 1;
    }

    // Signals only write to a pipe; the event loop does the shutdown.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        qInfo("velmora-server: shutting down");
        server.stop();
        server.wait();
        app.quit();
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    return app.exec();
}
