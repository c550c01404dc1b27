#pragma once

#include "bodybackfill.h"
#include "notetext.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <optional>

class LogCheckpointer;
class QMutex;
class QSqlQuery;

// Owns one named SQLite connection, the data directory and the schema.
// Repositories hold a plain pointer to it and must not outlive it.
class Database final : public QObject
{
    Q_OBJECT
public:
    explicit Database(QObject *parent = nullptr);
    ~Database() override;

    // Stateless helpers, usable without a Database object. Each creates the
    // directory it names when missing.
    static QString dataDirectory();
    // A UUID read from "client_id"; anything else there is replaced by a new one.
    static QString installationId();
    // Database files that sat in the data folder when this process had to
    // make a new installation id: the user's notes that are no longer shown.
    static QStringList replacedDatabases();
    // The database file this process found empty (0 bytes, no log) and
    // started afresh; empty when none.
    static QString emptiedDatabase();
    static QString defaultDatabasePath();
    static QString attachmentsDirectory();

    // Set before migrate(): the search index holds the text it gives. Without
    // one a body is indexed as it is stored. It must be a pure function of the
    // body: sync merges run it on a worker thread.
    void setTextExtractor(NoteTextExtractor extractor) { m_textExtractor = std::move(extractor); }
    NoteText noteText(const QString &body) const;
    // The extractor in use (the default one when none was set), to run away from the database.
    NoteTextExtractor textExtractor() const;

    // Set before open(): the file is opened read-only (a damaged database is
    // never written to), and migrate() only checks that no migration is due.
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }
    bool open(const QString &path);
    // Runs the pending migrations and then alsoInTransaction in one write
    // transaction; a failure of either rolls back both.
    bool migrate(const std::function<bool()> &alsoInTransaction = {});
    // BEGIN IMMEDIATE: the write lock is taken before anything is read.
    bool beginImmediate();

    // After a write failed on a full disk, first the checkpoint that lets the
    // write-ahead log start over (see reclaimLog).
    QSqlDatabase database() const;
    // Commits the transaction open on the connection; a failure is logged
    // with its cause and rolled back.
    bool commit();
    QString connectionName() const { return m_connectionName; }
    // Copies the write-ahead log into the file away from this thread; null when read-only or closed.
    LogCheckpointer *checkpointer() const { return m_checkpointer.get(); }

    static constexpr int currentVersion = 10;
    // How long a write waits for another connection's lock (the driver's default).
    static constexpr int kBusyTimeoutMs = 5000;

    // While an import or restore writes through a connection of its own, that
    // connection holds the write lock: other writers here wait until it ends,
    // and one that does not is refused at once instead of blocking the thread.
    void setBulkJobRunning(bool running);
    bool bulkJobRunning() const { return m_bulkJob; }

    // Held by the background fill (NoteTextFill) while it writes through its
    // own connection. A writer here that must not wait on it, a sync slice on
    // the GUI thread, tries it first and comes back later when it is taken.
    std::shared_ptr<QMutex> fillLock() const { return m_fillLock; }
    // Before open(): another connection's lock, for a connection of the fill's own.
    void shareFillLock(std::shared_ptr<QMutex> lock) { m_fillLock = std::move(lock); }
    // Notes were listed (note_texts_pending) for the background fill to write
    // their search rows: written, not committed yet. Connect queued.
    void noteTextsQueued() { emit textsQueued(); }

signals:
    void bulkJobChanged(bool running);
    void textsQueued();
    void migrationApplied(int version, const QString &name);
    void migrationError(int version, const QString &error);

private:
    bool runMigrations();
    bool beginStep();
    bool endStep();
    void undoStep();
    bool runMigration1();
    bool migrateToV2();
    bool migrateToV3();
    bool storeVersion(int version);
    bool reclaimLog() const;

    QString m_connectionName;
    QSqlDatabase m_db;
    bool m_readOnly = false;
    bool m_bulkJob = false;
    mutable int m_logReclaimedAt = 0;
    std::unique_ptr<LogCheckpointer> m_checkpointer;
    std::shared_ptr<QMutex> m_fillLock;
    NoteTextExtractor m_textExtractor;
};
