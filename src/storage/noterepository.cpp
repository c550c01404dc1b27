#include "noterepository.h"

#include "attachmentrepository.h"
#include "database.h"
#include "sqlhelpers.h"
#include "storagelog.h"
#include "storagetime.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace SqlHelpers;

namespace {

// Column positions of a notes row, looked up once per query rather than by
// name for every value of every row.
struct NoteColumns
{
    explicit NoteColumns(const QSqlRecord &record)
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

    int id, notebookId, body, createdAt, updatedAt, modifiedAt, deletedAt, version, opVersion, syncStatus,
        isSample, ownerId, isShared, permission;
};

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

// Maps every row; the query must be forward-only so the driver keeps no copy
// of the rows already read.
void appendNotes(QSqlQuery &q, QList<Note> *notes)
{
    const NoteColumns columns(q.record());
    while (q.next())
        notes->append(noteFromRow(q, columns));
}

// notebook_id and body are NOT NULL: a null text must reach them as ''.
QVariant textOrEmpty(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

// Each word becomes an FTS5 string, the last one a prefix: don't c++ -> "don't" "c++"*
QString quotedExpression(const QString &text)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    const QStringList words = text.split(whiteSpace, Qt::SkipEmptyParts);
    QStringList quoted;
    quoted.reserve(words.size());
    for (QString word : words)
        quoted << QLatin1Char('"') + word.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    return quoted.join(QLatin1Char(' ')) + QLatin1Char('*');
}

} // namespace

NoteRepository::NoteRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    Q_ASSERT(m_database);
}

void NoteRepository::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

QString NoteRepository::nowText() const
{
    return storageTimeText(m_clock());
}

QList<Note> NoteRepository::queryNotes(const QString &sql, const QVariantList &values) const
{
    QList<Note> notes;
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, sql, values))
        return notes;
    appendNotes(q, &notes);
    return notes;
}

QList<Note> NoteRepository::allNotes() const
{
    return queryNotes(QStringLiteral("SELECT * FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
}

std::optional<Note> NoteRepository::noteById(const QString &id) const
{
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, QStringLiteral("SELECT * FROM notes WHERE id = ?"), {id}) || !q.next())
        return std::nullopt;
    return noteFromRow(q, NoteColumns(q.record()));
}

QList<Note> NoteRepository::notesInNotebook(const QString &notebookId) const
{
    return queryNotes(
        QStringLiteral("SELECT * FROM notes WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC"),
        {textOrEmpty(notebookId)});
}

QList<Note> NoteRepository::trashedNotes() const
{
    return queryNotes(QStringLiteral("SELECT * FROM notes WHERE deleted_at IS NOT NULL ORDER BY deleted_at DESC"));
}

QList<Note> NoteRepository::pendingNotes() const
{
    return queryNotes(QStringLiteral("SELECT * FROM notes WHERE sync_status = 'pending'"));
}

QList<Note> NoteRepository::sharedByMe() const
{
    return queryNotes(QStringLiteral("SELECT * FROM notes WHERE is_shared = 1 AND (owner_id IS NULL OR owner_id = '') "
                                     "AND deleted_at IS NULL ORDER BY updated_at DESC"));
}

QList<Note> NoteRepository::sharedWithMe() const
{
    return queryNotes(QStringLiteral("SELECT * FROM notes WHERE owner_id IS NOT NULL AND owner_id != '' "
                                     "AND deleted_at IS NULL ORDER BY updated_at DESC"));
}

bool NoteRepository::runSearch(const QString &expression, QList<Note> *result) const
{
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q,
              QStringLiteral("SELECT n.* FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                             "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank"),
              {expression}))
        return false;
    appendNotes(q, result);
    return true;
}

QList<Note> NoteRepository::search(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return allNotes();
    // As typed, so the FTS5 query syntax applies; FTS5 reports a syntax error
    // only when stepping, hence the fall-back on a failed execution rather than
    // a failed prepare. Everyday punctuation (don't, c++, e-mail, a lone quote)
    // is such an error and is searched again as quoted words.
    QList<Note> notes;
    if (runSearch(text + QLatin1Char('*'), &notes))
        return notes;
    notes.clear();
    if (runSearch(quotedExpression(text), &notes))
        return notes;
    return {};
}

