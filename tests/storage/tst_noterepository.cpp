#include "velmtest.h"

#include "bodybackfill.h"
#include "database.h"
#include "noterepository.h"
#include "storagefixture.h"
#include "storagetime.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>

#include <algorithm>

#include <array>
#include <functional>

using namespace StorageFixture;

namespace {

using Write = std::function<bool(NoteRepository &, Database &)>;

} // namespace

Q_DECLARE_METATYPE(Write)

class TestNoteRepository : public QObject
{
    Q_OBJECT

private:
    RepositoryFixture m_fixture;
    std::unique_ptr<Database> &m_db = m_fixture.db;
    std::unique_ptr<NoteRepository> &m_repo = m_fixture.repo;
    const QDateTime &m_now = m_fixture.now;

    // Two snapshots, an attachment (row and file) and a to-do setting for noteId; returns the file path.
    QString addDependants(const QString &noteId)
    {
        for (int version : {1, 2}) {
            if (!run(*m_db, "INSERT INTO note_snapshots (id, note_id, version, body, created_at) VALUES (?, ?, ?, '[]', 't')",
                     {newId(), noteId, version}))
                return {};
        }
        const QString attachmentId = newId();
        if (!run(*m_db, "INSERT INTO attachments (id, note_id, filename, mime_type, size_bytes, created_at) "
                        "VALUES (?, ?, 'a.txt', 'text/plain', 3, 't')", {attachmentId, noteId}))
            return {};
        const QString path = Database::attachmentsDirectory() + "/" + attachmentId;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("abc") != 3 || !m_repo->setIncludeInTodos(noteId, false))
            return {};
        return path;
    }

    int rowsFor(const QString &noteId) const
    {
        int rows = 0;
        for (const char *table : {"notes WHERE id", "note_snapshots WHERE note_id", "attachments WHERE note_id",
                                  "note_task_settings WHERE note_id"})
            rows += scalar(*m_db, QString("SELECT COUNT(*) FROM %1 = ?").arg(table), {noteId}).toInt();
        return rows;
    }

    // Signals in emission order.
    std::shared_ptr<QStringList> m_order;
    void recordSignals()
    {
        auto order = std::make_shared<QStringList>();
        connect(m_repo.get(), &NoteRepository::noteDeleted, this, [order](const QString &id) { *order << "deleted:" + id; });
        connect(m_repo.get(), &NoteRepository::notePurged, this, [order](const QString &id) { *order << "purged:" + id; });
        connect(m_repo.get(), &NoteRepository::notesChanged, this, [order] { *order << "changed"; });
        connect(m_repo.get(), &NoteRepository::notesWritten, this,
                [order](const QStringList &ids) { *order << "written:" + ids.join(','); });
        m_order = order;
    }

