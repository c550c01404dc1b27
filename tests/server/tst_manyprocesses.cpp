// Three velmora-server processes on one PostgreSQL database, attachments kept in it.
#include "serverharness.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QHash>
#include <QUuid>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace VelmServerTest;

namespace {

QString uuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QJsonObject newNote(const QString &id, const QString &notebookId = {})
{
    QJsonObject data{{"body", "b"}, {"created_at", 1}, {"updated_at", 1}, {"modified_at", 1}};
    if (!notebookId.isEmpty())
        data.insert("notebook_id", notebookId);
    return {{"entity_type", "note"}, {"entity_id", id}, {"action", "update"}, {"version", 1}, {"data", data}};
}

// Peak resident memory of a process, in kB.
qint64 peakKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

int upload(int port, const QString &token, const QString &id, const QString &noteId, const std::string &content)
{
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(60, 0);
    const httplib::MultipartFormDataItems parts{{"note_id", noteId.toStdString(), "", ""},
                                                {"id", id.toStdString(), "", ""},
                                                {"file", content, "f.bin", "application/octet-stream"}};
    const auto r = c.Post("/notes/v1/attachments", {{"Authorization", "Bearer " + token.toStdString()}}, parts);
    return r ? r->status : 0;
}

} // namespace

class TestManyProcesses : public QObject
{
    Q_OBJECT

    PgCluster m_pg;
    Harness m_h;
    ServerProcess m_servers[3];
    int m_users = 0;