QHash<QString, int> NoteRepository::countsByNotebook() const
{
    QHash<QString, int> counts;
    QSqlQuery q(m_database->database());
    if (!q.exec(QStringLiteral(
            "SELECT notebook_id, COUNT(*) AS c FROM notes WHERE deleted_at IS NULL GROUP BY notebook_id")))
        return counts;
    int total = 0;
    while (q.next()) {
        const int count = q.value("c").toInt();
        counts.insert(q.value("notebook_id").toString(), count);
        total += count;
    }
    counts.insert(QString(), total);
    return counts;
}

bool NoteRepository::insert(const Note &note)
{
    QSqlQuery q(m_database->database());
    const bool ok = exec(q,
                         QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, "
                                        "deleted_at, version, op_version, sync_status, is_sample, owner_id, is_shared, "
                                        "permission) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                         {note.id, textOrEmpty(note.notebookId), textOrEmpty(note.body), storageTimeText(note.createdAt),
                          storageTimeText(note.updatedAt), storageTimeText(note.modifiedAt),
                          optionalTime(note.deletedAt), note.version, note.opVersion,
                          syncStatusToString(note.syncStatus), note.isSample ? 1 : 0, textOrNull(note.ownerId),
                          note.isShared ? 1 : 0, textOrNull(note.permission)});
    if (!ok) {
        qCWarning(lcStorage).noquote() << "NoteRepository::insert failed:" << q.lastError().text();
        return false;
    }
    emit notesChanged();
    return true;
}

bool NoteRepository::update(const Note &note)
{
    QSqlQuery q(m_database->database());
    const bool ok = exec(q,
                         QStringLiteral("UPDATE notes SET notebook_id=?, body=?, updated_at=?, modified_at=?, "
                                        "deleted_at=?, version=?, op_version=?, sync_status=?, is_sample=?, "
                                        "owner_id=?, is_shared=?, permission=? WHERE id=?"),
                         {textOrEmpty(note.notebookId), textOrEmpty(note.body), storageTimeText(note.updatedAt),
                          storageTimeText(note.modifiedAt), optionalTime(note.deletedAt), note.version,
                          note.opVersion, syncStatusToString(note.syncStatus), note.isSample ? 1 : 0,
                          textOrNull(note.ownerId), note.isShared ? 1 : 0, textOrNull(note.permission), note.id});
    if (!ok) {
        qCWarning(lcStorage).noquote() << "NoteRepository::update failed:" << q.lastError().text();
        return false;
    }
    emit notesChanged();
    return true;
}

bool NoteRepository::moveToNotebook(const QString &id, const QString &notebookId)
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("UPDATE notes SET notebook_id=?, modified_at=?, sync_status='pending' WHERE id=?"),
              {textOrEmpty(notebookId), nowText(), id}))
        return false;
    emit notesChanged();
    return true;
}

bool NoteRepository::softDelete(const QString &id)
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("UPDATE notes SET deleted_at=?, sync_status='pending' WHERE id=?"), {nowText(), id}))
        return false;
    emit noteDeleted(id);
    emit notesChanged();
    return true;
}

bool NoteRepository::restore(const QString &id)
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("UPDATE notes SET deleted_at=NULL, sync_status='pending' WHERE id=?"), {id}))
        return false;
    emit notesChanged();
    return true;
}

bool NoteRepository::purge(const QString &id)
{
    // With foreign keys on, any row that still names the note makes the DELETE
    // on notes fail, so its dependants go first, all in one transaction.
    // note_operations and tasks are never written by this program but may hold
    // rows in databases written by older builds.
    QSqlDatabase db = m_database->database();
    if (!db.transaction())
        return false;

    QStringList attachmentIds;
    bool ok = recordPendingDeletion(id);
    if (ok) {
        QSqlQuery q(db);
        ok = exec(q, QStringLiteral("SELECT id FROM attachments WHERE note_id = ?"), {id});
        while (ok && q.next())
            attachmentIds << q.value(0).toString();
    }
    const QString statements[] = {
        QStringLiteral("DELETE FROM note_snapshots WHERE note_id = ?"),
        QStringLiteral("DELETE FROM note_task_settings WHERE note_id = ?"),
        QStringLiteral("DELETE FROM attachments WHERE note_id = ?"),
        QStringLiteral("DELETE FROM note_operations WHERE note_id = ?"),
        QStringLiteral("DELETE FROM tasks WHERE note_id = ?"),
        QStringLiteral("DELETE FROM notes WHERE id=?"),
    };
    for (const QString &sql : statements) {
        if (!ok)
            break;
        QSqlQuery q(db);
        ok = exec(q, sql, {id});
    }
    if (!ok || !db.commit()) {
        db.rollback();
        return false;
    }

    // Only now that the rows are gone for good; a leftover file would be harmless
    // but a missing file under a surviving row would not.
    for (const QString &attachmentId : std::as_const(attachmentIds)) {
        const QString path = AttachmentRepository::filePath(attachmentId);
        if (!path.isEmpty())
            QFile::remove(path);
    }

    emit notePurged(id);
    emit notesChanged();
    return true;
}

