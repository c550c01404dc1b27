// The reading half of NoteRepository: lists of notes and of light rows,
// pages of them, search, counts and to-dos.
#include "noterepository.h"

#include "database.h"
#include "notesearchindex.h"
#include "sqlhelpers.h"
#include "storagetime.h"

#include <QRegularExpression>
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

// A match of a live note. A note row holds its body before deleted_at, so
// reading it per match is slow; the few trashed rowids come from
// idx_notes_deleted_at instead.
const QString kLiveMatch = QStringLiteral(
    "notes_fts MATCH ? AND rowid NOT IN (SELECT rowid FROM notes WHERE deleted_at IS NOT NULL)");

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

// One filter per list, shared by whole notes and light rows so that both list alike.
const QString kLive = QStringLiteral("WHERE deleted_at IS NULL ORDER BY updated_at DESC, id DESC");
const QString kInNotebook =
    QStringLiteral("WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC, id DESC");
const QString kTrashed = QStringLiteral("WHERE deleted_at IS NOT NULL ORDER BY deleted_at DESC");
const QString kSharedByMe = QStringLiteral("WHERE is_shared = 1 AND (owner_id IS NULL OR owner_id = '') "
                                           "AND deleted_at IS NULL ORDER BY updated_at DESC");
const QString kSharedWithMe = QStringLiteral("WHERE owner_id IS NOT NULL AND owner_id != '' "
                                             "AND deleted_at IS NULL ORDER BY updated_at DESC");

QString allColumns(const QString &where)
{
    return QStringLiteral("SELECT * FROM notes ") + where;
}

} // namespace

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
    return queryNotes(allColumns(kLive));
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
    return queryNotes(allColumns(kInNotebook), {textOrEmpty(notebookId)});
}

QList<Note> NoteRepository::trashedNotes() const
{
    return queryNotes(allColumns(kTrashed));
}

QList<Note> NoteRepository::pendingNotes() const
{
    return queryNotes(QStringLiteral("SELECT * FROM notes WHERE sync_status = 'pending' AND account = ''"));
}

QList<Note> NoteRepository::sharedByMe() const
{
    return queryNotes(allColumns(kSharedByMe));
}

QList<Note> NoteRepository::sharedWithMe() const
{
    return queryNotes(allColumns(kSharedWithMe));
}

// Runs sql with the expression first as typed, so the FTS5 query syntax
// applies; FTS5 reports a syntax error only when stepping, hence the fall-back
// on a failed execution rather than a failed prepare. Everyday punctuation
// (don't, c++, e-mail, a lone quote) is such an error and is searched again as
// quoted words. The expression binds to the first `matches` placeholders.
template<typename Read>
bool NoteRepository::matchSearch(const QString &text, const QString &sql, const QVariantList &tail, Read read,
                                 int matches) const
{
    for (const QString &expression : {text + QLatin1Char('*'), quotedExpression(text)}) {
        QSqlQuery q(m_database->database());
        q.setForwardOnly(true);
        if (exec(q, sql, QVariantList(matches, expression) + tail)) {
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
    // ORDER BY rank has FTS5 score and sort every match; ordering by bm25()
    // under a LIMIT keeps only the page in the sorter. The outer scan makes the
    // snippets of that page alone; its unary + keeps the IN list from becoming
    // one lookup per row, each of which rebuilds a prefix term's matches.
    matchSearch(text,
                QStringLiteral("SELECT %1, snippet(notes_fts, 0, char(2), char(3), '…', 12) FROM notes_fts f "
                               "JOIN notes n ON n.rowid = f.rowid WHERE notes_fts MATCH ? AND +f.rowid IN "
                               "(SELECT rowid FROM notes_fts WHERE %2 ORDER BY bm25(notes_fts), rowid LIMIT ? OFFSET ?) "
                               "ORDER BY bm25(notes_fts), f.rowid")
                    .arg(kRowColumns, kLiveMatch),
                {limit, offset},
                [&rows](QSqlQuery &q) {
                    while (q.next()) {
                        rows.append(rowFrom(q));
                        rows.last().snippet = q.value(8).toString();
                    }
                },
                2);
    return rows;
}

int NoteRepository::searchCount(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return countsByNotebook().value(QString());
    int count = 0;
    matchSearch(text,
                QStringLiteral("SELECT COUNT(*) FROM notes_fts WHERE %1").arg(kLiveMatch),
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
    return queryRows(kLive);
}

QList<NoteRow> NoteRepository::rowsInNotebook(const QString &notebookId) const
{
    return queryRows(kInNotebook, {textOrEmpty(notebookId)});
}

QList<NoteRow> NoteRepository::trashedRows() const
{
    return queryRows(kTrashed);
}

QList<NoteRow> NoteRepository::sharedByMeRows() const
{
    return queryRows(kSharedByMe);
}

QList<NoteRow> NoteRepository::sharedWithMeRows() const
{
    return queryRows(kSharedWithMe);
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


QList<NoteRow> NoteRepository::rowsPage(const QString &notebookId, bool oldestFirst,
                                       const std::optional<NoteRow> &after, int limit) const
{
    // Served by idx_notes_list alone: rows in order, no body read.
    QString where = QStringLiteral("WHERE deleted_at IS NULL");
    QVariantList values;
    if (!notebookId.isEmpty()) {
        where += QStringLiteral(" AND notebook_id = ?");
        values << notebookId;
    }
    if (after) {
        where += oldestFirst ? QStringLiteral(" AND (updated_at, id) > (?, ?)")
                             : QStringLiteral(" AND (updated_at, id) < (?, ?)");
        values << storageTimeText(after->updatedAt) << after->id;
    }
    where += oldestFirst ? QStringLiteral(" ORDER BY updated_at, id LIMIT ?")
                         : QStringLiteral(" ORDER BY updated_at DESC, id DESC LIMIT ?");
    values << limit;
    return queryRows(where, values);
}

int NoteRepository::liveCount(const QString &notebookId) const
{
    QSqlQuery q(m_database->database());
    const bool ok = notebookId.isEmpty()
        ? exec(q, QStringLiteral("SELECT COUNT(*) FROM notes WHERE deleted_at IS NULL"))
        : exec(q, QStringLiteral("SELECT COUNT(*) FROM notes WHERE deleted_at IS NULL AND notebook_id = ?"),
               {notebookId});
    return ok && q.next() ? q.value(0).toInt() : 0;
}

namespace {

const QString kTodoTexts = QStringLiteral("SELECT n.id, n.title, n.updated_at, t.tasks FROM notes n "
                                          "JOIN note_todos t ON t.note_id = n.id WHERE n.deleted_at IS NULL "
                                          "AND t.tasks != ''");

NoteRepository::TodoText todoFrom(const QSqlQuery &q)
{
    return {q.value(0).toString(), q.value(1).toString(), storageTimeFromText(q.value(2).toString()),
            q.value(3).toString()};
}

} // namespace

QList<NoteRepository::TodoText> NoteRepository::todoTexts()
{
    QList<TodoText> todos;
    if (!NoteSearchIndex::writeTodos(m_database))
        return todos;
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, kTodoTexts))
        return todos;
    while (q.next())
        todos.append(todoFrom(q));
    return todos;
}

std::optional<NoteRepository::TodoText> NoteRepository::todoText(const QString &noteId) const
{
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, kTodoTexts + QStringLiteral(" AND n.id = ?"), {noteId}) || !q.next())
        return std::nullopt;
    return todoFrom(q);
}
