#include "notesearchindex.h"

#include "database.h"
#include "sqlhelpers.h"
#include "storagelog.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace SqlHelpers;

namespace NoteSearchIndex {

bool write(Database *database, const QString &noteId, const QString &body, const NoteText *prepared,
           SearchRow searchRow)
{
    const QSqlDatabase db = database->database();
    NoteText text = prepared ? *prepared : database->noteText(body);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const bool now = searchRow == SearchRow::Now;
    // File names are what a reader sees of an attachment.
    if (!exec(q, QStringLiteral("SELECT filename FROM attachments WHERE note_id = ?"), {noteId}))
        return false;
    while (q.next())
        text.searchText += QLatin1Char('\n') + q.value(0).toString();
    // The to-do rows carry the note's state; the row was just written, so
    // reading it costs no disk.
    if (!exec(q, QStringLiteral("SELECT deleted_at IS NULL, updated_at FROM notes WHERE id=?"), {noteId}))
        return false;
    const bool live = q.next() && q.value(0).toBool();
    const QString updatedAt = q.value(1).toString();
    q.finish();
    QSqlQuery todos(db);
    bool ok = exec(q, QStringLiteral("UPDATE notes SET title=?, preview=? WHERE id=?"),
                   {nonNullText(text.title), nonNullText(text.preview), noteId})
        && exec(q, QStringLiteral("DELETE FROM todo_items WHERE note_id = ?"), {noteId});
    if (ok && now) {
        ok = remove(database, noteId)
            && exec(q, QStringLiteral("INSERT INTO notes_fts(rowid, text) SELECT rowid, ? FROM notes WHERE id=?"),
                    {nonNullText(text.searchText), noteId})
            // Written now from this body: the background fill leaves it alone.
            && exec(q, QStringLiteral("DELETE FROM note_texts_pending WHERE note_rowid = "
                                      "(SELECT rowid FROM notes WHERE id=?)"),
                    {noteId});
    } else if (ok) {
        // The old search row stays until the fill replaces it with this text.
        ok = exec(q, QStringLiteral("INSERT INTO note_texts_pending (note_rowid, search_text) SELECT rowid, ? FROM notes "
                                    "WHERE id=? ON CONFLICT(note_rowid) DO UPDATE SET search_text = excluded.search_text"),
                  {nonNullText(text.searchText), noteId});
        if (ok)
            database->noteTextsQueued();
    }
    if (ok && !text.todos.isEmpty()) {
        ok = todos.prepare(QString::fromLatin1(kInsertTodo)) && bindTodos(todos, noteId, text, updatedAt, live);
        if (!ok)
            qCWarning(lcStorage).noquote() << "To-dos not written:" << todos.lastError().text();
    }
    if (!ok)
        qCWarning(lcStorage).noquote() << "Search text not written:" << q.lastError().text();
    return ok;
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
