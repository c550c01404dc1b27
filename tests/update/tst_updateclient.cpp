#include "velmtest.h"

#include "updateclient.h"
#include "releasenotesfetcher.h"
#include "updateconfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

using namespace VelmUpdate;

namespace {

QJsonObject artifact(const QString &version)
{
    return {{"version", version},
            {"released_at", "2026-11-02T10:00:00Z"},
            {"url", "https://downloads.example/notes-" + version + ".deb"},
            {"size", 1024},
            {"sha256", QString(64, 'a')}};
}

QByteArray manifest(const QJsonObject &artifacts, int schema = 1)
{
    const QJsonObject root{{"schema", schema}, {"app", "notes"}, {"channel", "stable"}, {"artifacts", artifacts}};
    return QJsonDocument(root).toJson();
}

QByteArray withField(const QString &version, const QString &key, const QJsonValue &value)
{
    QJsonObject a = artifact(version);
    a.insert(key, value);
    return manifest({{"linux-x64", a}});
}

// Answers every request with head, then bodyBytes of filler (no more than
// the client takes), as a hostile or intercepted release server would.
class FloodServer : public QTcpServer
{
public:
    FloodServer(const QByteArray &head, qint64 bodyBytes)
    {
        connect(this, &QTcpServer::newConnection, this, [this, head, bodyBytes] {
            QTcpSocket *socket = nextPendingConnection();
            auto left = std::make_shared<qint64>(bodyBytes);
            const auto feed = [socket, left] {
                while (*left > 0 && socket->bytesToWrite() < 256 * 1024) {
                    const qint64 chunk = std::min<qint64>(*left, 64 * 1024);
                    socket->write(QByteArray(chunk, ' '));
                    *left -= chunk;
                }
                if (*left == 0 && socket->bytesToWrite() == 0)
                    socket->disconnectFromHost();
            };
            connect(socket, &QTcpSocket::readyRead, socket, [socket, head, feed] {
                socket->readAll();
                socket->write(head);
                feed();
            });
            connect(socket, &QTcpSocket::bytesWritten, socket, feed);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
        listen(QHostAddress::LocalHost);
    }
    QUrl url(const QString &path) const { return QUrl(QString("http://127.0.0.1:%1%2").arg(serverPort()).arg(path)); }
};

} // namespace

class TestUpdateClient : public QObject
{
    Q_OBJECT
private slots:
    // Without a timeout the check would stay in flight and refuse every later one.
    void aServerThatNeverAnswersFailsTheCheck()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        UpdateConfig config{"notes", "stable", QUrl(QString("http://127.0.0.1:%1/notes/stable/").arg(silent.serverPort())),
                            "1.0.4"};
        config.transferTimeoutMs = 200;
        UpdateClient client(config);
        QSignalSpy failed(&client, &UpdateClient::checkFailed);
        client.check();
        QTRY_COMPARE(failed.size(), 1);
        client.check();
        QTRY_COMPARE(failed.size(), 2);
    }

    void manifestDecidesTheOutcome_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("offered"); // empty: no update
        QTest::addColumn<QString>("failure");

