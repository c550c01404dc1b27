#pragma once

#include "notetext.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <optional>
#include <vector>

// The statement that adds one kept to-do, bound by bindTodos.
inline constexpr char kInsertTodo[] =
    "INSERT INTO todo_items (note_id, line_index, char_offset, source, is_completed, text, text_key, note_title, "
    "note_updated_at, live) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
// Runs insert (prepared with kInsertTodo) once per to-do of text. Internal to storage.
bool bindTodos(QSqlQuery &insert, const QString &noteId, const NoteText &text, const QString &updatedAt, bool live);
// The text columns are NOT NULL: a null text must reach them as ''.
QString nonNullText(const QString &text);

// Makes the list texts, search row and kept to-dos of the notes a migration
// left pending (note_texts_pending), a batch at a time and in list order:
// read the bodies, parse them (no database), write them in one short
// transaction. Any connection to the file will do; one object per thread.
class BodyBackfill final
{
public:
    // One pending note; found is false when its note is gone. A note a sync
    // merge listed comes with its search text (searchOnly): its other texts
    // are written, and its body is neither read nor parsed.
    struct Item
    {
        qint64 rowid = 0;
        bool found = false;
        bool searchOnly = false;
        QString id;
        QByteArray body;
        QString names;
        QString preparedSearch;
        // Filled by parse(): the texts (search text apart) and the search text as UTF-8.
        NoteText text;
        QByteArray searchText;
    };
    using Batch = std::vector<Item>;

    BodyBackfill(const QSqlDatabase &db, NoteTextExtractor extract);

    // The next notes due, at most limit; empty when none is. Nullopt on a failed read.
    std::optional<Batch> read(int limit);
    // Needs no database: any thread, several at once.
    void parse(Batch &batch) const;
    // Writes the batch in one transaction and drops its notes from the
    // pending set. A note the write path wrote since it was read (no longer
    // pending, or listed again with another search text) or whose body
    // changed is left as it is. Returns the notes
    // written, or -1 when the transaction failed (nothing of it kept).
    int write(const Batch &batch);
    // read, parse and write; -1 on failure, 0 when nothing is due.
    int runBatch(int limit);

    static qint64 pendingCount(const QSqlDatabase &db);

private:
    bool prepare();
    bool writeItem(const Item &item, bool *written);
    bool writeSearchRow(const Item &item, bool *written);

    QSqlDatabase m_db;
    NoteTextExtractor m_extract;
    bool m_prepared = false;
    QSqlQuery m_read;
    QSqlQuery m_current;
    QSqlQuery m_drop;
    QSqlQuery m_dropPrepared;
    QSqlQuery m_setTexts;
    QSqlQuery m_ftsDelete;
    QSqlQuery m_ftsInsert;
    QSqlQuery m_todoDelete;
    QSqlQuery m_todoInsert;
};
