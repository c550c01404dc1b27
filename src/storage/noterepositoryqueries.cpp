// The reading half of NoteRepository: lists of notes and of light rows,
// pages of them, search, counts and to-dos.
#include "noterepository.h"

#include "database.h"
#include "sqlhelpers.h"
#include "storagetime.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

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

bool NoteRepository::forEachNote(const std::function<bool(const Note &)> &each) const
{
    // In the table's own order: one pass over the file, where the order of a
    // list would fetch each row (and its body) from wherever it lies.
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, QStringLiteral("SELECT * FROM notes")))
        return false;
    const NoteColumns columns(q.record());
    while (q.next()) {
        if (!each(noteFromRow(q, columns)))
            return false;
    }
    return true;
}

QList<Note> NoteRepository::pendingNotes() const
{
    return queryNotes(QStringLiteral("SELECT * FROM notes WHERE sync_status = 'pending' AND account = ''"));
}

QList<NoteRepository::PendingSize> NoteRepository::pendingSizes(qint64 after, int limit) const
{
    QList<PendingSize> sizes;
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, QStringLiteral("SELECT rowid, id, length(CAST(body AS BLOB)) FROM notes WHERE sync_status = 'pending' "
                                "AND account = '' AND rowid > ? ORDER BY rowid LIMIT ?"),
              {after, limit}))
        return sizes;
    while (q.next())
        sizes.append({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toLongLong()});
    return sizes;
}

int NoteRepository::pendingCount() const
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT COUNT(*) FROM notes WHERE sync_status = 'pending'")) || !q.next())
        return 0;
    return q.value(0).toInt();
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
    if (limit == 0 || offset < 0)
        return {};
    return searchRowsOf(text, searchRowids(text, offset, limit));
}

// The rowids of matches [from, from + count) (count < 0: to the end) of the
// order searchRows documents.
QList<qint64> NoteRepository::searchRowids(const QString &text, int from, int count) const
{
    const auto readIds = [](QList<qint64> *ids) {
        return [ids](QSqlQuery &q) {
            while (q.next())
                ids->append(q.value(0).toLongLong());
        };
    };
    // bm25 is worked out only for the candidates FTS5 reads newest first.
    QList<qint64> first;
    matchSearch(text,
                QStringLiteral("SELECT rowid FROM (SELECT rowid, bm25(notes_fts) AS score FROM notes_fts WHERE %1 "
                               "ORDER BY rowid DESC LIMIT %2) ORDER BY score, rowid LIMIT %3")
                    .arg(kLiveMatch)
                    .arg(m_searchCandidates)
                    .arg(m_searchScreen),
                {}, readIds(&first));
    const auto slice = [from, count](const QList<qint64> &ids) {
        return from >= ids.size() ? QList<qint64>() : ids.mid(from, count < 0 ? -1 : count);
    };
    if (count >= 0 && from + count <= first.size())
        return slice(first);
    if (first.size() < m_searchScreen)
        return slice(first); // every match is on the first screen

    // The rest by rank, kept while nothing is written: total_changes() counts
    // this connection's writes, data_version another's.
    QSqlQuery q(m_database->database());
    QString stamp;
    if (q.exec(QStringLiteral("SELECT total_changes()")) && q.next())
        stamp = q.value(0).toString();
    if (q.exec(QStringLiteral("PRAGMA data_version")) && q.next())
        stamp += QLatin1Char('/') + q.value(0).toString();
    if (m_ranked.text != text || m_ranked.stamp != stamp || stamp.isEmpty()) {
        m_ranked = RankedSearch{text, stamp, {}};
        matchSearch(text,
                    QStringLiteral("SELECT rowid FROM notes_fts WHERE %1 ORDER BY bm25(notes_fts), rowid")
                        .arg(kLiveMatch),
                    {}, readIds(&m_ranked.rowids));
    }
    const QSet<qint64> shown(first.cbegin(), first.cend());
    QList<qint64> all = first;
    all.reserve(m_ranked.rowids.size());
    for (const qint64 rowid : std::as_const(m_ranked.rowids)) {
        if (!shown.contains(rowid))
            all.append(rowid);
    }
    return slice(all);
}

