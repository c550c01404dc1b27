// Load generator for velmora-server: N simulated devices sign in, then run
// sync cycles at a set rate against one or more server processes, over
// SQLite or PostgreSQL. A cycle is what an idle device does each time it
// syncs: a pull with nothing new, the notebook list and the attachment list,
// over one connection; a share of the devices also pushes a one-note edit.
//
//   bench_load [--devices N] [--rate CYCLES_PER_DEVICE_PER_S] [--pushing FRACTION]
//              [--seconds S] [--processes P] [--postgres] [--threads T] [--devices-per-user K]
//
// A password sign-in costs the server a deliberately slow hash (about half a
// second of a core here), so each user signs in once and the user's devices
// share that session; the sign-in phase is timed on its own. Like the
// application, a user's devices renew the session before its access token
// expires (runs longer than a token's life would otherwise end in 401s).
#include "serverharness.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace VelmServerTest;
using Clock = std::chrono::steady_clock;

namespace {

struct Options
{
    int devices = 1000;
    double rate = 0.6;
    double pushing = 0.0;
    int seconds = 20;
    int processes = 1;
    bool postgres = false;
    // More threads than the servers' workers only queue connections: each
    // thread holds one open for its cycle.
    int threads = 16;
    int devicesPerUser = 10;
};

// One user's session, shared by its devices. Refresh tokens rotate and a
// retired one revokes the session, so one device at a time renews it.
struct Session
{
    std::mutex mutex;
    std::string access, refresh;
    Clock::time_point renewAt;
};

struct Device
{
    int process = 0;
    int user = 0;
    std::string noteId;
    qint64 version = 1;
    qint64 cursor = 0, attachmentCursor = 0;
    bool pushes = false;
};

// Process CPU seconds (user + system) and peak/current resident kB from /proc.
struct ProcStats
{
    double cpuSeconds = 0;
    qint64 peakKb = 0, rssKb = 0;
    qint64 parent = 0;
};

ProcStats procStats(qint64 pid)
{
    ProcStats s;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        // Fields 14 and 15 of the line; the list starts at field 3.
        s.cpuSeconds = double(f.value(11).toLongLong() + f.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
        s.parent = f.value(1).toLongLong();
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &l : status.readAll().split('\n')) {
            if (l.startsWith("VmHWM:"))
                s.peakKb = l.mid(6).trimmed().split(' ').value(0).toLongLong();
            if (l.startsWith("VmRSS:"))
                s.rssKb = l.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return s;
}

// CPU seconds of a process and its children: PostgreSQL's postmaster and its backends.
double treeCpuSeconds(qint64 root)
{
    double sum = procStats(root).cpuSeconds;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (numeric && pid != root) {
            const ProcStats child = procStats(pid);
            if (child.parent == root)
                sum += child.cpuSeconds;
        }
    }
    return sum;
}

// The postmaster of the cluster behind a database URL's socket folder; 0 without one.
qint64 postmasterPid(const QString &databaseUrl)
{
    const QString folder = QUrlQuery(QUrl(databaseUrl)).queryItemValue(QStringLiteral("host"));
    QFile pidFile(folder + QStringLiteral("/data/postmaster.pid"));
    return !folder.isEmpty() && pidFile.open(QIODevice::ReadOnly) ? pidFile.readLine().trimmed().toLongLong() : 0;
}

// Busy and total CPU time of the whole machine, in clock ticks, from /proc/stat.
std::pair<qint64, qint64> machineTicks()
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return {0, 0};
    const QList<QByteArray> f = stat.readLine().simplified().split(' ');
    qint64 total = 0;
    for (int i = 1; i < f.size(); ++i)
        total += f[i].toLongLong();
    return {total - f.value(4).toLongLong() - f.value(5).toLongLong(), total};
}

double percentile(std::vector<double> &v, double p)
{
    if (v.empty())
        return 0;
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size())));
    std::nth_element(v.begin(), v.begin() + qsizetype(i), v.end());
    return v[i];
}

Options parse(const QStringList &args)
{
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == "--devices") o.devices = next.toInt(), ++i;
        else if (a == "--rate") o.rate = next.toDouble(), ++i;
        else if (a == "--pushing") o.pushing = next.toDouble(), ++i;
        else if (a == "--seconds") o.seconds = next.toInt(), ++i;
        else if (a == "--processes") o.processes = next.toInt(), ++i;
        else if (a == "--threads") o.threads = next.toInt(), ++i;
        else if (a == "--devices-per-user") o.devicesPerUser = std::max(1, next.toInt()), ++i;
        else if (a == "--postgres") o.postgres = true;
    }
    return o;
}

