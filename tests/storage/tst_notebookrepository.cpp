#include "velmtest.h"

#include "database.h"
#include "notebookrepository.h"
#include "storagefixture.h"

#include <QSignalSpy>

using namespace StorageFixture;

namespace {

const QDateTime kBase = QDateTime(QDate(2026, 2, 3), QTime(4, 5, 6, 7), Qt::UTC);

Notebook makeNotebook(const QString &id, const QString &name)
{
    Notebook notebook;
    notebook.id = id;
    notebook.name = name;
    notebook.createdAt = kBase;
    notebook.updatedAt = kBase;
    return notebook;
}

QStringList names(const QList<Notebook> &notebooks)
{
    QStringList result;
    for (const Notebook &notebook : notebooks)
        result << notebook.name;
    return result;
}

} // namespace

class TestNotebookRepository : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<NotebookRepository> m_repo;
    QDateTime m_now;

private slots:
    void init()
    {
        m_db = openFreshDatabase();
        QVERIFY(m_db);
        m_repo = std::make_unique<NotebookRepository>(m_db.get());
        m_now = QDateTime(QDate(2026, 7, 8), QTime(9, 10, 11, 12), Qt::UTC);
        m_repo->setClock([this] { return m_now; });
    }

    void cleanup()
    {
        m_repo.reset();
        m_db.reset();
    }

    void everyFieldSurvivesInsertAndRead()
    {
        Notebook full = makeNotebook("nb-full", "Projects");
        full.isDefault = true;
        full.isShared = true;
        full.ownerId = "owner-1";
        full.updatedAt = kBase.addMSecs(1234);
        full.deletedAt = kBase.addDays(3);
        full.version = 4;
        full.syncStatus = SyncStatus::Synced;
        const Notebook bare = makeNotebook("nb-bare", "Bare");

        QSignalSpy changed(m_repo.get(), &NotebookRepository::notebooksChanged);
        QVERIFY(m_repo->insert(full));
        QVERIFY(m_repo->insert(bare));
        QCOMPARE(changed.size(), 2);

        QCOMPARE(*m_repo->notebookById("nb-full"), full);
        QCOMPARE(*m_repo->notebookById("nb-bare"), bare);
        QVERIFY(!m_repo->notebookById("missing"));
        QCOMPARE(scalar(*m_db, "SELECT updated_at FROM notebooks WHERE id = 'nb-full'").toString(),
                 QString("2026-02-03T04:05:07.241Z"));
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM notebooks WHERE id = 'nb-bare' AND owner_id IS NULL "
                               "AND deleted_at IS NULL AND sync_status = 'pending' AND is_default = 0")
                     .toInt(),
                 1);

        // A duplicate id fails without a signal.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^NotebookRepository::insert failed: .*UNIQUE"));
        QVERIFY(!m_repo->insert(bare));
        QCOMPARE(changed.size(), 2);
    }

    void updateWritesTheRecordAsGiven()
    {
        Notebook notebook = makeNotebook("nb", "Old");
        notebook.ownerId = "someone";
        QVERIFY(m_repo->insert(notebook));
        notebook.name = "New";
        notebook.ownerId.clear();
        notebook.version = 9;
        notebook.syncStatus = SyncStatus::Conflict;
        notebook.createdAt = kBase.addYears(1); // not written by update
        QSignalSpy changed(m_repo.get(), &NotebookRepository::notebooksChanged);
        QVERIFY(m_repo->update(notebook));
        QCOMPARE(changed.size(), 1);

        const Notebook read = *m_repo->notebookById("nb");
        QCOMPARE(read.name, QString("New"));
        QCOMPARE(read.version, 9);
        QCOMPARE(read.syncStatus, SyncStatus::Conflict);
        QCOMPARE(read.createdAt, kBase);
        QCOMPARE(read.updatedAt, kBase);
        QCOMPARE(scalar(*m_db, "SELECT owner_id IS NULL FROM notebooks").toInt(), 1);
    }

    void allNotebooksOrdersDefaultFirstThenByBinaryName()
    {
        Notebook deflt = makeNotebook("d", "Zeta default");
        deflt.isDefault = true;
        Notebook deleted = makeNotebook("x", "Archive");
        deleted.deletedAt = kBase;
        for (const Notebook &notebook : {makeNotebook("1", "banana"), makeNotebook("2", "Cherry"),
                                         makeNotebook("3", "apple"), makeNotebook("4", "Apple"), deflt, deleted})
            QVERIFY(m_repo->insert(notebook));

        QCOMPARE(names(m_repo->allNotebooks()), QStringList({"Zeta default", "Apple", "Cherry", "apple", "banana"}));
    }

    void pendingNotebooksIncludeDeletedOnesInListOrder()
    {
        Notebook synced = makeNotebook("s", "Synced");
        synced.syncStatus = SyncStatus::Synced;
        Notebook deleted = makeNotebook("del", "Deleted");
        deleted.deletedAt = kBase;
        Notebook deflt = makeNotebook("def", "zz");
        deflt.isDefault = true;
        for (const Notebook &notebook : {makeNotebook("b", "beta"), synced, deleted, makeNotebook("a", "Alpha"), deflt})
            QVERIFY(m_repo->insert(notebook));

        QCOMPARE(names(m_repo->pendingNotebooks()), QStringList({"zz", "Alpha", "Deleted", "beta"}));
    }

    void softDeleteHidesTheNotebookAndMarksItPending()
    {
        Notebook notebook = makeNotebook("nb", "Work");
        notebook.syncStatus = SyncStatus::Synced;
        QVERIFY(m_repo->insert(notebook));
        QSignalSpy changed(m_repo.get(), &NotebookRepository::notebooksChanged);
        QVERIFY(m_repo->softDelete("nb"));
        QCOMPARE(changed.size(), 1);
        QVERIFY(m_repo->allNotebooks().isEmpty());
        const Notebook read = *m_repo->notebookById("nb");
        QCOMPARE(read.deletedAt, std::optional<QDateTime>(m_now));
        QCOMPARE(read.syncStatus, SyncStatus::Pending);
        QCOMPARE(names(m_repo->pendingNotebooks()), QStringList({"Work"}));
    }

    void markAllPendingCountsLiveNotebooksOnly()
    {
        Notebook a = makeNotebook("a", "A");
        a.syncStatus = SyncStatus::Synced;
        Notebook b = makeNotebook("b", "B");
        b.syncStatus = SyncStatus::Conflict;
        Notebook c = makeNotebook("c", "C");
        Notebook d = makeNotebook("d", "D");
        d.syncStatus = SyncStatus::Synced;
        d.deletedAt = kBase;
        for (const Notebook &notebook : {a, b, c, d})
            QVERIFY(m_repo->insert(notebook));
        QSignalSpy changed(m_repo.get(), &NotebookRepository::notebooksChanged);
        QCOMPARE(m_repo->markAllPending(), 2);
        QCOMPARE(m_repo->notebookById("d")->syncStatus, SyncStatus::Synced);
        QCOMPARE(m_repo->markAllPending(), 0);
        QCOMPARE(changed.size(), 0);
    }

    void failingQueriesReadAsNothing()
    {
        QVERIFY(m_repo->insert(makeNotebook("nb", "Work")));
        QVERIFY(run(*m_db, "DROP TABLE notebooks"));
        QVERIFY(m_repo->allNotebooks().isEmpty());
        QVERIFY(!m_repo->notebookById("nb"));
        QCOMPARE(m_repo->markAllPending(), 0);
        QSignalSpy changed(m_repo.get(), &NotebookRepository::notebooksChanged);
        QVERIFY(!m_repo->softDelete("nb"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^NotebookRepository::update failed: .*no such table"));
        QVERIFY(!m_repo->update(makeNotebook("nb", "Other")));
        QCOMPARE(changed.size(), 0);
    }
};

VELM_TEST_CORE_MAIN(TestNotebookRepository)
#include "tst_notebookrepository.moc"
