#include "database.h"

#include "privatefiles.h"
#include "storagehealth.h"
#include "storagelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUuid>

namespace {

const char *const kVersionTable = "CREATE TABLE IF NOT EXISTS schema_version (  version INTEGER NOT NULL DEFAULT 0)";

const char *const kNotesTable =
    "CREATE TABLE IF NOT EXISTS notes (  id          TEXT PRIMARY KEY,  notebook_id TEXT NOT NULL DEFAULT '',  body        TEXT NOT NULL DEFAULT '',  created_at  TEXT NOT NULL,  updated_at  TEXT NOT NULL,  modified_at TEXT NOT NULL,  deleted_at  TEXT,  version     INTEGER NOT NULL DEFAULT 1,  op_version  INTEGER NOT NULL DEFAULT 0,  sync_status TEXT NOT NULL DEFAULT 'pending',  is_sample   INTEGER NOT NULL DEFAULT 0,  owner_id    TEXT,  is_shared   INTEGER NOT NULL DEFAULT 0,  permission  TEXT)";
const char *const kIdxNotebookId = "CREATE INDEX IF NOT EXISTS idx_notes_notebook_id ON notes(notebook_id)";
const char *const kIdxUpdatedAt = "CREATE INDEX IF NOT EXISTS idx_notes_updated_at ON notes(updated_at)";
const char *const kIdxModifiedAt = "CREATE INDEX IF NOT EXISTS idx_notes_modified_at ON notes(modified_at)";
const char *const kIdxDeletedAt = "CREATE INDEX IF NOT EXISTS idx_notes_deleted_at ON notes(deleted_at)";
const char *const kIdxSyncStatus = "CREATE INDEX IF NOT EXISTS idx_notes_sync_status ON notes(sync_status)";
const char *const kTriggerAi =
    "CREATE TRIGGER IF NOT EXISTS notes_ai AFTER INSERT ON notes BEGIN  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);END";
const char *const kTriggerAd =
    "CREATE TRIGGER IF NOT EXISTS notes_ad AFTER DELETE ON notes BEGIN  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);END";
const char *const kTriggerAu =
    "CREATE TRIGGER IF NOT EXISTS notes_au AFTER UPDATE ON notes BEGIN  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);END";

const char *const kMigration1[] = {
    "CREATE TABLE IF NOT EXISTS notebooks (  id          TEXT PRIMARY KEY,  name        TEXT NOT NULL,  is_default  INTEGER NOT NULL DEFAULT 0,  is_shared   INTEGER NOT NULL DEFAULT 0,  owner_id    TEXT,  created_at  TEXT NOT NULL,  updated_at  TEXT NOT NULL,  deleted_at  TEXT,  version     INTEGER NOT NULL DEFAULT 1,  sync_status TEXT NOT NULL DEFAULT 'pending')",
    "CREATE INDEX IF NOT EXISTS idx_notebooks_deleted_at ON notebooks(deleted_at)",
    "CREATE INDEX IF NOT EXISTS idx_notebooks_sync_status ON notebooks(sync_status)",
    kNotesTable,
    kIdxNotebookId,
    kIdxUpdatedAt,
    kIdxModifiedAt,
    kIdxDeletedAt,
    kIdxSyncStatus,
    "CREATE VIRTUAL TABLE IF NOT EXISTS notes_fts USING fts5(  body,  content='notes',  content_rowid='rowid')",
    kTriggerAi,
    kTriggerAd,
    kTriggerAu,
    "CREATE TABLE IF NOT EXISTS note_operations (  id              TEXT PRIMARY KEY,  note_id         TEXT NOT NULL REFERENCES notes(id),  base_version    INTEGER NOT NULL,  result_version  INTEGER NOT NULL,  operation       TEXT NOT NULL,  created_at      TEXT NOT NULL,  synced          INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS idx_note_operations_version ON note_operations(note_id, result_version)",
    "CREATE INDEX IF NOT EXISTS idx_note_operations_synced ON note_operations(synced)",
    "CREATE TABLE IF NOT EXISTS note_snapshots (  id          TEXT PRIMARY KEY,  note_id     TEXT NOT NULL REFERENCES notes(id),  version     INTEGER NOT NULL,  body        TEXT NOT NULL,  created_at  TEXT NOT NULL,  UNIQUE(note_id, version))",
    "CREATE INDEX IF NOT EXISTS idx_note_snapshots_version ON note_snapshots(note_id, version DESC)",
    "CREATE TABLE IF NOT EXISTS attachments (  id          TEXT PRIMARY KEY,  note_id     TEXT NOT NULL REFERENCES notes(id),  filename    TEXT NOT NULL,  mime_type   TEXT NOT NULL,  size_bytes  INTEGER NOT NULL,  created_at  TEXT NOT NULL,  sync_status TEXT NOT NULL DEFAULT 'pending')",
    "CREATE INDEX IF NOT EXISTS idx_attachments_note_id ON attachments(note_id)",
    "CREATE TABLE IF NOT EXISTS sync_queue (  id          INTEGER PRIMARY KEY AUTOINCREMENT,  entity_type TEXT NOT NULL,  entity_id   TEXT NOT NULL,  action      TEXT NOT NULL,  payload     TEXT,  created_at  TEXT NOT NULL,  attempts    INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS idx_sync_queue_entity ON sync_queue(entity_type, entity_id)",
    "CREATE TABLE IF NOT EXISTS tasks (  id              TEXT PRIMARY KEY,  note_id         TEXT NOT NULL REFERENCES notes(id),  text            TEXT NOT NULL,  is_completed    INTEGER NOT NULL DEFAULT 0,  source          TEXT NOT NULL,  line_index      INTEGER NOT NULL,  char_offset     INTEGER NOT NULL,  due_date        TEXT,  due_date_phrase TEXT,  extracted_at    TEXT NOT NULL,  note_updated_at TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_note_id ON tasks(note_id)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_completed ON tasks(is_completed)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_due_date ON tasks(due_date)",
    "CREATE TABLE IF NOT EXISTS note_task_settings (  note_id          TEXT PRIMARY KEY REFERENCES notes(id),  include_in_todos INTEGER NOT NULL DEFAULT 1)",
    "CREATE TABLE IF NOT EXISTS preferences (  key   TEXT PRIMARY KEY,  value TEXT)",
};

struct Step
{
    const char *label;
    const char *statement;
};

const Step kMigration2[] = {
    {"create notes_new",
     "CREATE TABLE notes_new (  id          TEXT PRIMARY KEY,  notebook_id TEXT NOT NULL DEFAULT '',  body        TEXT NOT NULL DEFAULT '',  created_at  TEXT NOT NULL,  updated_at  TEXT NOT NULL,  modified_at TEXT NOT NULL,  deleted_at  TEXT,  version     INTEGER NOT NULL DEFAULT 1,  op_version  INTEGER NOT NULL DEFAULT 0,  sync_status TEXT NOT NULL DEFAULT 'pending',  is_sample   INTEGER NOT NULL DEFAULT 0,  owner_id    TEXT,  is_shared   INTEGER NOT NULL DEFAULT 0,  permission  TEXT)"},
    {"copy notes",
     "INSERT INTO notes_new SELECT id,   CASE WHEN notebook_id IN (SELECT id FROM notebooks WHERE is_default = 1)        THEN '' ELSE notebook_id END,   body, created_at, updated_at, modified_at, deleted_at,   version, op_version, sync_status, is_sample, owner_id, is_shared, permission FROM notes"},
    {"drop trigger ai", "DROP TRIGGER IF EXISTS notes_ai"},
    {"drop trigger ad", "DROP TRIGGER IF EXISTS notes_ad"},
    {"drop trigger au", "DROP TRIGGER IF EXISTS notes_au"},
    {"drop notes", "DROP TABLE notes"},
    {"rename notes_new", "ALTER TABLE notes_new RENAME TO notes"},
    {"idx notebook_id", kIdxNotebookId},
    {"idx updated_at", kIdxUpdatedAt},
    {"idx modified_at", kIdxModifiedAt},
    {"idx deleted_at", kIdxDeletedAt},
    {"idx sync_status", kIdxSyncStatus},
    {"trigger ai", kTriggerAi},
    {"trigger ad", kTriggerAd},
    {"trigger au", kTriggerAu},
    {"fts rebuild", "INSERT INTO notes_fts(notes_fts) VALUES('rebuild')"},
    {"delete default", "DELETE FROM notebooks WHERE is_default = 1"},
};

// Migration 3 ("plain-text search"): the index holds what a reader sees, not
// the markup of the stored format, and no longer follows the table through
// triggers: the repositories write it with each note.
const Step kMigration3[] = {
    {"drop trigger ai", "DROP TRIGGER IF EXISTS notes_ai"},
    {"drop trigger ad", "DROP TRIGGER IF EXISTS notes_ad"},
    {"drop trigger au", "DROP TRIGGER IF EXISTS notes_au"},
    {"drop fts", "DROP TABLE IF EXISTS notes_fts"},
    {"create fts", "CREATE VIRTUAL TABLE notes_fts USING fts5(text)"},
    {"add title", "ALTER TABLE notes ADD COLUMN title TEXT NOT NULL DEFAULT ''"},
    {"add preview", "ALTER TABLE notes ADD COLUMN preview TEXT NOT NULL DEFAULT ''"},
};

// Migration 4 ("list index and to-do cache"): the lists read their rows from
// one covering index in date order, never from the table, whose rows hold the
// bodies; each note's to-dos are kept beside it, written with the note. A note
// without a note_todos row has not been read for to-dos yet.
const Step kMigration4[] = {
    {"list index", "CREATE INDEX IF NOT EXISTS idx_notes_list ON notes(deleted_at, updated_at, id, notebook_id, "
                   "sync_status, is_shared, title, preview)"},
    {"to-do cache", "CREATE TABLE IF NOT EXISTS note_todos (  note_id TEXT PRIMARY KEY REFERENCES notes(id),  "
                    "tasks   TEXT NOT NULL)"},
};

// Migration 5 ("merge bases"): the body the server last confirmed for each
// note, the common ancestor when an edit here meets one made elsewhere. Kept
// apart from notes so list and editor reads never carry it. A synced note's
// current body is its base.
const Step kMigration5[] = {
    {"merge bases", "CREATE TABLE IF NOT EXISTS note_bases (  note_id TEXT PRIMARY KEY REFERENCES notes(id),  "
                    "version INTEGER NOT NULL,  body    TEXT NOT NULL)"},
    {"synced bodies", "INSERT OR REPLACE INTO note_bases (note_id, version, body) "
                      "SELECT id, version, body FROM notes WHERE sync_status = 'synced'"},
};

// Migration 6 ("account binding"): which account each note, notebook and
// unsent purge belongs with. Empty is the account the database is bound to
// now; another account's rows wait here and are never sent to this one.
const Step kMigration6[] = {
    {"note account", "ALTER TABLE notes ADD COLUMN account TEXT NOT NULL DEFAULT ''"},
    {"notebook account", "ALTER TABLE notebooks ADD COLUMN account TEXT NOT NULL DEFAULT ''"},
    {"purge account", "ALTER TABLE sync_queue ADD COLUMN account TEXT NOT NULL DEFAULT ''"},
};

// Migration 7 ("kept to-dos and counts"): one row per to-do, written with
// its note's body, so the to-do screen reads a page of an index instead of
// every note; and the per-notebook counts kept by triggers, so the sidebar
// costs the same at any size. text_key is the folded text that sorts and
// filters; note_title, note_updated_at and live copy the note's, so a page
// never reads a note row (which holds the body).
const Step kMigration7[] = {
    {"drop to-do cache", "DROP TABLE IF EXISTS note_todos"},
    {"to-do items", "CREATE TABLE IF NOT EXISTS todo_items (  note_id         TEXT NOT NULL REFERENCES notes(id),  "
                    "line_index      INTEGER NOT NULL,  char_offset     INTEGER NOT NULL,  source          INTEGER "
                    "NOT NULL,  is_completed    INTEGER NOT NULL,  text            TEXT NOT NULL,  text_key        "
                    "TEXT NOT NULL,  note_title      TEXT NOT NULL,  note_updated_at TEXT NOT NULL,  live            "
                    "INTEGER NOT NULL,  PRIMARY KEY (note_id, line_index)) WITHOUT ROWID"},
    {"to-dos by date", "CREATE INDEX IF NOT EXISTS idx_todo_items_updated ON todo_items(live, is_completed, "
                       "note_updated_at DESC, note_id DESC, line_index)"},
    {"to-dos by text", "CREATE INDEX IF NOT EXISTS idx_todo_items_text ON todo_items(live, is_completed, text_key, "
                       "note_id, line_index)"},
    {"to-dos follow their note",
     "CREATE TRIGGER IF NOT EXISTS todo_items_note AFTER UPDATE OF deleted_at, updated_at, title ON notes "
     "WHEN (old.deleted_at IS NULL) != (new.deleted_at IS NULL) OR old.updated_at IS NOT new.updated_at "
     "OR old.title IS NOT new.title BEGIN  "
     "UPDATE todo_items SET live = (new.deleted_at IS NULL), note_updated_at = new.updated_at, "
     "note_title = COALESCE(new.title, '') WHERE note_id = new.id;END"},
    {"note counts", "CREATE TABLE IF NOT EXISTS note_counts (  notebook_id TEXT PRIMARY KEY,  live        INTEGER NOT "
                    "NULL DEFAULT 0,  trashed     INTEGER NOT NULL DEFAULT 0)"},
    {"count inserts",
     "CREATE TRIGGER IF NOT EXISTS notes_count_ai AFTER INSERT ON notes BEGIN  "
     "INSERT INTO note_counts (notebook_id, live, trashed) VALUES (new.notebook_id, new.deleted_at IS NULL, "
     "new.deleted_at IS NOT NULL) ON CONFLICT(notebook_id) DO UPDATE SET live = live + excluded.live, "
     "trashed = trashed + excluded.trashed;END"},
    {"count deletes",
     "CREATE TRIGGER IF NOT EXISTS notes_count_ad AFTER DELETE ON notes BEGIN  "
     "UPDATE note_counts SET live = live - (old.deleted_at IS NULL), trashed = trashed - (old.deleted_at IS NOT "
     "NULL) WHERE notebook_id = old.notebook_id;END"},
    {"count moves",
     "CREATE TRIGGER IF NOT EXISTS notes_count_au AFTER UPDATE OF notebook_id, deleted_at ON notes "
     "WHEN old.notebook_id IS NOT new.notebook_id OR (old.deleted_at IS NULL) != (new.deleted_at IS NULL) BEGIN  "
     "UPDATE note_counts SET live = live - (old.deleted_at IS NULL), trashed = trashed - (old.deleted_at IS NOT "
     "NULL) WHERE notebook_id = old.notebook_id;  "
     "INSERT INTO note_counts (notebook_id, live, trashed) VALUES (new.notebook_id, new.deleted_at IS NULL, "
     "new.deleted_at IS NOT NULL) ON CONFLICT(notebook_id) DO UPDATE SET live = live + excluded.live, "
     "trashed = trashed + excluded.trashed;END"},
    {"fill counts", "INSERT OR REPLACE INTO note_counts (notebook_id, live, trashed) SELECT notebook_id, "
                    "SUM(deleted_at IS NULL), SUM(deleted_at IS NOT NULL) FROM notes GROUP BY notebook_id"},
};

QString newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

Database::Database(QObject *parent)
    : QObject(parent)
    , m_connectionName(newUuid())
{
}

Database::~Database()
{
    if (m_db.isOpen())
        m_db.close();
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

QString Database::dataDirectory()
{
    const QByteArray env = qgetenv("NOTES_DATA_DIR");
    if (!env.isEmpty()) {
        const QString path = QString::fromUtf8(env);
        PrivateFiles::ensureFolder(path);
        return path;
    }
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Velmora/Notes";
    // Earlier builds made it readable by everyone.
    PrivateFiles::ensureFolder(path, true);
    return path;
}

namespace {

QStringList s_replacedDatabases;
QString s_emptiedDatabase;

// The id names the database file, so only a plain UUID is taken from the file.
bool isInstallationId(const QString &text)
{
    return text.size() == 36 && !QUuid::fromString(text).isNull();
}

} // namespace

QString Database::installationId()
{
    const QString folder = dataDirectory();
    const QString path = folder + "/client_id";
    const QString id = newUuid();
    for (int attempt = 0; attempt < 3; ++attempt) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            const QString stored = QString::fromUtf8(file.read(4096)).trimmed();
            if (isInstallationId(stored))
                return stored;
            file.close();
            if (!stored.isEmpty())
                qCWarning(lcStorage) << "client_id does not hold an installation id; making a new one";
            QFile::remove(path);
        }
        // Written whole under another name and moved into place only if no
        // other process got there first; the loser reads the winner's id.
        QTemporaryFile temporary(folder + "/client_id.XXXXXX");
        if (!temporary.open() || temporary.write(id.toUtf8()) != id.toUtf8().size() || !temporary.flush())
            break;
        if (temporary.rename(path)) {
            temporary.setAutoRemove(false);
            const QStringList earlier = QDir(folder).entryList({QStringLiteral("velmora_notes_*.db")}, QDir::Files);
            s_replacedDatabases = earlier;
            if (!earlier.isEmpty()) {
                qCWarning(lcStorage).noquote() << "New installation id" << id << "while earlier databases exist:"
                                               << earlier.join(", ");
            }
            return id;
        }
    }
    return id;
}

