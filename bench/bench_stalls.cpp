// The GUI thread's longest stall (the longest gap of a 5 ms timer on it)
// while the client refreshes its sign-in, while a 100 MB attachment (the largest the server takes) goes up
// from one device and down to another through velmora-server on loopback,
// during the first sync of 10 000 notes with realistic bodies into an empty
// device and during a Force Full Resync of them (BENCH_NOTES=N for another
// count).
// Run it beside a keyring (tests/account/with-keyring.sh) to count the
// keyring's writes; without one the tokens go to the owner-only file.
// BENCH_SLOW_EVENTS=MS names each event the GUI thread spent MS or more in
// (its own CPU or the wall clock), to find what a long stall was.

#include "client.h"
#include "appstate.h"
#include "bodybuilder.h"
#include "clientconfig.h"
#include "serverharness.h"
#include "stallprobe.h"
#include "syncdevice.h"
#include "tokenmanager.h"
#include "tokenstore.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace VelmSyncTest;

namespace {

constexpr int kRefreshes = 10;
constexpr qint64 kAttachmentBytes = 100LL * 1024 * 1024;

// Runs the event loop until done() holds or limitMs passes; false on the limit.
template<typename Done>
bool waitFor(Done done, int limitMs = 120000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// Runs one cycle of device to its end (however long it takes); true when it completed.
bool syncToEnd(Device &device, const std::function<void()> &begin)
{
    device.use();
    bool completed = false, failed = false;
    QObject context;
    QObject::connect(device.engine.get(), &SyncEngine::syncCompleted, &context, [&] { completed = true; });
    QObject::connect(device.engine.get(), &SyncEngine::syncFailed, &context, [&] { failed = true; });
    begin();
    waitFor([&] { return completed || failed; }, 1800000);
    return completed;
}

// Runs the loop until the background fill has written every search row the
// sync listed for it: the same job, finished on another thread.
bool searchRowsFilled(Device &device)
{
    bool check = true;
    bool filled = false;
    QObject context;
    QObject::connect(&device.fill, &NoteTextFill::textsWritten, &context, [&check] { check = true; });
    return waitFor([&] {
        if (check && !filled)
            filled = BodyBackfill::pendingCount(device.database.database()) == 0;
        check = false;
        return filled;
    }, 1800000);
}

qint64 searchRows(Device &device)
{
    QSqlQuery query(device.database.database());
    return query.exec(QStringLiteral("SELECT COUNT(*) FROM notes_fts")) && query.next() ? query.value(0).toLongLong() : -1;
}

// count notes with the bodies bench_scale writes, in one transaction.
void fillNotes(Device &device, int count)
{
    QRandomGenerator random(20261207u);
    BodyBuilder builder(random);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    device.database.database().transaction();
    for (int i = 0; i < count; ++i) {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = builder.build(realisticBodyBytes(random), false, QString());
        note.createdAt = note.updatedAt = note.modifiedAt = now.addSecs(-qint64(random.bounded(3 * 365 * 86400)));
        device.notes.insert(note);
    }
    device.database.database().commit();
}

QByteArray sha256OfFile(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double g_cpuStart = 0;

void report(const char *what, const StallProbe &probe, double wallMs, bool ok)
{
    std::printf("%-50s longest stall %7.1f ms, busy %6.1f ms   (%.0f ms in all, cpu %.0f ms)%s\n", what,
                probe.longestMs(), probe.longestBusyMs(), wallMs, cpuMs() - g_cpuStart, ok ? "" : "   FAILED");
    std::fflush(stdout);
}

// BENCH_ONLY=refresh,files,notes runs only these groups.
bool wanted(const char *group)
{
    const QStringList only = qEnvironmentVariable("BENCH_ONLY").split(QLatin1Char(','), Qt::SkipEmptyParts);
    return only.isEmpty() || only.contains(QLatin1String(group));
}

// With BENCH_SLOW_EVENTS=MS, names every event the GUI thread spent over MS
// milliseconds of its own CPU on: which receiver, which event, which slot.
class TracingApplication final : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_limitMs <= 0 || QThread::currentThread() != thread())
            return QCoreApplication::notify(receiver, event);
        const QString what = QStringLiteral("%1 (%2) event %3")
                                 .arg(QString::fromLatin1(receiver->metaObject()->className()), receiver->objectName())
                                 .arg(int(event->type()));
        // The probe's tick closes a gap: a gap over the limit is named event by event.
        if (event->type() == QEvent::Timer && receiver->objectName() == QLatin1String("stall probe")) {
            const bool restarted = receiver->property("restarted").toBool();
            receiver->setProperty("restarted", false);
            const double gapWallMs = m_sinceTick.isValid() && !restarted ? double(m_sinceTick.nsecsElapsed()) / 1e6 : 0;
            if (m_gapMs >= m_limitMs || gapWallMs >= m_limitMs)
                std::fprintf(stderr, "slow gap: %.1f ms wall, %.1f ms cpu in%s\n", gapWallMs, m_gapMs,
                             qPrintable(m_gap));
            m_sinceTick.start();
            m_gap.clear();
            m_gapMs = 0;
        }
        // Wall time as well: an event waiting on a disk or a lock takes
        // little CPU but stalls the loop all the same.
        QElapsedTimer wall;
        wall.start();
        const qint64 before = threadCpuNs();
        const bool done = QCoreApplication::notify(receiver, event);
        const double ms = double(threadCpuNs() - before) / 1e6;
        const double wallMs = double(wall.nsecsElapsed()) / 1e6;
        m_gapMs += ms;
        if (ms >= 1 || wallMs >= 5)
            m_gap += QStringLiteral(" [%1 ms (%2 wall) %3]").arg(ms, 0, 'f', 1).arg(wallMs, 0, 'f', 1).arg(what);
        if (ms >= m_limitMs || wallMs >= m_limitMs)
            std::fprintf(stderr, "slow event: %.1f ms cpu, %.1f ms wall in %s\n", ms, wallMs, qPrintable(what));
        return done;
    }

private:
    static qint64 threadCpuNs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    const int m_limitMs = qEnvironmentVariableIntValue("BENCH_SLOW_EVENTS");
    QString m_gap;
    double m_gapMs = 0;
    QElapsedTimer m_sinceTick;
};

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("share").toUtf8());
    TracingApplication app(argc, argv);
    VelmServerTest::Harness server;
    server.setMaxAttachmentMb(100);
    QString error;
    if (!server.start(QString(), &error)) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(error));
        return 1;
    }
    StallProbe probe;
    QElapsedTimer clock;
    bool allOk = true;

    if (wanted("refresh")) {
        const auto signedIn = server.signIn(QStringLiteral("refresh@example.org"), true);
        VelmAccount::ClientConfig config;
        config.authBaseUrl = QStringLiteral("http://127.0.0.1:%1").arg(server.port());
        config.realm = QStringLiteral("velmora");
        config.accountApiUrl = config.authBaseUrl + QStringLiteral("/account/v1");
        config.clientId = QStringLiteral("9f1c2a7be04d53c8a6e1f0b2d7c4e913");
        config.appId = QStringLiteral("app.velmora.notes.bench");
        config.appVersion = QStringLiteral("1.0.4");
        VelmAccount::Client client(config, VelmAccount::createPlatformTokenStore(config.appId, home.path()));
        client.tokenManager()->setTokens(signedIn.access, signedIn.refresh);
        waitFor([] { return false; }, 500);
        int answered = 0, succeeded = 0;
        probe.start();
        clock.start();
        g_cpuStart = cpuMs();
        for (int i = 0; i < kRefreshes; ++i) {
            const int before = answered;
            client.tokenManager()->refresh([&](VelmAccount::RefreshResult result) {
                ++answered;
                succeeded += result == VelmAccount::RefreshResult::Success;
            });
            waitFor([&] { return answered > before; });
        }
        // The last store writes may still be on their way.
        waitFor([] { return false; }, 500);
        probe.stop();
        const bool ok = succeeded == kRefreshes;
        allOk = allOk && ok;
        report("token refresh (10 in a row)", probe, double(clock.elapsed()), ok);
    }

    if (wanted("files")) {
        const auto first = server.signIn(QStringLiteral("files@example.org"), true);
        const auto second = server.signIn(QStringLiteral("files@example.org"), false);
        Device a(server.port(), first.access, first.refresh);
        Device b(server.port(), second.access, second.refresh);
        const Note note = a.addNote(QStringLiteral("with a large file"));
        QByteArray bytes(kAttachmentBytes, Qt::Uninitialized);
        for (qint64 i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 7919) >> 8);
        const Attachment attachment = a.addAttachment(note.id, QStringLiteral("large.bin"), bytes);
        const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
        bytes.clear();

        probe.start();
        clock.start();
        g_cpuStart = cpuMs();
        bool ok = a.sync();
        probe.stop();
        allOk = allOk && ok;
        report("sync uploading a 100 MB attachment", probe, double(clock.elapsed()), ok);

        probe.start();
        clock.start();
        g_cpuStart = cpuMs();
        ok = b.sync();
        probe.stop();
        b.use();
        ok = ok && sha256OfFile(AttachmentRepository::filePath(attachment.id)) == digest;
        allOk = allOk && ok;
        report("sync downloading a 100 MB attachment", probe, double(clock.elapsed()), ok);
    }

    if (wanted("notes")) {
        // The list texts and to-dos come from the application's own extractor.
        const int count = qEnvironmentVariableIsSet("BENCH_NOTES") ? qEnvironmentVariableIntValue("BENCH_NOTES") : 10000;
        const auto writer = server.signIn(QStringLiteral("many@example.org"), true);
        const auto reader = server.signIn(QStringLiteral("many@example.org"), false);
        Device c(server.port(), writer.access, writer.refresh);
        Device d(server.port(), reader.access, reader.refresh);
        c.database.setTextExtractor(noteTextOfBody);
        d.database.setTextExtractor(noteTextOfBody);
        c.use();
        fillNotes(c, count);
        const QByteArray label = QByteArray::number(count);
        // Each step may take longer than an access token lives on a busy machine.
        const auto freshTokens = [&](Device &device, bool newDevice) {
            const auto signedIn = server.signIn(QStringLiteral("many@example.org"), newDevice);
            device.tokens.setTokens(signedIn.access, signedIn.refresh);
        };
        probe.start();
        clock.start();
        g_cpuStart = cpuMs();
        bool ok = syncToEnd(c, [&] { c.engine->syncNow(); });
        probe.stop();
        allOk = allOk && ok;
        report(("first upload of " + label + " notes").constData(), probe, double(clock.elapsed()), ok);

        freshTokens(d, false);
        probe.start();
        clock.start();
        g_cpuStart = cpuMs();
        ok = syncToEnd(d, [&] { d.engine->syncNow(); }) && d.notes.liveCount() >= count && searchRowsFilled(d)
            && searchRows(d) >= count;
        probe.stop();
        allOk = allOk && ok;
        report(("first sync of " + label + " notes into an empty device").constData(), probe,
               double(clock.elapsed()), ok);

        freshTokens(d, false);
        probe.start();
        clock.start();
        g_cpuStart = cpuMs();
        ok = syncToEnd(d, [&] { d.engine->forceFullResync(); }) && d.notes.syncState().pendingNotes().isEmpty()
            && searchRowsFilled(d);
        probe.stop();
        allOk = allOk && ok;
        report(("Force Full Resync of " + label + " notes").constData(), probe, double(clock.elapsed()), ok);
    }
    return allOk ? 0 : 1;
}
