// The reading half of NoteRepository: lists of notes and of light rows,
// pages of them, counts and to-dos.
#include "noterepository.h"

#include "database.h"
#include "notesql.h"
#include "sqlhelpers.h"
#include "storagetime.h"

#include <QSqlQuery>
#include <QSqlRecord>

using namespace NoteSql;
using namespace SqlHelpers;

QList<Note> NoteRepository::allNotes() const
{
    return readNotes(m_database->database(), allColumns(kLive));
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
    return readNotes(m_database->database(), allColumns(kInNotebook), {textOrEmpty(notebookId)});
}

QList<Note> NoteRepository::trashedNotes() const
{
    return readNotes(m_database->database(), allColumns(kTrashed));
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

QList<Note> NoteRepository::sharedByMe() const
{
    return readNotes(m_database->database(), allColumns(kSharedByMe));
}

QList<Note> NoteRepository::sharedWithMe() const
{
    return readNotes(m_database->database(), allColumns(kSharedWithMe));
}

QList<NoteRow> NoteRepository::allRows() const
{
    return readRows(m_database->database(), kLive);
}

QList<NoteRow> NoteRepository::rowsInNotebook(const QString &notebookId) const
{
    return readRows(m_database->database(), kInNotebook, {textOrEmpty(notebookId)});
}

QList<NoteRow> NoteRepository::trashedRows() const
{
    return readRows(m_database->database(), kTrashed);
}

QList<NoteRow> NoteRepository::sharedByMeRows() const
{
    return readRows(m_database->database(), kSharedByMe);
}

QList<NoteRow> NoteRepository::sharedWithMeRows() const
{
    return readRows(m_database->database(), kSharedWithMe);
}

std::optional<NoteRow> NoteRepository::rowById(const QString &id) const
{
    const QList<NoteRow> rows = readRows(m_database->database(), QStringLiteral("WHERE id = ?"), {id});
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
    return readRows(m_database->database(), where, values);
}

int NoteRepository::liveCount(const QString &notebookId) const
{
    return NoteSql::liveCount(m_database->database(), notebookId);
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
