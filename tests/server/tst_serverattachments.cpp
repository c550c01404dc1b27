#include "serversuite.h"
#include "store/attachmentstore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSet>
#include <QUuid>

using namespace VelmServerTest;

namespace {

QString uuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

// Attachments kept in the database: listed in pages, contents in chunks.
class TestServerAttachments : public ServerSuite
{
    Q_OBJECT

    int upload(const Api &api, const QString &id, const QString &noteId, const std::string &content)
    {
        const httplib::MultipartFormDataItems parts{{"note_id", noteId.toStdString(), "", ""},
                                                    {"id", id.toStdString(), "", ""},
                                                    {"file", content, "f.bin", "application/octet-stream"}};
        const auto r = m_h->client()->Post("/notes/v1/attachments", {{"Authorization", "Bearer " + api.token.toStdString()}},
                                           parts);
        return r ? r->status : 0;
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(startServer(&error, [](Harness &h) {
            h.attachmentsInDatabase = true;
            h.setMaxAttachmentMb(3);
        }), qPrintable(error));
    }
    void cleanupTestCase() { stopServer(); }

    // Every attachment comes exactly once over the pages, whatever page it fell on.
    void listIsPaged()
    {
        const Api a = newUser();
        const QString note = uuid();
        QCOMPARE(pushBody(a, note, "many files").status, 200);
        QSet<QString> uploaded;
        for (int i = 0; i < 1200; ++i) {
            const QString id = uuid();
            uploaded.insert(id);
            QCOMPARE(upload(a, id, note, "x"), 201);
        }
        QSet<QString> listed;
        QList<int> sizes;
        qint64 since = 0;
        for (bool more = true; more;) {
            const auto page = a.call("GET", "/notes/v1/attachments?since=" + std::to_string(since));
            QCOMPARE(page.status, 200);
            const QJsonArray list = page.json.value("attachments").toArray();
            sizes.append(int(list.size()));
            for (const QJsonValue &v : list)
                QVERIFY2(!listed.contains(v["id"].toString()), "listed twice");
            for (const QJsonValue &v : list)
                listed.insert(v["id"].toString());
            QVERIFY(page.json.value("timestamp").toInteger() > since);
            since = page.json.value("timestamp").toInteger();
            more = page.json.value("has_more").toBool();
        }
        QCOMPARE(sizes, QList<int>({500, 500, 200}));
        QCOMPARE(listed, uploaded);
        QCOMPARE(a.call("GET", "/notes/v1/attachments?since=" + std::to_string(since)).json["attachments"].toArray().size(), 0);
    }

    void contentsRoundTrip_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("empty") << qint64(0);
        QTest::newRow("one byte") << qint64(1);
        QTest::newRow("one chunk exactly") << AttachmentStoreChunk;
        QTest::newRow("a chunk and a byte") << AttachmentStoreChunk + 1;
        QTest::newRow("two and a half chunks") << AttachmentStoreChunk * 5 / 2;
    }
    void contentsRoundTrip()
    {
        QFETCH(qint64, size);
        const Api a = newUser();
        const QString note = uuid(), att = uuid();
        QCOMPARE(pushBody(a, note, "with a file").status, 200);
        std::string bytes(size_t(size), '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 131 + i / 7) & 0xff);
        // A first, different upload is replaced whole, chunk rows included.
        QCOMPARE(upload(a, att, note, std::string(size_t(AttachmentStoreChunk * 2 + 5), 'z')), 201);
        QCOMPARE(upload(a, att, note, bytes), 201);
        const httplib::Headers auth{{"Authorization", "Bearer " + a.token.toStdString()}};
        const auto got = m_h->client()->Get("/notes/v1/attachments/" + att.toStdString(), auth);
        QVERIFY(got);
        QCOMPARE(got->status, 200);
        QCOMPARE(got->body.size(), bytes.size());
        QVERIFY(got->body == bytes);
        const QByteArray sha = QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256);
        QCOMPARE(got->get_header_value("Digest"), "sha-256=" + sha.toBase64().toStdString());
        // Nothing of it is a file beside the database.
        QCOMPARE(QDir(m_h->dataDir() + "/attachments").entryList(QDir::Files | QDir::Hidden), QStringList());
        // A purge of the note takes the contents with it.
        const QJsonObject purge{{"entity_type", "note"}, {"entity_id", note}, {"action", "purge"}, {"base_version", 1}};
        QCOMPARE(a.call("POST", "/notes/v1/sync/push", {{"changes", QJsonArray{purge}}}).status, 200);
        QCOMPARE(m_h->client()->Get("/notes/v1/attachments/" + att.toStdString(), auth)->status, 404);
        QString error;
        const auto db = VelmServer::Db::open(m_h->dataDir(), databaseUrl(), &error);
        QVERIFY2(db, qPrintable(error));
        QVERIFY(!VelmServer::AttachmentStore(*db).chunk(att, 0).ok);
    }

private:
    static constexpr qint64 AttachmentStoreChunk = VelmServer::AttachmentStore::chunkBytes;
};

int main(int argc, char *argv[])
{
    return runOnBothBackends<TestServerAttachments>(argc, argv);
}

#include "tst_serverattachments.moc"
