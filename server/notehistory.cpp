#include "notehistory.h"

#include "feed.h"

#include <QCryptographicHash>

namespace VelmServer {

QString bodyHash(const QString &body)
{
    return QString::fromLatin1(QCryptographicHash::hash(body.toUtf8(), QCryptographicHash::Sha256).toHex());
}

FieldMerge mergeFields(const NoteFields &base, const NoteFields &stored, const NoteFields &pushed)
{
    FieldMerge m;
    const bool pushedBody = pushed.bodyHash != base.bodyHash;
    const bool storedBody = stored.bodyHash != base.bodyHash;
    m.conflict = pushedBody && storedBody && pushed.bodyHash != stored.bodyHash;
    m.takeBody = pushedBody;
    m.notebookId = pushed.notebookId != base.notebookId ? pushed.notebookId : stored.notebookId;
    const bool pushedTrash = pushed.deleted != base.deleted;
    const bool storedTrash = stored.deleted != base.deleted;
    m.deleted = stored.deleted;
    if (pushedTrash && !storedTrash) {
        // This push trashed or restored it; an edit stored since and made later undoes a trashing.
        m.deleted = pushed.deleted;
        if (pushed.deleted && storedBody && stored.modifiedAt > pushed.deletedAt)
            m.deleted = false;
    } else if (storedTrash && !pushedTrash && stored.deleted && pushedBody && pushed.modifiedAt > stored.deletedAt) {
        // Trashed elsewhere, edited here afterwards: the edit brings it back.
        m.deleted = false;
    }
    return m;
}

std::optional<NoteFields> noteVersion(Db &db, const QString &noteId, qint64 version)
{
    QSqlQuery q = db.query();
    if (!db.run(q, QStringLiteral("SELECT body_hash, notebook_id, deleted FROM note_versions WHERE note_id = ? AND version = ?"),
                {noteId, version}) || !q.next())
        return std::nullopt;
    NoteFields f;
    f.bodyHash = q.value(0).toString();
    f.notebookId = q.value(1).toString();
    f.deleted = q.value(2).toInt() != 0;
    return f;
}

bool recordNoteVersion(Db &db, const QString &noteId, qint64 version, const NoteFields &fields)
{
    QSqlQuery q = db.query();
    // Only versions a device may still build on are worth keeping.
    return db.run(q, QStringLiteral("DELETE FROM note_versions WHERE note_id = ? AND version < ?"), {noteId, version - 50})
        && db.run(q, QStringLiteral("INSERT INTO note_versions (note_id, version, body_hash, notebook_id, deleted)"
                                    " VALUES (?, ?, ?, ?, ?) ON CONFLICT (note_id, version) DO UPDATE SET"
                                    " body_hash = excluded.body_hash, notebook_id = excluded.notebook_id,"
                                    " deleted = excluded.deleted"),
                  {noteId, version, fields.bodyHash, fields.notebookId, fields.deleted ? 1 : 0});
}

bool forgetNoteVersions(Db &db, const QString &noteId)
{
    QSqlQuery q = db.query();
    return db.run(q, QStringLiteral("DELETE FROM note_versions WHERE note_id = ?"), {noteId});
}

bool releaseNotebookNotes(Db &db, StampBook &stamps, const QString &notebookId, qint64 now)
{
    QSqlQuery q = db.query();
    if (!db.run(q, QStringLiteral("SELECT id, owner_id, version, body, deleted_at FROM notes WHERE notebook_id = ?"),
                {notebookId}))
        return false;
    struct Row
    {
        QString id, ownerId, body;
        qint64 version;
        bool deleted;
    };
    QList<Row> rows;
    while (q.next())
        rows.append({q.value(0).toString(), q.value(1).toString(), q.value(3).toString(), q.value(2).toLongLong(),
                     !q.value(4).isNull()});
    for (const Row &row : rows) {
        // Readers through the notebook hear of it before it leaves.
        const QSet<QString> readers = noteReaders(db, row.ownerId, row.id, notebookId);
        if (!db.run(q, QStringLiteral("UPDATE notes SET notebook_id = '', version = ?, updated_at = ? WHERE id = ?"),
                    {row.version + 1, now, row.id})
            || !recordNoteVersion(db, row.id, row.version + 1, {bodyHash(row.body), QString(), row.deleted})
            || !stamps.feedNote(readers, row.id))
            return false;
    }
    return true;
}

} // namespace VelmServer
