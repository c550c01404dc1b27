#include "velmtest.h"

#include "bodybackfill.h"
#include "database.h"
#include "databaserepair.h"
#include "logcheckpointer.h"
#include "noterepository.h"
#include "notesearchindex.h"
#include "notetextfill.h"
#include "preferencesrepository.h"
#include "sqlhelpers.h"
#include "storagefixture.h"
#include "storagehealth.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QMutex>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include <mutex>

using StorageFixture::scalar;

class TestDatabase : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_dataDir;

    // Builds a database file by hand, outside Database.
    static bool buildRaw(const QString &path, const QStringList &statements)
    {
        const QString name = QUuid::createUuid().toString();
        bool ok = true;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(path);
            ok = db.open();
            QSqlQuery q(db);
            ok = ok && db.transaction();
            for (const QString &sql : statements)
                ok = ok && q.exec(sql);
            ok = ok && db.commit();
        }
        QSqlDatabase::removeDatabase(name);
        return ok;
    }

private slots:
    void init()
    {
        m_dataDir = m_dir.path() + "/" + QUuid::createUuid().toString(QUuid::WithoutBraces);
        qputenv("NOTES_DATA_DIR", m_dataDir.toUtf8());
    }

    // A write that fails on a full disk, whichever way it was made, has the
    // next use of the connection empty the write-ahead log.
    void aFullDiskFailureEmptiesTheLogBeforeTheNextWrite_data()
    {
        QTest::addColumn<bool>("throughNotes");
        QTest::newRow("preference") << false;
        QTest::newRow("note") << true;
    }
    void aFullDiskFailureEmptiesTheLogBeforeTheNextWrite()
    {
        QFETCH(bool, throughNotes);
        const QString path = Database::defaultDatabasePath();
        Database db;
        QVERIFY(db.open(path) && db.migrate());
        // Every commit is synced (FULL): what is reported saved survives a power cut.
        QCOMPARE(scalar(db, "PRAGMA synchronous").toInt(), 2);
        PreferencesRepository preferences(&db);
        NoteRepository notes(&db);
        const QString big(200000, 'x');
        preferences.set("filler", big);
        QVERIFY(QFileInfo(path + "-wal").size() > 0);

        // A page limit makes SQLite answer as on a full disk.
        QSqlQuery(db.database()).exec("PRAGMA max_page_count=" + scalar(db, "PRAGMA page_count").toString());
        if (throughNotes) {
            Note note;
            note.id = StorageFixture::newId();
            note.body = big;
            note.createdAt = note.updatedAt = note.modifiedAt = StorageFixture::kBase;
            QVERIFY(!notes.insert(note));
        } else {
            preferences.set("more", big);
            QVERIFY(!preferences.get("more"));
        }
        QSqlQuery(db.database()).exec("PRAGMA max_page_count=1073741823");
        QCOMPARE(QFileInfo(path + "-wal").size(), 0);
        preferences.set("more", big);
        QCOMPARE(preferences.get("more"), big);
    }

    // A commit that leaves the log past its threshold has it copied back into
    // the file by the checkpointer's thread, not inside the commit, which
    // then cuts the log file back unless a sync step holds the lock.
    void aLargeCommitIsCheckpointedAwayFromTheWriter_data()
    {
        QTest::addColumn<int>("kilobytes");
        QTest::addColumn<int>("checkpoints");
        QTest::addColumn<bool>("locked");
        QTest::newRow("below the threshold") << 100 << 0 << false;
        QTest::newRow("past it") << 8000 << 1 << false;
        QTest::newRow("past it, lock taken") << 8000 << 1 << true;
    }
    void aLargeCommitIsCheckpointedAwayFromTheWriter()
    {
        QFETCH(int, kilobytes);
        QFETCH(int, checkpoints);
        QFETCH(bool, locked);
        const QString path = Database::defaultDatabasePath();
        Database db;
        QVERIFY(db.open(path) && db.migrate());
        QVERIFY(db.checkpointer());
        std::unique_lock<QMutex> held(*db.fillLock(), std::defer_lock);
        if (locked)
            held.lock();
        db.checkpointer()->wait();
        QVERIFY(scalar(db, "PRAGMA wal_checkpoint(TRUNCATE)").toInt() == 0); // the log holds this commit only
        const int before = db.checkpointer()->checkpointsStarted();
        const qint64 fileBefore = QFileInfo(path).size();
        PreferencesRepository preferences(&db);
        QVERIFY(db.database().transaction());
        for (int i = 0; i < kilobytes / 100; ++i)
            preferences.set(QString::number(i), QString(100000, QChar(u'a' + i % 26)));
        QVERIFY(db.commit());
        QCOMPARE(db.checkpointer()->checkpointsStarted() - before, checkpoints);
        db.checkpointer()->wait();
        const qint64 copied = QFileInfo(path).size() - fileBefore;
        QVERIFY2(checkpoints ? copied > kilobytes * 1000 : copied == 0, qPrintable(QString::number(copied)));
        const qint64 log = QFileInfo(path + "-wal").size();
        QVERIFY2(checkpoints && !locked ? log == 0 : log > kilobytes * 1000, qPrintable(QString::number(log)));
        preferences.set("after", "x");
        QCOMPARE(preferences.get("0"), QString(100000, QLatin1Char('a')));
    }

    // The text fill writes through a connection of its own: its commit
    // between a scope's first read and its first write must not make that
    // write fail (SQLite refuses such a write at once, without waiting).
    void aScopeThatReadsFirstStillWrites()
    {
        Database db;
        QVERIFY(db.open(Database::defaultDatabasePath()) && db.migrate());
        if (db.checkpointer())
            db.checkpointer()->wait();
        QVERIFY(StorageFixture::run(db, "INSERT INTO preferences (key, value) VALUES ('before', '1')"));
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", name);
            other.setDatabaseName(Database::defaultDatabasePath());
            QVERIFY(other.open());
            QSqlQuery(other).exec("PRAGMA busy_timeout=0");
            WriteScope scope(db.database());
            QVERIFY(scope.isOpen());
            QCOMPARE(scalar(db, "SELECT value FROM preferences WHERE key = 'before'").toString(), QString("1"));
            // Refused while the scope holds the write lock.
            QSqlQuery(other).exec("INSERT INTO preferences (key, value) VALUES ('other', 'x')");
            QVERIFY(StorageFixture::run(db, "INSERT INTO preferences (key, value) VALUES ('mine', 'y')"));
            QVERIFY(scope.commit());
        }
        QSqlDatabase::removeDatabase(name);
        QCOMPARE(scalar(db, "SELECT value FROM preferences WHERE key = 'mine'").toString(), QString("y"));
    }

    // The installation id names the file: an empty one is said, not silently refilled.
    void anEmptiedDatabaseIsNamedBeforeItStartsAfresh()
    {
        const QString path = Database::defaultDatabasePath();
        {
            Database db;
            QVERIFY(db.open(path) && db.migrate());
        }
        QCOMPARE(Database::emptiedDatabase(), QString());
        QVERIFY(QFile::resize(path, 0));
        QFile::remove(path + "-wal");
        Database again;
        QVERIFY(again.open(path) && again.migrate());
        QCOMPARE(Database::emptiedDatabase(), path);
    }

    // Search afterwards finds what a reader sees, not the markup around it.
    void versionOneDatabaseIsMigrated_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("filled in batches") << "";
        QTest::newRow("note edited while its batch is in hand") << "edit";
        QTest::newRow("note purged while its batch is in hand") << "purge";
        QTest::newRow("body changed outside the write path") << "raw";
        QTest::newRow("stopped after one batch, reopened") << "reopen";
        QTest::newRow("on its own thread") << "thread";
    }
    void versionOneDatabaseIsMigrated()
    {
        QFETCH(QString, meanwhile);
        const QString path = m_dataDir + "/old.db";
        QDir().mkpath(m_dataDir);
        QStringList setup = {
            "CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)",
            "INSERT INTO schema_version VALUES (1)",
            "CREATE TABLE notebooks (id TEXT PRIMARY KEY, name TEXT NOT NULL, is_default INTEGER NOT NULL DEFAULT 0,"
            " is_shared INTEGER NOT NULL DEFAULT 0, owner_id TEXT, created_at TEXT NOT NULL, updated_at TEXT NOT NULL,"
            " deleted_at TEXT, version INTEGER NOT NULL DEFAULT 1, sync_status TEXT NOT NULL DEFAULT 'pending')",
            "CREATE TABLE notes (id TEXT PRIMARY KEY, notebook_id TEXT NOT NULL REFERENCES notebooks(id),"
            " body TEXT NOT NULL DEFAULT '', created_at TEXT NOT NULL, updated_at TEXT NOT NULL,"
            " modified_at TEXT NOT NULL, deleted_at TEXT, version INTEGER NOT NULL DEFAULT 1,"
            " op_version INTEGER NOT NULL DEFAULT 0, sync_status TEXT NOT NULL DEFAULT 'pending',"
            " is_sample INTEGER NOT NULL DEFAULT 0, owner_id TEXT, is_shared INTEGER NOT NULL DEFAULT 0, permission TEXT)",
            "CREATE VIRTUAL TABLE notes_fts USING fts5(body, content='notes', content_rowid='rowid')",
            "CREATE TABLE attachments (id TEXT PRIMARY KEY, note_id TEXT NOT NULL, filename TEXT NOT NULL)",
            "CREATE TABLE sync_queue (id INTEGER PRIMARY KEY AUTOINCREMENT, entity_type TEXT NOT NULL,"
            " entity_id TEXT NOT NULL, action TEXT NOT NULL, payload TEXT, created_at TEXT NOT NULL)",
            "INSERT INTO notebooks (id, name, is_default, created_at, updated_at) VALUES ('nb-default', 'Default', 1, 't', 't')",
            "INSERT INTO notebooks (id, name, is_default, created_at, updated_at) VALUES ('nb-work', 'Work', 0, 't', 't')",
        };
        const QString body = R"([{"insert":"%1","attributes":{"bold":true}},{"insert":"\n"}])";
        for (const auto &[id, notebook, word] : {std::tuple{"n1", "nb-default", "alpha"}, {"n2", "nb-default", "TODO: bravo"},
                                                 {"n3", "nb-work", "charlie"}})
            setup << QString("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at) "
                             "VALUES ('%1', '%2', '%3', 't', 't', 't')").arg(id, notebook, body.arg(word));
        // Enough more notes for several batches.
        for (int i = 0; i < 200; ++i)
            setup << QString("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at) "
                             "VALUES ('m%1', 'nb-default', '%2', 't', 't', 't')")
                         .arg(i).arg(i == 2 ? QString() : body.arg(i == 1 ? QString(R"(TODO: Straße \"Ä\" \\ ü)")
                                                     : (i % 3 ? "word" : "TODO: task") + QString::number(i)));
        setup << "INSERT INTO attachments VALUES ('a1', 'n3', 'sketch.png')"
              << "UPDATE notes SET sync_status = 'synced', version = 7 WHERE id = 'n3'"
              << "UPDATE notes SET created_at = '2024-01-01T00:00:00.000Z', modified_at = '2024-01-01T00:00:00.000Z', updated_at = "
                 "printf('2024-01-01T%02d:%02d:00.000Z', (rowid * 37) % 211 / 60, (rowid * 37) % 211 % 60)"
              << "UPDATE notes SET deleted_at = 't' WHERE id = 'n1'";
        QVERIFY(buildRaw(path, setup));

        auto db = std::make_unique<Database>();
        db->setTextExtractor(StorageFixture::deltaText);
        QSignalSpy applied(db.get(), &Database::migrationApplied);
        QVERIFY(db->open(path) && db->migrate());
        QCOMPARE(applied.size(), Database::currentVersion - 1);
        QCOMPARE(scalar(*db, "SELECT version FROM schema_version").toInt(), Database::currentVersion);
        // No body was read: every note waits for the fill.
        QCOMPARE(BodyBackfill::pendingCount(db->database()), 203);
        QCOMPARE(scalar(*db, "SELECT COUNT(*) FROM notes WHERE title != ''").toInt(), 0);
        // A synced note's body is its merge base; a pending one has none yet.
        QCOMPARE(scalar(*db, "SELECT group_concat(b.note_id || ':' || b.version) FROM note_bases b JOIN notes n "
                            "ON n.id = b.note_id AND n.body = b.body").toString(), QString("n3:7"));
        QCOMPARE(scalar(*db, "SELECT group_concat(id || ':' || notebook_id, ' ') FROM (SELECT * FROM notes WHERE id LIKE 'n%' ORDER BY id)")
                     .toString(), QString("n1: n2: n3:nb-work"));
        QCOMPARE(scalar(*db, "SELECT group_concat(id) FROM notebooks").toString(), QString("nb-work"));

        const auto fillAll = [&db] {
            BodyBackfill fill(db->database(), db->textExtractor());
            for (int batches = 0; BodyBackfill::pendingCount(db->database()) > 0; ++batches) {
                if (batches > 100 || fill.runBatch(16) < 0)
                    return false;
            }
            return true;
        };
        const QString edited = body.arg("TODO: edited");
        auto fill = std::make_unique<BodyBackfill>(db->database(), db->textExtractor());
        auto batch = fill->read(300);
        QVERIFY(batch && batch->size() == 203);
        fill->parse(*batch);
        NoteRepository repository(db.get());
        if (meanwhile == "edit") {
            Note note = *repository.noteById("m5");
            note.body = edited;
            QVERIFY(repository.update(note));
        } else if (meanwhile == "purge") {
            QVERIFY(scalar(*db, "DELETE FROM notes WHERE id = 'm7' RETURNING 1").toBool());
        } else if (meanwhile == "raw") {
            QVERIFY(scalar(*db, QString("UPDATE notes SET body = '%1' WHERE id = 'm8' RETURNING 1").arg(edited)).toBool());
        }
        if (meanwhile == "reopen") {
            QCOMPARE(fill->runBatch(10), 10);
            // The newest live notes came first.
            QVERIFY(scalar(*db, "SELECT MIN(updated_at) FROM notes WHERE rowid NOT IN (SELECT note_rowid FROM "
                                "note_texts_pending)").toString()
                    > scalar(*db, "SELECT MAX(n.updated_at) FROM notes n JOIN note_texts_pending p ON p.note_rowid = "
                                  "n.rowid WHERE n.deleted_at IS NULL").toString());
            fill.reset();
            db = std::make_unique<Database>();
            db->setTextExtractor(StorageFixture::deltaText);
            QVERIFY(db->open(path) && db->migrate());
            QCOMPARE(BodyBackfill::pendingCount(db->database()), 193);
        } else if (meanwhile == "thread") {
            fill.reset();
            NoteTextFill background(db.get());
            QSignalSpy written(&background, &NoteTextFill::textsWritten);
            QVERIFY(background.start());
            QTRY_VERIFY_WITH_TIMEOUT(!background.isRunning(), 20000);
            QVERIFY(!written.isEmpty());
            QCOMPARE(BodyBackfill::pendingCount(db->database()), 0);
        } else {
            QCOMPARE(fill->write(*batch), meanwhile.isEmpty() ? 203 : 202);
            QCOMPARE(BodyBackfill::pendingCount(db->database()), meanwhile == "raw" ? 1 : 0);
        }
        QVERIFY(fillAll());

        NoteRepository notes(db.get());
        QCOMPARE(notes.search().notes("alpha OR bravo OR charlie").size(), 2);
        QCOMPARE(notes.todoPage(TodoOrder::NoteUpdated, false, {}, {}, 300).size(),
                 meanwhile == "edit" || meanwhile == "raw" ? 70 : 69);
        QCOMPARE(notes.countsByNotebook().value("nb-work"), 1);
        QCOMPARE(notes.trashCount(), 1);
        for (const char *markup : {"bold", "insert", "attributes", "true"})
            QVERIFY2(notes.search().notes(markup).isEmpty(), markup);
        QCOMPARE(notes.search().notes("edited").size(), meanwhile == "edit" || meanwhile == "raw" ? 1 : 0);
        // One search row per note, none for a purged one.
        QCOMPARE(scalar(*db, "SELECT COUNT(*) FROM notes_fts").toInt(), scalar(*db, "SELECT COUNT(*) FROM notes").toInt());
        // The fill wrote what the write path makes of each note.
        const auto kept = [&db] {
            return scalar(*db, "SELECT group_concat(v, '|') FROM (SELECT n.id || n.title || n.preview || f.text AS v "
                              "FROM notes n JOIN notes_fts f ON f.rowid = n.rowid UNION ALL SELECT note_id || "
                              "line_index || char_offset || source || is_completed || text || text_key || note_title || "
                              "note_updated_at || live FROM todo_items "
                              "ORDER BY 1)").toString();
        };
        const QString migrated = kept();
        QVERIFY(migrated.contains("sketch.png"));
        QSqlQuery ids(db->database());
        QVERIFY(ids.exec("SELECT id FROM notes"));
        QVERIFY(db->database().transaction());
        while (ids.next())
            QVERIFY(NoteSearchIndex::rewrite(db.get(), ids.value(0).toString()));
        QVERIFY(db->database().commit());
        QCOMPARE(kept(), migrated);
        // The rebuilt table has no foreign key to notebooks any more.
        QVERIFY(!scalar(*db, "SELECT COUNT(*) FROM pragma_foreign_key_list('notes')").toInt());
    }

    void negativeVersionFailsWithoutTouchingTables()
    {
        QDir().mkpath(m_dataDir);
        const QString path = m_dataDir + "/negative.db";
        QVERIFY(buildRaw(path, {"CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)",
                                "INSERT INTO schema_version VALUES (-1)"}));
        Database db;
        QVERIFY(db.open(path));
        QVERIFY(!db.migrate());
        QCOMPARE(scalar(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'").toInt(), 1);
        QCOMPARE(scalar(db, "SELECT version FROM schema_version").toInt(), -1);
    }

    void installationIdFileIsTrimmedOrReplaced_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("kept");
        QTest::newRow("padded") << QByteArray("\n\n  8c6c1c5e-4c0f-4d7e-9a43-0f6f4a1b2c3d  \n\n") << true;
        QTest::newRow("blank") << QByteArray(" \n\t\n") << false;
        QTest::newRow("path") << QByteArray("x/../../escaped") << false;
        QTest::newRow("garbage") << QByteArray("\xff\x00\x13garbage", 10) << false;
        QTest::newRow("uuid in braces") << QByteArray("{8c6c1c5e-4c0f-4d7e-9a43-0f6f4a1b2c3d}") << false;
    }
    void installationIdFileIsTrimmedOrReplaced()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, kept);
        QDir().mkpath(m_dataDir);
        QFile file(m_dataDir + "/client_id");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        // The notes of the id that was there before.
        QFile(m_dataDir + "/velmora_notes_earlier.db").open(QIODevice::WriteOnly);
        const QString id = Database::installationId();
        QCOMPARE(id.size(), 36);
        if (kept)
            QCOMPARE(id, QString::fromUtf8(content.trimmed()));
        QCOMPARE(Database::replacedDatabases(), kept ? QStringList() : QStringList{"velmora_notes_earlier.db"});
        QCOMPARE(Database::installationId(), id);
        QVERIFY(Database::defaultDatabasePath().endsWith("/velmora_notes_" + id + ".db"));
        // Nothing was written beside the data folder.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList());
    }

    void freshFolderIsMigratedAndPrivate()
    {
        // A missing data home is made private as well as the folder itself.
        const QString nested = m_dataDir + "/a/b/c";
        qputenv("NOTES_DATA_DIR", nested.toUtf8());
        QCOMPARE(Database::attachmentsDirectory(), nested + "/attachments");
        Database db;
        QSignalSpy applied(&db, &Database::migrationApplied);
        QVERIFY(db.open(Database::defaultDatabasePath()) && db.migrate());
        QCOMPARE(applied.size(), Database::currentVersion);
        QCOMPARE(scalar(db, "SELECT COUNT(*) || version FROM schema_version").toString(), QString("1%1").arg(Database::currentVersion));
        QCOMPARE(scalar(db, "PRAGMA foreign_keys").toInt(), 1);
        QCOMPARE(QFileInfo(Database::defaultDatabasePath()).absolutePath(), nested);
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
            | QFile::WriteOther | QFile::ExeOther;
        const QString base = Database::defaultDatabasePath();
        for (const QString &made : {m_dataDir, m_dataDir + "/a", nested, nested + "/attachments",
                                    nested + "/client_id", base, base + "-wal"}) {
            QVERIFY2(QFileInfo::exists(made), qPrintable(made));
            QVERIFY2((QFileInfo(made).permissions() & others) == 0, qPrintable(made));
        }
        // Opened again at the current version: no migration runs.
        Database again;
        QSignalSpy appliedAgain(&again, &Database::migrationApplied);
        QVERIFY(again.open(Database::defaultDatabasePath()) && again.migrate());
        QCOMPARE(appliedAgain.size(), 0);
    }

    void migrationAndSeedingAreOneTransaction()
    {
        Database db;
        QVERIFY(db.open(Database::defaultDatabasePath()));
        // A failing seed leaves no schema behind, so the next start does it all again.
        QVERIFY(!db.migrate([&db] { return QSqlQuery(db.database()).exec("CREATE TABLE seeded (x)") && false; }));
        QVERIFY(!scalar(db, "SELECT COUNT(*) FROM sqlite_master WHERE name IN ('notes', 'seeded')").toInt());
        QVERIFY(db.migrate([&db] { return QSqlQuery(db.database()).exec("CREATE TABLE seeded (x)"); }));
        QCOMPARE(scalar(db, "SELECT COUNT(*) FROM sqlite_master WHERE name IN ('notes', 'seeded')").toInt(), 2);
        QCOMPARE(scalar(db, "SELECT version FROM schema_version").toInt(), Database::currentVersion);
    }

    void damageIsReportedAndTheFileLeftAlone_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("intact") << "";
        QTest::newRow("notes table") << "notes";
        QTest::newRow("not a database") << "header";
        QTest::newRow("cut short") << "truncated";
    }
    void damageIsReportedAndTheFileLeftAlone()
    {
        QFETCH(QString, damage);
        const QString path = Database::defaultDatabasePath();
        int notesPage = 0;
        {
            Database db;
            QVERIFY(db.open(path) && db.migrate());
            for (int i = 0; i < 3; ++i)
                QVERIFY(StorageFixture::addNoteRow(db, StorageFixture::newId()));
            notesPage = scalar(db, "SELECT rootpage FROM sqlite_master WHERE name = 'notes'").toInt();
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (damage == "notes") {
            file.seek(qint64(notesPage - 1) * 4096);
            file.write(QByteArray(64, '\x7f'));
        } else if (damage == "header") {
            file.write("not a database!!");
        } else if (damage == "truncated") {
            file.resize(qint64(notesPage - 1) * 4096);
        }
        file.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
        file.close();

        QStringList reported;
        StorageHealth::setCorruptionHandler([&reported](const QString &error) { reported << error; });
        {
            Database db;
            db.open(path);
            NoteRepository notes(&db);
            QCOMPARE(notes.allNotes().size(), damage.isEmpty() ? 3 : 0);
        }
        StorageHealth::setCorruptionHandler({});
        QCOMPARE(reported.isEmpty(), damage.isEmpty());
        QCOMPARE(StorageHealth::quickCheck(path).isEmpty(), damage.isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256), before);
    }

    void repairReloadsWhatIsReadableAndKeepsTheDamagedFile_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("notesAfter"); // -1: the repair is refused
        QTest::newRow("an index page") << "index" << 40;
        QTest::newRow("not a database") << "header" << -1;
    }
    void repairReloadsWhatIsReadableAndKeepsTheDamagedFile()
    {
        QFETCH(QString, damage);
        QFETCH(int, notesAfter);
        const QString path = Database::defaultDatabasePath();
        int page = 0;
        {
            Database db;
            QVERIFY(db.open(path) && db.migrate());
            for (int i = 0; i < 40; ++i)
                QVERIFY(StorageFixture::addNoteRow(db, StorageFixture::newId()));
            page = scalar(db, "SELECT rootpage FROM sqlite_master WHERE type = 'index' AND tbl_name = 'notes' LIMIT 1").toInt();
            QVERIFY(page > 1);
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(damage == "index" ? qint64(page - 1) * 4096 : 0);
        file.write(QByteArray(64, '\x7f'));
        file.close();
        QVERIFY(!StorageHealth::quickCheck(path).isEmpty());

        const DatabaseRepair::Outcome outcome = DatabaseRepair::repair(path);
        QCOMPARE(outcome.ok, notesAfter >= 0);
        if (!outcome.ok) {
            QVERIFY(!StorageHealth::quickCheck(path).isEmpty());
            return;
        }
        QVERIFY(QFile::exists(outcome.keptDamaged));
        QVERIFY(StorageHealth::quickCheck(path).isEmpty());
        QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        Database db;
        QVERIFY(db.open(path) && db.migrate());
        QCOMPARE(scalar(db, "SELECT COUNT(*) FROM notes").toInt(), notesAfter);
        NoteRepository notes(&db);
        QCOMPARE(notes.allNotes().size(), notesAfter);
    }
};

VELM_TEST_CORE_MAIN(TestDatabase)
#include "tst_database.moc"
