// Live changes: how long an edit saved on one device takes to be stored on
// another that keeps the change feed open (50 edits, one server process on
// SQLite and on PostgreSQL, three processes on one PostgreSQL database with the
// devices on different ones), and what 1 000 waiting feeds cost a server
// process that is otherwise idle. The devices use the application's delays:
// a save goes out after 0.5 s, a change notice starts a cycle 0.5 s later.
// Then an offline burst: two devices apart make 300 and 50 edits, some to the
// same notes, and sync; the conflict copies it leaves with merging off (no
// merge base) and on. Options: --idle-only, --burst-only.

#include "changefeed.h"
#include "delta.h"
#include "serverharness.h"
#include "syncdevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace VelmServerTest;
using namespace VelmSyncTest;

namespace {

constexpr int kEdits = 50;
constexpr int kFeeds = 1000;

// Runs the event loop until done() or timeoutMs; the time taken, or -1.
qint64 waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::usleep(500);
    }
    return clock.elapsed();
}

bool latency(const char *label, bool postgres, int processes)
{
    PgCluster pg;
    QString error;
    if (postgres && !pg.start(&error)) {
        std::fprintf(stderr, "PostgreSQL did not start: %s\n", qPrintable(error));
        return false;
    }
    const QString url = postgres ? pg.url() : QString();
    Harness h;
    if (!h.start(url, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    std::vector<std::unique_ptr<ServerProcess>> others;
    for (int i = 1; i < processes; ++i) {
        others.push_back(std::make_unique<ServerProcess>());
        if (!others.back()->start(VELMORA_SERVER_BIN, h.dataDir(), url, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return false;
        }
    }
    const int portB = others.empty() ? h.port() : others.back()->port();
    const Tokens ta = h.signIn("live@example.org", true);
    const Tokens tb = h.signIn("live@example.org", false);
    Device a(h.port(), ta.access, ta.refresh);
    Device b(portB, tb.access, tb.refresh);
    ChangeFeed feed(&b.tokens, [&b] { return b.engine->pullCursor(); });
    QObject::connect(&feed, &ChangeFeed::changesWaiting, [&b] { b.engine->scheduleSync(200); });
    const Note note = a.addNote(QStringLiteral("start"));
    if (!a.sync() || !b.sync())
        return false;
    feed.start(QUrl(QStringLiteral("http://127.0.0.1:%1/notes/v1").arg(portB)));
    if (waitFor([&] { return feed.isLive(); }, 10000) < 0)
        return false;

    std::vector<double> ms;
    for (int i = 0; i < kEdits; ++i) {
        const QString text = QStringLiteral("edit %1").arg(i);
        a.edit(note.id, text);
        a.engine->scheduleSync(500);
        const qint64 took = waitFor([&] { return b.notes.noteById(note.id)->body == textBody(text); }, 20000);
        if (took < 0) {
            std::fprintf(stderr, "%s: edit %d did not arrive\n", label, i);
            return false;
        }
        ms.push_back(double(took));
        // Both devices quiet before the next edit.
        waitFor([&] { return !a.engine->isScheduled() && a.engine->state() != SyncEngine::Syncing
                             && !b.engine->isScheduled() && b.engine->state() != SyncEngine::Syncing; }, 20000);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %6.0f ms   worst %6.0f ms   best %6.0f ms\n", label, ms[ms.size() / 2], ms.back(), ms.front());
    std::fflush(stdout);
    return true;
}

struct ProcStat
{
    double cpuSeconds = 0;
    qint64 rssKb = 0;
    int threads = 0;
};

ProcStat procStat(qint64 pid)
{
    ProcStat s;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> f = stat.readAll().split(')').last().trimmed().split(' ');
        // After the command: state is field 3, utime 14, stime 15.
        s.cpuSeconds = double(f.value(11).toLongLong() + f.value(12).toLongLong()) / double(::sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                s.rssKb = line.mid(6).trimmed().split(' ').first().toLongLong();
            else if (line.startsWith("Threads:"))
                s.threads = line.mid(8).trimmed().toInt();
        }
    }
    return s;
}

// CPU, memory and threads of a server process on PostgreSQL over 10 s, with
// no feeds and with kFeeds parked; the account is made through another process.
bool idleFeeds()
{
    PgCluster pg;
    QString error;
    Harness h;
    ServerProcess server;
    if (!pg.start(&error) || !h.start(pg.url(), &error)
        || !server.start(VELMORA_SERVER_BIN, h.dataDir(), pg.url(), &error, {"--feeds-per-user", QString::number(kFeeds), "--feed-hold", "120"})) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    const Tokens t = h.signIn("idle@example.org", true);
    const Api api(server.port(), t.access);
    const qint64 since = api.call("GET", "/notes/v1/sync/pull").json.value("timestamp").toInteger();
    const ProcStat before = procStat(server.pid());
    QThread::sleep(10);
    const ProcStat quiet = procStat(server.pid());

    const std::string request = "GET /notes/v1/sync/feed?since=" + std::to_string(since)
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + t.access.toStdString() + "\r\n\r\n";
    std::vector<int> sockets;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(quint16(server.port()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QElapsedTimer opening;
    opening.start();
    // All at once, without blocking: the HTTP library listens with a backlog of
    // 5, and a refused connect is retried by the kernel a second later; in
    // parallel those retries overlap instead of adding up.
    std::vector<pollfd> pending;
    for (int i = 0; i < kFeeds; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (fd < 0 || (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 && errno != EINPROGRESS)) {
            std::fprintf(stderr, "feed %d could not be opened\n", i);
            return false;
        }
        sockets.push_back(fd);
        pending.push_back({fd, POLLOUT, 0});
    }
    while (!pending.empty() && opening.elapsed() < 60000) {
        ::poll(pending.data(), pending.size(), 1000);
        std::erase_if(pending, [&](const pollfd &p) {
            return (p.revents & (POLLOUT | POLLERR | POLLHUP))
                && ::send(p.fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size());
        });
    }
    const qint64 sentMs = opening.elapsed();
    // Every feed parked: one thread each, the 8 request threads taking the first.
    const bool parked = waitFor([&] { return procStat(server.pid()).threads >= quiet.threads - 8 + kFeeds; }, 90000) >= 0;
    const qint64 openMs = opening.elapsed();
    const ProcStat start = procStat(server.pid());
    QThread::sleep(10);
    const ProcStat end = procStat(server.pid());
    for (int fd : sockets)
        ::close(fd);

    std::printf("idle server process, no feeds (10 s):          CPU %5.2f%%   RSS %6lld KB   threads %d\n",
                (quiet.cpuSeconds - before.cpuSeconds) * 10, quiet.rssKb, quiet.threads);
    std::printf("idle server process, %d feeds parked (10 s):  CPU %5.2f%%   RSS %6lld KB   threads %d%s\n", kFeeds,
                (end.cpuSeconds - start.cpuSeconds) * 10, end.rssKb, end.threads, parked ? "" : " (not all parked)");
    std::printf("  sending the %d requests took %lld ms, all parked after %lld ms; %.1f KB RSS per feed\n", kFeeds, sentMs, openMs,
                double(end.rssKb - quiet.rssKb) / kFeeds);
    return parked;
}


// The offline burst's notes: kLines lines of kWords words, "w<line><word>";
// an edit retypes one word with letters that no base word has.
constexpr int kBurstNotes = 250, kLines = 6, kWords = 8, kEditsA = 300, kEditsB = 50;
using Words = QList<QStringList>;

Words baseWords()
{
    Words words;
    for (int l = 0; l < kLines; ++l) {
        QStringList line;
        for (int w = 0; w < kWords; ++w)
            line << QStringLiteral("w%1%2").arg(l).arg(w);
        words << line;
    }
    return words;
}

QString bodyOf(const Words &words)
{
    QString text;
    for (const QStringList &line : words)
        text += line.join(QLatin1Char(' ')) + QLatin1Char('\n');
    return deltaToJson(QJsonArray{QJsonObject{{"insert", text}}});
}

QString token(char side, int k)
{
    QString t(1, QLatin1Char(side));
    for (int n = k + 1; n > 0; n /= 26)
        t += QLatin1Char(char('C' + n % 22));
    return t;
}

void saveWords(Device &d, const QString &id, const Words &words)
{
    Note note = *d.notes.noteById(id);
    note.body = bodyOf(words);
    note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    note.version += 1;
    note.syncStatus = SyncStatus::Pending;
    d.notes.update(note);
}

bool offlineBurst(bool merge)
{
    Harness h;
    QString error;
    if (!h.start(QString(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    const QString email = QStringLiteral("burst%1@example.org").arg(merge);
    const Tokens ta = h.signIn(email, true);
    const Tokens tb = h.signIn(email, false);
    Device a(h.port(), ta.access, ta.refresh);
    Device b(h.port(), tb.access, tb.refresh);
    QStringList ids;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < kBurstNotes; ++i) {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.body = bodyOf(baseWords());
        note.createdAt = note.updatedAt = note.modifiedAt = now;
        a.notes.insert(note);
        ids << note.id;
    }
    if (!a.sync() || !b.sync())
        return false;

    // Both offline now. A retypes random words; B retypes random words too,
    // and every fifth of its edits retypes a word A already retyped.
    QRandomGenerator random(35);
    QHash<QString, Words> textA, textB;
    QHash<QString, QSet<int>> placesA, placesB; // line * kWords + word
    for (int k = 0; k < kEditsA; ++k) {
        const QString &id = ids[random.bounded(kBurstNotes)];
        const int place = random.bounded(kLines * kWords);
        Words &words = textA.contains(id) ? textA[id] : (textA[id] = baseWords());
        words[place / kWords][place % kWords] = token('A', k);
        placesA[id] << place;
        a.use();
        saveWords(a, id, words);
    }
    // Sorted, so that the same seed picks the same notes in every run.
    QStringList editedByA;
    for (const QString &id : ids)
        if (placesA.contains(id))
            editedByA << id;
    for (int k = 0; k < kEditsB; ++k) {
        QString id;
        int place;
        if (k % 5 == 0) {
            id = editedByA[random.bounded(int(editedByA.size()))];
            QList<int> taken = placesA[id].values();
            std::sort(taken.begin(), taken.end());
            place = taken[random.bounded(int(taken.size()))];
        } else {
            id = ids[random.bounded(kBurstNotes)];
            place = random.bounded(kLines * kWords);
        }
        Words &words = textB.contains(id) ? textB[id] : (textB[id] = baseWords());
        words[place / kWords][place % kWords] = token('B', k);
        placesB[id] << place;
        b.use();
        saveWords(b, id, words);
    }
    int both = 0, sameText = 0;
    for (auto it = placesB.cbegin(); it != placesB.cend(); ++it) {
        if (!placesA.contains(it.key()))
            continue;
        ++both;
        if (placesA[it.key()].intersects(it.value()))
            ++sameText;
    }
    if (!merge) {
        // Without a base no three-way merge is possible: every note edited on both is a conflict.
        QSqlQuery q(b.database.database());
        if (!q.exec(QStringLiteral("DELETE FROM note_bases")))
            return false;
    }

    QElapsedTimer clock;
    clock.start();
    if (!a.sync() || !b.sync())
        return false;
    const qint64 syncMs = clock.elapsed();
    if (!a.sync())
        return false;
    int copies = 0;
    for (const Note &note : b.notes.allNotes())
        copies += note.body.contains(QLatin1String("(conflict "));
    // Every note both edited apart from the same word holds both sides' words.
    int lost = 0;
    for (auto it = textB.cbegin(); it != textB.cend(); ++it) {
        const QString &id = it.key();
        if (!textA.contains(id) || placesA[id].intersects(placesB[id]) || !merge)
            continue;
        Words expected = textA[id];
        for (int place : placesB[id])
            expected[place / kWords][place % kWords] = it.value()[place / kWords][place % kWords];
        lost += deltaPlainText(b.notes.noteById(id)->body) != deltaPlainText(bodyOf(expected));
    }
    const bool alike = a.liveTexts() == b.liveTexts();
    std::printf("merge %-3s  notes edited on both %3d   same word on both %3d   conflict copies %3d   "
                "merged notes missing an edit %d   devices alike %s   B's sync %lld ms\n",
                merge ? "on" : "off", both, sameText, copies, lost, alike ? "yes" : "NO", syncMs);
    std::fflush(stdout);
    return alike && lost == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false\n*.debug=false"));
    const auto burst = [] {
        std::printf("offline burst: %d notes, %d edits on A and %d on B while apart, then A and B sync\n", kBurstNotes,
                    kEditsA, kEditsB);
        const bool off = offlineBurst(false);
        return offlineBurst(true) && off;
    };
    if (app.arguments().contains(QStringLiteral("--idle-only")))
        return idleFeeds() ? 0 : 1;
    if (app.arguments().contains(QStringLiteral("--burst-only")))
        return burst() ? 0 : 1;
    bool ok = true;
    std::printf("edit saved on A until stored on B, %d edits\n", kEdits);
    ok = latency("one server process, SQLite", false, 1) && ok;
    ok = latency("one server process, PostgreSQL", true, 1) && ok;
    ok = latency("three processes, PostgreSQL, A and B apart", true, 3) && ok;
    ok = idleFeeds() && ok;
    ok = burst() && ok;
    return ok ? 0 : 1;
}
