#pragma once

#include "notetext.h"

#include <QSqlDatabase>
#include <QString>

class QSqlQuery;

// The statement that adds one kept to-do, bound by bindTodos.
inline constexpr char kInsertTodo[] =
    "INSERT INTO todo_items (note_id, line_index, char_offset, source, is_completed, text, text_key, note_title, "
    "note_updated_at, live) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
// Runs insert (prepared with kInsertTodo) once per to-do of text. Internal to storage.
bool bindTodos(QSqlQuery &insert, const QString &noteId, const NoteText &text, const QString &updatedAt, bool live);
// The text columns are NOT NULL: a null text must reach them as ''.
QString nonNullText(const QString &text);

// One pass over every stored note body, for a migration: the list texts and
// search text of each note and/or its kept to-dos, each body parsed once.
// Runs inside the caller's transaction, which keeps it all or nothing.
class BodyBackfill final
{
public:
    BodyBackfill(const QSqlDatabase &db, NoteTextExtractor extract)
        : m_db(db)
        , m_extract(std::move(extract))
    {
    }

    // texts: titles, previews and the search index; todos: the kept to-dos.
    // False (logged) on any failed statement; the caller rolls back.
    bool run(bool texts, bool todos);

private:
    QSqlDatabase m_db;
    NoteTextExtractor m_extract;
};
