#include "db.h"

#include <QDir>
#include <QHash>
#include <QLoggingCategory>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <mutex>
#include <span>
#include <vector>

Q_LOGGING_CATEGORY(lcDb, "velmserver.db")

namespace VelmServer {

namespace {

std::atomic<int> s_serial{0};

// Closes this thread's connections when the thread ends.
struct ThreadConnections
{
    std::vector<QString> names;
    // Server-side prepared statements of each PostgreSQL connection, by SQL text.
    QHash<QString, QHash<QString, QString>> statements;
    ~ThreadConnections()
    {
        for (const QString &name : names) {
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
        }
    }
};
thread_local ThreadConnections t_connections;

// Cursor moves of this thread's open SQLite transaction, told after commit.
struct Announced
{
    const Db *db;
    QString userId;
    qint64 stamp;
};
thread_local std::vector<Announced> t_announced;

void forgetAnnounced(const Db *db)
{
    std::erase_if(t_announced, [db](const Announced &a) { return a.db == db; });
}

// Numbered schema steps; a step's statements run in one transaction.
const char *const migration1[] = {
    "CREATE TABLE users (id TEXT PRIMARY KEY, email TEXT NOT NULL UNIQUE, password_hash TEXT NOT NULL,"
    " display_name TEXT NOT NULL DEFAULT '', username TEXT NOT NULL DEFAULT '', avatar_url TEXT NOT NULL DEFAULT '',"
    " language TEXT NOT NULL DEFAULT '', timezone TEXT NOT NULL DEFAULT '', status TEXT NOT NULL DEFAULT 'active',"
    " group_id TEXT, created_at BIGINT NOT NULL, last_stamp BIGINT NOT NULL DEFAULT 0)",
    "CREATE TABLE sessions (id TEXT PRIMARY KEY, user_id TEXT NOT NULL, token_hash TEXT NOT NULL,"
    " prev_hash TEXT, prev_until BIGINT NOT NULL DEFAULT 0, user_agent TEXT NOT NULL DEFAULT '',"
    " ip_address TEXT NOT NULL DEFAULT '', created_at BIGINT NOT NULL, last_active_at BIGINT NOT NULL,"
    " revoked INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX sessions_user ON sessions(user_id)",
    "CREATE TABLE groups_ (id TEXT PRIMARY KEY, name TEXT NOT NULL, owner_id TEXT NOT NULL,"
    " max_seats INTEGER NOT NULL, created_at BIGINT NOT NULL)",
    "CREATE TABLE invitations (id TEXT PRIMARY KEY, group_id TEXT NOT NULL, invited_email TEXT NOT NULL DEFAULT '',"
    " invite_code TEXT NOT NULL UNIQUE, status TEXT NOT NULL, expires_at BIGINT NOT NULL, created_at BIGINT NOT NULL)",
    "CREATE TABLE devices (id TEXT PRIMARY KEY, user_id TEXT NOT NULL, device_name TEXT NOT NULL,"
    " platform TEXT NOT NULL, app_id TEXT NOT NULL, app_version TEXT NOT NULL, device_fingerprint TEXT NOT NULL,"
    " last_sync_at BIGINT NOT NULL, created_at BIGINT NOT NULL)",
    "CREATE INDEX devices_user ON devices(user_id)",
    "CREATE TABLE notebooks (id TEXT PRIMARY KEY, owner_id TEXT NOT NULL, name TEXT NOT NULL,"
    " is_default INTEGER NOT NULL DEFAULT 0, version BIGINT NOT NULL, created_at BIGINT NOT NULL,"
    " updated_at BIGINT NOT NULL, deleted_at BIGINT)",
    "CREATE INDEX notebooks_owner ON notebooks(owner_id)",
    "CREATE TABLE notes (id TEXT PRIMARY KEY, owner_id TEXT NOT NULL, notebook_id TEXT NOT NULL DEFAULT '',"
    " body TEXT NOT NULL, version BIGINT NOT NULL, created_at BIGINT NOT NULL, updated_at BIGINT NOT NULL,"
    " modified_at BIGINT NOT NULL, deleted_at BIGINT)",
    "CREATE INDEX notes_notebook ON notes(notebook_id)",
    // One row per reader and note: the reader's pull cursor runs over its stamps.
    "CREATE TABLE feed (user_id TEXT NOT NULL, note_id TEXT NOT NULL, stamp BIGINT NOT NULL,"
    " PRIMARY KEY (user_id, note_id))",
    "CREATE INDEX feed_stamp ON feed(user_id, stamp)",
    "CREATE TABLE shares (id TEXT PRIMARY KEY, kind INTEGER NOT NULL, item_id TEXT NOT NULL, user_id TEXT NOT NULL,"
    " permission TEXT NOT NULL, created_at BIGINT NOT NULL, UNIQUE (kind, item_id, user_id))",
    "CREATE INDEX shares_user ON shares(user_id)",
    "CREATE TABLE attachments (id TEXT PRIMARY KEY, owner_id TEXT NOT NULL, note_id TEXT NOT NULL,"
    " filename TEXT NOT NULL, mime_type TEXT NOT NULL, size_bytes BIGINT NOT NULL, created_at BIGINT NOT NULL)",
    "CREATE INDEX attachments_note ON attachments(note_id)",
    "CREATE TABLE attachment_feed (user_id TEXT NOT NULL, attachment_id TEXT NOT NULL, stamp BIGINT NOT NULL,"
    " PRIMARY KEY (user_id, attachment_id))",
    "CREATE INDEX attachment_feed_stamp ON attachment_feed(user_id, stamp)",
};

// Refresh tokens rotated out of a session, so that presenting one again is
// recognised as reuse; one-time sign-in codes.
const char *const migration2[] = {
    "CREATE TABLE retired_tokens (token_hash TEXT PRIMARY KEY, session_id TEXT NOT NULL, retired_at BIGINT NOT NULL)",
    "CREATE INDEX retired_tokens_session ON retired_tokens(session_id)",
    "CREATE TABLE auth_codes (code_hash TEXT PRIMARY KEY, user_id TEXT NOT NULL, client_id TEXT NOT NULL,"
    " redirect_uri TEXT NOT NULL, challenge TEXT NOT NULL, expires_at BIGINT NOT NULL,"
    " user_agent TEXT NOT NULL DEFAULT '', ip_address TEXT NOT NULL DEFAULT '')",
};

// Purges leave a tombstone that pages like any change; the versions let a
// push made over an older one be merged field by field.
const char *const migration3[] = {
    "ALTER TABLE notes ADD COLUMN purged INTEGER NOT NULL DEFAULT 0",
    "CREATE TABLE note_versions (note_id TEXT NOT NULL, version BIGINT NOT NULL, body_hash TEXT NOT NULL,"
    " notebook_id TEXT NOT NULL, deleted INTEGER NOT NULL, PRIMARY KEY (note_id, version))",
};

// Attachment contents kept in the database (an option) and sign-in attempts
// counted where every server process sees them.
const char *const migration4[] = {
    "ALTER TABLE attachments ADD COLUMN sha256 TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE attachments ADD COLUMN in_database INTEGER NOT NULL DEFAULT 0",
    "CREATE TABLE attachment_chunks (attachment_id TEXT NOT NULL, seq INTEGER NOT NULL, data BYTEA NOT NULL,"
    " PRIMARY KEY (attachment_id, seq))",
    "CREATE TABLE rate_keys (key TEXT PRIMARY KEY)",
    "CREATE TABLE rate_hits (key TEXT NOT NULL, at BIGINT NOT NULL)",
    "CREATE INDEX rate_hits_key ON rate_hits(key, at)",
};

struct Migration
{
    const char *const *begin;
    const char *const *end;
};
const Migration migrations[] = {{std::begin(migration1), std::end(migration1)},
                                {std::begin(migration2), std::end(migration2)},
                                {std::begin(migration3), std::end(migration3)},
                                {std::begin(migration4), std::end(migration4)}};

// PostgreSQL numbers its parameters; '?' inside a quoted literal stays as it is.
QString numberedParameters(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 16);
    bool quoted = false;
    int n = 0;
    for (const QChar ch : sql) {
        if (ch == u'\'')
            quoted = !quoted;
        if (ch == u'?' && !quoted)
            out += u'$' + QString::number(++n);
        else
            out += ch;
    }
    return out;
}

} // namespace

