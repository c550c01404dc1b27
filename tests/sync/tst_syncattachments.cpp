#include "syncaccounts.h"
#include "velmtest.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>

using namespace VelmSyncTest;

// Files of notes between two devices: what travels, what comes again, what waits.
class TestSyncAttachments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_accounts.start(&error), qPrintable(error));
    }

    void attachmentsTravelAndMissingFilesComeAgain()
    {
        auto [a, b] = m_accounts.devices();
        const Note note = a->addNote("with a file");
        const Attachment attachment = a->addAttachment(note.id, QStringLiteral("plan.txt"), "plans");
        // Over the server's limit of 1 MB: refused for good, so not retried.
        const Attachment big = a->addAttachment(note.id, QStringLiteral("big.bin"), QByteArray(2 << 20, 'x'));
        QVERIFY(a->sync());
        QCOMPARE(a->attachments.pendingAttachments(), QList<Attachment>{big});
        QCOMPARE(a->engine->lastError(), QStringLiteral("1 file not synced: too large"));
        a->requests.clear();
        QVERIFY(a->sync());
        QVERIFY(a->requests.filter("POST /attachments").isEmpty());

        QSignalSpy saved(b->engine.get(), &SyncEngine::attachmentsChanged);
        QVERIFY(b->sync());
        QCOMPARE(saved.count(), 1);
        QCOMPARE(b->attachments.attachmentById(attachment.id)->filename, QStringLiteral("plan.txt"));
        QVERIFY(!b->attachments.attachmentById(big.id));
        QCOMPARE(b->attachments.readFile(attachment.id), QByteArray("plans"));
        // Only whole files land in the folder, with nothing left beside them.
        QCOMPARE(QDir(Database::attachmentsDirectory()).entryList(QDir::Files | QDir::Hidden), QStringList{attachment.id});

        // A file present is skipped; a missing one is fetched again after a full resync lists it.
        b->requests.clear();
        b->engine->forceFullResync();
        QTRY_COMPARE_WITH_TIMEOUT(b->engine->state(), SyncEngine::Idle, 30000);
        QVERIFY(b->requests.filter("GET /attachments/").isEmpty());
        QVERIFY(QFile::remove(AttachmentRepository::filePath(attachment.id)));
        b->engine->forceFullResync();
        QTRY_COMPARE_WITH_TIMEOUT(b->engine->state(), SyncEngine::Idle, 30000);
        QCOMPARE(b->requests.filter("GET /attachments/").size(), 1);
        QCOMPARE(b->attachments.readFile(attachment.id), QByteArray("plans"));
    }

    // Past one page of the server's attachment list: every file comes, once.
    void attachmentListsComeInPages()
    {
        auto [a, b] = m_accounts.devices();
        const Note note = a->addNote("many files");
        QVERIFY(a->sync());
        QStringList ids;
        httplib::Client http("127.0.0.1", m_accounts.server().port());
        const httplib::Headers auth{{"Authorization", "Bearer " + a->tokens.accessToken().toStdString()}};
        for (int i = 0; i < 520; ++i) {
            ids << QStringLiteral("page-file-%1").arg(i);
            const httplib::MultipartFormDataItems parts{{"note_id", note.id.toStdString(), "", ""},
                                                        {"id", ids.last().toStdString(), "", ""},
                                                        {"file", std::to_string(i), "f.txt", "text/plain"}};
            QCOMPARE(http.Post("/notes/v1/attachments", auth, parts)->status, 201);
        }
        QVERIFY(b->sync());
        QCOMPARE(b->requests.filter(QRegularExpression("^GET /attachments(\\?|$)")).size(), 2);
        QCOMPARE(b->requests.filter("GET /attachments/").size(), 520);
        for (int i = 0; i < int(ids.size()); ++i)
            QCOMPARE(b->attachments.readFile(ids[i]), QByteArray::number(i));
        b->requests.clear();
        QVERIFY(b->sync());
        QCOMPARE(b->requests.filter("GET /attachments").size(), 1);
    }

    void uploadRefusedForNowStaysPending()
    {
        // 429: the server takes one upload a minute here.
        VelmServerTest::Harness limited;
        QString error;
        QVERIFY2(limited.start(QString(), &error, 100000, 1), qPrintable(error));
        const auto tokens = limited.signIn(QStringLiteral("uploads@example.org"), true);
        Device a(limited.port(), tokens.access, tokens.refresh);
        const Note note = a.addNote("two files");
        a.addAttachment(note.id, QStringLiteral("a.bin"), "first");
        a.addAttachment(note.id, QStringLiteral("b.bin"), "second");
        QVERIFY(a.sync());
        QCOMPARE(a.attachments.pendingAttachments().size(), 1);

        // 401: the session was signed out elsewhere; the upload waits for a new one.
        auto [b, unused] = m_accounts.devices();
        const Note other = b->addNote("signed out");
        QVERIFY(b->sync());
        const Attachment waiting = b->addAttachment(other.id, QStringLiteral("c.bin"), "third");
        QCOMPARE(m_accounts.api(*b).call("POST", "/api/v1/realms/velmora/auth/logout").status, 200);
        QVERIFY(!b->sync());
        QCOMPARE(b->attachments.attachmentById(waiting.id)->syncStatus, SyncStatus::Pending);
        const auto renewed = m_accounts.server().signIn(m_accounts.lastEmail(), false);
        b->tokens.setTokens(renewed.access, renewed.refresh);
        QVERIFY(b->sync());
        QCOMPARE(b->attachments.attachmentById(waiting.id)->syncStatus, SyncStatus::Synced);
    }
private:
    SyncAccounts m_accounts;
};

VELM_TEST_CORE_MAIN(TestSyncAttachments)
#include "tst_syncattachments.moc"
