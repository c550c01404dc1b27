#include "noterepository.h"

#include "attachmentrepository.h"
#include "database.h"
#include "largecache.h"
#include "notesearchindex.h"
#include "relaxedsync.h"
#include "sqlhelpers.h"
#include "storagehealth.h"
#include "storagelog.h"
#include "storagetime.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <optional>

using namespace SqlHelpers;


NoteRepository::NoteRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
    , m_search(database)
    , m_syncState(database)
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

bool NoteRepository::insert(const Note &note, const NoteText *text, SearchRow searchRow)
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
    if (!ok || !NoteSearchIndex::write(m_database, note.id, note.body, text, searchRow) || !write.commit()) {
        // The failing statement has logged its own cause just before.
        qCWarning(lcStorage).noquote() << "NoteRepository::insert failed for note" << note.id;
        return false;
    }
    emit notesWritten({note.id});
    return true;
}

bool NoteRepository::update(const Note &note, const NoteText *text, SearchRow searchRow)
{
    return updateRow(note, nullptr, text, searchRow) == WriteResult::Written;
}

NoteRepository::WriteResult NoteRepository::updateIfBodyIs(const Note &note, const QString &expectedBody)
{
    return updateRow(note, &expectedBody);
}

NoteRepository::WriteResult NoteRepository::updateRow(const Note &note, const QString *expectedBody,
                                                     const NoteText *text, SearchRow searchRow)
{
    WriteScope write(m_database->database());
    QSqlQuery q(m_database->database());
    QString sql;
    QVariantList values;
    if (expectedBody) {
        // The rest of the row was read before the edit: another window or
        // process may have moved, trashed or synced the note since.
        sql = QStringLiteral("UPDATE notes SET body=?, updated_at=?, modified_at=?, version=version+1, "
                             "sync_status=? WHERE id=? AND body=?");
        values = {textOrEmpty(note.body), storageTimeText(note.updatedAt), storageTimeText(note.modifiedAt),
                  syncStatusToString(note.syncStatus), note.id, textOrEmpty(*expectedBody)};
    } else {
        sql = QStringLiteral("UPDATE notes SET notebook_id=?, body=?, updated_at=?, modified_at=?, deleted_at=?, "
                             "version=?, op_version=?, sync_status=?, is_sample=?, owner_id=?, is_shared=?, "
                             "permission=? WHERE id=?");
        values = {textOrEmpty(note.notebookId), textOrEmpty(note.body), storageTimeText(note.updatedAt),
                  storageTimeText(note.modifiedAt), optionalTime(note.deletedAt), note.version, note.opVersion,
                  syncStatusToString(note.syncStatus), note.isSample ? 1 : 0, textOrNull(note.ownerId),
                  note.isShared ? 1 : 0, textOrNull(note.permission), note.id};
    }
    const bool ok = write.isOpen() && exec(q, sql, values);
    if (ok && expectedBody && q.numRowsAffected() == 0)
        return WriteResult::RowChanged;
    if (!ok || !NoteSearchIndex::write(m_database, note.id, note.body, text, searchRow) || !write.commit()) {
        qCWarning(lcStorage).noquote() << "NoteRepository::update failed for note" << note.id;
        return WriteResult::Failed;
    }
    emit notesWritten({note.id});
    return WriteResult::Written;
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
        if (!q.exec()) {
            StorageHealth::reportFailure(q.lastError(), q.lastQuery());
            return false;
        }
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
    const QVariantList bound = idSetValue.isValid() ? QVariantList{idSetValue} : QVariantList{};
    QSqlQuery probe(db);
    if (!exec(probe, QStringLiteral("SELECT 1 FROM attachments WHERE note_id IN %1 LIMIT 1").arg(idSet), bound))
        return false;
    // A purge lost to a power cut only puts the notes back in the trash, so its
    // commit skips the log's sync (a tenth of emptying a trash of 500). Not
    // when files go with it: a file must never go before its row.
    std::optional<RelaxedSync> relaxed;
    if (!probe.next())
        relaxed.emplace(db);
    probe.finish();
    // Each note's pages (row, body overflow, index entries, search text) are
    // read to be freed: with the default cache they spill and are read again.
    const LargeCache cache(db, 64);
    WriteScope write(db);
    if (!write.isOpen())
        return false;
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
                 QStringLiteral("INSERT INTO sync_queue (entity_type, entity_id, action, payload, created_at, account) "
                                "SELECT 'note', id, 'delete', json_object('op_version', op_version, 'notebook_id', "
                                "notebook_id, 'body', body, 'created_at', created_at), ?, account FROM notes "
                                "WHERE id IN (%1) ORDER BY rowid")
                     .arg(seen),
                 QVariantList{nowText()} + bound))
        return false;
    for (const char *statement :
         {"DELETE FROM note_snapshots WHERE note_id IN %1", "DELETE FROM note_task_settings WHERE note_id IN %1",
          "DELETE FROM attachments WHERE note_id IN %1", "DELETE FROM note_operations WHERE note_id IN %1",
          "DELETE FROM tasks WHERE note_id IN %1", "DELETE FROM todo_items WHERE note_id IN %1",
          "DELETE FROM note_bases WHERE note_id IN %1",
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
    emit notesPurged(ids);
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

bool NoteRepository::purgeTrashed(const QStringList &ids)
{
    // Only those still in the trash: one restored since they were listed stays.
    if (!purgeRows(QStringLiteral("(SELECT id FROM notes WHERE deleted_at IS NOT NULL AND id IN %1)").arg(kBoundIdSet),
                   idArray(ids)))
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
