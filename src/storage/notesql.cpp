#include "notesql.h"

#include "sqlhelpers.h"
#include "storagetime.h"

#include <QSqlQuery>
#include <QSqlRecord>

using namespace SqlHelpers;

namespace NoteSql {

NoteColumns::NoteColumns(const QSqlRecord &record)
    : id(record.indexOf(QStringLiteral("id")))
    , notebookId(record.indexOf(QStringLiteral("notebook_id")))
    , body(record.indexOf(QStringLiteral("body")))
    , createdAt(record.indexOf(QStringLiteral("created_at")))
    , updatedAt(record.indexOf(QStringLiteral("updated_at")))
    , modifiedAt(record.indexOf(QStringLiteral("modified_at")))
    , deletedAt(record.indexOf(QStringLiteral("deleted_at")))
    , version(record.indexOf(QStringLiteral("version")))
    , opVersion(record.indexOf(QStringLiteral("op_version")))
    , syncStatus(record.indexOf(QStringLiteral("sync_status")))
    , isSample(record.indexOf(QStringLiteral("is_sample")))
    , ownerId(record.indexOf(QStringLiteral("owner_id")))
    , isShared(record.indexOf(QStringLiteral("is_shared")))
    , permission(record.indexOf(QStringLiteral("permission")))
{
}

Note noteFromRow(const QSqlQuery &q, const NoteColumns &c)
{
    Note note;
    note.id = q.value(c.id).toString();
    note.notebookId = q.value(c.notebookId).toString();
    note.body = q.value(c.body).toString();
    note.createdAt = storageTimeFromText(q.value(c.createdAt).toString());
    note.updatedAt = storageTimeFromText(q.value(c.updatedAt).toString());
    note.modifiedAt = storageTimeFromText(q.value(c.modifiedAt).toString());
    note.deletedAt = optionalTimeFromText(q.value(c.deletedAt).toString());
    note.version = q.value(c.version).toInt();
    note.opVersion = q.value(c.opVersion).toInt();
    note.syncStatus = syncStatusFromString(q.value(c.syncStatus).toString());
    note.isSample = q.value(c.isSample).toBool();
    note.ownerId = q.value(c.ownerId).toString();
    note.isShared = q.value(c.isShared).toBool();
    note.permission = q.value(c.permission).toString();
    return note;
}

void appendNotes(QSqlQuery &q, QList<Note> *notes)
{
    const NoteColumns columns(q.record());
    while (q.next())
        notes->append(noteFromRow(q, columns));
}

QList<Note> readNotes(const QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    QList<Note> notes;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!exec(q, sql, values))
        return notes;
    appendNotes(q, &notes);
    return notes;
}

const QString kRowColumns = QStringLiteral(
    "n.id, n.notebook_id, n.updated_at, n.deleted_at, n.sync_status, n.is_shared, n.title, n.preview");

NoteRow rowFrom(const QSqlQuery &q)
{
    NoteRow row;
    row.id = q.value(0).toString();
    row.notebookId = q.value(1).toString();
    row.updatedAt = storageTimeFromText(q.value(2).toString());
    if (const auto deleted = optionalTimeFromText(q.value(3).toString()))
        row.deletedAt = *deleted;
    row.syncStatus = syncStatusFromString(q.value(4).toString());
    row.isShared = q.value(5).toBool();
    row.title = q.value(6).toString();
    row.preview = q.value(7).toString();
    return row;
}

QList<NoteRow> readRows(const QSqlDatabase &db, const QString &where, const QVariantList &values)
{
    QList<NoteRow> rows;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!exec(q, QStringLiteral("SELECT %1 FROM notes n %2").arg(kRowColumns, where), values))
        return rows;
    while (q.next())
        rows.append(rowFrom(q));
    return rows;
}

const QString kLive = QStringLiteral("WHERE deleted_at IS NULL ORDER BY updated_at DESC, id DESC");
const QString kInNotebook =
    QStringLiteral("WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC, id DESC");
const QString kTrashed = QStringLiteral("WHERE deleted_at IS NOT NULL ORDER BY deleted_at DESC");
const QString kSharedByMe = QStringLiteral("WHERE is_shared = 1 AND (owner_id IS NULL OR owner_id = '') "
                                           "AND deleted_at IS NULL ORDER BY updated_at DESC");
const QString kSharedWithMe = QStringLiteral("WHERE owner_id IS NOT NULL AND owner_id != '' "
                                             "AND deleted_at IS NULL ORDER BY updated_at DESC");

QString allColumns(const QString &where)
{
    return QStringLiteral("SELECT * FROM notes ") + where;
}

int liveCount(const QSqlDatabase &db, const QString &notebookId)
{
    QSqlQuery q(db);
    const bool ok = notebookId.isEmpty()
        ? exec(q, QStringLiteral("SELECT COALESCE(SUM(live), 0) FROM note_counts"))
        : exec(q, QStringLiteral("SELECT live FROM note_counts WHERE notebook_id = ?"), {notebookId});
    return ok && q.next() ? q.value(0).toInt() : 0;
}

} // namespace NoteSql
