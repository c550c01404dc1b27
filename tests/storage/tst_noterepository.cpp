#include "velmtest.h"

#include "database.h"
#include "noterepository.h"
#include "storagefixture.h"

#include <QFile>
#include <QSignalSpy>

using namespace StorageFixture;

namespace {

const QDateTime kBase = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::UTC);

Note makeNote(const QString &id, const QString &text, int minutesAfterBase = 0)
{
    Note note;
    note.id = id;
    note.body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
    note.createdAt = kBase;
    note.updatedAt = kBase.addSecs(60 * minutesAfterBase);
    note.modifiedAt = note.updatedAt;
    return note;
}

QStringList ids(const QList<Note> &notes)
{
    QStringList result;
    for (const Note &note : notes)
        result << note.id;
    return result;
}

} // namespace

Q_DECLARE_METATYPE(SyncStatus)

class TestNoteRepository : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<NoteRepository> m_repo;
    QDateTime m_now;

    // Adds a snapshot, an attachment (row and file) and a to-do setting for noteId;
    // returns the attachment's file path.
    QString addDependants(const QString &noteId)
    {
        for (int version : {1, 2}) {
            if (!run(*m_db,
                     "INSERT INTO note_snapshots (id, note_id, version, body, created_at) VALUES (?, ?, ?, ?, ?)",
                     {newId(), noteId, version, "[]", "2026-01-01T00:00:00.000Z"}))
                return {};
        }
        const QString attachmentId = newId();
        if (!run(*m_db,
                 "INSERT INTO attachments (id, note_id, filename, mime_type, size_bytes, created_at) "
                 "VALUES (?, ?, 'a.txt', 'text/plain', 3, '2026-01-01T00:00:00.000Z')",
                 {attachmentId, noteId}))
            return {};
        const QString path = Database::attachmentsDirectory() + "/" + attachmentId;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("abc") != 3)
            return {};
        if (!m_repo->setIncludeInTodos(noteId, false))
            return {};
        return path;
    }

    int rowsFor(const QString &noteId) const
    {
        int rows = 0;
        for (const char *sql : {"SELECT COUNT(*) FROM notes WHERE id = ?",
                                "SELECT COUNT(*) FROM note_snapshots WHERE note_id = ?",
                                "SELECT COUNT(*) FROM attachments WHERE note_id = ?",
                                "SELECT COUNT(*) FROM note_task_settings WHERE note_id = ?"})
            rows += scalar(*m_db, sql, {noteId}).toInt();
        return rows;
    }

