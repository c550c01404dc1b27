#pragma once

#include "note.h"
#include "noterow.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

class QSqlQuery;
class QSqlRecord;

// The notes table as its readers (NoteRepository, NoteSearch, NoteSyncState)
// all see it: the columns of a light row, one filter per list, and the
// mapping of rows to notes, so that every reader lists alike.
namespace NoteSql {

// Column positions of a notes row, looked up once per query rather than by
// name for every value of every row.
struct NoteColumns
{
    explicit NoteColumns(const QSqlRecord &record);

    int id, notebookId, body, createdAt, updatedAt, modifiedAt, deletedAt, version, opVersion, syncStatus,
        isSample, ownerId, isShared, permission;
};

Note noteFromRow(const QSqlQuery &q, const NoteColumns &c);
// Maps every row; the query must be forward-only so the driver keeps no copy
// of the rows already read.
void appendNotes(QSqlQuery &q, QList<Note> *notes);
// Whole notes of a SELECT * over notes; empty when the query failed (it logs).
QList<Note> readNotes(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {});

// The columns rowFrom reads, in its order, from notes aliased n.
extern const QString kRowColumns;
NoteRow rowFrom(const QSqlQuery &q);
// Light rows of the notes matching where (a WHERE and ORDER BY clause).
QList<NoteRow> readRows(const QSqlDatabase &db, const QString &where, const QVariantList &values = {});

extern const QString kLive;
extern const QString kInNotebook;
extern const QString kTrashed;
extern const QString kSharedByMe;
extern const QString kSharedWithMe;
QString allColumns(const QString &where);

// Live notes of notebookId (empty: every notebook), from the counts the
// triggers keep.
int liveCount(const QSqlDatabase &db, const QString &notebookId = QString());

} // namespace NoteSql
