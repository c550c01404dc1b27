#include "attachmentstore.h"

#include <QSqlRecord>

namespace VelmServer {

namespace {

const char attachmentColumns[] = "a.id, a.owner_id, a.note_id, a.filename, a.mime_type, a.size_bytes, a.created_at,"
                                 " a.sha256, a.in_database, n.owner_id AS note_owner_id, n.notebook_id";

AttachmentRow attachmentRow(const QSqlQuery &q)
{
    const QSqlRecord r = q.record();
    AttachmentRow row;
    row.id = r.value(QStringLiteral("id")).toString();
    row.ownerId = r.value(QStringLiteral("owner_id")).toString();
    row.noteId = r.value(QStringLiteral("note_id")).toString();
    row.filename = r.value(QStringLiteral("filename")).toString();
    row.mimeType = r.value(QStringLiteral("mime_type")).toString();
    row.sizeBytes = r.value(QStringLiteral("size_bytes")).toLongLong();
    row.createdAt = r.value(QStringLiteral("created_at")).toLongLong();
    row.sha256 = r.value(QStringLiteral("sha256")).toString();
    row.inDatabase = r.value(QStringLiteral("in_database")).toInt() != 0;
    row.noteOwnerId = r.value(QStringLiteral("note_owner_id")).toString();
    row.notebookId = r.value(QStringLiteral("notebook_id")).toString();
    if (r.contains(QStringLiteral("stamp")))
        row.stamp = r.value(QStringLiteral("stamp")).toLongLong();
    return row;
}

} // namespace

AttachmentStore::Result<AttachmentStore::Page> AttachmentStore::listSince(const QString &userId, qint64 since, int limit)
{
    QSqlQuery q = m_db.query();
    // The stamps of one reader are unique, so the cursor never splits a row from its twin.
    if (!m_db.run(q, QStringLiteral("SELECT f.stamp, %1 FROM attachment_feed f JOIN attachments a ON a.id = f.attachment_id"
                                    " JOIN notes n ON n.id = a.note_id WHERE f.user_id = ? AND f.stamp > ?"
                                    " ORDER BY f.stamp LIMIT %2").arg(QLatin1String(attachmentColumns)).arg(limit + 1),
                  {userId, since}))
        return {};
    Page page;
    while (q.next()) {
        if (page.rows.size() == limit) {
            page.hasMore = true;
            break;
        }
        page.rows.append(attachmentRow(q));
    }
    return {true, page};
}

AttachmentStore::Result<std::optional<AttachmentRow>> AttachmentStore::find(const QString &id)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM attachments a LEFT JOIN notes n ON n.id = a.note_id WHERE a.id = ?")
                         .arg(QLatin1String(attachmentColumns)), {id}))
        return {};
    return {true, q.next() ? std::optional(attachmentRow(q)) : std::nullopt};
}

AttachmentStore::Result<std::optional<AttachmentStore::NoteRef>> AttachmentStore::note(const QString &noteId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT owner_id, notebook_id FROM notes WHERE id = ?"), {noteId}))
        return {};
    if (!q.next())
        return {true, std::nullopt};
    const QSqlRecord r = q.record();
    return {true, NoteRef{r.value(QStringLiteral("owner_id")).toString(), r.value(QStringLiteral("notebook_id")).toString()}};
}

bool AttachmentStore::replace(const AttachmentRow &row)
{
    QSqlQuery q = m_db.query();
    return m_db.run(q, QStringLiteral("DELETE FROM attachments WHERE id = ?"), {row.id})
        && m_db.run(q, QStringLiteral("INSERT INTO attachments (id, owner_id, note_id, filename, mime_type, size_bytes,"
                                      " created_at, sha256, in_database) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                    {row.id, row.ownerId, row.noteId, row.filename, row.mimeType, row.sizeBytes, row.createdAt,
                     row.sha256, row.inDatabase ? 1 : 0});
}

bool AttachmentStore::writeChunk(const QString &id, int seq, const QByteArray &data)
{
    QSqlQuery q = m_db.query();
    return m_db.run(q, QStringLiteral("INSERT INTO attachment_chunks (attachment_id, seq, data) VALUES (?, ?, ?)"),
                    {id, seq, data});
}

AttachmentStore::Result<QByteArray> AttachmentStore::chunk(const QString &id, int seq)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT data FROM attachment_chunks WHERE attachment_id = ? AND seq = ?"), {id, seq})
        || !q.next())
        return {};
    return {true, q.value(0).toByteArray()};
}

bool AttachmentStore::removeChunks(const QString &id)
{
    QSqlQuery q = m_db.query();
    return m_db.run(q, QStringLiteral("DELETE FROM attachment_chunks WHERE attachment_id = ?"), {id});
}

bool AttachmentStore::dropForNote(const QString &noteId, QStringList *ids)
{
    QSqlQuery q = m_db.query();
    bool ok = m_db.run(q, QStringLiteral("SELECT id FROM attachments WHERE note_id = ?"), {noteId});
    while (ok && q.next())
        *ids << q.value(0).toString();
    return ok && m_db.run(q, QStringLiteral("DELETE FROM attachments WHERE note_id = ?"), {noteId});
}

bool AttachmentStore::dropForAccount(const QString &userId, QStringList *ids)
{
    QSqlQuery q = m_db.query();
    const QString owned = QStringLiteral("SELECT id FROM attachments WHERE owner_id = ?"
                                         " OR note_id IN (SELECT id FROM notes WHERE owner_id = ?)");
    bool ok = m_db.run(q, owned, {userId, userId});
    while (ok && q.next())
        *ids << q.value(0).toString();
    return ok
        && m_db.run(q, QStringLiteral("DELETE FROM attachment_feed WHERE attachment_id IN (%1)").arg(owned),
                    {userId, userId})
        && m_db.run(q, QStringLiteral("DELETE FROM attachments WHERE id IN (%1)").arg(owned), {userId, userId})
        && m_db.run(q, QStringLiteral("DELETE FROM attachment_feed WHERE user_id = ?"), {userId});
}

} // namespace VelmServer