QStringList Database::replacedDatabases()
{
    return s_replacedDatabases;
}

QString Database::emptiedDatabase()
{
    return s_emptiedDatabase;
}

QString Database::defaultDatabasePath()
{
    return dataDirectory() + QStringLiteral("/velmora_notes_%1.db").arg(installationId());
}

QString Database::attachmentsDirectory()
{
    const QString path = dataDirectory() + "/attachments";
    PrivateFiles::ensureFolder(path);
    return path;
}

bool Database::open(const QString &path)
{
    PrivateFiles::ensureFolder(QFileInfo(path).absolutePath());
    // SQLite gives the journal files the mode of the database file.
    QFile file(path);
    // The installation id names this file, so an empty one was a database
    // once (cut short by a failed copy or a damaged disk): said before a new
    // schema fills it.
    if (file.exists() && file.size() == 0 && QFileInfo(path + QLatin1String("-wal")).size() == 0) {
        s_emptiedDatabase = path;
        qCWarning(lcStorage).noquote() << "Database file is empty (0 bytes); starting a new database in its place:"
                                       << path;
    }
    if (!file.exists() && file.open(QIODevice::NewOnly | QIODevice::WriteOnly, QFile::ReadOwner | QFile::WriteOwner))
        file.close();
    for (const char *suffix : {"", "-wal", "-shm"})
        PrivateFiles::restrictFile(path + QLatin1String(suffix));

    m_db = QSqlDatabase::addDatabase("QSQLITE", m_connectionName);
    m_db.setDatabaseName(path);
    if (m_readOnly)
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!m_db.open()) {
        qCCritical(lcStorage).noquote() << "Failed to open database:" << m_db.lastError().text();
        return false;
    }
    QSqlQuery pragma(m_db);
    pragma.exec("PRAGMA journal_mode=WAL");
    // In WAL mode a commit is in the log before it returns, so a crash of this
    // process loses nothing at NORMAL; FULL also syncs the log at each commit,
    // so what the window reports as saved survives a power cut or an OS crash.
    // One sync per commit: typing commits at most once a second, and bulk
    // writes run in one transaction.
    if (!pragma.exec("PRAGMA synchronous=FULL"))
        qCWarning(lcStorage).noquote() << "Could not make commits durable:" << pragma.lastError().text();
    // Once checkpointed, the log gives back what a large write made it grow
    // to instead of keeping it until the last connection closes.
    pragma.exec("PRAGMA journal_size_limit=1048576");
    pragma.exec("PRAGMA foreign_keys=ON");
    qCInfo(lcStorage).noquote() << "Database opened:" << path;
    return true;
}

