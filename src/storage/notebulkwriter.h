#pragma once

#include "note.h"
#include "notetext.h"

#include <QSqlQuery>

#include <optional>

class Database;

// Writes many notes whose texts were extracted beforehand (on a worker, one
// parse per body) with statements prepared once. Joins the transaction the
// caller holds; emits nothing: the caller signals once for the whole job.
// GUI thread (the database's thread) only.
class NoteBulkWriter final
{
public:
    explicit NoteBulkWriter(Database *database);

    // The stored note of that id, with the columns a restore compares.
    std::optional<Note> stored(const QString &id);
    bool insert(const Note &note, const NoteText &text);
    // Every column but id and created_at, as given.
    bool update(const Note &note, const NoteText &text);

private:
    bool prepare(QSqlQuery &query, const char *sql);
    bool run(QSqlQuery &query);
    bool writeTexts(const Note &note, const NoteText &text);

    Database *m_database;
    bool m_prepared = false;
    QSqlQuery m_lookup;
    QSqlQuery m_insert;
    QSqlQuery m_update;
    QSqlQuery m_filenames;
    QSqlQuery m_titles;
    QSqlQuery m_ftsDelete;
    QSqlQuery m_ftsInsert;
    QSqlQuery m_todoDelete;
    QSqlQuery m_todoInsert;
    QSqlQuery m_pendingDrop;
};