    Api signUp(int port)
    {
        m_h.targetPort = port;
        const Tokens t = m_h.signIn(QStringLiteral("many%1@example.org").arg(++m_users), true);
        return Api(port, t.access);
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_pg.start(&error), qPrintable("PostgreSQL did not start: " + error));
        // Migrates the database and makes the signing key the processes share.
        QVERIFY2(m_h.start(m_pg.url(), &error), qPrintable(error));
        m_h.stop();
        for (ServerProcess &server : m_servers)
            QVERIFY2(server.start(VELMORA_SERVER_BIN, m_h.dataDir(), m_pg.url(), &error,
                                  {"--attachments-in-database", "--sign-ins-per-minute", "1000", "--max-attachment-mb", "64"}),
                     qPrintable(error));
    }

    // Attempts made through any process count against one limit: six, turn
    // about through two processes each allowing five a minute. First, so that
    // no sign-in before it counts.
    void limitsAreShared_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QList<int>>("statuses");
        QTest::newRow("sign-ins") << "--sign-ins-per-minute" << QList<int>({401, 401, 401, 401, 429, 429});
        QTest::newRow("uploads") << "--uploads-per-minute" << QList<int>({201, 201, 201, 201, 201, 429});
    }
    void limitsAreShared()
    {
        QFETCH(QString, option);
        QFETCH(QList<int>, statuses);
        const bool signIns = option == "--sign-ins-per-minute";
        ServerProcess limited[2];
        QString error;
        for (ServerProcess &server : limited)
            QVERIFY2(server.start(VELMORA_SERVER_BIN, m_h.dataDir(), m_pg.url(), &error,
                                  {"--attachments-in-database", option, "5"}),
                     qPrintable(error));
        // The sign-in's own account comes through a process without the limit.
        int status = 0;
        m_h.targetPort = signIns ? limited[0].port() : m_servers[0].port();
        const Tokens t = m_h.signIn(QStringLiteral("limited-%1@example.org").arg(QTest::currentDataTag()), true, &status);
        QCOMPARE(status, 302);
        const QString note = uuid();
        const QJsonObject push{{"changes", QJsonArray{newNote(note)}}};
        if (!signIns)
            QCOMPARE(Api(m_servers[0].port(), t.access).call("POST", "/notes/v1/sync/push", push).status, 200);
        QList<int> seen;
        for (int i = 0; i < statuses.size(); ++i) {
            m_h.targetPort = limited[i % 2].port();
            if (signIns)
                m_h.signIn(QStringLiteral("limited-sign-ins@example.org"), false, &status, "wrong");
            else
                status = upload(m_h.targetPort, t.access, uuid(), note, "x");
            seen.append(status);
        }
        QCOMPARE(seen, statuses);
    }

    // Writers on every process, one of them another user writing into a shared
    // notebook; a reader pulling page by page meanwhile sees each new note
    // exactly once, and every device ends with the same notes.
    void cursorOrderIsCommitOrder()
    {
        const Api owner = signUp(m_servers[0].port());
        const Tokens second = m_h.signIn(QStringLiteral("many1@example.org"), false);
        const Api ownerElsewhere(m_servers[1].port(), second.access);
        const Api reader(m_servers[2].port(), m_h.signIn(QStringLiteral("many1@example.org"), false).access);
        const Api member = signUp(m_servers[2].port());
        const QString memberId = joinGroup(owner, member);
        const QString notebook = uuid();
        QCOMPARE(owner.call("POST", "/notes/v1/notebooks", {{"id", notebook}, {"name", "shared"}}).status, 201);
        QCOMPARE(owner.call("POST", "/notes/v1/notebooks/" + notebook.toStdString() + "/share",
                            {{"account_id", memberId}, {"permission", "edit"}}).status, 201);

        struct Writer
        {
            const Api *api;
            QString notebook;
        };
        const Writer writers[] = {{&owner, {}}, {&ownerElsewhere, {}}, {&member, notebook}};
        std::atomic<int> writing{3}, failures{0};
        QSet<QString> pushed[3];
        QStringList attachments;
        std::vector<std::thread> threads;
        for (int w = 0; w < 3; ++w) {
            threads.emplace_back([&, w] {
                for (int batch = 0; batch < 40; ++batch) {
                    QJsonArray changes;
                    for (int i = 0; i < 5; ++i) {
                        const QString id = uuid();
                        pushed[w].insert(id);
                        changes.append(newNote(id, writers[w].notebook));
                    }
                    const auto r = writers[w].api->call("POST", "/notes/v1/sync/push", {{"changes", changes}});
                    failures += r.status != 200;
                    // Attachments go up through the writer's process too.
                    if (batch % 8 == 0) {
                        const QString id = uuid();
                        failures += upload(writers[w].api->port, writers[w].api->token, id,
                                           changes.last()["entity_id"].toString(), id.toStdString()) != 201;
                    }
                }
                --writing;
            });
        }
        QHash<QString, int> seen;
        qint64 since = 0;
        int pages = 0;
        for (bool last = false; !last;) {
            last = writing == 0; // one more round once every writer is done
            for (bool more = true; more; ++pages) {
                // Each page through another process.
                const Api via(m_servers[pages % 3].port(), reader.token);
                const auto r = via.call("GET", "/notes/v1/sync/pull?since=" + std::to_string(since));
                QCOMPARE(r.status, 200);
                for (const QJsonValue &v : r.json.value("changes").toArray())
                    ++seen[v["id"].toString()];
                since = r.json.value("timestamp").toInteger();
                more = r.json.value("has_more").toBool();
            }
        }
        for (std::thread &t : threads)
            t.join();
        QCOMPARE(failures.load(), 0);
        const QSet<QString> all = pushed[0] + pushed[1] + pushed[2];
        QCOMPARE(QSet<QString>(seen.keyBegin(), seen.keyEnd()), all);
        const auto repeated = std::count_if(seen.cbegin(), seen.cend(), [](int n) { return n != 1; });
        QCOMPARE(int(repeated), 0);
        QVERIFY2(pages > 3, "the reader pulled while the writers wrote");

        // Every device of the owner, and the member for the shared notebook, converges.
        const auto everything = [](const Api &api) {
            QSet<QString> ids;
            qint64 from = 0;
            for (bool more = true; more;) {
                const auto r = api.call("GET", "/notes/v1/sync/pull?since=" + std::to_string(from));
                for (const QJsonValue &v : r.json.value("changes").toArray())
                    ids.insert(v["id"].toString());
                from = r.json.value("timestamp").toInteger();
                more = r.json.value("has_more").toBool();
            }
            return ids;
        };
        QCOMPARE(everything(owner), all);
        QCOMPARE(everything(ownerElsewhere), all);
        QCOMPARE(everything(member), pushed[2]);

        // The attachments of all three writers are listed to the reader and
        // read back through any process.
        const auto listed = reader.call("GET", "/notes/v1/attachments?since=0").json.value("attachments").toArray();
        QCOMPARE(listed.size(), 15);
        for (int i = 0; i < int(listed.size()); ++i) {
            const QString id = listed[i]["id"].toString();
            const auto got = Api(m_servers[i % 3].port(), reader.token).call("GET", "/notes/v1/attachments/" + id.toStdString());
            QCOMPARE(got.status, 200);
            QCOMPARE(got.body, id.toStdString());
        }
    }

    // A large attachment passes through the processes a chunk at a time.
    void largeAttachmentIsStreamed()
    {
        const Api a = signUp(m_servers[0].port());
        const QString note = uuid(), att = uuid();
        QCOMPARE(a.call("POST", "/notes/v1/sync/push", {{"changes", QJsonArray{newNote(note)}}}).status, 200);
        const qint64 before[] = {peakKb(m_servers[0].pid()), peakKb(m_servers[1].pid())};
        std::string bytes(48 * 1024 * 1024, '\0');
        for (size_t i = 0; i < bytes.size(); i += 4096)
            bytes[i] = char(i / 4096);
        QCOMPARE(upload(m_servers[0].port(), a.token, att, note, bytes), 201);
        const auto got = Api(m_servers[1].port(), a.token).call("GET", "/notes/v1/attachments/" + att.toStdString());
        QCOMPARE(got.status, 200);
        QVERIFY(got.body == bytes);
        // Neither process held the file whole.
        for (int i = 0; i < 2; ++i) {
            const qint64 grown = peakKb(m_servers[i].pid()) - before[i];
            QVERIFY2(grown < 24 * 1024, qPrintable(QStringLiteral("process %1 grew by %2 kB").arg(i).arg(grown)));
        }
    }
};

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    TestManyProcesses test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_manyprocesses.moc"