        const QString invalid = "manifest invalid: ";
        QTest::newRow("newer patch compares as a number") << manifest({{"linux-x64", artifact("1.0.10")}}) << "1.0.4"
                                                          << "1.0.10" << "";
        QTest::newRow("shorter version equal to fewer parts") << manifest({{"linux-x64", artifact("1.0")}}) << "1.0.4"
                                                              << "" << "";
        QTest::newRow("same version") << manifest({{"linux-x64", artifact("1.0.4")}}) << "1.0.4" << "" << "";
        for (const char *current : {"1.0.4-beta", "1.2.3.4", "1..2", ""})
            QTest::addRow("current %s reads as 0.0.0", current) << manifest({{"linux-x64", artifact("0.0.1")}})
                                                                << current << "0.0.1" << "";
        QTest::newRow("one part reads as x.0.0") << manifest({{"linux-x64", artifact("7.0.0")}}) << "7" << "" << "";
        QTest::newRow("other platform only") << manifest({{"windows-x64", artifact("9.0.0")}}) << "1.0.4" << ""
                                             << "";
        QTest::newRow("too old to upgrade directly")
            << withField("1.2.0", "min_upgradable_from", "1.1.0") << "1.0.4" << ""
            << "current version 1.0.4 is older than min_upgradable_from 1.1.0; please upgrade to an intermediate "
               "release first";
        QTest::newRow("upgradable from an older minimum")
            << withField("1.2.0", "min_upgradable_from", "1.0.0") << "1.0.4" << "1.2.0" << "";
        QTest::newRow("schema 2") << manifest({{"linux-x64", artifact("2.0.0")}}, 2) << "1.0.4" << ""
                                  << invalid + "unsupported manifest schema: 2 (expected 1)";
        QTest::newRow("sha256 one short")
            << withField("2.0.0", "sha256", QString(63, 'a')) << "1.0.4" << ""
            << invalid + "artifact linux-x64 failed validation";
        QTest::newRow("size zero") << withField("2.0.0", "size", 0) << "1.0.4" << ""
                                   << invalid + "artifact linux-x64 failed validation";
        QTest::newRow("unparsable date") << withField("2.0.0", "released_at", "yesterday") << "1.0.4" << ""
                                         << invalid + "artifact linux-x64 failed validation";
        QTest::newRow("url not a string") << withField("2.0.0", "url", 5) << "1.0.4" << ""
                                          << invalid + "missing or non-string field: url";
        QTest::newRow("later broken artifact does not spoil an earlier one")
            << manifest({{"linux-x64", artifact("2.0.0")}, {"macos-arm64", QJsonValue(3)}}) << "1.0.4" << "2.0.0"
            << "";
        QTest::newRow("reading stops at the first broken artifact")
            << manifest({{"a-first", QJsonValue("x")}, {"linux-x64", artifact("2.0.0")}}) << "1.0.4" << ""
            << invalid + "artifact a-first is not an object";
        QTest::newRow("no artifacts") << manifest({}) << "1.0.4" << "" << invalid + "manifest failed validation";
        QTest::newRow("not JSON") << QByteArray("{\"schema\":") << "1.0.4" << ""
                                  << invalid + "JSON parse error: unterminated object";
        QTest::newRow("root is an array") << QByteArray("[1]") << "1.0.4" << ""
                                          << invalid + "manifest root is not a JSON object";
        QTest::newRow("schema as text") << QByteArray(R"({"schema":"1"})") << "1.0.4" << ""
                                        << invalid + "missing or non-integer field: schema";
        QTest::newRow("channel missing") << QByteArray(R"({"schema":1,"app":"notes","artifacts":{}})") << "1.0.4"
                                         << "" << invalid + "missing or non-string field: channel";
        QTest::newRow("empty app") << QByteArray(R"({"schema":1,"app":"","channel":"stable","artifacts":)"
                                                 + QJsonDocument(QJsonObject{{"linux-x64", artifact("2.0.0")}})
                                                       .toJson(QJsonDocument::Compact)
                                                 + "}")
                                   << "1.0.4" << "" << invalid + "manifest failed validation";
    }

