#include "database.h"

#include "bodybackfill.h"
#include "logcheckpointer.h"
#include "migrationsteps.h"

#include "privatefiles.h"
#include "storagehealth.h"
#include "storagelog.h"

#include <QDir>
#include <QMutex>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUuid>

namespace {

using namespace MigrationSteps;

QString newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

Database::Database(QObject *parent)
    : QObject(parent)
    , m_connectionName(newUuid())
    , m_fillLock(std::make_shared<QMutex>())
{
}

Database::~Database()
{
    m_checkpointer.reset();
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
    pragma.exec("PRAGMA foreign_keys=ON");
    // Some builds of SQLite (Debian's among them) zero every page a delete
    // frees, which writes a long note's whole old body again at each save and
    // each purge: FAST zeroes deleted content only on pages written anyway.
    if (!pragma.exec("PRAGMA secure_delete=FAST"))
        qCWarning(lcStorage).noquote() << "Could not set how deletes clear pages:" << pragma.lastError().text();
    if (!m_readOnly) {
        // It also gives back what a large write made the log grow to.
        m_checkpointer = std::make_unique<LogCheckpointer>(path, m_fillLock);
        const QVariant handle = m_db.driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") != 0
            || !m_checkpointer->attach(*static_cast<void *const *>(handle.constData()))) {
            // SQLite's own checkpoint stays, and the commit that starts the log over cuts it back.
            m_checkpointer.reset();
            pragma.exec(QStringLiteral("PRAGMA journal_size_limit=%1").arg(LogCheckpointer::kKeptLogBytes));
        }
    }
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
    if (m_checkpointer)
        m_checkpointer->setFrames(64);
    else
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

void Database::setBulkJobRunning(bool running)
{
    if (std::exchange(m_bulkJob, running) == running)
        return;
    if (m_db.isOpen())
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(running ? 0 : kBusyTimeoutMs));
    emit bulkJobChanged(running);
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
    if (version < 8) {
        qCInfo(lcStorage) << "Running migration 8: texts filled in the background";
        if (!runSteps(kMigration8, 8) || !storeVersion(8)) {
            emit migrationError(8, QStringLiteral("Failed to list the notes whose texts are due"));
            return false;
        }
        emit migrationApplied(8, QStringLiteral("texts filled in the background"));
    }
    if (version < 9) {
        qCInfo(lcStorage) << "Running migration 9: account index";
        if (!runSteps(kMigration9, 9) || !storeVersion(9)) {
            emit migrationError(9, QStringLiteral("Failed to index the notes' accounts"));
            return false;
        }
        emit migrationApplied(9, QStringLiteral("account index"));
    }
    if (version < 10) {
        qCInfo(lcStorage) << "Running migration 10: prepared search texts";
        if (!runSteps(kMigration10, 10) || !storeVersion(10)) {
            emit migrationError(10, QStringLiteral("Failed to keep the prepared search texts"));
            return false;
        }
        emit migrationApplied(10, QStringLiteral("prepared search texts"));
    }
    // What the migrations above left empty is made from each body after
    // start-up (BodyBackfill), a batch at a time; until then the notes wait
    // here, listed in this transaction so a kill at any point resumes.
    if (version < 7) {
        QSqlQuery pending(m_db);
        if (!pending.exec(QString::fromLatin1(kAllTextsPending))) {
            qCCritical(lcStorage).noquote() << "Listing the notes whose texts are due:" << pending.lastError().text();
            return false;
        }
    }
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

bool Database::migrateToV3()
{
    // Runs inside migrate()'s transaction, as a step of its own; the texts
    // themselves are filled after start-up (see runMigrations).
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
