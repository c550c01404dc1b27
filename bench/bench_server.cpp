// velmora-server over loopback HTTP, SQLite and PostgreSQL side by side:
// push 10 000 notes, pull them into an empty client, a cycle with nothing new,
// and pull latency with 100 000 notes on the server.

#include "serverharness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QUuid>

#include <algorithm>
#include <cstdio>

using namespace VelmServerTest;

namespace {

struct Figures
{
    double pushSeconds = 0, pullSeconds = 0, idleCycleMs = 0, pullP95Ms = 0, pagePullP95Ms = 0;
};

double p95(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[size_t(double(v.size() - 1) * 0.95)];
}

bool pushNotes(const Api &api, int count)
{
    const QString body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(QString(480, 'x'));
    for (int done = 0; done < count; done += 1000) {
        QJsonArray changes;
        for (int i = 0; i < std::min(1000, count - done); ++i)
            changes.append(QJsonObject{{"entity_type", "note"}, {"entity_id", QUuid::createUuid().toString(QUuid::WithoutBraces)},
                                       {"action", "update"}, {"version", 1},
                                       {"data", QJsonObject{{"body", body}, {"created_at", 1}, {"updated_at", 1}, {"modified_at", 1}}}});
        if (api.call("POST", "/notes/v1/sync/push", QJsonObject{{"changes", changes}}).status != 200)
            return false;
    }
    return true;
}

// Pulls every page; returns the number of notes and leaves the cursor in since.
int pullAll(const Api &api, qint64 *since)
{
    int count = 0;
    for (;;) {
        const auto r = api.call("GET", "/notes/v1/sync/pull?since=" + std::to_string(*since));
        count += int(r.json.value("changes").toArray().size());
        *since = r.json.value("timestamp").toInteger();
        if (!r.json.value("has_more").toBool())
            return count;
    }
}

bool measure(const QString &databaseUrl, Figures *f)
{
    Harness h;
    QString error;
    if (!h.start(databaseUrl, &error)) {
        std::fprintf(stderr, "server: %s\n", qPrintable(error));
        return false;
    }
    const Api api{h.port(), h.signIn("bench@example.org", true).access};
    QElapsedTimer t;
    t.start();
    if (!pushNotes(api, 10000))
        return false;
    f->pushSeconds = double(t.nsecsElapsed()) / 1e9;

    qint64 since = 0;
    t.restart();
    if (pullAll(api, &since) != 10000)
        return false;
    f->pullSeconds = double(t.nsecsElapsed()) / 1e9;

    std::vector<double> idle;
    for (int i = 0; i < 50; ++i) {
        t.restart();
        api.call("GET", "/notes/v1/sync/pull?since=" + std::to_string(since));
        api.call("GET", "/notes/v1/notebooks");
        api.call("GET", "/notes/v1/attachments?since=" + std::to_string(since));
        idle.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(idle.begin(), idle.end());
    f->idleCycleMs = idle[idle.size() / 2];

    if (!pushNotes(api, 90000))
        return false;
    std::vector<double> pulls, pages;
    for (int i = 0; i < 40; ++i) {
        pushNotes(api, 1);
        t.restart();
        pullAll(api, &since);
        pulls.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        api.call("GET", "/notes/v1/sync/pull?since=" + std::to_string(1 + i * 2000));
        pages.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    f->pullP95Ms = p95(pulls);
    f->pagePullP95Ms = p95(pages);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Figures sqlite, postgres;
    if (!measure({}, &sqlite))
        return 1;
    PgCluster pg;
    QString error;
    if (!pg.start(&error) || !measure(pg.url(), &postgres)) {
        std::fprintf(stderr, "PostgreSQL: %s\n", qPrintable(error));
        return 1;
    }
    const auto row = [](const char *what, double a, double b, const char *unit) {
        std::printf("%-44s %10.1f %10.1f  %s\n", what, a, b, unit);
    };
    std::printf("%-44s %10s %10s\n", "", "SQLite", "PostgreSQL");
    row("push 10 000 notes (10 requests)", sqlite.pushSeconds * 1000, postgres.pushSeconds * 1000, "ms");
    row("pull 10 000 notes into an empty client", 10000 / sqlite.pullSeconds, 10000 / postgres.pullSeconds, "notes/s");
    row("cycle with nothing new (3 GETs, median)", sqlite.idleCycleMs, postgres.idleCycleMs, "ms");
    row("pull of one new note at 100 000 rows, p95", sqlite.pullP95Ms, postgres.pullP95Ms, "ms");
    row("pull of a 500-note page at 100 000 rows, p95", sqlite.pagePullP95Ms, postgres.pagePullP95Ms, "ms");
    return 0;
}