// Renews session through port once its access token is near its end; false when that failed.
bool renewIfDue(Session &session, int port, std::atomic<long> &renewals)
{
    std::lock_guard lock(session.mutex);
    if (Clock::now() < session.renewAt)
        return true;
    httplib::Client c("127.0.0.1", port);
    const std::string body = QJsonDocument(QJsonObject{{"refresh_token", QString::fromStdString(session.refresh)}})
                                 .toJson(QJsonDocument::Compact)
                                 .toStdString();
    const httplib::Result r = c.Post("/api/v1/realms/velmora/auth/token/refresh", body, "application/json");
    const QJsonObject reply = r && r->status == 200 ? QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object()
                                                    : QJsonObject();
    if (reply.value("access_token").toString().isEmpty())
        return false;
    session.access = reply.value("access_token").toString().toStdString();
    session.refresh = reply.value("refresh_token").toString().toStdString();
    session.renewAt = Clock::now() + std::chrono::seconds(reply.value("expires_in").toInt(900) * 4 / 5);
    ++renewals;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    const Options o = parse(app.arguments());
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures survive a run cut short
    QString error;
    PgCluster pg;
    if (o.postgres && !pg.start(&error)) {
        std::fprintf(stderr, "PostgreSQL did not start: %s\n", qPrintable(error));
        return 1;
    }
    const QString url = o.postgres ? pg.url() : QString();
    Harness keyMaker; // migrates the database and makes the key the processes share
    if (!keyMaker.start(url, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    keyMaker.stop();
    if (!o.postgres && o.processes != 1) {
        std::fprintf(stderr, "several processes share one database only on PostgreSQL\n");
        return 2;
    }
    std::vector<std::unique_ptr<ServerProcess>> servers;
    for (int p = 0; p < o.processes; ++p) {
        servers.push_back(std::make_unique<ServerProcess>());
        QStringList extra{"--sign-ins-per-minute", "1000000"};
        if (o.postgres)
            extra << "--attachments-in-database";
        if (!servers.back()->start(VELMORA_SERVER_BIN, keyMaker.dataDir(), url, &error, extra)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }

    // Sign-in: one per user; the devices of a user share its session.
    std::vector<Device> devices(size_t(o.devices));
    const int users = (o.devices + o.devicesPerUser - 1) / o.devicesPerUser;
    std::vector<Session> sessions(static_cast<size_t>(users));
    QElapsedTimer signInTime;
    signInTime.start();
    std::atomic<int> nextUser{0}, signInErrors{0};
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < std::min(o.threads, 8); ++t) {
            threads.emplace_back([&] {
                Harness signer; // only its sign-in helpers; it serves nothing
                for (int u; (u = nextUser++) < users;) {
                    signer.targetPort = servers[size_t(u % o.processes)]->port();
                    const Tokens t = signer.signIn(QStringLiteral("load%1@example.org").arg(u), true);
                    signInErrors += t.access.isEmpty();
                    Session &session = sessions[size_t(u)];
                    session.access = t.access.toStdString();
                    session.refresh = t.refresh.toStdString();
                    session.renewAt = Clock::now() + std::chrono::minutes(12); // of a 15-minute token
                    for (int d = u * o.devicesPerUser; d < std::min(o.devices, (u + 1) * o.devicesPerUser); ++d) {
                        Device &dev = devices[size_t(d)];
                        dev.process = d % o.processes;
                        dev.pushes = (d % 20) < int(o.pushing * 20 + 0.5);
                        dev.user = u;
                        dev.noteId = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
                        if (dev.pushes && !pushBody(Api(signer.targetPort, t.access), QString::fromStdString(dev.noteId), "v1")
                                               .json.value("results")[0].toObject().value("version").toInteger())
                            ++signInErrors;
                    }
                }
            });
        }
        for (std::thread &t : threads)
            t.join();
    }
    std::printf("signed in %d users for %d devices in %.1f s (%d errors)\n", users, o.devices,
                double(signInTime.elapsed()) / 1000, signInErrors.load());
    // Peak memory from here on: the sign-in's password hashes are not the cycles' cost.
    for (const auto &s : servers) {
        QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(s->pid()));
        if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
            std::fprintf(stderr, "could not reset the peak memory of process %lld\n", s->pid());
    }

    // Cycles: device d is due every 1/rate seconds, its first time spread over one period.
    const auto period = std::chrono::duration<double>(1.0 / o.rate);
    const Clock::time_point start = Clock::now() + std::chrono::milliseconds(200);
    const Clock::time_point end = start + std::chrono::seconds(o.seconds);
    std::mutex statsMutex;
    std::vector<double> requestMs, cycleMs, pushMs;
    std::atomic<long> cycles{0}, pushes{0}, errors{0}, renewals{0}, renewalFailures{0};
    // Failed requests by HTTP status, 0 where no answer came.
    std::map<int, long> failures;
    std::vector<ProcStats> before;
    for (const auto &s : servers)
        before.push_back(procStats(s->pid()));
    // What else burns CPU meanwhile: on a small machine the generator, the
    // database and other programs compete with the servers for the same cores.
    const qint64 postmaster = o.postgres ? postmasterPid(url) : 0;
    const double databaseBefore = postmaster ? treeCpuSeconds(postmaster) : 0;
    const double generatorBefore = procStats(QCoreApplication::applicationPid()).cpuSeconds;
    const std::pair<qint64, qint64> machineBefore = machineTicks();
    std::vector<std::thread> threads;
    for (int t = 0; t < o.threads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<double> myRequests, myCycles, myPushes;
            std::map<int, long> myFailures;
            std::vector<std::pair<Clock::time_point, int>> due;
            for (int d = t; d < o.devices; d += o.threads)
                due.emplace_back(start + std::chrono::duration_cast<Clock::duration>(period * (double(d) / o.devices)), d);
            while (true) {
                auto next = std::min_element(due.begin(), due.end());
                if (next == due.end() || next->first >= end)
                    break;
                std::this_thread::sleep_until(next->first);
                Device &dev = devices[size_t(next->second)];
                next->first += std::chrono::duration_cast<Clock::duration>(period);
                Session &session = sessions[size_t(dev.user)];
                if (!renewIfDue(session, servers[size_t(dev.process)]->port(), renewals))
                    ++errors, ++renewalFailures;
                std::string token;
                {
                    std::lock_guard lock(session.mutex);
                    token = session.access;
                }
                httplib::Client c("127.0.0.1", servers[size_t(dev.process)]->port());
                c.set_keep_alive(true);
                c.set_read_timeout(30, 0);
                // As the application sends them: the server records the device on every sync.
                // An installation id of its own, or all devices of a user would update one device row.
                const std::string name = "device-" + std::to_string(next->second);
                const httplib::Headers auth{{"Authorization", "Bearer " + token}, {"X-App-Id", "velmora-bench"},
                                            {"X-Platform", "linux"}, {"X-Device-Name", name}, {"X-Device-Id", name}};
                const Clock::time_point cycleStart = Clock::now();
                const auto timed = [&](auto &&call) {
                    const Clock::time_point t0 = Clock::now();
                    const httplib::Result r = call();
                    myRequests.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                    if (!r || r->status != 200) {
                        ++errors;
                        ++myFailures[r ? r->status : 0];
                        return QJsonObject();
                    }
                    return QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object();
                };
                if (dev.pushes) {
                    const QJsonObject change{{"entity_type", "note"}, {"entity_id", QString::fromStdString(dev.noteId)},
                                             {"action", "update"}, {"version", dev.version + 1}, {"base_version", dev.version},
                                             {"data", QJsonObject{{"body", QStringLiteral("v%1").arg(dev.version + 1)},
                                                                  {"modified_at", 1}, {"created_at", 1}, {"updated_at", 1}}}};
                    const std::string body = QJsonDocument(QJsonObject{{"changes", QJsonArray{change}}}).toJson(QJsonDocument::Compact).toStdString();
                    const Clock::time_point p0 = Clock::now();
                    const QJsonObject r = timed([&] { return c.Post("/notes/v1/sync/push", auth, body, "application/json"); });
                    myPushes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - p0).count());
                    const qint64 v = r.value("results")[0].toObject().value("version").toInteger();
                    if (v > dev.version) {
                        dev.version = v;
                        ++pushes;
                    } else if (!r.isEmpty()) {
                        ++errors;
                    }
                }
                const QJsonObject pulled = timed([&] { return c.Get("/notes/v1/sync/pull?since=" + std::to_string(dev.cursor), auth); });
                dev.cursor = std::max(dev.cursor, pulled.value("timestamp").toInteger());
                timed([&] { return c.Get("/notes/v1/notebooks", auth); });
                const QJsonObject listed = timed([&] {
                    return c.Get("/notes/v1/attachments?since=" + std::to_string(dev.attachmentCursor), auth);
                });
                dev.attachmentCursor = std::max(dev.attachmentCursor, listed.value("timestamp").toInteger());
                myCycles.push_back(std::chrono::duration<double, std::milli>(Clock::now() - cycleStart).count());
                ++cycles;
            }
            std::lock_guard lock(statsMutex);
            requestMs.insert(requestMs.end(), myRequests.begin(), myRequests.end());
            cycleMs.insert(cycleMs.end(), myCycles.begin(), myCycles.end());
            pushMs.insert(pushMs.end(), myPushes.begin(), myPushes.end());
            for (const auto &[status, count] : myFailures)
                failures[status] += count;
        });
    }
    // Server memory over the run, every tenth of it.
    std::vector<qint64> rssSamples;
    for (int i = 1; i <= 10; ++i) {
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(o.seconds) * (i / 10.0)));
        qint64 rss = 0;
        for (const auto &s : servers)
            rss += procStats(s->pid()).rssKb;
        rssSamples.push_back(rss);
    }
    for (std::thread &t : threads)
        t.join();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double databaseCpu = postmaster ? treeCpuSeconds(postmaster) - databaseBefore : 0;
    const double generatorCpu = procStats(QCoreApplication::applicationPid()).cpuSeconds - generatorBefore;
    const std::pair<qint64, qint64> machineAfter = machineTicks();

    std::printf("%s, %d process(es), %d devices, %.2f cycles/device/s asked (%.0f/s), %.0f%% pushing, %d s\n",
                o.postgres ? "PostgreSQL" : "SQLite", o.processes, o.devices, o.rate, o.rate * o.devices,
                o.pushing * 100, o.seconds);
    std::printf("  cycles/s %.0f   one-note pushes/s %.0f   errors %ld\n", double(cycles) / wall, double(pushes) / wall,
                errors.load());
    for (const auto &[status, count] : failures)
        std::printf("    HTTP %d: %ld\n", status, count);
    if (renewals || renewalFailures)
        std::printf("  session renewals %ld (%ld failed)\n", renewals.load(), renewalFailures.load());
    std::printf("  request ms  p50 %.1f  p95 %.1f  p99 %.1f   (%zu requests)\n", percentile(requestMs, 0.50),
                percentile(requestMs, 0.95), percentile(requestMs, 0.99), requestMs.size());
    std::printf("  cycle ms    p50 %.1f  p95 %.1f  p99 %.1f\n", percentile(cycleMs, 0.50), percentile(cycleMs, 0.95),
                percentile(cycleMs, 0.99));
    if (!pushMs.empty())
        std::printf("  push ms     p50 %.1f  p95 %.1f  p99 %.1f\n", percentile(pushMs, 0.50), percentile(pushMs, 0.95),
                    percentile(pushMs, 0.99));
    double serverCpu = 0;
    for (size_t i = 0; i < servers.size(); ++i) {
        const ProcStats after = procStats(servers[i]->pid());
        serverCpu += after.cpuSeconds - before[i].cpuSeconds;
        std::printf("  server %zu: cpu %.0f%% of one core, peak memory %.1f MB\n", i,
                    100 * (after.cpuSeconds - before[i].cpuSeconds) / wall, double(after.peakKb) / 1024);
    }
    const qint64 ticks = machineAfter.second - machineBefore.second;
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    std::printf("  cpu %% of one core: servers %.0f, PostgreSQL %.0f, this generator %.0f; whole machine busy %.0f of %d\n",
                100 * serverCpu / wall, 100 * databaseCpu / wall, 100 * generatorCpu / wall,
                ticks > 0 ? 100.0 * cores * double(machineAfter.first - machineBefore.first) / double(ticks) : 0.0,
                100 * cores);
    if (cycles > 0)
        std::printf("  cpu per cycle: %.2f ms in the servers and the database\n",
                    1000 * (serverCpu + databaseCpu) / double(cycles));
    std::printf("  server memory over the run (MB, all processes):");
    for (qint64 kb : rssSamples)
        std::printf(" %.1f", double(kb) / 1024);
    std::printf("\n");
    return errors == 0 && signInErrors == 0 ? 0 : 1;
}
