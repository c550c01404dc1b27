#include "notebulkwriter.h"

#include "database.h"
#include "sqlhelpers.h"
#include "storagehealth.h"
#include "storagelog.h"
#include "storagetime.h"

#include <QSqlError>

using namespace SqlHelpers;

NoteBulkWriter::NoteBulkWriter(Database *database)
    : m_database(database)
    , m_lookup(database->database())
    , m_insert(database->database())
    , m_update(database->database())
    , m_filenames(database->database())
    , m_titles(database->database())
    , m_ftsDelete(database->database())
    , m_ftsInsert(database->database())
    , m_todoDelete(database->database())
    , m_todoInsert(database->database())
    , m_pendingDrop(database->database())
{
    m_prepared = prepare(m_lookup, "SELECT notebook_id, body, created_at, updated_at, modified_at, deleted_at, version "
                                   "FROM notes WHERE id=?")
        && prepare(m_insert, "INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, deleted_at, "
                             "version, op_version, sync_status, is_sample, owner_id, is_shared, permission, title, "
                             "preview) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
        && prepare(m_update, "UPDATE notes SET notebook_id=?, body=?, updated_at=?, modified_at=?, deleted_at=?, "
                             "version=?, op_version=?, sync_status=?, is_sample=?, owner_id=?, is_shared=?, "
                             "permission=?, title=?, preview=? WHERE id=?")
        && prepare(m_filenames, "SELECT filename FROM attachments WHERE note_id=?")
        && prepare(m_ftsDelete, "DELETE FROM notes_fts WHERE rowid = (SELECT rowid FROM notes WHERE id=?)")
        && prepare(m_ftsInsert, "INSERT INTO notes_fts(rowid, text) SELECT rowid, ? FROM notes WHERE id=?")
        && prepare(m_todoDelete, "DELETE FROM todo_items WHERE note_id=?")
        && prepare(m_todoInsert, kInsertTodo)
        && prepare(m_pendingDrop, "DELETE FROM note_texts_pending WHERE note_rowid = (SELECT rowid FROM notes WHERE id=?)");
}

bool NoteBulkWriter::prepare(QSqlQuery &query, const char *sql)
{
    query.setForwardOnly(true);
    if (query.prepare(QString::fromLatin1(sql)))
        return true;
    qCWarning(lcStorage).noquote() << "Bulk note write not prepared:" << query.lastError().text();
    return false;
}

bool NoteBulkWriter::run(QSqlQuery &query)
{
    if (query.exec())
        return true;
    StorageHealth::reportFailure(query.lastError(), query.lastQuery());
    qCWarning(lcStorage).noquote() << "Bulk note write failed:" << query.lastError().text();
    return false;
}

std::optional<Note> NoteBulkWriter::stored(const QString &id)
{
    m_lookup.bindValue(0, id);
    if (!m_prepared || !run(m_lookup) || !m_lookup.next()) {
        m_lookup.finish();
        return std::nullopt;
    }
    Note note;
    note.id = id;
    note.notebookId = m_lookup.value(0).toString();
    note.body = m_lookup.value(1).toString();
    note.createdAt = storageTimeFromText(m_lookup.value(2).toString());
    note.updatedAt = storageTimeFromText(m_lookup.value(3).toString());
    note.modifiedAt = storageTimeFromText(m_lookup.value(4).toString());
    note.deletedAt = optionalTimeFromText(m_lookup.value(5).toString());
    note.version = m_lookup.value(6).toInt();
    m_lookup.finish();
    return note;
}

bool NoteBulkWriter::insert(const Note &note, const NoteText &text)
{
    if (!m_prepared)
        return false;
    const QVariantList values{note.id, textOrEmpty(note.notebookId), textOrEmpty(note.body),
                              storageTimeText(note.createdAt), storageTimeText(note.updatedAt),
                              storageTimeText(note.modifiedAt), optionalTime(note.deletedAt), note.version,
                              note.opVersion, syncStatusToString(note.syncStatus), note.isSample ? 1 : 0,
                              textOrNull(note.ownerId), note.isShared ? 1 : 0, textOrNull(note.permission),
                              nonNullText(text.title), nonNullText(text.preview)};
    for (int i = 0; i < values.size(); ++i)
        m_insert.bindValue(i, values.at(i));
    // A row that fails leaves nothing of itself; the job goes on with the next.
    WriteScope write(m_database->database());
    return write.isOpen() && run(m_insert) && writeTexts(note, text) && write.commit();
}

bool NoteBulkWriter::update(const Note &note, const NoteText &text)
{
    if (!m_prepared)
        return false;
    const QVariantList values{textOrEmpty(note.notebookId), textOrEmpty(note.body), storageTimeText(note.updatedAt),
                              storageTimeText(note.modifiedAt), optionalTime(note.deletedAt), note.version,
                              note.opVersion, syncStatusToString(note.syncStatus), note.isSample ? 1 : 0,
                              textOrNull(note.ownerId), note.isShared ? 1 : 0, textOrNull(note.permission),
                              nonNullText(text.title), nonNullText(text.preview), note.id};
    for (int i = 0; i < values.size(); ++i)
        m_update.bindValue(i, values.at(i));
    WriteScope write(m_database->database());
    return write.isOpen() && run(m_update) && writeTexts(note, text) && write.commit();
}

// The search row and the to-dos, as NoteSearchIndex writes them, from the given texts.
bool NoteBulkWriter::writeTexts(const Note &note, const NoteText &text)
{
    QString searchText = text.searchText;
    m_filenames.bindValue(0, note.id);
    if (!run(m_filenames))
        return false;
    while (m_filenames.next())
        searchText += QLatin1Char('\n') + m_filenames.value(0).toString();
    m_filenames.finish();
    m_ftsDelete.bindValue(0, note.id);
    m_ftsInsert.bindValue(0, nonNullText(searchText));
    m_ftsInsert.bindValue(1, note.id);
    m_todoDelete.bindValue(0, note.id);
    m_pendingDrop.bindValue(0, note.id);
    if (!run(m_ftsDelete) || !run(m_ftsInsert) || !run(m_todoDelete) || !run(m_pendingDrop))
        return false;
    if (!bindTodos(m_todoInsert, note.id, text, storageTimeText(note.updatedAt), !note.deletedAt)) {
        qCWarning(lcStorage).noquote() << "Bulk note write: to-dos not written:" << m_todoInsert.lastError().text();
        return false;
    }
    return true;
}
