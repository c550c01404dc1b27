#include "velmtest.h"

#include "database.h"
#include "notebookrepository.h"
#include "storagefixture.h"

#include <QSignalSpy>

using namespace StorageFixture;

namespace {

Notebook makeNotebook(const QString &id, const QString &name, SyncStatus status = SyncStatus::Pending)
{
    Notebook notebook;
    notebook.id = id;
    notebook.name = name;
    notebook.createdAt = kBase;
    notebook.updatedAt = kBase;
    notebook.syncStatus = status;
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
    const QDateTime m_now = QDateTime(QDate(2026, 7, 8), QTime(9, 10, 11, 12), Qt::UTC);

private slots:
    void init()
    {
        m_db = openFreshDatabase();
        QVERIFY(m_db);
        m_repo = std::make_unique<NotebookRepository>(m_db.get());
        m_repo->setClock([this] { return m_now; });
    }

    void cleanup()
    {
        m_repo.reset();
        m_db.reset();
    }

    void everyFieldSurvivesInsertUpdateAndRead()
    {
        Notebook full = makeNotebook("nb-full", "Projects", SyncStatus::Synced);
        full.isDefault = full.isShared = true;
        full.ownerId = "owner-1";
        full.updatedAt = kBase.addMSecs(1234);
        full.deletedAt = kBase.addDays(3);
        full.version = 4;
        const Notebook bare = makeNotebook("nb-bare", "Bare");
        QSignalSpy changed(m_repo.get(), &NotebookRepository::notebooksChanged);
        QVERIFY(m_repo->insert(full) && m_repo->insert(bare));
        QCOMPARE(*m_repo->notebookById("nb-full"), full);
        QCOMPARE(*m_repo->notebookById("nb-bare"), bare);
        QVERIFY(!m_repo->notebookById("missing"));
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM notebooks WHERE id = 'nb-bare' AND owner_id IS NULL "
                               "AND deleted_at IS NULL AND sync_status = 'pending' AND is_default = 0").toInt(), 1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^NotebookRepository::insert failed: .*UNIQUE"));
        QVERIFY(!m_repo->insert(bare));
        QCOMPARE(changed.size(), 2);

        // update writes everything but the creation time; an empty owner becomes NULL.
        Notebook edited = full;
        edited.name = "New";
        edited.ownerId.clear();
        edited.version = 9;
        edited.syncStatus = SyncStatus::Conflict;
        edited.createdAt = kBase.addYears(1);
        QVERIFY(m_repo->update(edited));
        QCOMPARE(changed.size(), 3);
        edited.createdAt = kBase;
        QCOMPARE(*m_repo->notebookById("nb-full"), edited);
        QCOMPARE(scalar(*m_db, "SELECT owner_id IS NULL FROM notebooks WHERE id = 'nb-full'").toInt(), 1);
    }

    void listsOrderDefaultFirstThenByBinaryName()
    {
        Notebook deflt = makeNotebook("d", "Zeta default");
        deflt.isDefault = true;
        Notebook deleted = makeNotebook("x", "Archive");
        deleted.deletedAt = kBase;
        for (const Notebook &notebook : {makeNotebook("1", "banana"), makeNotebook("2", "Cherry", SyncStatus::Synced),
                                         makeNotebook("3", "apple"), makeNotebook("4", "Apple"), deflt, deleted})
            QVERIFY(m_repo->insert(notebook));

        QCOMPARE(names(m_repo->allNotebooks()), QStringList({"Zeta default", "Apple", "Cherry", "apple", "banana"}));
        // Pending ones include the deleted, in the same order.
        QCOMPARE(names(m_repo->pendingNotebooks()), QStringList({"Zeta default", "Apple", "Archive", "apple", "banana"}));
    }

    void softDeleteAndMarkAllPending()
    {
        Notebook gone = makeNotebook("d", "D", SyncStatus::Synced);
        gone.deletedAt = kBase;
        for (const Notebook &notebook : {makeNotebook("a", "A", SyncStatus::Synced), makeNotebook("b", "B", SyncStatus::Conflict),
                                         makeNotebook("c", "C"), gone})
            QVERIFY(m_repo->insert(notebook));
        QSignalSpy changed(m_repo.get(), &NotebookRepository::notebooksChanged);
        // Live and not pending: a and b; the deleted d is left alone.
        QCOMPARE(m_repo->markAllPending(), 2);
        QCOMPARE(m_repo->notebookById("d")->syncStatus, SyncStatus::Synced);
        QCOMPARE(m_repo->markAllPending(), 0);
        QCOMPARE(changed.size(), 0);

        QVERIFY(run(*m_db, "UPDATE notebooks SET sync_status = 'synced'"));
        QVERIFY(m_repo->softDelete("a"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(names(m_repo->allNotebooks()), QStringList({"B", "C"}));
        const Notebook read = *m_repo->notebookById("a");
        QCOMPARE(read.deletedAt, std::optional<QDateTime>(m_now));
        QCOMPARE(names(m_repo->pendingNotebooks()), QStringList({"A"}));
    }

    void failingQueriesReadAsNothing()
    {
        QVERIFY(m_repo->insert(makeNotebook("nb", "Work")));
        QVERIFY(run(*m_db, "DROP TABLE notebooks"));
        QVERIFY(m_repo->allNotebooks().isEmpty());
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
