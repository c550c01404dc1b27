#include "noterepository.h"

#include "attachmentrepository.h"
#include "database.h"
#include "notesearchindex.h"
#include "sqlhelpers.h"
#include "storagelog.h"
#include "storagetime.h"

#include <QFile>
#include <QJsonArray>
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

// Runs sql with the expression first as typed, so the FTS5 query syntax
// applies; FTS5 reports a syntax error only when stepping, hence the fall-back
// on a failed execution rather than a failed prepare. Everyday punctuation
// (don't, c++, e-mail, a lone quote) is such an error and is searched again as
// quoted words.
template<typename Read>
bool NoteRepository::matchSearch(const QString &text, const QString &sql, const QVariantList &tail, Read read) const
{
    for (const QString &expression : {text + QLatin1Char('*'), quotedExpression(text)}) {
        QSqlQuery q(m_database->database());
        q.setForwardOnly(true);
        if (exec(q, sql, QVariantList{expression} + tail)) {
            read(q);
            return true;
        }
    }
    return false;
}

QList<Note> NoteRepository::search(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return allNotes();
    QList<Note> notes;
    matchSearch(text,
                QStringLiteral("SELECT n.* FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                               "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank"),
                {}, [&notes](QSqlQuery &q) { appendNotes(q, &notes); });
    return notes;
}

QList<NoteRow> NoteRepository::searchRows(const QString &text, int limit, int offset) const
{
    if (text.trimmed().isEmpty())
        return allRows();
    QList<NoteRow> rows;
    matchSearch(text,
                QStringLiteral("SELECT %1, snippet(notes_fts, 0, char(2), char(3), '…', 12) FROM notes_fts f "
                               "JOIN notes n ON n.rowid = f.rowid WHERE notes_fts MATCH ? AND n.deleted_at IS NULL "
                               "ORDER BY rank LIMIT ? OFFSET ?")
                    .arg(kRowColumns),
                {limit, offset}, [&rows](QSqlQuery &q) {
                    while (q.next()) {
                        rows.append(rowFrom(q));
                        rows.last().snippet = q.value(8).toString();
                    }
                });
    return rows;
}

int NoteRepository::searchCount(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return countsByNotebook().value(QString());
    int count = 0;
    matchSearch(text,
                QStringLiteral("SELECT COUNT(*) FROM notes_fts f JOIN notes n ON n.rowid = f.rowid "
                               "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL"),
                {}, [&count](QSqlQuery &q) { count = q.next() ? q.value(0).toInt() : 0; });
    return count;
}

QList<NoteRow> NoteRepository::queryRows(const QString &where, const QVariantList &values) const
{
    QList<NoteRow> rows;
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, QStringLiteral("SELECT %1 FROM notes n %2").arg(kRowColumns, where), values))
        return rows;
    while (q.next())
        rows.append(rowFrom(q));
    return rows;
}

QList<NoteRow> NoteRepository::allRows() const
{
    return queryRows(QStringLiteral("WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
}

QList<NoteRow> NoteRepository::rowsInNotebook(const QString &notebookId) const
{
    return queryRows(QStringLiteral("WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC"),
                     {textOrEmpty(notebookId)});
}

QList<NoteRow> NoteRepository::trashedRows() const
{
    return queryRows(QStringLiteral("WHERE deleted_at IS NOT NULL ORDER BY deleted_at DESC"));
}

QList<NoteRow> NoteRepository::sharedByMeRows() const
{
    return queryRows(QStringLiteral("WHERE is_shared = 1 AND (owner_id IS NULL OR owner_id = '') "
                                    "AND deleted_at IS NULL ORDER BY updated_at DESC"));
}

QList<NoteRow> NoteRepository::sharedWithMeRows() const
{
    return queryRows(QStringLiteral("WHERE owner_id IS NOT NULL AND owner_id != '' "
                                    "AND deleted_at IS NULL ORDER BY updated_at DESC"));
}

std::optional<NoteRow> NoteRepository::rowById(const QString &id) const
{
    const QList<NoteRow> rows = queryRows(QStringLiteral("WHERE id = ?"), {id});
    return rows.isEmpty() ? std::nullopt : std::optional<NoteRow>(rows.first());
}

int NoteRepository::trashCount() const
{
    QSqlQuery q(m_database->database());
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM notes WHERE deleted_at IS NOT NULL")) || !q.next())
        return 0;
    return q.value(0).toInt();
}

QHash<QString, QString> NoteRepository::liveNoteStamps() const
{
    QHash<QString, QString> stamps;
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id, updated_at || modified_at || version || sync_status FROM notes "
                               "WHERE deleted_at IS NULL")))
        return stamps;
    while (q.next())
        stamps.insert(q.value(0).toString(), q.value(1).toString());
    return stamps;
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
    WriteScope write(m_database->database());
    QSqlQuery q(m_database->database());
    const bool ok = write.isOpen()
        && exec(q,
                QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, "
                               "deleted_at, version, op_version, sync_status, is_sample, owner_id, is_shared, "
                               "permission) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                {note.id, textOrEmpty(note.notebookId), textOrEmpty(note.body), storageTimeText(note.createdAt),
                 storageTimeText(note.updatedAt), storageTimeText(note.modifiedAt), optionalTime(note.deletedAt),
                 note.version, note.opVersion, syncStatusToString(note.syncStatus), note.isSample ? 1 : 0,
                 textOrNull(note.ownerId), note.isShared ? 1 : 0, textOrNull(note.permission)});
    if (!ok || !NoteSearchIndex::write(m_database, note.id, note.body) || !write.commit()) {
        qCWarning(lcStorage).noquote() << "NoteRepository::insert failed:" << q.lastError().text();
        return false;
    }
    emit notesWritten({note.id});
    return true;
}

