#include "snapshotrepository.h"

#include "database.h"
#include "sqlhelpers.h"
#include "storagelog.h"
#include "storagetime.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace SqlHelpers;

namespace {

Snapshot snapshotFromRow(const QSqlQuery &q)
{
    Snapshot snapshot;
    snapshot.id = q.value("id").toString();
    snapshot.noteId = q.value("note_id").toString();
    snapshot.version = q.value("version").toInt();
    snapshot.body = q.value("body").toString();
    snapshot.createdAt = storageTimeFromText(q.value("created_at").toString());
    return snapshot;
}

} // namespace

SnapshotRepository::SnapshotRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
    Q_ASSERT(m_database);
}

std::optional<Snapshot> SnapshotRepository::snapshotById(const QString &id) const
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT * FROM note_snapshots WHERE id=?"), {id}) || !q.next())
        return std::nullopt;
    return snapshotFromRow(q);
}

QList<Snapshot> SnapshotRepository::snapshotsForNote(const QString &noteId) const
{
    QList<Snapshot> snapshots;
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT * FROM note_snapshots WHERE note_id=? ORDER BY version DESC"), {noteId}))
        return snapshots;
    while (q.next())
        snapshots << snapshotFromRow(q);
    return snapshots;
}

bool SnapshotRepository::forEachSnapshot(const std::function<bool(const Snapshot &)> &each) const
{
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, QStringLiteral("SELECT * FROM note_snapshots")))
        return false;
    while (q.next()) {
        if (!each(snapshotFromRow(q)))
            return false;
    }
    return true;
}

bool SnapshotRepository::insert(const Snapshot &snapshot)
{
    QSqlQuery q(m_database->database());
    if (!exec(q,
              QStringLiteral("INSERT OR REPLACE INTO note_snapshots (id, note_id, version, body, created_at) "
                             "VALUES (?, ?, ?, ?, ?)"),
              {snapshot.id, snapshot.noteId, snapshot.version, snapshot.body, storageTimeText(snapshot.createdAt)})) {
        qCWarning(lcStorage).noquote() << "SnapshotRepository::insert failed:" << q.lastError().text();
        return false;
    }
    return true;
}