    void manifestDecidesTheOutcome()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, current);
        QFETCH(QString, offered);
        QFETCH(QString, failure);
        const UpdateClient::Outcome outcome = UpdateClient::evaluate(json, "linux-x64", current);
        QCOMPARE(outcome.update ? outcome.update->version : QString(), offered);
        QCOMPARE(outcome.failure, failure);
    }

    void notesAddressComesOnlyOverHttpsOrFromTheManifestsServer_data()
    {
        QTest::addColumn<QString>("notes");
        QTest::addColumn<bool>("kept");
        QTest::newRow("https elsewhere") << "https://notes.example/1.2.0.md" << true;
        QTest::newRow("same server") << "http://127.0.0.1:8787/releases/1.2.0.md" << true;
        QTest::newRow("local file") << "file:///etc/hostname" << false;
        QTest::newRow("device") << "file:///dev/zero" << false;
        QTest::newRow("http elsewhere") << "http://notes.example/1.2.0.md" << false;
        QTest::newRow("same host, other port") << "http://127.0.0.1:9/1.2.0.md" << false;
        QTest::newRow("data") << "data:text/plain,hello" << false;
    }

    void notesAddressComesOnlyOverHttpsOrFromTheManifestsServer()
    {
        QFETCH(QString, notes);
        QFETCH(bool, kept);
        const UpdateClient::Outcome outcome = UpdateClient::evaluate(withField("2.0.0", "release_notes_url", notes), "linux-x64",
                                                         "1.0.4", QUrl("http://127.0.0.1:8787/releases/latest.json"));
        QVERIFY(outcome.update);
        QCOMPARE(outcome.update->releaseNotesUrl, kept ? QUrl(notes) : QUrl());
    }

    void hostileRepliesAreRefused_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<qint64>("bodyBytes");
        QTest::addColumn<QString>("failure");
        QTest::newRow("plain http to another machine") << "http://releases.example/notes/stable/" << QByteArray()
                                                       << qint64(0) << "release address must use https";
        QTest::newRow("announced 1 GB") << "" << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n")
                                        << qint64(1) << "manifest larger than";
        QTest::newRow("unannounced flood") << "" << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
                                           << qint64(8 * 1024 * 1024) << "manifest larger than";
    }

    void hostileRepliesAreRefused()
    {
        QFETCH(QString, base);
        QFETCH(QByteArray, head);
        QFETCH(qint64, bodyBytes);
        QFETCH(QString, failure);
        FloodServer server(head, bodyBytes);
        UpdateClient client({"notes", "stable", base.isEmpty() ? server.url("/notes/stable/") : QUrl(base), "1.0.4"});
        QSignalSpy failed(&client, &UpdateClient::checkFailed);
        client.check();
        QTRY_COMPARE(failed.size(), 1);
        QVERIFY2(failed.first().first().toString().startsWith(failure), qPrintable(failed.first().first().toString()));
    }

    void releaseNotesAreFetchedOnlyWithinLimits_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<qint64>("bodyBytes");
        QTest::addColumn<bool>("ready");
        QTest::newRow("short notes") << "" << qint64(2000) << true;
        QTest::newRow("notes of 2 MB") << "" << qint64(2 * 1024 * 1024) << false;
        QTest::newRow("local file") << "file:///etc/hostname" << qint64(0) << false;
    }

    void releaseNotesAreFetchedOnlyWithinLimits()
    {
        QFETCH(QString, url);
        QFETCH(qint64, bodyBytes);
        QFETCH(bool, ready);
        FloodServer server("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", bodyBytes);
        ReleaseNotesFetcher fetcher(url.isEmpty() ? server.url("/1.2.0/release-notes.md") : QUrl(url), "notes");
        fetcher.setLocaleName("en_GB");
        QSignalSpy notes(&fetcher, &ReleaseNotesFetcher::notesReady);
        QSignalSpy unavailable(&fetcher, &ReleaseNotesFetcher::notesUnavailable);
        fetcher.fetch();
        QTRY_COMPARE(notes.size() + unavailable.size(), 1);
        QCOMPARE(notes.size(), ready ? 1 : 0);
    }

    void platformKeyFollowsSystemAndProcessor_data()
    {
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("cpu");
        QTest::addColumn<QString>("key");
        QTest::newRow("linux x86_64") << "linux" << "x86_64" << "linux-x64";
        QTest::newRow("macos arm") << "darwin" << "arm64" << "macos-arm64";
        QTest::newRow("32-bit linux") << "linux" << "i386" << "";
        QTest::newRow("other kernel") << "freebsd" << "x86_64" << "";
    }

    void platformKeyFollowsSystemAndProcessor()
    {
        QFETCH(QString, kernel);
        QFETCH(QString, cpu);
        QFETCH(QString, key);
        QCOMPARE(platformKey(kernel, cpu), key);
    }

    void urlsAreBuiltFromTheBase_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("manifestUrl");
        QTest::addColumn<QString>("notesUrl");
        QTest::newRow("trailing slash") << "http://127.0.0.1:8787/releases/notes/stable/"
                                        << "http://127.0.0.1:8787/releases/notes/stable/latest.json"
                                        << "http://127.0.0.1:8787/releases/notes/1.0.4/release-notes.md";
        QTest::newRow("no trailing slash") << "https://dl.example/notes/stable"
                                           << "https://dl.example/notes/stable/latest.json"
                                           << "https://dl.example/notes/1.0.4/release-notes.md";
    }

    void urlsAreBuiltFromTheBase()
    {
        QFETCH(QString, base);
        QFETCH(QString, manifestUrl);
        QFETCH(QString, notesUrl);
        QCOMPARE(UpdateClient::manifestUrl(QUrl(base)).toString(), manifestUrl);
        const UpdateConfig config{"notes", "stable", QUrl(base), "1.0.4"};
        QCOMPARE(ReleaseNotesFetcher::notesUrl(config).toString(), notesUrl);
    }

    void localizedNotesOnlyForOtherLanguages_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("url");
        QTest::newRow("german") << "de_DE" << "https://dl.example/notes/1.0.4/release-notes.de.md";
        QTest::newRow("english") << "en_US" << "";
        QTest::newRow("C locale") << "C" << "";
        QTest::newRow("none") << "" << "";
    }

    void localizedNotesOnlyForOtherLanguages()
    {
        QFETCH(QString, locale);
        QFETCH(QString, url);
        const QUrl plain("https://dl.example/notes/1.0.4/release-notes.md");
        QCOMPARE(ReleaseNotesFetcher::localizedUrl(plain, locale).toString(), url);
    }

    void downloadsOpenOnlyOverHttpsOrLoopback_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("safe");
        QTest::newRow("https") << "https://dl.example/a.deb" << true;
        QTest::newRow("http remote") << "http://dl.example/a.deb" << false;
        QTest::newRow("http loopback v4") << "http://127.0.0.1:8787/a.deb" << true;
        QTest::newRow("http loopback v6") << "http://[::1]:8787/a.deb" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
    }

    void downloadsOpenOnlyOverHttpsOrLoopback()
    {
        QFETCH(QString, url);
        QFETCH(bool, safe);
        QCOMPARE(isSafeDownloadUrl(QUrl(url)), safe);
    }
};

VELM_TEST_CORE_MAIN(TestUpdateClient)
#include "tst_updateclient.moc"
