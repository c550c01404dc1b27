// Two devices of one account through velmora-server on loopback (SQLite): the
// first sync of 10 000 notes into an empty device, a cycle with nothing new,
// and a cycle after editing one note among 10 000.

#include "serverharness.h"
#include "syncdevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace VelmSyncTest;

namespace {

constexpr int kNotes = 10000;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall time, and the CPU time of client and server together (both run in this
// process), which a busy machine inflates far less.
struct Timing
{
    double wallMs = 0, cpuMs = 0;
};

Timing timedSync(Device &device, bool *ok)
{
    QElapsedTimer timer;
    const double cpu = cpuMs();
    timer.start();
    *ok = device.sync() && *ok;
    return {double(timer.nsecsElapsed()) / 1e6, cpuMs() - cpu};
}

Timing median(const std::vector<Timing> &v)
{
    std::vector<double> wall, cpu;
    for (const Timing &t : v) {
        wall.push_back(t.wallMs);
        cpu.push_back(t.cpuMs);
    }
    return {median(wall), median(cpu)};
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("share").toUtf8());
    QCoreApplication app(argc, argv);
    VelmServerTest::Harness server;
    QString error;
    if (!server.start(QString(), &error)) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(error));
        return 1;
    }
    const auto first = server.signIn(QStringLiteral("bench@example.org"), true);
    const auto second = server.signIn(QStringLiteral("bench@example.org"), false);
    Device a(server.port(), first.access, first.refresh);
    Device b(server.port(), second.access, second.refresh);

    const QString text = QString(480, QLatin1Char('x'));
    QSqlDatabase db = a.database.database();
    db.transaction();
    QStringList ids;
    for (int i = 0; i < kNotes; ++i)
        ids << a.addNote(QStringLiteral("%1 %2").arg(i).arg(text)).id;
    db.commit();

    bool ok = true;
    const Timing upload = timedSync(a, &ok);
    const Timing firstSync = timedSync(b, &ok);
    std::vector<Timing> idle, edited;
    for (int i = 0; i < 9; ++i)
        idle.push_back(timedSync(b, &ok));
    for (int i = 0; i < 9; ++i) {
        b.edit(ids.at(i * 97), QStringLiteral("edited %1").arg(i));
        edited.push_back(timedSync(b, &ok));
    }
    if (!ok || b.notes.allNotes().size() != kNotes) {
        std::fprintf(stderr, "a cycle failed: %s\n", qPrintable(b.engine->lastError()));
        return 1;
    }
    const auto line = [](const char *what, const Timing &t, int target) {
        std::printf("%-46s %9.1f ms wall %9.1f ms cpu (target %d ms)\n", what, t.wallMs, t.cpuMs, target);
    };
    line("upload of 10 000 notes from one device", upload, 0);
    line("first sync of 10 000 notes into an empty one", firstSync, 10000);
    line("cycle with nothing new (median of 9)", median(idle), 50);
    line("cycle after editing one note (median of 9)", median(edited), 100);
    return 0;
}