bool NoteRepository::update(const Note &note)
{
    WriteScope write(m_database->database());
    QSqlQuery q(m_database->database());
    const bool ok = write.isOpen()
        && exec(q,
                QStringLiteral("UPDATE notes SET notebook_id=?, body=?, updated_at=?, modified_at=?, "
                               "deleted_at=?, version=?, op_version=?, sync_status=?, is_sample=?, "
                               "owner_id=?, is_shared=?, permission=? WHERE id=?"),
                {textOrEmpty(note.notebookId), textOrEmpty(note.body), storageTimeText(note.updatedAt),
                 storageTimeText(note.modifiedAt), optionalTime(note.deletedAt), note.version, note.opVersion,
                 syncStatusToString(note.syncStatus), note.isSample ? 1 : 0, textOrNull(note.ownerId),
                 note.isShared ? 1 : 0, textOrNull(note.permission), note.id});
    if (!ok || !NoteSearchIndex::write(m_database, note.id, note.body) || !write.commit()) {
        qCWarning(lcStorage).noquote() << "NoteRepository::update failed:" << q.lastError().text();
        return false;
    }
    emit notesWritten({note.id});
    return true;
}

bool NoteRepository::setColumns(const QStringList &ids, const QString &set, const QVariantList &values)
{
    WriteScope write(m_database->database());
    QSqlQuery q(m_database->database());
    if (!write.isOpen() || !q.prepare(QStringLiteral("UPDATE notes SET %1 WHERE id=?").arg(set)))
        return false;
    for (const QString &id : ids) {
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values.at(i));
        q.bindValue(int(values.size()), id);
        if (!q.exec())
            return false;
    }
    return write.commit();
}

bool NoteRepository::moveToNotebook(const QString &id, const QString &notebookId)
{
    if (!setColumns({id}, QStringLiteral("notebook_id=?, modified_at=?, sync_status='pending'"),
                    {textOrEmpty(notebookId), nowText()}))
        return false;
    emit notesWritten({id});
    return true;
}

bool NoteRepository::moveToNotebook(const QStringList &ids, const QString &notebookId)
{
    if (!setColumns(ids, QStringLiteral("notebook_id=?, modified_at=?, sync_status='pending'"),
                    {textOrEmpty(notebookId), nowText()}))
        return false;
    emit notesChanged();
    return true;
}

bool NoteRepository::releaseNotebook(const QString &notebookId)
{
    if (notebookId.isEmpty())
        return true;
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("UPDATE notes SET notebook_id='', modified_at=?, sync_status='pending' "
                                "WHERE notebook_id=?"),
              {nowText(), notebookId}))
        return false;
    if (q.numRowsAffected() > 0)
        emit notesChanged();
    return true;
}

bool NoteRepository::softDelete(const QString &id)
{
    if (!setColumns({id}, QStringLiteral("deleted_at=?, sync_status='pending'"), {nowText()}))
        return false;
    emit noteDeleted(id);
    emit notesWritten({id});
    return true;
}

bool NoteRepository::softDelete(const QStringList &ids)
{
    if (!setColumns(ids, QStringLiteral("deleted_at=?, sync_status='pending'"), {nowText()}))
        return false;
    for (const QString &id : ids)
        emit noteDeleted(id);
    emit notesChanged();
    return true;
}