private slots:
    void init()
    {
        QVERIFY(m_fixture.open());
        recordSignals();
    }
    void cleanup() { m_fixture.close(); }

    void everyFieldSurvivesInsertAndRead()
    {
        Note note = textNote("n-full", "full", 0, SyncStatus::Conflict);
        note.notebookId = "nb-1";
        // Given in another zone: stored and read back as the same instant in UTC.
        note.createdAt = QDateTime(QDate(2026, 1, 2), QTime(10, 0, 0, 5), Qt::OffsetFromUTC, 3600);
        note.modifiedAt = QDateTime(QDate(2026, 1, 4), QTime(4, 5, 6, 1), Qt::UTC);
        note.deletedAt = QDateTime(QDate(2026, 1, 5), QTime(0, 0, 0, 250), Qt::UTC);
        note.version = 7;
        note.opVersion = 3;
        note.isSample = true;
        note.ownerId = "owner-9";
        note.isShared = true;
        note.permission = "edit";
        QVERIFY(m_repo->insert(note));
        QCOMPARE(*m_order, QStringList({"written:n-full"}));

        QCOMPARE(*m_repo->noteById("n-full"), note);
        QCOMPARE(scalar(*m_db, "SELECT created_at || ' ' || sync_status FROM notes").toString(),
                 QString("2026-01-02T09:00:00.005Z conflict"));

        // Empty fields as the schema wants them; a null body as empty text.
        Note bare = textNote("n-bare", "bare");
        bare.body = QString();
        QVERIFY(m_repo->insert(bare));
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM notes WHERE notebook_id = '' AND owner_id IS NULL AND body = '' "
                               "AND permission IS NULL AND deleted_at IS NULL AND sync_status = 'pending'").toInt(), 1);
        QCOMPARE(*m_repo->noteById("n-bare"), bare);
        QVERIFY(!m_repo->noteById("missing"));
        // Outside the enum is written as pending; stored text is read case-sensitively.
        QCOMPARE(syncStatusToString(static_cast<SyncStatus>(9)), QString("pending"));
        const std::pair<QString, SyncStatus> stored[] = {{"synced", SyncStatus::Synced}, {"conflict", SyncStatus::Conflict},
                                                         {"Synced", SyncStatus::Pending}, {"uploaded", SyncStatus::Pending}};
        for (const auto &[text, status] : stored) {
            QVERIFY(run(*m_db, "UPDATE notes SET sync_status = ? WHERE id = 'n-bare'", {text}));
            QCOMPARE(m_repo->noteById("n-bare")->syncStatus, status);
        }
    }

    void failedWritesAreLoggedAndEmitNothing()
    {
        QVERIFY(m_repo->insert(textNote("dup", "one")));
        m_order->clear();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Statement failed: .*UNIQUE.* in INSERT INTO notes"));
        QTest::ignoreMessage(QtWarningMsg, "NoteRepository::insert failed for note dup");
        QVERIFY(!m_repo->insert(textNote("dup", "two")));

        QVERIFY(run(*m_db, "CREATE TRIGGER refuse BEFORE UPDATE ON notes BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Statement failed: refused.* in UPDATE notes SET"));
        QTest::ignoreMessage(QtWarningMsg, "NoteRepository::update failed for note dup");
        QVERIFY(!m_repo->update(textNote("dup", "three")));
        // Each refused write names its statement and the driver's error.
        const QRegularExpression refusedUpdate("^Statement failed: refused.* in UPDATE notes SET");
        const std::array<std::function<bool()>, 4> writes{
            [this] { return m_repo->moveToNotebook("dup", "x"); }, [this] { return m_repo->softDelete("dup"); },
            [this] { return m_repo->restore("dup"); }, [this] { return m_repo->syncState().markSynced("dup", 2); }};
        for (const auto &write : writes) {
            QTest::ignoreMessage(QtWarningMsg, refusedUpdate);
            QVERIFY(!write());
        }
        QVERIFY(run(*m_db, "CREATE TRIGGER keep BEFORE DELETE ON notes BEGIN SELECT RAISE(ABORT, 'kept'); END"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Statement failed: kept.* in DELETE FROM notes WHERE"));
        QVERIFY(!m_repo->purge("dup"));
        QCOMPARE(m_repo->syncState().markAllPending(), 0);
        QVERIFY(m_order->isEmpty());
        QCOMPARE(*m_repo->noteById("dup"), textNote("dup", "one"));
    }

    void updateWritesTheRecordAsGiven()
    {
        Note note = textNote("u", "before");
        QVERIFY(m_repo->insert(note));
        note.body = textNote("u", "after").body;
        note.createdAt = kBase.addYears(-1); // not written by update
        note.updatedAt = kBase.addDays(1);
        note.version = 5;
        note.syncStatus = SyncStatus::Synced;
        note.deletedAt = kBase.addDays(2);
        QVERIFY(m_repo->update(note));
        QCOMPARE(m_order->size(), 2);
        note.createdAt = kBase;
        QCOMPARE(*m_repo->noteById("u"), note);
        // The index follows the new body.
        QVERIFY(m_repo->search().notes("befor").isEmpty());
        // Written only over the body it was edited from.
        Note later = note;
        later.body = textNote("u", "later").body;
        QCOMPARE(m_repo->updateIfBodyIs(later, textNote("u", "before").body), NoteRepository::WriteResult::RowChanged);
        QCOMPARE(m_repo->noteById("u")->body, note.body);
        QCOMPARE(m_repo->updateIfBodyIs(later, note.body), NoteRepository::WriteResult::Written);
        QCOMPARE(m_repo->noteById("u")->body, later.body);
    }

    void listsFilterAndOrder()
    {
        Note a = textNote("a", "a", 1);
        a.notebookId = "x";
        Note b = textNote("b", "b", 3, SyncStatus::Synced);
        b.notebookId = "x";
        Note c = textNote("c", "c", 2);
        c.isShared = true;
        Note d = textNote("d", "d", 9);
        d.notebookId = "x";
        d.deletedAt = kBase.addDays(1);
        Note e = textNote("e", "e", 4);
        e.deletedAt = kBase.addDays(2);
        e.isShared = true;
        Note f = textNote("f", "f", 0, SyncStatus::Synced);
        f.ownerId = "someone";
        f.permission = "view";
        for (const Note &note : {a, b, c, d, e, f})
            QVERIFY(m_repo->insert(note));

        QCOMPARE(ids(m_repo->allNotes()), QStringList({"b", "c", "a", "f"}));
        QCOMPARE(ids(m_repo->notesInNotebook("x")), QStringList({"b", "a"}));
        QCOMPARE(ids(m_repo->notesInNotebook(QString())), QStringList({"c", "f"}));
        QCOMPARE(ids(m_repo->trashedNotes()), QStringList({"e", "d"}));
        QCOMPARE(ids(m_repo->sharedByMe()), QStringList({"c"}));
        QCOMPARE(ids(m_repo->sharedWithMe()), QStringList({"f"}));
        QStringList pending = ids(m_repo->syncState().pendingNotes());
        pending.sort();
        QCOMPARE(pending, QStringList({"a", "c", "d", "e"}));

        // Live notes per notebook, the live total under the empty key.
        const QHash<QString, int> counts = m_repo->countsByNotebook();
        QCOMPARE(counts, (QHash<QString, int>{{"x", 2}, {"", 4}}));
    }

    void softDeleteRestoreAndMove()
    {
        QVERIFY(m_repo->insert(textNote("t", "trash me", 0, SyncStatus::Synced)));
        m_order->clear();
        QVERIFY(m_repo->softDelete("t"));
        QCOMPARE(*m_order, QStringList({"deleted:t", "written:t"}));
        const Note deleted = *m_repo->noteById("t");
        QCOMPARE(deleted.deletedAt, std::optional<QDateTime>(m_now));
        QCOMPARE(deleted.syncStatus, SyncStatus::Pending);
        QCOMPARE(ids(m_repo->syncState().pendingNotes()), QStringList({"t"}));
        QVERIFY(m_repo->allNotes().isEmpty());

        QVERIFY(m_repo->restore("t"));
        QVERIFY(!m_repo->noteById("t")->deletedAt);
        QCOMPARE(ids(m_repo->allNotes()), QStringList({"t"}));

        QVERIFY(m_repo->syncState().markSynced("t", 3));
        QVERIFY(m_repo->moveToNotebook("t", "nb-2"));
        QCOMPARE(m_order->size(), 4);
        const Note moved = *m_repo->noteById("t");
        QCOMPARE(moved.notebookId, QString("nb-2"));
        QCOMPARE(moved.modifiedAt, m_now);
        QCOMPARE(moved.updatedAt, kBase);
        QCOMPARE(moved.syncStatus, SyncStatus::Pending);
        QVERIFY(m_repo->moveToNotebook("t", QString()));
        QCOMPARE(scalar(*m_db, "SELECT notebook_id IS NOT NULL AND notebook_id = '' FROM notes").toInt(), 1);
    }

    void syncBookkeeping()
    {
        Note d = textNote("d", "d", 0, SyncStatus::Synced);
        d.deletedAt = kBase;
        for (const Note &note : {textNote("a", "a", 0, SyncStatus::Synced), textNote("b", "b", 0, SyncStatus::Conflict),
                                 textNote("c", "c"), d})
            QVERIFY(m_repo->insert(note));
        m_order->clear();

        QVERIFY(m_repo->syncState().markSynced("c", 12));
        QCOMPARE(m_repo->noteById("c")->syncStatus, SyncStatus::Synced);
        QCOMPARE(m_repo->noteById("c")->version, 12);
        // a, b and c are live and not pending; the trashed d is left alone.
        QCOMPARE(m_repo->syncState().markAllPending(), 3);
        QCOMPARE(m_repo->noteById("b")->syncStatus, SyncStatus::Pending);
        QCOMPARE(m_repo->noteById("d")->syncStatus, SyncStatus::Synced);
        QCOMPARE(m_repo->syncState().markAllPending(), 0);
        QVERIFY(m_order->isEmpty());
    }

    // Emptying the trash queues a server deletion, with the last state, only
    // for notes the server has seen and this account owns.
    void purgesQueueServerDeletionsOfSeenOwnNotes()
    {
        Note seen = textNote("seen", "seen");
        seen.opVersion = 4;
        seen.notebookId = "nb-1";
        Note shared = textNote("shared", "shared");
        shared.opVersion = 2;
        shared.ownerId = "someone-else";
        for (const Note &note : {seen, shared, textNote("local", "local")}) {
            QVERIFY(m_repo->insert(note));
            QVERIFY(m_repo->softDelete(note.id));
        }
        QVERIFY(m_repo->emptyTrash());
        QCOMPARE(m_repo->trashCount(), 0);
        const QList<PendingDeletion> pending = m_repo->syncState().pendingDeletions();
        QCOMPARE(pending.size(), 1);
        const PendingDeletion &p = pending.first();
        QCOMPARE(QVariantList({p.noteId, p.serverVersion, p.notebookId, p.body, p.createdAt}),
                 QVariantList({"seen", 4, "nb-1", seen.body, kBase}));
    }

    void purgeRemovesTheNoteWithEverythingThatNamesIt()
    {
        QVERIFY(m_repo->insert(textNote("p", "purge target")));
        QVERIFY(m_repo->insert(textNote("keep", "keeper")));
        const QString file = addDependants("p");
        const QString keptFile = addDependants("keep");
        QVERIFY(!file.isEmpty() && !keptFile.isEmpty());
        QVERIFY(m_repo->softDelete("p"));
        m_order->clear();

        QVERIFY(m_repo->purge("p"));
        QCOMPARE(*m_order, QStringList({"purged:p", "written:p"}));
        QCOMPARE(rowsFor("p"), 0);
        QVERIFY(!QFile::exists(file));
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) FROM notes_fts WHERE notes_fts MATCH 'target'").toInt(), 0);
        // The other note keeps all of its own.
        QCOMPARE(rowsFor("keep"), 1 + 2 + 1 + 1);
        QVERIFY(QFile::exists(keptFile));
    }

    // A merge writes a note's to-dos at once and lists its search text for
    // the fill, which writes the text last listed and nothing over a later write.
    void aListedSearchTextIsWrittenByTheFill_data()
    {
        QTest::addColumn<QString>("meanwhile"); // between the fill's read and its write
        QTest::addColumn<int>("written");
        QTest::addColumn<QString>("found");
        QTest::newRow("nothing") << "" << 1 << "alpha";
        QTest::newRow("listed again") << "again" << 0 << "bravo";
        QTest::newRow("written now") << "now" << 0 << "charlie";
        QTest::newRow("purged") << "purge" << 0 << "";
    }
    void aListedSearchTextIsWrittenByTheFill()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, written);
        QFETCH(QString, found);
        using SearchRow = NoteRepository::SearchRow;
        const auto edit = [this](const QString &word, SearchRow searchRow) {
            return m_repo->update(textNote("m", word + " words\\nTODO: feed " + word), nullptr, searchRow);
        };
        const auto matches = [this](const char *word) {
            return scalar(*m_db, "SELECT COUNT(*) FROM notes_fts WHERE notes_fts MATCH ?", {word}).toInt();
        };
        QVERIFY(m_repo->insert(textNote("m", "old words")));
        QVERIFY(edit("alpha", SearchRow::Background));
        QCOMPARE(scalar(*m_db, "SELECT group_concat(text) FROM todo_items WHERE note_id = 'm'").toString(),
                 QStringLiteral("feed alpha"));
        QCOMPARE(matches("old"), 1);
        BodyBackfill fill(m_db->database(), m_db->textExtractor());
        std::optional<BodyBackfill::Batch> batch = fill.read(10);
        QVERIFY(batch && batch->size() == 1);
        fill.parse(*batch);
        if (meanwhile == "again")
            QVERIFY(edit("bravo", SearchRow::Background));
        else if (meanwhile == "now")
            QVERIFY(edit("charlie", SearchRow::Now));
        else if (meanwhile == "purge")
            QVERIFY(m_repo->purge("m"));
        QCOMPARE(fill.write(*batch), written);
        while (fill.runBatch(10) > 0) {
        }
        QCOMPARE(BodyBackfill::pendingCount(m_db->database()), 0);
        for (const char *word : {"old", "alpha", "bravo", "charlie"})
            QVERIFY2(matches(word) == (found == QLatin1String(word) ? 1 : 0), word);
    }

    void bulkWritesAreOneTransactionAndOneChange_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("expected"); // id:notebook:trashed per note after it, "-" for gone
        QTest::newRow("move") << 0 << "a:nb-2:0 b:nb-2:0 c:nb-1:1";
        QTest::newRow("release notebook") << 1 << "a::0 b::0 c::1";
        QTest::newRow("trash") << 2 << "a:nb-1:1 b::1 c:nb-1:1";
        QTest::newRow("restore") << 3 << "a:nb-1:0 b::0 c:nb-1:0";
        QTest::newRow("purge") << 4 << "- - c:nb-1:1";
        QTest::newRow("empty trash") << 5 << "a:nb-1:0 b::0 -";
    }

    void bulkWritesAreOneTransactionAndOneChange()
    {
        QFETCH(int, operation);
        for (const QString &id : QStringList{"a", "b", "c"}) {
            Note note = textNote(id, "bulk " + id);
            note.notebookId = id == "b" ? "" : "nb-1";
            QVERIFY(m_repo->insert(note));
        }
        QVERIFY(m_repo->softDelete("c"));
        m_order->clear();
        const QStringList ab{"a", "b"};
        const bool ok = std::array<std::function<bool()>, 6>{
            [&] { return m_repo->moveToNotebook(ab, "nb-2"); }, [&] { return m_repo->releaseNotebook("nb-1"); },
            [&] { return m_repo->softDelete(ab); }, [&] { return m_repo->restore(QStringList{"c"}); },
            [&] { return m_repo->purge(ab); }, [&] { return m_repo->emptyTrash(); }}[operation]();
        QVERIFY(ok);
        QCOMPARE(m_order->filter("changed").size(), 1);
        QCOMPARE(m_order->filter("written").size(), 0);
        QStringList state;
        for (const QString &id : QStringList{"a", "b", "c"}) {
            const auto note = m_repo->noteById(id);
            state << (note ? QString("%1:%2:%3").arg(id, note->notebookId).arg(int(note->deletedAt.has_value()))
                           : QString("-"));
        }
        QTEST(state.join(' '), "expected");
    }

    // Another process on the same file (a connection of its own) moves, trashes
    // and syncs the note while an editor here holds it: the editor's save keeps all that.
    void editorSaveKeepsAnotherProcessChanges()
    {
        Note loaded = textNote("e", "loaded");
        QVERIFY(m_repo->insert(loaded));
        Database other;
        QVERIFY(other.open(m_db->database().databaseName()));
        NoteRepository notes(&other);
        notes.setClock([this] { return m_now; });
        QVERIFY(notes.moveToNotebook("e", "nb-2") && notes.softDelete("e") && notes.syncState().markSynced("e", 5));

        Note edited = loaded;
        edited.body = textNote("e", "typed").body;
        edited.version += 1;
        QCOMPARE(m_repo->updateIfBodyIs(edited, loaded.body), NoteRepository::WriteResult::Written);
        QCOMPARE(scalar(*m_db, "SELECT notebook_id || ' ' || IFNULL(deleted_at, '') || ' ' || version FROM notes")
                     .toString(), QString("nb-2 2026-05-06T07:08:09.123Z 6"));
    }

    void failedBulkWriteAndPurgeChangeNothing()
    {
        QVERIFY(m_repo->insert(textNote("b", "two")));
        QVERIFY(m_repo->insert(textNote("p", "purge target")));
        const QString file = addDependants("p");
        QVERIFY(!file.isEmpty());
        QVERIFY(run(*m_db, "CREATE TRIGGER refuseUpdate BEFORE UPDATE ON notes WHEN old.id = 'b' "
                           "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        QVERIFY(run(*m_db, "CREATE TRIGGER refuse BEFORE DELETE ON notes BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        m_order->clear();

        QVERIFY(!m_repo->softDelete(QStringList{"p", "b"}));
        QCOMPARE(m_repo->trashCount(), 0);
        QVERIFY(!m_repo->purge("p"));
        QVERIFY(m_order->isEmpty());
        QCOMPARE(rowsFor("p"), 1 + 2 + 1 + 1);
        QVERIFY(QFile::exists(file));

        // The connection is usable again afterwards.
        QVERIFY(run(*m_db, "DROP TRIGGER refuse"));
        QVERIFY(m_repo->purge("p"));
        QCOMPARE(rowsFor("p"), 0);
    }

    void keptTodosAndCountsFollowEveryWrite_data()
    {
        QTest::addColumn<Write>("write");
        const auto edited = [](NoteRepository &repo, const QString &id, const QString &text) {
            Note note = *repo.noteById(id);
            note.body = textNote(id, text).body;
            note.updatedAt = note.updatedAt.addSecs(30);
            return note;
        };
        QTest::newRow("edit") << Write([=](NoteRepository &r, Database &) {
            return r.update(edited(r, "a", "DONE: alpha\\nTODO: new"));
        });
        QTest::newRow("editor save") << Write([=](NoteRepository &r, Database &) {
            const QString before = r.noteById("b")->body;
            return r.updateIfBodyIs(edited(r, "b", "plain now"), before) == NoteRepository::WriteResult::Written;
        });
        QTest::newRow("trash") << Write([](NoteRepository &r, Database &) { return r.softDelete("a"); });
        QTest::newRow("trash two") << Write([](NoteRepository &r, Database &) { return r.softDelete({"a", "b"}); });
        QTest::newRow("restore") << Write([](NoteRepository &r, Database &) { return r.restore("c"); });
        QTest::newRow("move") << Write([](NoteRepository &r, Database &) { return r.moveToNotebook({"a", "c"}, "Y"); });
        QTest::newRow("notebook deleted") << Write([](NoteRepository &r, Database &) { return r.releaseNotebook("X"); });
        QTest::newRow("purge") << Write([](NoteRepository &r, Database &) { return r.purge("a"); });
        QTest::newRow("empty trash") << Write([](NoteRepository &r, Database &) { return r.emptyTrash(); });
        // What a pull writes: the server's row whole, trashed and moved at once.
        QTest::newRow("sync merge") << Write([=](NoteRepository &r, Database &) {
            Note pulled = edited(r, "b", "TODO: from the server");
            pulled.notebookId = "X";
            pulled.deletedAt = kBase;
            pulled.version = 7;
            return r.update(pulled) && r.syncState().markSynced("b", 7);
        });
        // An import or restore writes its batch inside one transaction.
        QTest::newRow("import batch") << Write([](NoteRepository &r, Database &db) {
            QSqlDatabase sql = db.database();
            Note trashed = textNote("i2", "DONE: imported");
            trashed.deletedAt = kBase;
            return sql.transaction() && r.insert(textNote("i1", "TODO: imported")) && r.insert(trashed) && sql.commit();
        });
        QTest::newRow("failed insert") << Write([](NoteRepository &r, Database &) { return !r.insert(textNote("a", "TODO: dup")); });
    }
    void keptTodosAndCountsFollowEveryWrite()
    {
        QFETCH(Write, write);
        const std::array<std::pair<const char *, const char *>, 4> notes{
            {{"a", "TODO: alpha\\nDONE: beta"}, {"b", "TODO: gamma"}, {"c", "TODO: delta"}, {"d", "plain"}}};
        int minute = 0;
        for (const auto &[id, text] : notes) {
            Note note = textNote(id, text, ++minute);
            note.notebookId = QString(id) == "b" ? "Y" : QString(id) == "d" ? "" : "X";
            if (QString(id) == "c")
                note.deletedAt = kBase;
            QVERIFY(m_repo->insert(note));
        }
        QVERIFY(write(*m_repo, *m_db));

        QHash<QString, int> counts;
        int trashed = 0;
        QStringList todos;
        for (const Note &note : m_repo->allNotes() + m_repo->trashedNotes()) {
            if (note.deletedAt) {
                ++trashed;
                continue;
            }
            counts[note.notebookId] += 1;
            counts[QString()] += note.notebookId.isEmpty() ? 0 : 1;
            for (const NoteTodo &todo : deltaText(note.body).todos)
                todos << QString("%1 %2 %3 %4 %5").arg(note.id).arg(todo.lineIndex).arg(todo.completed).arg(todo.text,
                                                                                                             storageTimeText(note.updatedAt));
        }
        QCOMPARE(m_repo->countsByNotebook(), counts);
        QCOMPARE(m_repo->trashCount(), trashed);
        QStringList kept;
        for (const bool completed : {false, true}) {
            for (const TodoRow &row : m_repo->todoPage(TodoOrder::NoteUpdated, completed, {}, {}, 100))
                kept << QString("%1 %2 %3 %4 %5").arg(row.noteId).arg(row.lineIndex).arg(row.completed).arg(row.text, row.noteUpdatedAt);
        }
        todos.sort();
        kept.sort();
        QCOMPARE(kept, todos);
    }

};

VELM_TEST_CORE_MAIN(TestNoteRepository)
#include "tst_noterepository.moc"
