#include "notesyncstate.h"

#include "database.h"
#include "notesql.h"
#include "sqlhelpers.h"
#include "storagetime.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>

#include <algorithm>

using namespace SqlHelpers;

NoteSyncState::NoteSyncState(Database *database)
    : m_database(database)
{
    Q_ASSERT(m_database);
}

QList<Note> NoteSyncState::pendingNotes() const
{
    return NoteSql::readNotes(m_database->database(),
                              QStringLiteral("SELECT * FROM notes WHERE sync_status = 'pending' AND account = ''"));
}

QList<NoteSyncState::PendingSize> NoteSyncState::pendingSizes(qint64 after, int limit) const
{
    QList<PendingSize> sizes;
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, QStringLiteral("SELECT rowid, id, length(CAST(body AS BLOB)) FROM notes WHERE sync_status = 'pending' "
                                "AND account = '' AND rowid > ? ORDER BY rowid LIMIT ?"),
              {after, limit}))
        return sizes;
    while (q.next())
        sizes.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toLongLong()});
    return sizes;
}

int NoteSyncState::pendingCount() const
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT COUNT(*) FROM notes WHERE sync_status = 'pending'")) || !q.next())
        return 0;
    return q.value(0).toInt();
}

bool NoteSyncState::markSynced(const QString &id, int version, bool bodyConfirmed)
{
    const QSqlDatabase db = m_database->database();
    WriteScope write(db);
    if (!write.isOpen())
        return false;
    QSqlQuery q(db);
    if (!exec(q, QStringLiteral("UPDATE notes SET sync_status='synced', version=?, op_version=? WHERE id=?"),
              {version, version, id}))
        return false;
    if (bodyConfirmed
        && !exec(q, QStringLiteral("INSERT OR REPLACE INTO note_bases (note_id, version, body) "
                                   "SELECT id, ?, body FROM notes WHERE id=?"),
                 {version, id}))
        return false;
    return write.commit();
}

bool NoteSyncState::setServerVersion(const QString &id, int version, const std::optional<QString> &confirmedBody)
{
    const QSqlDatabase db = m_database->database();
    WriteScope write(db);
    if (!write.isOpen())
        return false;
    QSqlQuery q(db);
    return exec(q, QStringLiteral("UPDATE notes SET op_version=? WHERE id=?"), {version, id})
        && (!confirmedBody || setMergeBase(id, version, *confirmedBody)) && write.commit();
}

std::optional<NoteBase> NoteSyncState::mergeBase(const QString &id) const
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT version, body FROM note_bases WHERE note_id=?"), {id}) || !q.next())
        return std::nullopt;
    return NoteBase{q.value(0).toInt(), q.value(1).toString()};
}

bool NoteSyncState::setMergeBase(const QString &id, int version, const QString &body)
{
    QSqlQuery q(m_database->database());
    return exec(q, QStringLiteral("INSERT OR REPLACE INTO note_bases (note_id, version, body) VALUES (?, ?, ?)"),
                {id, version, body});
}

// A welcome note nobody edited exists on every device under its own id;
// uploading it would give every other device a copy.
static const char kMarkable[] = "deleted_at IS NULL AND sync_status != 'pending' AND NOT (is_sample = 1 AND version = 1)";

int NoteSyncState::markAllPending(qint64 *after, int limit)
{
    QSqlQuery q(m_database->database());
    const QString where = QString::fromLatin1(kMarkable);
    if (!after) {
        if (!exec(q, QStringLiteral("UPDATE notes SET sync_status='pending' WHERE %1").arg(where)))
            return 0;
        return q.numRowsAffected();
    }
    if (!exec(q, QStringLiteral("SELECT max(rowid) FROM (SELECT rowid FROM notes WHERE rowid > ? ORDER BY rowid LIMIT ?)"),
              {*after, limit})
        || !q.next() || q.value(0).isNull())
        return -1;
    const qint64 last = q.value(0).toLongLong();
    q.finish();
    if (!exec(q, QStringLiteral("UPDATE notes SET sync_status='pending' WHERE rowid > ? AND rowid <= ? AND %1").arg(where),
              {*after, last}))
        return -1;
    *after = last;
    return q.numRowsAffected();
}

QList<PendingDeletion> NoteSyncState::pendingDeletions() const
{
    QList<PendingDeletion> list;
    QSqlQuery q(m_database->database());
    if (!q.exec(QStringLiteral("SELECT entity_id, payload, created_at FROM sync_queue "
                               "WHERE entity_type = 'note' AND action = 'delete' AND account = '' ORDER BY id")))
        return list;
    while (q.next()) {
        const QJsonObject payload = QJsonDocument::fromJson(q.value(1).toString().toUtf8()).object();
        list.append({q.value(0).toString(), payload.value("op_version").toInt(), payload.value("notebook_id").toString(),
                     payload.value("body").toString(), storageTimeFromText(payload.value("created_at").toString()),
                     storageTimeFromText(q.value(2).toString())});
    }
    return list;
}

bool NoteSyncState::clearPendingDeletion(const QString &id)
{
    QSqlQuery q(m_database->database());
    return exec(q, QStringLiteral("DELETE FROM sync_queue WHERE entity_type = 'note' AND entity_id = ?"), {id});
}
