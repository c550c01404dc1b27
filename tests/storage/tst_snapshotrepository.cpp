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

    Snapshot makeSnapshot(int version, const QString &text, const QString &noteId = QString())
    {
        Snapshot snapshot;
        snapshot.id = newId();
        snapshot.noteId = noteId.isEmpty() ? m_noteId : noteId;
        snapshot.version = version;
        snapshot.body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
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
        Snapshot snapshot = makeSnapshot(3, "three");
        snapshot.createdAt = QDateTime(QDate(2026, 6, 7), QTime(10, 0, 0, 1), Qt::OffsetFromUTC, 7200);
        QVERIFY(m_repo->insert(snapshot));
        const std::optional<Snapshot> read = m_repo->snapshotById(snapshot.id);
        QCOMPARE(*read, snapshot);
        QCOMPARE(read->createdAt.timeSpec(), Qt::UTC);
        QCOMPARE(scalar(*m_db, "SELECT created_at FROM note_snapshots").toString(), QString("2026-06-07T08:00:00.001Z"));
        QVERIFY(!m_repo->snapshotById(newId()));

        // note_id must name a note.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^SnapshotRepository::insert failed:"));
        QVERIFY(!m_repo->insert(makeSnapshot(1, "orphan", "no-such-note")));
    }

    void sameNoteAndVersionReplacesTheOldRow()
    {
        const Snapshot first = makeSnapshot(4, "first");
        const Snapshot second = makeSnapshot(4, "second");
        QVERIFY(m_repo->insert(first));
        QVERIFY(m_repo->insert(second));
        QCOMPARE(m_repo->snapshotsForNote(m_noteId), QList<Snapshot>({second}));
        QVERIFY(!m_repo->snapshotById(first.id));

        // The same version of another note is a separate row.
        const QString otherNote = newId();
        QVERIFY(addNoteRow(*m_db, otherNote));
        QVERIFY(m_repo->insert(makeSnapshot(4, "other", otherNote)));
        QCOMPARE(m_repo->snapshotsForNote(m_noteId).size(), 1);
        QCOMPARE(m_repo->snapshotsForNote(otherNote).size(), 1);
    }

    void snapshotsForNoteListsHighestVersionFirst()
    {
        for (int version : {2, 10, 1, 7})
            QVERIFY(m_repo->insert(makeSnapshot(version, QString::number(version))));
        QList<int> versions;
        for (const Snapshot &snapshot : m_repo->snapshotsForNote(m_noteId))
            versions << snapshot.version;
        QCOMPARE(versions, QList<int>({10, 7, 2, 1}));
        QVERIFY(m_repo->snapshotsForNote(newId()).isEmpty());
    }
};

VELM_TEST_CORE_MAIN(TestSnapshotRepository)
#include "tst_snapshotrepository.moc"