std::unique_ptr<Db> Db::open(const QString &dataDir, const QString &url, QString *error)
{
    std::unique_ptr<Db> db(new Db);
    if (!db->configure(dataDir, url, error))
        return nullptr;
    if (!db->conn().isOpen()) {
        *error = QStringLiteral("cannot open the database: %1").arg(db->conn().lastError().text());
        return nullptr;
    }
    if (!db->migrate(error))
        return nullptr;
    return db;
}

Db::~Db()
{
    for (const QString &name : QSqlDatabase::connectionNames()) {
        if (name.startsWith(m_prefix)) {
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
        }
    }
}

bool Db::configure(const QString &dataDir, const QString &url, QString *error)
{
    m_prefix = QStringLiteral("velmserver-%1-").arg(s_serial.fetch_add(1));
    if (url.isEmpty()) {
        m_kind = Kind::Sqlite;
        m_sqlitePath = QDir(dataDir).filePath(QStringLiteral("velmora-server.db"));
        return true;
    }
    const QUrl u(url);
    if (u.scheme() != QLatin1String("postgresql") && u.scheme() != QLatin1String("postgres")) {
        *error = QStringLiteral("unsupported database URL scheme (use postgresql://)");
        return false;
    }
    m_kind = Kind::Postgres;
    const QUrlQuery query(u);
    // A "host" query item names a unix socket folder, as libpq allows.
    m_host = query.hasQueryItem(QStringLiteral("host")) ? query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded)
                                                        : u.host();
    m_port = query.hasQueryItem(QStringLiteral("port")) ? query.queryItemValue(QStringLiteral("port")).toInt() : u.port(5432);
    m_user = u.userName(QUrl::FullyDecoded);
    m_password = u.password(QUrl::FullyDecoded);
    m_dbName = u.path(QUrl::FullyDecoded).mid(1);
    return true;
}