bool NoteRepository::restore(const QString &id)
{
    if (!setColumns({id}, QStringLiteral("deleted_at=NULL, sync_status='pending'"), {}))
        return false;
    emit notesWritten({id});
    return true;
}

bool NoteRepository::restore(const QStringList &ids)
{
    if (!setColumns(ids, QStringLiteral("deleted_at=NULL, sync_status='pending'"), {}))
        return false;
    emit notesChanged();
    return true;
}

bool NoteRepository::purgeRows(const QString &idSet, const QVariant &idSetValue)
{
    // Set-based: each statement covers every note at once, so emptying a large
    // trash costs a handful of statements rather than a handful per note.
    // With foreign keys on, any row that still names a note makes the DELETE
    // on notes fail, so its dependants go first, all in one transaction.
    // note_operations and tasks are never written by this program but may hold
    // rows in databases written by older builds.
    const QSqlDatabase db = m_database->database();
    WriteScope write(db);
    if (!write.isOpen())
        return false;
    const QVariantList bound = idSetValue.isValid() ? QVariantList{idSetValue} : QVariantList{};
    const auto readIds = [&db, &bound](const QString &sql, QStringList *ids) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!exec(q, sql, bound))
            return false;
        while (q.next())
            *ids << q.value(0).toString();
        return true;
    };
    QStringList ids;
    QStringList attachmentIds;
    if (!readIds(QStringLiteral("SELECT id FROM notes WHERE id IN %1").arg(idSet), &ids)
        || !readIds(QStringLiteral("SELECT id FROM attachments WHERE note_id IN %1").arg(idSet), &attachmentIds))
        return false;
    if (ids.isEmpty())
        return true;

    // A note the server has seen must be deleted there too, or the next full
    // resync brings it back; the row is about to go, so its last state is kept.
    const QString seen = QStringLiteral("SELECT id FROM notes WHERE id IN %1 AND op_version > 0 "
                                        "AND (owner_id IS NULL OR owner_id = '')").arg(idSet);
    QSqlQuery q(db);
    if (!exec(q, QStringLiteral("DELETE FROM sync_queue WHERE entity_type = 'note' AND entity_id IN (%1)").arg(seen),
              bound)
        || !exec(q,
                 QStringLiteral("INSERT INTO sync_queue (entity_type, entity_id, action, payload, created_at) "
                                "SELECT 'note', id, 'delete', json_object('op_version', op_version, 'notebook_id', "
                                "notebook_id, 'body', body, 'created_at', created_at), ? FROM notes "
                                "WHERE id IN (%1) ORDER BY rowid")
                     .arg(seen),
                 QVariantList{nowText()} + bound))
        return false;
    for (const char *statement :
         {"DELETE FROM note_snapshots WHERE note_id IN %1", "DELETE FROM note_task_settings WHERE note_id IN %1",
          "DELETE FROM attachments WHERE note_id IN %1", "DELETE FROM note_operations WHERE note_id IN %1",
          "DELETE FROM tasks WHERE note_id IN %1",
          "DELETE FROM notes_fts WHERE rowid IN (SELECT rowid FROM notes WHERE id IN %1)",
          "DELETE FROM notes WHERE id IN %1"}) {
        if (!exec(q, QString::fromLatin1(statement).arg(idSet), bound))
            return false;
    }
    if (!write.commit())
        return false;

    // Only now that the rows are gone for good; a leftover file would be harmless
    // but a missing file under a surviving row would not.
    for (const QString &attachmentId : std::as_const(attachmentIds)) {
        const QString path = AttachmentRepository::filePath(attachmentId);
        if (!path.isEmpty())
            QFile::remove(path);
    }
    for (const QString &id : std::as_const(ids))
        emit notePurged(id);
    return true;
}

namespace {

// The ids bound as one JSON array, read back as a set inside the statement.
const QString kBoundIdSet = QStringLiteral("(SELECT value FROM json_each(?))");

QVariant idArray(const QStringList &ids)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(ids)).toJson(QJsonDocument::Compact));
}

} // namespace

bool NoteRepository::purge(const QString &id)
{
    if (!purgeRows(kBoundIdSet, idArray({id})))
        return false;
    emit notesWritten({id});
    return true;
}

bool NoteRepository::purge(const QStringList &ids)
{
    if (!purgeRows(kBoundIdSet, idArray(ids)))
        return false;
    emit notesChanged();
    return true;
}

bool NoteRepository::emptyTrash()
{
    if (trashCount() == 0)
        return true;
    if (!purgeRows(QStringLiteral("(SELECT id FROM notes WHERE deleted_at IS NOT NULL)")))
        return false;
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
