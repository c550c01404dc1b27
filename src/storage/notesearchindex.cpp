#include "notesearchindex.h"

#include "database.h"
#include "sqlhelpers.h"
#include "storagelog.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace SqlHelpers;

namespace NoteSearchIndex {

namespace {

// The text columns are NOT NULL: a null text must reach them as ''.
QString nonNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

bool write(Database *database, const QString &noteId, const QString &body)
{
    const QSqlDatabase db = database->database();
    NoteText text = database->noteText(body);
    const std::optional<QString> todos = database->noteTodos(body);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // File names are what a reader sees of an attachment.
    if (!exec(q, QStringLiteral("SELECT filename FROM attachments WHERE note_id = ?"), {noteId}))
        return false;
    while (q.next())
        text.searchText += QLatin1Char('\n') + q.value(0).toString();
    const bool ok = exec(q, QStringLiteral("UPDATE notes SET title=?, preview=? WHERE id=?"),
                         {nonNull(text.title), nonNull(text.preview), noteId})
        && remove(database, noteId)
        && exec(q, QStringLiteral("INSERT INTO notes_fts(rowid, text) SELECT rowid, ? FROM notes WHERE id=?"),
                {nonNull(text.searchText), noteId})
        && (todos ? exec(q, QStringLiteral("INSERT OR REPLACE INTO note_todos (note_id, tasks) VALUES (?, ?)"),
                         {noteId, nonNull(*todos)})
                       : exec(q, QStringLiteral("DELETE FROM note_todos WHERE note_id = ?"), {noteId}));
    if (!ok)
        qCWarning(lcStorage).noquote() << "Search text not written:" << q.lastError().text();
    return ok;
}

bool writeTodos(Database *database)
{
    const QSqlDatabase db = database->database();
    WriteScope write(db);
    QSqlQuery notes(db);
    notes.setForwardOnly(true);
    if (!write.isOpen() || !exec(notes, QStringLiteral("SELECT id, body FROM notes n WHERE deleted_at IS NULL AND NOT EXISTS "
                                    "(SELECT 1 FROM note_todos t WHERE t.note_id = n.id)")))
        return false;
    QSqlQuery insert(db);
    if (!insert.prepare(QStringLiteral("INSERT INTO note_todos (note_id, tasks) VALUES (?, ?)")))
        return false;
    while (notes.next()) {
        const std::optional<QString> todos = database->noteTodos(notes.value(1).toString());
        if (!todos)
            return true; // nothing reads to-dos here
        insert.bindValue(0, notes.value(0));
        insert.bindValue(1, nonNull(*todos));
        if (!insert.exec()) {
            qCWarning(lcStorage).noquote() << "To-dos not written:" << insert.lastError().text();
            return false;
        }
    }
    notes.finish();
    return write.commit();
}

bool rewrite(Database *database, const QString &noteId)
{
    QSqlQuery q(database->database());
    q.setForwardOnly(true);
    if (!exec(q, QStringLiteral("SELECT body FROM notes WHERE id=?"), {noteId}))
        return false;
    if (!q.next())
        return true; // nothing to index
    const QString body = q.value(0).toString();
    q.finish();
    return write(database, noteId, body);
}

bool remove(Database *database, const QString &noteId)
{
    QSqlQuery q(database->database());
    return exec(q, QStringLiteral("DELETE FROM notes_fts WHERE rowid = (SELECT rowid FROM notes WHERE id=?)"),
                {noteId});
}

} // namespace NoteSearchIndex