QSqlDatabase Database::database() const
{
    const int failures = StorageHealth::diskFullFailures();
    if (failures != m_logReclaimedAt && reclaimLog())
        m_logReclaimedAt = failures;
    return m_db;
}

// A write that fails on a full disk leaves the write-ahead log grown, and only
// a checkpoint lets it start over: none runs before the log reaches its
// threshold, which on a nearly full disk it never does, so every later write
// would fail too. Inside a transaction this does nothing and is tried again.
bool Database::reclaimLog() const
{
    if (!m_db.isOpen())
        return false;
    QSqlQuery q(m_db);
    // Below its usual threshold the log no longer takes the last free bytes
    // and leaves none for the checkpoint.
    q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=64"));
    if (!q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) || !q.next() || q.value(0).toInt() != 0)
        return false;
    qCInfo(lcStorage) << "Write-ahead log checkpointed after a full disk";
    return true;
}

bool Database::commit()
{
    if (m_db.commit())
        return true;
    StorageHealth::reportFailure(m_db.lastError(), QStringLiteral("COMMIT"));
    m_db.rollback();
    return false;
}

bool Database::beginImmediate()
{
    // Takes the write lock at once, so two writers cannot both read first
    // and then fail (or interleave) on their writes.
    QSqlQuery q(m_db);
    if (q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return true;
    // The connection keeps no error of its own for this: "database is locked", a full disk.
    qCWarning(lcStorage).noquote() << "Cannot take the write lock:" << q.lastError().text();
    return false;
}

bool Database::migrate(const std::function<bool()> &alsoInTransaction)
{
    if (m_readOnly) {
        QSqlQuery version(m_db);
        const bool current = version.exec(QStringLiteral("SELECT version FROM schema_version LIMIT 1")) && version.next()
            && version.value(0).toInt() == currentVersion;
        if (!current)
            qCCritical(lcStorage).noquote() << "A read-only database needs a migration:" << version.lastError().text();
        return current;
    }
    // One transaction from reading the version to the last seeded row, so a
    // second process on the same file waits and then sees all of it or none.
    // Foreign keys can only be switched off outside a transaction.
    QSqlQuery pragma(m_db);
    pragma.exec("PRAGMA foreign_keys=OFF");
    bool ok = beginImmediate();
    if (!ok)
        qCCritical(lcStorage).noquote() << "Cannot begin the migration";
    if (ok) {
        ok = runMigrations() && (!alsoInTransaction || alsoInTransaction());
        if (ok && !m_db.commit()) {
            qCCritical(lcStorage).noquote() << "Migration commit failed:" << m_db.lastError().text();
            ok = false;
        }
        if (!ok)
            m_db.rollback();
    }
    pragma.exec("PRAGMA foreign_keys=ON");
    return ok;
}

bool Database::runMigrations()
{
    QSqlQuery query(m_db);
    if (!query.exec(kVersionTable)) {
        qCCritical(lcStorage) << "Failed to create schema_version table";
        return false;
    }
    if (!query.exec("SELECT version FROM schema_version LIMIT 1"))
        return false;
    int version = 0;
    if (query.next()) {
        version = query.value(0).toInt();
        if (version < 0)
            return false;
    } else {
        QSqlQuery insert(m_db);
        insert.exec("INSERT INTO schema_version (version) VALUES (0)");
    }
    query.finish();

    if (version < 1) {
        qCInfo(lcStorage) << "Running migration 1: initial schema";
        if (!runMigration1()) {
            emit migrationError(1, QStringLiteral("Failed to create initial schema"));
            return false;
        }
        if (!storeVersion(1))
            return false;
        emit migrationApplied(1, QStringLiteral("initial schema"));
    }
    if (version < 2) {
        qCInfo(lcStorage) << "Running migration 2: drop default notebook + FK on notes.notebook_id";
        if (!migrateToV2()) {
            emit migrationError(2, QStringLiteral("Failed to drop notebook FK"));
            return false;
        }
        if (!storeVersion(2))
            return false;
        emit migrationApplied(2, QStringLiteral("drop default notebook + FK"));
    }
    if (version < 3) {
        qCInfo(lcStorage) << "Running migration 3: plain-text search";
        if (!migrateToV3()) {
            emit migrationError(3, QStringLiteral("Failed to build the plain-text search index"));
            return false;
        }
        if (!storeVersion(3))
            return false;
        emit migrationApplied(3, QStringLiteral("plain-text search"));
    }
    const auto runSteps = [this](const auto &steps, int number) {
        if (!beginStep())
            return false;
        QSqlQuery step(m_db);
        for (const Step &each : steps) {
            if (!step.exec(QString::fromUtf8(each.statement))) {
                qCCritical(lcStorage).noquote() << "Migration" << number << each.label << step.lastError().text();
                undoStep();
                return false;
            }
        }
        return endStep();
    };
    if (version < 4) {
        qCInfo(lcStorage) << "Running migration 4: list index and to-do cache";
        if (!runSteps(kMigration4, 4) || !storeVersion(4)) {
            emit migrationError(4, QStringLiteral("Failed to create the list index"));
            return false;
        }
        emit migrationApplied(4, QStringLiteral("list index and to-do cache"));
    }
    if (version < 5) {
        qCInfo(lcStorage) << "Running migration 5: merge bases";
        if (!runSteps(kMigration5, 5) || !storeVersion(5)) {
            emit migrationError(5, QStringLiteral("Failed to keep the merge bases"));
            return false;
        }
        emit migrationApplied(5, QStringLiteral("merge bases"));
    }
    if (version < 6) {
        qCInfo(lcStorage) << "Running migration 6: account binding";
        if (!runSteps(kMigration6, 6) || !storeVersion(6)) {
            emit migrationError(6, QStringLiteral("Failed to bind notes to accounts"));
            return false;
        }
        emit migrationApplied(6, QStringLiteral("account binding"));
    }
    if (version < 7) {
        qCInfo(lcStorage) << "Running migration 7: kept to-dos and counts";
        if (!runSteps(kMigration7, 7) || !storeVersion(7)) {
            emit migrationError(7, QStringLiteral("Failed to keep the to-dos and counts"));
            return false;
        }
        emit migrationApplied(7, QStringLiteral("kept to-dos and counts"));
    }
    // One parse of each body fills whatever the migrations above left empty.
    if (version < 7 && !readBodies(version < 3, true))
        return false;
    qCInfo(lcStorage) << "Database at version" << currentVersion;
    return true;
}

bool Database::storeVersion(int version)
{
    QSqlQuery query(m_db);
    query.prepare("UPDATE schema_version SET version = ?");
    query.addBindValue(version);
    return query.exec();
}

bool Database::beginStep()
{
    return QSqlQuery(m_db).exec(QStringLiteral("SAVEPOINT migration_step"));
}

bool Database::endStep()
{
    return QSqlQuery(m_db).exec(QStringLiteral("RELEASE migration_step"));
}

void Database::undoStep()
{
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("ROLLBACK TO migration_step"));
    query.exec(QStringLiteral("RELEASE migration_step"));
}