QList<NoteRow> NoteRepository::searchRowsOf(const QString &text, const QList<qint64> &rowids) const
{
    if (rowids.isEmpty())
        return {};
    // Snippets for these rows alone. The unary + keeps the IN list from
    // becoming one lookup per row, each of which rebuilds a prefix term's
    // matches; the rowid range lets FTS5 skip the rest of them.
    QStringList ids;
    ids.reserve(rowids.size());
    for (const qint64 rowid : rowids)
        ids << QString::number(rowid);
    const auto [low, high] = std::minmax_element(rowids.cbegin(), rowids.cend());
    QHash<qint64, NoteRow> byRowid;
    matchSearch(text,
                QStringLiteral("SELECT %1, snippet(notes_fts, 0, char(2), char(3), '…', 12), f.rowid FROM notes_fts f "
                               "JOIN notes n ON n.rowid = f.rowid WHERE notes_fts MATCH ? AND f.rowid BETWEEN ? AND ? "
                               "AND +f.rowid IN (SELECT value FROM json_each(?))")
                    .arg(kRowColumns),
                {*low, *high, QStringLiteral("[%1]").arg(ids.join(QLatin1Char(',')))},
                [&byRowid](QSqlQuery &q) {
                    while (q.next()) {
                        NoteRow row = rowFrom(q);
                        row.snippet = q.value(8).toString();
                        byRowid.insert(q.value(9).toLongLong(), row);
                    }
                });
    QList<NoteRow> rows;
    rows.reserve(rowids.size());
    for (const qint64 rowid : rowids) {
        const auto found = byRowid.constFind(rowid);
        if (found != byRowid.cend())
            rows.append(*found);
    }
    return rows;
}

int NoteRepository::searchCount(const QString &text) const
{
    if (text.trimmed().isEmpty())
        return liveCount();
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

// The counts are kept by triggers on notes (note_counts), so these read a
// row per notebook, not the notes.
int NoteRepository::trashCount() const
{
    QSqlQuery q(m_database->database());
    if (!q.exec(QStringLiteral("SELECT COALESCE(SUM(trashed), 0) FROM note_counts")) || !q.next())
        return 0;
    return q.value(0).toInt();
}

QHash<QString, int> NoteRepository::countsByNotebook() const
{
    QHash<QString, int> counts;
    QSqlQuery q(m_database->database());
    if (!q.exec(QStringLiteral("SELECT notebook_id, live FROM note_counts WHERE live > 0")))
        return counts;
    int total = 0;
    while (q.next()) {
        const int count = q.value(1).toInt();
        counts.insert(q.value(0).toString(), count);
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
        ? exec(q, QStringLiteral("SELECT COALESCE(SUM(live), 0) FROM note_counts"))
        : exec(q, QStringLiteral("SELECT live FROM note_counts WHERE notebook_id = ?"), {notebookId});
    return ok && q.next() ? q.value(0).toInt() : 0;
}

QList<TodoRow> NoteRepository::todoPage(TodoOrder order, bool completed, const QString &needle,
                                        const std::optional<TodoRow> &after, int limit) const
{
    // Each order has its index (idx_todo_items_updated, idx_todo_items_text)
    // led by live and is_completed, so a page is one range of it; the filter
    // only skips entries of that range.
    QString sql = QStringLiteral("SELECT note_id, line_index, char_offset, source, is_completed, text, text_key, "
                                 "note_title, note_updated_at FROM todo_items WHERE live = 1 AND is_completed = ?");
    QVariantList values{completed ? 1 : 0};
    if (!needle.isEmpty()) {
        sql += QStringLiteral(" AND instr(text_key, ?) > 0");
        values << needle;
    }
    if (order == TodoOrder::NoteUpdated) {
        if (after) {
            sql += QStringLiteral(" AND note_updated_at <= ? AND (note_updated_at < ? OR note_id < ? "
                                  "OR (note_id = ? AND line_index > ?))");
            values << after->noteUpdatedAt << after->noteUpdatedAt << after->noteId << after->noteId
                   << after->lineIndex;
        }
        sql += QStringLiteral(" ORDER BY note_updated_at DESC, note_id DESC, line_index LIMIT ?");
    } else {
        if (after) {
            sql += QStringLiteral(" AND (text_key, note_id, line_index) > (?, ?, ?)");
            values << after->textKey << after->noteId << after->lineIndex;
        }
        sql += QStringLiteral(" ORDER BY text_key, note_id, line_index LIMIT ?");
    }
    values << limit;
    QList<TodoRow> rows;
    QSqlQuery q(m_database->database());
    q.setForwardOnly(true);
    if (!exec(q, sql, values))
        return rows;
    while (q.next()) {
        rows.append({q.value(0).toString(), q.value(1).toInt(), q.value(2).toInt(), q.value(3).toInt(),
                     q.value(4).toBool(), q.value(5).toString(), q.value(6).toString(), q.value(7).toString(),
                     q.value(8).toString()});
    }
    return rows;
}

bool NoteRepository::todoBefore(const TodoRow &a, const TodoRow &b, TodoOrder order)
{
    if (order == TodoOrder::Alphabetical) {
        if (const int byText = a.textKey.compare(b.textKey))
            return byText < 0;
        if (a.noteId != b.noteId)
            return a.noteId < b.noteId;
        return a.lineIndex < b.lineIndex;
    }
    if (a.noteUpdatedAt != b.noteUpdatedAt)
        return a.noteUpdatedAt > b.noteUpdatedAt;
    if (a.noteId != b.noteId)
        return a.noteId > b.noteId;
    return a.lineIndex < b.lineIndex;
}
