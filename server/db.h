#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>

namespace VelmServer {

// The store behind every route: SQLite under the data folder or PostgreSQL.
// Each worker thread gets its own connection, opened on first use.
class Db
{
public:
    enum class Kind { Sqlite, Postgres };
    // The PostgreSQL channel of cursor moves; payload "<user id> <stamp>".
    static constexpr const char *feedChannel = "velmora_feed";

    // url empty: SQLite file in dataDir. Runs the migrations before returning.
    static std::unique_ptr<Db> open(const QString &dataDir, const QString &url, QString *error);
    ~Db();

    Kind kind() const { return m_kind; }
    QSqlDatabase conn();

    // Prepares and runs sql with positional values; logs and returns false on failure.
    bool run(QSqlQuery &q, const QString &sql, std::initializer_list<QVariant> values = {});
    // As above with a list built at run time (multi-row statements).
    bool run(QSqlQuery &q, const QString &sql, const QVariantList &values);
    QSqlQuery query();
    // The back ends' differences in SQL, kept here so that no statement
    // elsewhere asks which one it runs on.
    // Appended to a SELECT inside a write transaction: locks the rows read
    // until commit (SQLite's write transaction holds the whole file anyway).
    QString lockRows() const;
    // "(?, ?, ?), (?, ?, ?)": rows × columns placeholders for a multi-row VALUES.
    static QString valueRows(int rows, int columns);
    // Rows per multi-row statement: few distinct statements, each prepared once.
    static constexpr int chunkRows = 64;
    // "?, ?, ?" for an IN list of count values.
    static QString inList(int count);
    // ids cut into IN lists of chunkRows, the last padded (by repeating its
    // first id) to 1, 8 or chunkRows values: a few prepared statements serve
    // every length, and a one-note push binds one value, not 64.
    static QList<QVariantList> idChunks(const QStringList &ids);
    // Closes this thread's connection (reopened on next use): a thread about
    // to wait long holds none.
    void closeThreadConnection();
    // libpq's keywords for the PostgreSQL database; empty on SQLite.
    QString postgresConnInfo() const;

    // The user's pull cursor reached stamp in the open write transaction. On
    // PostgreSQL every server process hears of it at commit; on SQLite the
    // committed listener below does, in this process.
    bool announce(const QString &userId, qint64 stamp);
    using CommittedListener = std::function<void(const QString &userId, qint64 stamp)>;
    // Set before serving; called on the writer's thread after each commit.
    void setCommittedListener(CommittedListener listener) { m_committed = std::move(listener); }

private:
    Db() = default;
    bool configure(const QString &dataDir, const QString &url, QString *error);
    bool migrate(QString *error);
    bool runPrepared(QSqlQuery &q, const QString &sql, std::initializer_list<QVariant> values);
    bool runValues(QSqlQuery &q, const QString &sql, const QVariant *begin, const QVariant *end);
    bool runPreparedValues(QSqlQuery &q, const QString &sql, const QVariant *begin, const QVariant *end);

    Kind m_kind = Kind::Sqlite;
    QString m_prefix;
    QString m_sqlitePath;
    QString m_host, m_user, m_password, m_dbName;
    int m_port = 5432;
    CommittedListener m_committed;
    friend class Tx;
};

// A write transaction. SQLite takes the write lock at once so that
// read-then-write sequences never fail on lock upgrade.
class Tx
{
public:
    explicit Tx(Db &db);
    ~Tx();
    bool ok() const { return m_open; }
    bool commit();

private:
    Db &m_db;
    bool m_open = false;
};

} // namespace VelmServer