bool Database::runMigration1()
{
    if (!beginStep())
        return false;
    QSqlQuery query(m_db);
    bool ok = true;
    for (const char *statement : kMigration1) {
        if (!query.exec(QString::fromUtf8(statement))) {
            ok = false;
            break;
        }
    }
    QString error;
    if (ok) {
        query.finish();
        ok = endStep();
        if (!ok)
            error = m_db.lastError().text();
    } else {
        error = query.lastError().text();
    }
    if (!ok) {
        qCCritical(lcStorage).noquote() << "Schema creation failed:" << error;
        undoStep();
        return false;
    }
    return true;
}

bool Database::migrateToV2()
{
    // Foreign keys are off for the whole migration (see migrate()).
    if (!beginStep())
        return false;
    QSqlQuery query(m_db);
    for (const Step &step : kMigration2) {
        if (!query.exec(QString::fromUtf8(step.statement))) {
            qCCritical(lcStorage).noquote() << "migrateToV2" << step.label << query.lastError().text();
            query.finish();
            undoStep();
            return false;
        }
    }
    query.finish();
    return endStep();
}

NoteText Database::noteText(const QString &body) const
{
    return m_textExtractor ? m_textExtractor(body) : NoteText{QString(), QString(), body, {}};
}

NoteTextExtractor Database::textExtractor() const
{
    if (m_textExtractor)
        return m_textExtractor;
    return [](const QString &body) { return NoteText{QString(), QString(), body, {}}; };
}

