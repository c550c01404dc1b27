// The application's end of the change feed against a real velmora-server:
// while the server is gone the retries wait longer each time up to a ceiling,
// the feed is back by itself once the server is, and changes arriving close
// together start one sync, not one each.
#include "changefeed.h"
#include "serverharness.h"
#include "syncdevice.h"
#include "velmtest.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

using namespace VelmSyncTest;

namespace {
constexpr int kFirstRetryMs = 50;
constexpr int kMaxRetryMs = 800;
constexpr int kSettleMs = 400;
} // namespace

class TestChangeFeedClient : public QObject
{
    Q_OBJECT
private slots:
    void retriesBackOffThenReconnectAndCoalesceChanges()
    {
        VelmServerTest::Harness server;
        QString error;
        QVERIFY2(server.start(QString(), &error), qPrintable(error));
        const auto ta = server.signIn("feed@example.org", true);
        const auto tb = server.signIn("feed@example.org", false);
        const VelmServerTest::Api elsewhere(server.port(), ta.access);
        Device b(server.port(), tb.access, tb.refresh);
        QVERIFY(b.sync());
        ChangeFeed feed(&b.tokens, [&b] { return b.engine->pullCursor(); });
        feed.setDelays(kFirstRetryMs, kSettleMs, kMaxRetryMs);
        connect(&feed, &ChangeFeed::changesWaiting, b.engine.get(), [&b] { b.engine->scheduleSync(200); });
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/notes/v1").arg(server.port()));
        feed.start(url);
        QTRY_VERIFY_WITH_TIMEOUT(feed.isLive(), 10000);

        // The server goes away; while it is gone, whatever answers on its port
        // refuses the feed, and each refusal is timed.
        server.fixedPort = server.port();
        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!feed.isLive(), 10000);
        QTcpServer standIn;
        for (int i = 0; i < 100 && !standIn.listen(QHostAddress::LocalHost, quint16(server.fixedPort)); ++i)
            QTest::qWait(20);
        QVERIFY2(standIn.isListening(), qPrintable(standIn.errorString()));
        QElapsedTimer clock;
        clock.start();
        QList<qint64> attempts;
        connect(&standIn, &QTcpServer::newConnection, &standIn, [&] {
            while (QTcpSocket *socket = standIn.nextPendingConnection()) {
                attempts << clock.elapsed();
                socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(attempts.size() >= 8, 15000);
        QList<qint64> gaps;
        for (int i = 1; i < attempts.size(); ++i)
            gaps << attempts[i] - attempts[i - 1];
        QByteArray shown = "waits in ms:";
        for (qint64 gap : gaps)
            shown += ' ' + QByteArray::number(gap);
        // Doubling with a fifth of jitter either way: each wait below the
        // ceiling is longer than the one before; at the ceiling they stay there.
        int grown = 0;
        while (grown + 1 < gaps.size() && gaps[grown + 1] > gaps[grown] && gaps[grown] < kMaxRetryMs * 0.8)
            ++grown;
        qInfo("%s", shown.constData());
        QVERIFY2(grown >= 2, shown);
        for (int i = grown + 1; i < gaps.size(); ++i)
            QVERIFY2(gaps[i] >= kMaxRetryMs * 0.8 - 20 && gaps[i] <= kMaxRetryMs * 1.2 + 300, shown);
        QVERIFY(!feed.isLive());

        // The server returns on its port: the next retry finds it.
        standIn.close();
        QVERIFY2(server.start(QString(), &error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(feed.isLive(), kMaxRetryMs * 2 + 2000);

        // Three notes saved elsewhere close together: one notice, one sync, all three here.
        QTRY_VERIFY_WITH_TIMEOUT(b.engine->state() != SyncEngine::Syncing && !b.engine->isScheduled(), 10000);
        QSignalSpy notices(&feed, &ChangeFeed::changesWaiting);
        QSignalSpy synced(b.engine.get(), &SyncEngine::syncCompleted);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(VelmServerTest::pushBody(elsewhere, QStringLiteral("burst-%1").arg(i), textBody("x")).status, 200);
            QTest::qWait(kSettleMs / 8);
        }
        QTRY_COMPARE_WITH_TIMEOUT(b.notes.allNotes().size(), 3, 10000);
        QTest::qWait(kSettleMs * 3);
        QCOMPARE(notices.size(), 1);
        QCOMPARE(synced.size(), 1);
    }
};

VELM_TEST_CORE_MAIN(TestChangeFeedClient)

#include "tst_changefeedclient.moc"