QSqlDatabase Db::conn()
{
    const QString name = m_prefix + QString::number(reinterpret_cast<quintptr>(&t_connections), 16);
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (db.isValid() && db.isOpen())
        return db;
    t_connections.statements.remove(name);
    if (!db.isValid()) {
        db = QSqlDatabase::addDatabase(m_kind == Kind::Sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), name);
        t_connections.names.push_back(name);
    }
    if (m_kind == Kind::Sqlite) {
        db.setDatabaseName(m_sqlitePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=15000"));
    } else {
        db.setHostName(m_host);
        db.setPort(m_port);
        db.setUserName(m_user);
        db.setPassword(m_password);
        db.setDatabaseName(m_dbName);
    }
    if (!db.open()) {
        qCWarning(lcDb) << "open failed:" << db.lastError().text();
        return db;
    }
    if (m_kind == Kind::Sqlite) {
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    return db;
}

QSqlQuery Db::query()
{
    return QSqlQuery(conn());
}

void Db::closeThreadConnection()
{
    const QString name = m_prefix + QString::number(reinterpret_cast<quintptr>(&t_connections), 16);
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (db.isValid() && db.isOpen())
        db.close();
}

QString Db::postgresConnInfo() const
{
    if (m_kind != Kind::Postgres)
        return {};
    const auto quoted = [](QString v) {
        v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
        return QLatin1Char('\'') + v + QLatin1Char('\'');
    };
    QString info = QStringLiteral("port=%1 dbname=%2").arg(m_port).arg(quoted(m_dbName));
    if (!m_host.isEmpty())
        info += QStringLiteral(" host=") + quoted(m_host);
    if (!m_user.isEmpty())
        info += QStringLiteral(" user=") + quoted(m_user);
    if (!m_password.isEmpty())
        info += QStringLiteral(" password=") + quoted(m_password);
    return info;
}

bool Db::announce(const QString &userId, qint64 stamp)
{
    if (m_kind == Kind::Sqlite) {
        t_announced.push_back({this, userId, stamp});
        return true;
    }
    QSqlQuery q = query();
    return run(q, QStringLiteral("SELECT pg_notify('%1', ?)").arg(QLatin1String(feedChannel)),
               {userId + QLatin1Char(' ') + QString::number(stamp)});
}

bool Db::run(QSqlQuery &q, const QString &sql, std::initializer_list<QVariant> values)
{
    return runValues(q, sql, values.begin(), values.end());
}

bool Db::run(QSqlQuery &q, const QString &sql, const QVariantList &values)
{
    return runValues(q, sql, values.constData(), values.constData() + values.size());
}

QString Db::lockRows() const
{
    return m_kind == Kind::Postgres ? QStringLiteral(" FOR UPDATE") : QString();
}

QString Db::valueRows(int rows, int columns)
{
    QString row = QStringLiteral("(?");
    for (int i = 1; i < columns; ++i)
        row += QStringLiteral(", ?");
    row += u')';
    QString out;
    out.reserve((row.size() + 2) * rows);
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            out += QStringLiteral(", ");
        out += row;
    }
    return out;
}