bool NoteRepository::markSynced(const QString &id, int version)
{
    QSqlQuery q(m_database->database());
    return exec(q, QStringLiteral("UPDATE notes SET sync_status='synced', version=?, op_version=? WHERE id=?"),
                {version, version, id});
}

bool NoteRepository::setServerVersion(const QString &id, int version)
{
    QSqlQuery q(m_database->database());
    return exec(q, QStringLiteral("UPDATE notes SET op_version=? WHERE id=?"), {version, id});
}

int NoteRepository::markAllPending()
{
    // A welcome note nobody edited exists on every device under its own id;
    // uploading it would give every other device a copy.
    QSqlQuery q(m_database->database());
    if (!q.exec(QStringLiteral("UPDATE notes SET sync_status='pending' WHERE deleted_at IS NULL AND "
                               "sync_status != 'pending' AND NOT (is_sample = 1 AND version = 1)")))
        return 0;
    return q.numRowsAffected();
}

// A note the server has seen must be deleted there too, or the next full
// resync brings it back; the row is about to go, so its last state is kept.
bool NoteRepository::recordPendingDeletion(const QString &id)
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT op_version, owner_id, notebook_id, body, created_at FROM notes WHERE id = ?"), {id}))
        return false;
    if (!q.next() || q.value(0).toInt() <= 0 || !q.value(1).toString().isEmpty())
        return true;
    const QJsonObject payload{{"op_version", q.value(0).toInt()},
                              {"notebook_id", q.value(2).toString()},
                              {"body", q.value(3).toString()},
                              {"created_at", q.value(4).toString()}};
    QSqlQuery insert(m_database->database());
    return exec(insert, QStringLiteral("DELETE FROM sync_queue WHERE entity_type = 'note' AND entity_id = ?"), {id})
        && exec(insert,
                QStringLiteral("INSERT INTO sync_queue (entity_type, entity_id, action, payload, created_at) "
                               "VALUES ('note', ?, 'delete', ?, ?)"),
                {id, QString::fromUtf8(QJsonDocument(payload).toJson(QJsonDocument::Compact)), nowText()});
}

QList<PendingDeletion> NoteRepository::pendingDeletions() const
{
    QList<PendingDeletion> list;
    QSqlQuery q(m_database->database());
    if (!q.exec(QStringLiteral("SELECT entity_id, payload, created_at FROM sync_queue "
                               "WHERE entity_type = 'note' AND action = 'delete' ORDER BY id")))
        return list;
    while (q.next()) {
        const QJsonObject payload = QJsonDocument::fromJson(q.value(1).toString().toUtf8()).object();
        list.append({q.value(0).toString(), payload.value("op_version").toInt(), payload.value("notebook_id").toString(),
                     payload.value("body").toString(), storageTimeFromText(payload.value("created_at").toString()),
                     storageTimeFromText(q.value(2).toString())});
    }
    return list;
}

bool NoteRepository::clearPendingDeletion(const QString &id)
{
    QSqlQuery q(m_database->database());
    return exec(q, QStringLiteral("DELETE FROM sync_queue WHERE entity_type = 'note' AND entity_id = ?"), {id});
}

bool NoteRepository::includeInTodos(const QString &noteId) const
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT include_in_todos FROM note_task_settings WHERE note_id = ?"), {noteId})
        || !q.next())
        return true;
    return q.value(0).toInt() != 0;
}

bool NoteRepository::setIncludeInTodos(const QString &noteId, bool include)
{
    QSqlQuery q(m_database->database());
    return exec(q,
                QStringLiteral("INSERT INTO note_task_settings (note_id, include_in_todos) VALUES (?, ?) "
                               "ON CONFLICT(note_id) DO UPDATE SET include_in_todos = excluded.include_in_todos"),
                {noteId, include ? 1 : 0});
}
