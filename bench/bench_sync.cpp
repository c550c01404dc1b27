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
#include <vector>

using namespace VelmSyncTest;

namespace {

constexpr int kNotes = 10000;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timedSync(Device &device, bool *ok)
{
    QElapsedTimer timer;
    timer.start();
    *ok = device.sync() && *ok;
    return double(timer.nsecsElapsed()) / 1e6;
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
    const double uploadMs = timedSync(a, &ok);
    const double firstSyncMs = timedSync(b, &ok);
    std::vector<double> idle, edited;
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
    std::printf("upload of %d notes from one device:      %8.0f ms\n", kNotes, uploadMs);
    std::printf("first sync of %d notes into an empty one: %8.0f ms (target 10000)\n", kNotes, firstSyncMs);
    std::printf("cycle with nothing new (median of 9):      %8.1f ms (target 50)\n", median(idle));
    std::printf("cycle after editing one note (median of 9): %7.1f ms (target 100)\n", median(edited));
    return 0;
}