QString Db::inList(int count)
{
    QString out = QStringLiteral("?");
    out.reserve(count * 3);
    for (int i = 1; i < count; ++i)
        out += QStringLiteral(", ?");
    return out;
}

QList<QVariantList> Db::idChunks(const QStringList &ids)
{
    QList<QVariantList> chunks;
    for (qsizetype at = 0; at < ids.size(); at += chunkRows) {
        QVariantList chunk;
        chunk.reserve(chunkRows);
        for (qsizetype i = at; i < std::min(ids.size(), at + chunkRows); ++i)
            chunk.append(ids.at(i));
        const qsizetype padded = chunk.size() <= 1 ? 1 : chunk.size() <= 8 ? 8 : chunkRows;
        while (chunk.size() < padded)
            chunk.append(chunk.first());
        chunks.append(chunk);
    }
    return chunks;
}

bool Db::runValues(QSqlQuery &q, const QString &sql, const QVariant *begin, const QVariant *end)
{
    if (m_kind == Kind::Postgres)
        return runPreparedValues(q, sql, begin, end);
    if (q.lastQuery() != sql && !q.prepare(sql)) {
        qCWarning(lcDb) << "prepare failed:" << q.lastError().text() << sql;
        return false;
    }
    int i = 0;
    for (const QVariant &v : std::span(begin, end)) {
        // A null QString would bind as SQL NULL; text columns want ''.
        const bool nullText = v.typeId() == QMetaType::QString && v.toString().isNull();
        q.bindValue(i++, nullText ? QVariant(QStringLiteral("")) : v);
    }
    if (!q.exec()) {
        qCWarning(lcDb) << "query failed:" << q.lastError().text() << sql;
        return false;
    }
    return true;
}

// The driver's own prepare costs a PREPARE and a DEALLOCATE around every
// statement of every short-lived query. Each statement is prepared once per
// connection instead; values go in through the driver's escaping, as the
// driver itself passes them to EXECUTE.
bool Db::runPrepared(QSqlQuery &q, const QString &sql, std::initializer_list<QVariant> values)
{
    return runPreparedValues(q, sql, values.begin(), values.end());
}