private slots:
    void init()
    {
        m_db = openFreshDatabase();
        QVERIFY(m_db);
        m_repo = std::make_unique<NoteRepository>(m_db.get());
        m_now = QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9, 123), Qt::UTC);
        m_repo->setClock([this] { return m_now; });
    }

    void cleanup()
    {
        m_repo.reset();
        m_db.reset();
    }

    // --- records and binding -------------------------------------------------

    void everyFieldSurvivesInsertAndRead()
    {
        Note note = makeNote("n-full", "full");
        note.notebookId = "nb-1";
        // Given in another zone: stored and read back as the same instant in UTC.
        note.createdAt = QDateTime(QDate(2026, 1, 2), QTime(10, 0, 0, 5), Qt::OffsetFromUTC, 3600);
        note.updatedAt = QDateTime(QDate(2026, 1, 3), QTime(4, 5, 6, 999), Qt::UTC);
        note.modifiedAt = QDateTime(QDate(2026, 1, 4), QTime(4, 5, 6, 1), Qt::UTC);
        note.deletedAt = QDateTime(QDate(2026, 1, 5), QTime(0, 0, 0, 250), Qt::UTC);
        note.version = 7;
        note.opVersion = 3;
        note.syncStatus = SyncStatus::Conflict;
        note.isSample = true;
        note.ownerId = "owner-9";
        note.isShared = true;
        note.permission = "edit";

        QSignalSpy changed(m_repo.get(), &NoteRepository::notesChanged);
        QVERIFY(m_repo->insert(note));
        QCOMPARE(changed.size(), 1);

        const std::optional<Note> read = m_repo->noteById("n-full");
        QVERIFY(read);
        QCOMPARE(*read, note);
        QCOMPARE(read->createdAt.timeSpec(), Qt::UTC);
        QCOMPARE(read->createdAt.time(), QTime(9, 0, 0, 5));
        QCOMPARE(scalar(*m_db, "SELECT created_at FROM notes WHERE id = 'n-full'").toString(),
                 QString("2026-01-02T09:00:00.005Z"));
        QCOMPARE(scalar(*m_db, "SELECT sync_status FROM notes WHERE id = 'n-full'").toString(), QString("conflict"));
    }

    void emptyFieldsAreStoredAsTheSchemaWants()
    {
        Note note = makeNote("n-bare", "bare");
        QVERIFY(note.notebookId.isNull());
        QVERIFY(m_repo->insert(note));

        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM notes WHERE notebook_id = '' AND owner_id IS NULL "
                               "AND permission IS NULL AND deleted_at IS NULL AND sync_status = 'pending'")
                     .toInt(),
                 1);
        const std::optional<Note> read = m_repo->noteById("n-bare");
        QVERIFY(read);
        QVERIFY(read->notebookId.isEmpty());
        QVERIFY(!read->deletedAt);
        QVERIFY(read->ownerId.isEmpty());
        QVERIFY(read->permission.isEmpty());
        QCOMPARE(read->version, 1);
        QCOMPARE(read->opVersion, 0);
        QVERIFY(!m_repo->noteById("missing"));
    }

    void nullBodyIsStoredAsEmptyText()
    {
        Note note = makeNote("nb", "x");
        note.body = QString();
        QVERIFY(m_repo->insert(note));
        QCOMPARE(scalar(*m_db, "SELECT body IS NOT NULL AND body = '' FROM notes").toInt(), 1);
        QVERIFY(m_repo->update(note));
        QVERIFY(m_repo->noteById("nb")->body.isEmpty());
    }

    void failedWritesAreLoggedAndEmitNothing()
    {
        QVERIFY(m_repo->insert(makeNote("dup", "one")));
        QSignalSpy changed(m_repo.get(), &NoteRepository::notesChanged);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^NoteRepository::insert failed: .*UNIQUE"));
        QVERIFY(!m_repo->insert(makeNote("dup", "two")));

        QVERIFY(run(*m_db, "CREATE TRIGGER refuse BEFORE UPDATE ON notes BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^NoteRepository::update failed: refused"));
        QVERIFY(!m_repo->update(makeNote("dup", "three")));
        QVERIFY(!m_repo->moveToNotebook("dup", "x"));
        QVERIFY(!m_repo->softDelete("dup"));
        QVERIFY(!m_repo->restore("dup"));
        QVERIFY(!m_repo->markSynced("dup", 2));
        QCOMPARE(m_repo->markAllPending(), 0);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(*m_repo->noteById("dup"), makeNote("dup", "one"));
    }

    void updateWritesTheRecordAsGiven()
    {
        Note note = makeNote("u", "before");
        QVERIFY(m_repo->insert(note));
        note.body = makeNote("u", "after").body;
        note.createdAt = kBase.addYears(-1); // not written by update
        note.updatedAt = kBase.addDays(1);
        note.version = 5;
        note.syncStatus = SyncStatus::Synced;
        note.deletedAt = kBase.addDays(2);
        QSignalSpy changed(m_repo.get(), &NoteRepository::notesChanged);
        QVERIFY(m_repo->update(note));
        QCOMPARE(changed.size(), 1);

        const Note read = *m_repo->noteById("u");
        QCOMPARE(read.body, note.body);
        QCOMPARE(read.version, 5);
        QCOMPARE(read.updatedAt, kBase.addDays(1));
        QCOMPARE(read.createdAt, kBase);
        QCOMPARE(read.syncStatus, SyncStatus::Synced);
        QCOMPARE(*read.deletedAt, kBase.addDays(2));
        // The index follows the new body.
        QCOMPARE(ids(m_repo->search("befor")), QStringList());
    }

    void syncStatusTextIsReadCaseSensitively_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<SyncStatus>("expected");
        QTest::newRow("synced") << "synced" << SyncStatus::Synced;
        QTest::newRow("conflict") << "conflict" << SyncStatus::Conflict;
        QTest::newRow("pending") << "pending" << SyncStatus::Pending;
        QTest::newRow("capitalised synced") << "Synced" << SyncStatus::Pending;
        QTest::newRow("upper conflict") << "CONFLICT" << SyncStatus::Pending;
        QTest::newRow("padded") << " synced" << SyncStatus::Pending;
        QTest::newRow("unknown") << "uploaded" << SyncStatus::Pending;
    }
    void syncStatusTextIsReadCaseSensitively()
    {
        QFETCH(QString, stored);
        QFETCH(SyncStatus, expected);
        QVERIFY(m_repo->insert(makeNote("s", "status")));
        QVERIFY(run(*m_db, "UPDATE notes SET sync_status = ? WHERE id = 's'", {stored}));
        QCOMPARE(m_repo->noteById("s")->syncStatus, expected);
    }

    void syncStatusOutsideTheEnumIsWrittenAsPending()
    {
        QCOMPARE(syncStatusToString(SyncStatus::Synced), QString("synced"));
        QCOMPARE(syncStatusToString(static_cast<SyncStatus>(9)), QString("pending"));
    }

    // --- lists ---------------------------------------------------------------

    void listsFilterAndOrder()
    {
        Note a = makeNote("a", "a", 1);
        a.notebookId = "x";
        Note b = makeNote("b", "b", 3);
        b.notebookId = "x";
        b.syncStatus = SyncStatus::Synced;
        Note c = makeNote("c", "c", 2);
        c.isShared = true;
        Note d = makeNote("d", "d", 9);
        d.notebookId = "x";
        d.deletedAt = kBase.addDays(1);
        Note e = makeNote("e", "e", 4);
        e.deletedAt = kBase.addDays(2);
        e.isShared = true;
        Note f = makeNote("f", "f", 0);
        f.ownerId = "someone";
        f.permission = "view";
        f.syncStatus = SyncStatus::Synced;
        for (const Note &note : {a, b, c, d, e, f})
            QVERIFY(m_repo->insert(note));

        QCOMPARE(ids(m_repo->allNotes()), QStringList({"b", "c", "a", "f"}));
        QCOMPARE(ids(m_repo->notesInNotebook("x")), QStringList({"b", "a"}));
        QCOMPARE(ids(m_repo->notesInNotebook(QString())), QStringList({"c", "f"}));
        QCOMPARE(ids(m_repo->trashedNotes()), QStringList({"e", "d"}));
        QCOMPARE(ids(m_repo->sharedByMe()), QStringList({"c"}));
        QCOMPARE(ids(m_repo->sharedWithMe()), QStringList({"f"}));
        QStringList pending = ids(m_repo->pendingNotes());
        pending.sort();
        QCOMPARE(pending, QStringList({"a", "c", "d", "e"}));
    }

    void countsByNotebookPutsTheTotalUnderTheEmptyKey()
    {
        Note a = makeNote("A", "a");
        a.notebookId = "X";
        Note b = makeNote("B", "b");
        b.notebookId = "X";
        Note c = makeNote("C", "c");
        Note d = makeNote("D", "d");
        d.notebookId = "X";
        d.deletedAt = kBase;
        for (const Note &note : {a, b, c, d})
            QVERIFY(m_repo->insert(note));

        const QHash<QString, int> counts = m_repo->countsByNotebook();
        QCOMPARE(counts.size(), 2);
        QCOMPARE(counts.value("X"), 2);
        QCOMPARE(counts.value(""), 3);
    }

    // --- single-row writes ---------------------------------------------------

    void softDeleteSignalsDeletionFirstAndStaysPending()
    {
        Note note = makeNote("t", "trash me");
        note.syncStatus = SyncStatus::Synced;
        QVERIFY(m_repo->insert(note));

        QStringList order;
        connect(m_repo.get(), &NoteRepository::noteDeleted, this,
                [&order](const QString &id) { order << "deleted:" + id; });
        connect(m_repo.get(), &NoteRepository::notesChanged, this, [&order] { order << "changed"; });
        QVERIFY(m_repo->softDelete("t"));
        QCOMPARE(order, QStringList({"deleted:t", "changed"}));

        const Note read = *m_repo->noteById("t");
        QCOMPARE(read.deletedAt, std::optional<QDateTime>(m_now));
        QCOMPARE(read.syncStatus, SyncStatus::Pending);
        QCOMPARE(ids(m_repo->pendingNotes()), QStringList({"t"}));
        QVERIFY(m_repo->allNotes().isEmpty());
        QCOMPARE(ids(m_repo->trashedNotes()), QStringList({"t"}));

        QSignalSpy changed(m_repo.get(), &NoteRepository::notesChanged);
        QVERIFY(m_repo->restore("t"));
        QCOMPARE(changed.size(), 1);
        QVERIFY(!m_repo->noteById("t")->deletedAt);
        QCOMPARE(ids(m_repo->allNotes()), QStringList({"t"}));
    }

    void moveToNotebookStampsModificationTime()
    {
        Note note = makeNote("m", "move");
        note.syncStatus = SyncStatus::Synced;
        QVERIFY(m_repo->insert(note));
        QSignalSpy changed(m_repo.get(), &NoteRepository::notesChanged);
        QVERIFY(m_repo->moveToNotebook("m", "nb-2"));
        QCOMPARE(changed.size(), 1);
        Note read = *m_repo->noteById("m");
        QCOMPARE(read.notebookId, QString("nb-2"));
        QCOMPARE(read.modifiedAt, m_now);
        QCOMPARE(read.updatedAt, note.updatedAt);
        QCOMPARE(read.syncStatus, SyncStatus::Pending);

        QVERIFY(m_repo->moveToNotebook("m", QString()));
        QCOMPARE(scalar(*m_db, "SELECT notebook_id IS NOT NULL AND notebook_id = '' FROM notes").toInt(), 1);
    }

    void syncBookkeeping()
    {
        Note a = makeNote("a", "a");
        a.syncStatus = SyncStatus::Synced;
        Note b = makeNote("b", "b");
        b.syncStatus = SyncStatus::Conflict;
        Note c = makeNote("c", "c");
        Note d = makeNote("d", "d");
        d.syncStatus = SyncStatus::Synced;
        d.deletedAt = kBase;
        for (const Note &note : {a, b, c, d})
            QVERIFY(m_repo->insert(note));

        QSignalSpy changed(m_repo.get(), &NoteRepository::notesChanged);
        QVERIFY(m_repo->markSynced("c", 12));
        const Note read = *m_repo->noteById("c");
        QCOMPARE(read.syncStatus, SyncStatus::Synced);
        QCOMPARE(read.version, 12);

        // a, b and c are live and not pending; the trashed d is left alone.
        QCOMPARE(m_repo->markAllPending(), 3);
        QCOMPARE(m_repo->noteById("b")->syncStatus, SyncStatus::Pending);
        QCOMPARE(m_repo->noteById("d")->syncStatus, SyncStatus::Synced);
        QCOMPARE(m_repo->markAllPending(), 0);
        QCOMPARE(changed.size(), 0);
    }

    void todoSettingDefaultsToIncludedAndIsUpserted()
    {
        QVERIFY(m_repo->insert(makeNote("td", "todo")));
        QVERIFY(m_repo->includeInTodos("td"));
        QVERIFY(m_repo->setIncludeInTodos("td", false));
        QVERIFY(!m_repo->includeInTodos("td"));
        QVERIFY(m_repo->setIncludeInTodos("td", true));
        QVERIFY(m_repo->includeInTodos("td"));
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM note_task_settings").toInt(), 1);
        QCOMPARE(scalar(*m_db, "SELECT include_in_todos FROM note_task_settings").toInt(), 1);
    }

    // --- search --------------------------------------------------------------

    void searchMatchesPrefixesOfLiveNotesOnly()
    {
        QVERIFY(m_repo->insert(makeNote("live", "the elephant walks", 1)));
        QVERIFY(m_repo->insert(makeNote("other", "a tiger sleeps", 2)));
        Note trashed = makeNote("gone", "an elephant again", 3);
        trashed.deletedAt = kBase;
        QVERIFY(m_repo->insert(trashed));

        QCOMPARE(ids(m_repo->search("ele")), QStringList({"live"}));
        QCOMPARE(ids(m_repo->search("ELEPH")), QStringList({"live"}));
        QCOMPARE(ids(m_repo->search("phant")), QStringList());
        QCOMPARE(ids(m_repo->search(" \t\n")), ids(m_repo->allNotes()));
        QCOMPARE(ids(m_repo->search("")), QStringList({"other", "live"}));
        // Expressions FTS5 accepts keep their meaning.
        QStringList either = ids(m_repo->search("elephant OR tig"));
        either.sort();
        QCOMPARE(either, QStringList({"live", "other"}));
        QCOMPARE(ids(m_repo->search("elephant tig")), QStringList());
    }

    void searchOrdersByRank()
    {
        // The older note matches better: rank, not recency, decides.
        QVERIFY(m_repo->insert(makeNote("weak", "apple among many other words about fruit and trees", 5)));
        QVERIFY(m_repo->insert(makeNote("strong", "apple apple apple", 1)));
        QCOMPARE(ids(m_repo->search("apple")), QStringList({"strong", "weak"}));
    }

    void searchFallsBackToQuotedWordsOnPunctuation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("apostrophe") << "don't" << "apostrophe";
        QTest::newRow("plus signs") << "c++" << "plus";
        QTest::newRow("hyphen") << "e-mail" << "hyphen";
        QTest::newRow("unbalanced quote") << "\"quarterly rep" << "quote";
        QTest::newRow("two words, last as prefix") << "don't kn" << "apostrophe";
    }
    void searchFallsBackToQuotedWordsOnPunctuation()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QVERIFY(m_repo->insert(makeNote("apostrophe", "I don't know yet")));
        QVERIFY(m_repo->insert(makeNote("plus", "writes c++ daily")));
        QVERIFY(m_repo->insert(makeNote("hyphen", "send an e-mail")));
        QVERIFY(m_repo->insert(makeNote("quote", "the quarterly report")));
        QVERIFY(m_repo->insert(makeNote("decoy", "email donate report")));
        QCOMPARE(ids(m_repo->search(text)), QStringList({expected}));
    }

    // --- purge ---------------------------------------------------------------

    void purgeRemovesTheNoteWithEverythingThatNamesIt()
    {
        QVERIFY(m_repo->insert(makeNote("p", "purge target")));
        QVERIFY(m_repo->insert(makeNote("keep", "keeper")));
        const QString file = addDependants("p");
        const QString keptFile = addDependants("keep");
        QVERIFY(!file.isEmpty() && !keptFile.isEmpty());
        QVERIFY(m_repo->softDelete("p"));

        QStringList order;
        connect(m_repo.get(), &NoteRepository::notePurged, this, [&order](const QString &id) { order << "purged:" + id; });
        connect(m_repo.get(), &NoteRepository::notesChanged, this, [&order] { order << "changed"; });
        QVERIFY(m_repo->purge("p"));
        QCOMPARE(order, QStringList({"purged:p", "changed"}));

        QCOMPARE(rowsFor("p"), 0);
        QVERIFY(!QFile::exists(file));
        QVERIFY(m_repo->trashedNotes().isEmpty());
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM notes_fts WHERE notes_fts MATCH 'target'").toInt(), 0);
        // The other note keeps all of its own.
        QCOMPARE(rowsFor("keep"), 1 + 2 + 1 + 1);
        QVERIFY(QFile::exists(keptFile));
    }

    void failedPurgeChangesNothing()
    {
        QVERIFY(m_repo->insert(makeNote("p", "purge target")));
        const QString file = addDependants("p");
        QVERIFY(!file.isEmpty());
        QVERIFY(run(*m_db, "CREATE TRIGGER refuse BEFORE DELETE ON notes BEGIN SELECT RAISE(ABORT, 'refused'); END"));

        QSignalSpy purged(m_repo.get(), &NoteRepository::notePurged);
        QSignalSpy changed(m_repo.get(), &NoteRepository::notesChanged);
        QVERIFY(!m_repo->purge("p"));
        QCOMPARE(purged.size(), 0);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(rowsFor("p"), 1 + 2 + 1 + 1);
        QVERIFY(QFile::exists(file));
        QVERIFY(!m_repo->includeInTodos("p"));

        // The connection is usable again afterwards.
        QVERIFY(run(*m_db, "DROP TRIGGER refuse"));
        QVERIFY(m_repo->purge("p"));
        QCOMPARE(rowsFor("p"), 0);
    }
};

VELM_TEST_CORE_MAIN(TestNoteRepository)
#include "tst_noterepository.moc"
