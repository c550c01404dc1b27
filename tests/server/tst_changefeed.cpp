// The change feed over real HTTP on both back ends: it answers as soon as the
// user's pull cursor moves, also when the write went through another server
// process on the same PostgreSQL database, and holds no more feeds per user
// than its bound.
#include "serversuite.h"

#include <QElapsedTimer>

#include <future>

using namespace VelmServerTest;

namespace {

struct FeedReply
{
    int status = 0;
    qint64 cursor = 0;
    bool changed = false;
    qint64 ms = 0;
};

FeedReply feed(int port, const QString &token, qint64 since)
{
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(60, 0);
    QElapsedTimer clock;
    clock.start();
    const auto r = c.Get("/notes/v1/sync/feed?since=" + std::to_string(since),
                         {{"Authorization", "Bearer " + token.toStdString()}});
    if (!r)
        return {};
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object();
    return {r->status, o.value("cursor").toInteger(), o.value("changed").toBool(), clock.elapsed()};
}

std::future<FeedReply> openFeed(int port, const Api &api, qint64 since)
{
    return std::async(std::launch::async, feed, port, api.token, since);
}

qint64 cursorOf(const Api &api)
{
    return api.call("GET", "/notes/v1/sync/pull").json.value("timestamp").toInteger();
}

void pushNote(const Api &api, const QString &id)
{
    QCOMPARE(pushBody(api, id, R"([{"insert":"x\n"}])").status, 200);
}

} // namespace

class TestChangeFeed : public VelmServerTest::ServerSuite
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(startServer(&error, [](Harness &h) {
            h.feedsPerUser = 2;
            h.threads = 2;
        }), qPrintable(error));
    }
    void cleanupTestCase() { stopServer(); }

    void aMovedCursorAnswersTheFeed_data()
    {
        QTest::addColumn<bool>("otherProcess");
        QTest::newRow("same server") << false;
        QTest::newRow("another server process on the database") << true;
    }
    void aMovedCursorAnswersTheFeed()
    {
        QFETCH(bool, otherProcess);
        if (otherProcess && !postgres)
            QSKIP("server processes share one database only on PostgreSQL");
        ServerProcess other;
        QString error;
        if (otherProcess)
            QVERIFY2(other.start(VELMORA_SERVER_BIN, m_h->dataDir(), databaseUrl(), &error), qPrintable(error));
        const int port = otherProcess ? other.port() : m_h->port();
        const Api a = newUser();
        const qint64 since = cursorOf(a);
        auto waiting = openFeed(port, a, since);
        QCOMPARE(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
        pushNote(a, "feed-note-" + QString::number(m_users));
        const FeedReply moved = waiting.get();
        QCOMPARE(moved.status, 200);
        QVERIFY(moved.changed);
        QCOMPARE(moved.cursor, cursorOf(a));
        // Far sooner than the 25 s hold after which a quiet feed answers.
        QVERIFY2(moved.ms < 300 + 3000, qPrintable(QString::number(moved.ms)));
        // A feed already behind answers at once.
        const FeedReply behind = feed(port, a.token, since);
        QVERIFY(behind.changed && behind.ms < 2000);
    }

    // Pulls list no notebooks, yet every device that shows one must hear of its change.
    void aNotebookChangeAnswersTheFeed_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("memberListens");
        QTest::newRow("created") << "create" << false;
        QTest::newRow("renamed") << "rename" << false;
        QTest::newRow("deleted") << "delete" << false;
        QTest::newRow("renamed, heard by the member") << "rename" << true;
        QTest::newRow("empty notebook shared, heard by the member") << "share" << true;
        QTest::newRow("share ended, heard by the member") << "unshare" << true;
    }
    void aNotebookChangeAnswersTheFeed()
    {
        QFETCH(QString, change);
        QFETCH(bool, memberListens);
        const Api owner = newUser("owner"), member = newUser("member");
        const QString book = "feed-book-" + QString::number(m_users);
        const std::string path = "/notes/v1/notebooks/" + book.toStdString();
        const QString memberId = memberListens ? joinGroup(owner, member) : QString();
        if (change != "create")
            QCOMPARE(owner.call("POST", "/notes/v1/notebooks", {{"id", book}, {"name", "Before"}}).status, 201);
        if (memberListens && change != "share")
            QCOMPARE(owner.call("POST", path + "/share", {{"account_id", memberId}, {"permission", "view"}}).status, 201);
        const Api &listener = memberListens ? member : owner;
        const qint64 since = cursorOf(listener);
        auto waiting = openFeed(m_h->port(), listener, since);
        QCOMPARE(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
        int status = 0;
        if (change == "create")
            status = owner.call("POST", "/notes/v1/notebooks", {{"id", book}, {"name", "New"}}).status;
        else if (change == "rename")
            status = owner.call("PUT", path, {{"name", "After"}}).status;
        else if (change == "delete")
            status = owner.call("DELETE", path).status;
        else if (change == "share")
            status = owner.call("POST", path + "/share", {{"account_id", memberId}, {"permission", "view"}}).status;
        else
            status = owner.call("DELETE", path + "/shares/" + memberId.toStdString()).status;
        QVERIFY2(status == 200 || status == 201, qPrintable(QString::number(status)));
        const FeedReply moved = waiting.get();
        QVERIFY(moved.changed);
        QVERIFY2(moved.ms < 300 + 3000, qPrintable(QString::number(moved.ms)));
        // The pull that follows moves the device past it: its next feed waits again.
        QCOMPARE(cursorOf(listener), moved.cursor);
    }

    void feedsAreBoundedPerUser()
    {
        const Api a = newUser();
        const Api b = newUser();
        pushNote(b, "feed-bound-b");
        const qint64 since = cursorOf(a);
        auto first = openFeed(m_h->port(), a, since);
        auto second = openFeed(m_h->port(), a, since);
        QTRY_COMPARE(m_h->openFeeds(), 2);
        const FeedReply third = feed(m_h->port(), a.token, since);
        QCOMPARE(third.status, 429);
        // Another account is not held back, and one change answers every feed of the user.
        QCOMPARE(feed(m_h->port(), b.token, 0).status, 200);
        pushNote(a, "feed-bound-a");
        QVERIFY(first.get().changed);
        QVERIFY(second.get().changed);
        QCOMPARE(m_h->openFeeds(), 0);
        QCOMPARE(feed(m_h->port(), "not a token", since).status, 401);
    }

    void parkedFeedsLeaveThreadsForOtherRoutes()
    {
        // More feeds parked than the server has threads for ordinary requests.
        const Api a = newUser();
        const Api b = newUser();
        const qint64 since = std::max(cursorOf(a), cursorOf(b));
        std::vector<std::future<FeedReply>> parked;
        for (const Api *api : {&a, &a, &b, &b})
            parked.push_back(openFeed(m_h->port(), *api, since));
        QTRY_COMPARE(m_h->openFeeds(), 4);
        QElapsedTimer clock;
        clock.start();
        pushNote(a, "feed-threads-a");
        pushNote(b, "feed-threads-b");
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        for (auto &f : parked)
            QVERIFY(f.get().changed);
    }
};

int main(int argc, char *argv[])
{
    return VelmServerTest::runOnBothBackends<TestChangeFeed>(argc, argv);
}

#include "tst_changefeed.moc"
