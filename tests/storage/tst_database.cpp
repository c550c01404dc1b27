#include "velmtest.h"

#include "database.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

class TestDatabase : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_dataDir;

    // A connection outside Database, for building and inspecting files by hand.
    static QSqlDatabase rawConnection(const QString &path)
    {
        const QString name = QUuid::createUuid().toString();
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        db.open();
        return db;
    }
    static void dropConnection(QSqlDatabase &db)
    {
        const QString name = db.connectionName();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    static QVariant scalar(const QSqlDatabase &db, const QString &sql)
    {
        QSqlQuery q(db);
        if (!q.exec(sql) || !q.next())
            return {};
        return q.value(0);
    }

private slots:
    void init()
    {
        m_dataDir = m_dir.path() + "/" + QUuid::createUuid().toString(QUuid::WithoutBraces);
        qputenv("NOTES_DATA_DIR", m_dataDir.toUtf8());
    }

    void freshDirectoryEndsAtVersionTwoWithNamedFile()
    {
        const QString path = Database::defaultDatabasePath();
        QFile idFile(m_dataDir + "/client_id");
        QVERIFY(idFile.open(QIODevice::ReadOnly));
        const QString id = QString::fromUtf8(idFile.readAll());
        QCOMPARE(id.size(), 36);
        QVERIFY(!QUuid::fromString(id).isNull());
        QCOMPARE(path, m_dataDir + "/velmora_notes_" + id + ".db");

        {
            Database db;
            QSignalSpy applied(&db, &Database::migrationApplied);
            QVERIFY(db.open(path));
            QVERIFY(db.migrate());
            QCOMPARE(applied.size(), 2);
            QCOMPARE(applied.at(0).at(0).toInt(), 1);
            QCOMPARE(applied.at(1).at(1).toString(), QString("drop default notebook + FK"));
            QCOMPARE(scalar(db.database(), "SELECT COUNT(*) FROM schema_version").toInt(), 1);
            QCOMPARE(scalar(db.database(), "SELECT version FROM schema_version").toInt(), 2);
            QCOMPARE(scalar(db.database(), "PRAGMA foreign_keys").toInt(), 1);
            // Every table of the schema exists.
            for (const char *table : {"notebooks", "notes", "notes_fts", "note_operations", "note_snapshots",
                                      "attachments", "sync_queue", "tasks", "note_task_settings", "preferences"}) {
                QVERIFY2(scalar(db.database(), QString("SELECT COUNT(*) FROM sqlite_master WHERE name = '%1'")
                                                   .arg(table))
                                 .toInt()
                             == 1,
                         table);
            }
        }
        QVERIFY(QFile::exists(path));
        // The id is stable across calls.
        QCOMPARE(Database::installationId(), id);
    }

    void versionOneDatabaseIsMigrated()
    {
        const QString path = m_dataDir + "/old.db";
        QDir().mkpath(m_dataDir);
        {
            QSqlDatabase raw = rawConnection(path);
            QSqlQuery q(raw);
            const QStringList setup = {
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
                "INSERT INTO notebooks (id, name, is_default, created_at, updated_at) VALUES ('nb-default', 'Default', 1, 't', 't')",
                "INSERT INTO notebooks (id, name, is_default, created_at, updated_at) VALUES ('nb-work', 'Work', 0, 't', 't')",
                "INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at) VALUES ('n1', 'nb-default', 'alpha', 't', 't', 't')",
                "INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at) VALUES ('n2', 'nb-default', 'bravo', 't', 't', 't')",
                "INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at) VALUES ('n3', 'nb-work', 'charlie', 't', 't', 't')",
            };
            for (const QString &sql : setup)
                QVERIFY2(q.exec(sql), qPrintable(sql));
            q.finish();
            dropConnection(raw);
        }

        Database db;
        QSignalSpy applied(&db, &Database::migrationApplied);
        QVERIFY(db.open(path));
        QVERIFY(db.migrate());
        QCOMPARE(applied.size(), 1);
        QCOMPARE(applied.at(0).at(0).toInt(), 2);

        const QSqlDatabase sql = db.database();
        QCOMPARE(scalar(sql, "SELECT version FROM schema_version").toInt(), 2);
        QCOMPARE(scalar(sql, "SELECT COUNT(*) FROM notes WHERE notebook_id = ''").toInt(), 2);
        QCOMPARE(scalar(sql, "SELECT notebook_id FROM notes WHERE id = 'n3'").toString(), QString("nb-work"));
        QCOMPARE(scalar(sql, "SELECT COUNT(*) FROM notebooks").toInt(), 1);
        QCOMPARE(scalar(sql, "SELECT COUNT(*) FROM notebooks WHERE is_default = 1").toInt(), 0);
        for (const char *word : {"alpha", "bravo", "charlie"}) {
            QCOMPARE(scalar(sql, QString("SELECT COUNT(*) FROM notes_fts WHERE notes_fts MATCH '%1'").arg(word)).toInt(), 1);
        }
        // The rebuilt table has no foreign key to notebooks any more.
        QSqlQuery fk(sql);
        QVERIFY(fk.exec("PRAGMA foreign_key_list(notes)"));
        QVERIFY(!fk.next());
        // The triggers keep the index after the rebuild.
        QSqlQuery insert(sql);
        QVERIFY(insert.exec("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at)"
                            " VALUES ('n4', 'gone', 'delta', 't', 't', 't')"));
        QCOMPARE(scalar(sql, "SELECT COUNT(*) FROM notes_fts WHERE notes_fts MATCH 'delta'").toInt(), 1);
    }

    void currentVersionRunsNoMigration()
    {
        const QString path = Database::defaultDatabasePath();
        {
            Database first;
            QVERIFY(first.open(path));
            QVERIFY(first.migrate());
        }
        Database db;
        QSignalSpy applied(&db, &Database::migrationApplied);
        QSignalSpy failed(&db, &Database::migrationError);
        QVERIFY(db.open(path));
        QVERIFY(db.migrate());
        QCOMPARE(applied.size(), 0);
        QCOMPARE(failed.size(), 0);
        QCOMPARE(scalar(db.database(), "SELECT COUNT(*) FROM schema_version").toInt(), 1);
    }

    void negativeVersionFailsWithoutTouchingTables()
    {
        QDir().mkpath(m_dataDir);
        const QString path = m_dataDir + "/negative.db";
        {
            QSqlDatabase raw = rawConnection(path);
            QSqlQuery q(raw);
            QVERIFY(q.exec("CREATE TABLE schema_version (version INTEGER NOT NULL DEFAULT 0)"));
            QVERIFY(q.exec("INSERT INTO schema_version VALUES (-1)"));
            q.finish();
            dropConnection(raw);
        }
        Database db;
        QVERIFY(db.open(path));
        QVERIFY(!db.migrate());
        QCOMPARE(scalar(db.database(), "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'").toInt(), 1);
        QCOMPARE(scalar(db.database(), "SELECT version FROM schema_version").toInt(), -1);
    }

    void installationIdIsTrimmed()
    {
        QDir().mkpath(m_dataDir);
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QFile file(m_dataDir + "/client_id");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\n\n  " + id.toUtf8() + "  \n\n");
        file.close();
        QCOMPARE(Database::installationId(), id);
        QVERIFY(Database::defaultDatabasePath().endsWith("/velmora_notes_" + id + ".db"));
    }

    void blankInstallationIdIsReplaced()
    {
        QDir().mkpath(m_dataDir);
        QFile file(m_dataDir + "/client_id");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(" \n\t\n");
        file.close();
        const QString id = Database::installationId();
        QCOMPARE(id.size(), 36);
        QCOMPARE(Database::installationId(), id);
    }

    void nestedDataDirectoryIsCreated()
    {
        const QString nested = m_dataDir + "/a/b/c";
        qputenv("NOTES_DATA_DIR", nested.toUtf8());
        QCOMPARE(Database::dataDirectory(), nested);
        QVERIFY(QDir(nested).exists());
        QCOMPARE(Database::attachmentsDirectory(), nested + "/attachments");
        QVERIFY(QDir(nested + "/attachments").exists());
        Database db;
        QVERIFY(db.open(Database::defaultDatabasePath()));
        QVERIFY(db.migrate());
        QVERIFY(QFileInfo(Database::defaultDatabasePath()).absolutePath() == nested);
    }

    void unopenablePathFails()
    {
        QDir().mkpath(m_dataDir);
        // A directory where the file should be cannot be opened as a database.
        const QString path = m_dataDir + "/isadir.db";
        QDir().mkpath(path);
        Database db;
        QVERIFY(!db.open(path));
    }
};

VELM_TEST_CORE_MAIN(TestDatabase)
#include "tst_database.moc"
