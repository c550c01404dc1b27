#include "velmtest.h"

#include "attachmentrepository.h"
#include "database.h"
#include "storagefixture.h"
#include "storagehealth.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

using namespace StorageFixture;

class TestAttachmentRepository : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<AttachmentRepository> m_repo;
    QString m_noteId;

    Attachment makeAttachment(const QString &filename, int secondsAfterBase, const QString &noteId = QString())
    {
        Attachment attachment;
        attachment.id = newId();
        attachment.noteId = noteId.isEmpty() ? m_noteId : noteId;
        attachment.filename = filename;
        attachment.mimeType = "text/plain";
        attachment.sizeBytes = 3;
        attachment.createdAt = kBase.addSecs(secondsAfterBase);
        return attachment;
    }

    // Stores bytes and row together, the way the editor adds a file.
    bool add(const Attachment &attachment, const QByteArray &bytes = "abc")
    {
        return m_repo->saveFile(attachment.id, bytes) && m_repo->insert(attachment);
    }

private slots:
    void init()
    {
        m_db = openFreshDatabase();
        QVERIFY(m_db);
        m_repo = std::make_unique<AttachmentRepository>(m_db.get());
        m_noteId = newId();
        QVERIFY(addNoteRow(*m_db, m_noteId));
    }

    void cleanup()
    {
        m_repo.reset();
        m_db.reset();
    }

    // Left by a kill between a file and its row: removed once old enough;
    // nothing is removed when the rows cannot be read.
    void orphanFilesAreSweptOnlyWhenOldAndUnnamed()
    {
        const Attachment named = makeAttachment("named.txt", 0);
        QVERIFY(add(named));
        const QString dir = Database::attachmentsDirectory();
        const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-3600);
        for (const QString &name : {QString("orphan-old"), QString("orphan-young"), named.id}) {
            QFile file(dir + "/" + name);
            QVERIFY(file.open(QIODevice::Append));
            if (name != "orphan-young")
                QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        const auto present = [&dir](const QString &name) { return QFile::exists(dir + "/" + name); };
        QCOMPARE(StorageHealth::removeOrphanAttachmentFiles(dir + "/../missing.db", dir, 600), -1);
        QVERIFY(present("orphan-old"));
        QCOMPARE(StorageHealth::removeOrphanAttachmentFiles(m_db->database().databaseName(), dir, 600), 1);
        QVERIFY(!present("orphan-old"));
        QVERIFY(present("orphan-young"));
        QCOMPARE(m_repo->readFile(named.id), QByteArray("abc"));
        QFile::remove(dir + "/orphan-young");
    }

    void bytesAreStoredUnderTheIdAlone()
    {
        const QString id = newId();
        const QByteArray bytes = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(70000, '\0') + "tail";
        QVERIFY(m_repo->saveFile(id, bytes));
        QCOMPARE(m_repo->filePath(id), Database::attachmentsDirectory() + "/" + id);
        QCOMPARE(m_repo->readFile(id), bytes);
        // Saving again truncates.
        QVERIFY(m_repo->saveFile(id, "short"));
        QCOMPARE(m_repo->readFile(id), QByteArray("short"));
        QVERIFY(m_repo->readFile(newId()).isEmpty());
    }

    void idsThatAreNotPlainFileNamesNeverReachOutside_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("parent") << "..";
        QTest::newRow("traversal") << "../escaped";
        QTest::newRow("nested") << "sub/file";
        QTest::newRow("empty") << "";
    }
    void idsThatAreNotPlainFileNamesNeverReachOutside()
    {
        QFETCH(QString, id);
        QVERIFY(m_repo->filePath(id).isEmpty());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^AttachmentRepository::saveFile open failed:"));
        QVERIFY(!m_repo->saveFile(id, "evil"));
        QVERIFY(!QFile::exists(Database::dataDirectory() + "/escaped"));
        QVERIFY(m_repo->readFile(id).isEmpty());
    }

    void everyFieldSurvivesInsertAndRead()
    {
        Attachment attachment = makeAttachment("report.pdf", 0);
        attachment.mimeType = "application/pdf";
        attachment.sizeBytes = 5'000'000'000LL;
        attachment.syncStatus = SyncStatus::Synced;
        QSignalSpy changed(m_repo.get(), &AttachmentRepository::attachmentsChanged);
        QVERIFY(m_repo->insert(attachment));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(*m_repo->attachmentById(attachment.id), attachment);
        QVERIFY(!m_repo->attachmentById(newId()));

        // A row that names no note is refused, and nothing is emitted.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^AttachmentRepository::insert failed:"));
        QVERIFY(!m_repo->insert(makeAttachment("orphan.txt", 1, "no-such-note")));
        QCOMPARE(changed.size(), 1);
    }

    void listsAreOldestFirst()
    {
        const QString otherNote = newId();
        QVERIFY(addNoteRow(*m_db, otherNote));
        const Attachment late = makeAttachment("late", 30);
        const Attachment early = makeAttachment("early", 10);
        Attachment synced = makeAttachment("synced", 20);
        synced.syncStatus = SyncStatus::Synced;
        const Attachment elsewhere = makeAttachment("elsewhere", 0, otherNote);
        for (const Attachment &attachment : {late, early, synced, elsewhere})
            QVERIFY(m_repo->insert(attachment));

        QCOMPARE(ids(m_repo->attachmentsForNote(m_noteId)), QStringList({early.id, synced.id, late.id}));
        QCOMPARE(ids(m_repo->pendingAttachments()), QStringList({elsewhere.id, early.id, late.id}));

        QSignalSpy changed(m_repo.get(), &AttachmentRepository::attachmentsChanged);
        QVERIFY(m_repo->markSynced(elsewhere.id));
        QCOMPARE(ids(m_repo->pendingAttachments()), QStringList({early.id, late.id}));
        QCOMPARE(m_repo->attachmentById(elsewhere.id)->syncStatus, SyncStatus::Synced);
        QCOMPARE(changed.size(), 0);
    }

    void deletingRemovesFilesAndRows()
    {
        QList<Attachment> attachments;
        for (int i = 0; i < 3; ++i) {
            attachments << makeAttachment("same.png", i); // one name, separate files
            QVERIFY(add(attachments.last(), QByteArray::number(i)));
        }
        QCOMPARE(m_repo->readFile(attachments[1].id), QByteArray("1"));
        const QString otherNote = newId();
        QVERIFY(addNoteRow(*m_db, otherNote));
        const Attachment kept = makeAttachment("kept", 0, otherNote);
        QVERIFY(add(kept));

        QSignalSpy changed(m_repo.get(), &AttachmentRepository::attachmentsChanged);
        QVERIFY(m_repo->deleteForNote(m_noteId));
        QCOMPARE(changed.size(), 3);
        for (const Attachment &attachment : std::as_const(attachments))
            QVERIFY(!QFile::exists(m_repo->filePath(attachment.id)));
        QVERIFY(m_repo->attachmentsForNote(m_noteId).isEmpty());
        QCOMPARE(m_repo->readFile(kept.id), QByteArray("abc"));
        QVERIFY(m_repo->deleteById(kept.id));
        QVERIFY(!QFile::exists(m_repo->filePath(kept.id)));
        QVERIFY(!m_repo->attachmentById(kept.id));
    }

    void failedRowDeletionLeavesTheRowWithoutItsFile()
    {
        const Attachment attachment = makeAttachment("a.txt", 0);
        QVERIFY(add(attachment));
        QVERIFY(run(*m_db, "CREATE TRIGGER refuse BEFORE DELETE ON attachments BEGIN SELECT RAISE(ABORT, 'no'); END"));
        QSignalSpy changed(m_repo.get(), &AttachmentRepository::attachmentsChanged);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^AttachmentRepository::deleteById failed:"));
        QVERIFY(!m_repo->deleteForNote(m_noteId));
        QCOMPARE(changed.size(), 0);
        QVERIFY(m_repo->attachmentById(attachment.id));
        QVERIFY(m_repo->readFile(attachment.id).isEmpty());
    }
};

VELM_TEST_CORE_MAIN(TestAttachmentRepository)
#include "tst_attachmentrepository.moc"
