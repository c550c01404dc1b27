#include "velmtest.h"

#include "database.h"
#include "snapshotrepository.h"
#include "storagefixture.h"

using namespace StorageFixture;

class TestSnapshotRepository : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<SnapshotRepository> m_repo;
    QString m_noteId;

    Snapshot makeSnapshot(int version, const QString &noteId = QString())
    {
        Snapshot snapshot;
        snapshot.id = newId();
        snapshot.noteId = noteId.isEmpty() ? m_noteId : noteId;
        snapshot.version = version;
        snapshot.body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(version);
        snapshot.createdAt = kBase.addSecs(version);
        return snapshot;
    }

private slots:
    void init()
    {
        m_db = openFreshDatabase();
        QVERIFY(m_db);
        m_repo = std::make_unique<SnapshotRepository>(m_db.get());
        m_noteId = newId();
        QVERIFY(addNoteRow(*m_db, m_noteId));
    }

    void cleanup()
    {
        m_repo.reset();
        m_db.reset();
    }

    void everyFieldSurvivesInsertAndRead()
    {
        Snapshot snapshot = makeSnapshot(3);
        snapshot.createdAt = QDateTime(QDate(2026, 6, 7), QTime(10, 0, 0, 1), Qt::OffsetFromUTC, 7200);
        QVERIFY(m_repo->insert(snapshot));
        QCOMPARE(*m_repo->snapshotById(snapshot.id), snapshot);
        QCOMPARE(scalar(*m_db, "SELECT created_at FROM note_snapshots").toString(), QString("2026-06-07T08:00:00.001Z"));
        QVERIFY(!m_repo->snapshotById(newId()));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^SnapshotRepository::insert failed:"));
        QVERIFY(!m_repo->insert(makeSnapshot(1, "no-such-note")));
    }

    // Highest version first; the same note and version replaces the old row.
    void listsAndReplaces()
    {
        for (int version : {2, 10, 1, 7})
            QVERIFY(m_repo->insert(makeSnapshot(version)));
        const Snapshot replaced = makeSnapshot(7);
        QVERIFY(m_repo->insert(replaced));
        const QString otherNote = newId();
        QVERIFY(addNoteRow(*m_db, otherNote));
        QVERIFY(m_repo->insert(makeSnapshot(7, otherNote)));

        QList<int> versions;
        for (const Snapshot &snapshot : m_repo->snapshotsForNote(m_noteId))
            versions << snapshot.version;
        QCOMPARE(versions, QList<int>({10, 7, 2, 1}));
        QCOMPARE(m_repo->snapshotsForNote(m_noteId).at(1).id, replaced.id);
        QCOMPARE(m_repo->snapshotsForNote(otherNote).size(), 1);
    }
};

VELM_TEST_CORE_MAIN(TestSnapshotRepository)
#include "tst_snapshotrepository.moc"