bool Db::runPreparedValues(QSqlQuery &q, const QString &sql, const QVariant *begin, const QVariant *end)
{
    const std::span<const QVariant> values(begin, end);
    QSqlDatabase c = conn();
    QHash<QString, QString> &statements = t_connections.statements[c.connectionName()];
    QString name = statements.value(sql);
    if (name.isEmpty()) {
        const QString candidate = QStringLiteral("vs%1").arg(statements.size() + 1);
        QSqlQuery prepare(c);
        if (!prepare.exec(QStringLiteral("PREPARE %1 AS %2").arg(candidate, numberedParameters(sql)))) {
            qCWarning(lcDb) << "prepare failed:" << prepare.lastError().text() << sql;
            return false;
        }
        statements.insert(sql, candidate);
        name = candidate;
    }
    QStringList params;
    params.reserve(int(values.size()));
    const QSqlDriver *driver = c.driver();
    for (const QVariant &v : values) {
        if (v.typeId() == QMetaType::QString && v.toString().isNull()) {
            params.append(QStringLiteral("''"));
            continue;
        }
        QSqlField field(QString(), v.metaType());
        field.setValue(v);
        params.append(driver->formatValue(field));
    }
    const QString execute = params.isEmpty() ? QStringLiteral("EXECUTE ") + name
                                             : QStringLiteral("EXECUTE %1 (%2)").arg(name, params.join(u','));
    if (!q.exec(execute)) {
        qCWarning(lcDb) << "query failed:" << q.lastError().text() << sql;
        return false;
    }
    return true;
}

bool Db::migrate(QString *error)
{
    QSqlQuery q = query();
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))) {
        *error = q.lastError().text();
        return false;
    }
    int current = 0;
    if (q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) && q.next())
        current = q.value(0).toInt();
    const int latest = int(std::size(migrations));
    if (current > latest) {
        *error = QStringLiteral("database schema %1 is newer than this server (%2)").arg(current).arg(latest);
        return false;
    }
    for (int version = current + 1; version <= latest; ++version) {
        Tx tx(*this);
        if (!tx.ok()) {
            *error = QStringLiteral("cannot begin migration %1").arg(version);
            return false;
        }
        const Migration &m = migrations[version - 1];
        for (auto it = m.begin; it != m.end; ++it) {
            if (!q.exec(QString::fromLatin1(*it))) {
                *error = QStringLiteral("migration %1 failed: %2").arg(version).arg(q.lastError().text());
                return false;
            }
        }
        if (!run(q, QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"), {version}) || !tx.commit()) {
            *error = QStringLiteral("cannot record migration %1").arg(version);
            return false;
        }
        qCInfo(lcDb) << "schema migrated to version" << version;
    }
    return true;
}

Tx::Tx(Db &db)
    : m_db(db)
{
    QSqlDatabase c = db.conn();
    if (db.kind() == Db::Kind::Sqlite) {
        QSqlQuery q(c);
        m_open = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    } else {
        m_open = c.transaction();
    }
    if (!m_open)
        qCWarning(lcDb) << "begin failed:" << c.lastError().text();
}

Tx::~Tx()
{
    forgetAnnounced(&m_db);
    if (!m_open)
        return;
    QSqlDatabase c = m_db.conn();
    if (m_db.kind() == Db::Kind::Sqlite)
        QSqlQuery(c).exec(QStringLiteral("ROLLBACK"));
    else
        c.rollback();
}

bool Tx::commit()
{
    if (!m_open)
        return false;
    QSqlDatabase c = m_db.conn();
    const bool ok = m_db.kind() == Db::Kind::Sqlite ? QSqlQuery(c).exec(QStringLiteral("COMMIT")) : c.commit();
    if (!ok)
        qCWarning(lcDb) << "commit failed:" << c.lastError().text();
    m_open = !ok;
    if (ok && m_db.m_committed) {
        std::vector<Announced> told;
        for (auto it = t_announced.begin(); it != t_announced.end();) {
            if (it->db == &m_db) {
                told.push_back(std::move(*it));
                it = t_announced.erase(it);
            } else {
                ++it;
            }
        }
        for (const Announced &a : told)
            m_db.m_committed(a.userId, a.stamp);
    }
    return ok;
}

} // namespace VelmServer