QString nonNullText(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

bool bindTodos(QSqlQuery &insert, const QString &noteId, const NoteText &text, const QString &updatedAt, bool live)
{
    for (const NoteTodo &todo : text.todos) {
        insert.bindValue(0, noteId);
        insert.bindValue(1, todo.lineIndex);
        insert.bindValue(2, todo.charOffset);
        insert.bindValue(3, todo.source);
        insert.bindValue(4, todo.completed ? 1 : 0);
        insert.bindValue(5, nonNullText(todo.text));
        insert.bindValue(6, todo.text.toCaseFolded());
        insert.bindValue(7, nonNullText(text.title));
        insert.bindValue(8, updatedAt);
        insert.bindValue(9, live ? 1 : 0);
        if (!insert.exec())
            return false;
    }
    return true;
}

bool Database::migrateToV3()
{
    // Runs inside migrate()'s transaction, as a step of its own; the texts
    // themselves come from readBodies() once every migration's tables exist.
    if (!beginStep())
        return false;
    QSqlQuery query(m_db);
    for (const Step &step : kMigration3) {
        if (!query.exec(QString::fromUtf8(step.statement))) {
            qCCritical(lcStorage).noquote() << "migrateToV3" << step.label << query.lastError().text();
            undoStep();
            return false;
        }
    }
    return endStep();
}

bool Database::readBodies(bool texts, bool todos)
{
    if (!beginStep())
        return false;
    const auto fail = [this](const char *label, const QSqlQuery &query) {
        qCCritical(lcStorage).noquote() << "Reading note bodies:" << label << query.lastError().text();
        undoStep();
        return false;
    };
    QSqlQuery query(m_db);
    if (!query.exec("SELECT COUNT(*) FROM notes") || !query.next())
        return fail("count", query);
    const qint64 total = query.value(0).toLongLong();
    query.finish();

    // The indexes and the trigger over what this fills are made again once it
    // is filled: building an index is one sort, keeping it meant a random
    // insertion per row, and a trigger per note. The transaction keeps it
    // all or nothing.
    QStringList remade;
    if (!query.exec(QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE name IN ('idx_notes_list', "
                                   "'idx_todo_items_updated', 'idx_todo_items_text', 'todo_items_note')")))
        return fail("read indexes", query);
    QStringList dropped;
    while (query.next()) {
        dropped << QStringLiteral("DROP %1 %2").arg(query.value(0).toString().toUpper(), query.value(1).toString());
        remade << query.value(2).toString();
    }
    for (const QString &statement : std::as_const(dropped)) {
        if (!query.exec(statement))
            return fail("drop index", query);
    }
    // A cache as large as the work while it runs: a small one spills the
    // transaction to the log over and over, and every later read of a
    // spilled page searches the log.
    if (!query.exec(QStringLiteral("PRAGMA cache_size")) || !query.next())
        return fail("cache size", query);
    const QString cacheSize = query.value(0).toString();
    query.finish();
    query.exec(QStringLiteral("PRAGMA cache_size=-262144"));
    const auto restoreCache = qScopeGuard([this, &cacheSize] {
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA cache_size=") + cacheSize);
    });

    // Without the texts only bodies that may hold a to-do are read; the
    // extractor decides, this only spares it the others.
    QString sql = QStringLiteral("SELECT n.rowid, n.id, n.body, n.deleted_at IS NULL, n.updated_at, %1 FROM notes n")
                      .arg(texts ? QStringLiteral("(SELECT group_concat(a.filename, char(10)) FROM attachments a "
                                                  "WHERE a.note_id = n.id)")
                                 : QStringLiteral("''"));
    if (!texts)
        sql += QStringLiteral(" WHERE instr(n.body, 'checked') OR n.body LIKE '%todo:%' OR n.body LIKE '%-%[%'");
    QSqlQuery rows(m_db);
    rows.setForwardOnly(true);
    if (!rows.exec(sql))
        return fail("read notes", rows);
    // Prepared once, bound per note.
    QSqlQuery setTexts(m_db);
    QSqlQuery index(m_db);
    QSqlQuery addTodo(m_db);
    if (texts && !setTexts.prepare("UPDATE notes SET title=?, preview=? WHERE rowid=?"))
        return fail("prepare texts", setTexts);
    if (texts && !index.prepare("INSERT INTO notes_fts(rowid, text) VALUES (?, ?)"))
        return fail("prepare index", index);
    if (todos && !addTodo.prepare(QString::fromLatin1(kInsertTodo)))
        return fail("prepare to-dos", addTodo);
    qint64 done = 0;
    qint64 nextReport = total / 10;
    while (rows.next()) {
        const qint64 rowid = rows.value(0).toLongLong();
        NoteText text = noteText(rows.value(2).toString());
        if (texts) {
            const QString names = rows.value(5).toString();
            if (!names.isEmpty())
                text.searchText += QLatin1Char('\n') + names;
            setTexts.bindValue(0, nonNullText(text.title));
            setTexts.bindValue(1, nonNullText(text.preview));
            setTexts.bindValue(2, rowid);
            if (!setTexts.exec())
                return fail("note texts", setTexts);
            index.bindValue(0, rowid);
            index.bindValue(1, nonNullText(text.searchText));
            if (!index.exec())
                return fail("index note", index);
        }
        if (todos && !bindTodos(addTodo, rows.value(1).toString(), text, rows.value(4).toString(),
                                 rows.value(3).toBool()))
            return fail("to-dos", addTodo);
        if (++done >= nextReport && total >= 1000) {
            qCInfo(lcStorage).noquote() << QStringLiteral("Note bodies read: %1 of %2").arg(done).arg(total);
            nextReport += total / 10;
        }
    }
    rows.finish();
    for (const QString &statement : std::as_const(remade)) {
        if (!query.exec(statement))
            return fail("make index", query);
    }
    return endStep() || fail("release", query);
}
