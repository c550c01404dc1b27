#include "bodybackfill.h"

#include "storagehealth.h"
#include "storagelog.h"

#include <QSqlError>
#include <QtConcurrent>

QString nonNullText(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

bool bindTodos(QSqlQuery &insert, const QString &noteId, const NoteText &text, const QString &updatedAt, bool live)
{
    for (const NoteTodo &todo : text.todos) {
        insert.bindValue(0, noteId);
        insert.bindValue(1, todo.lineIndex);
        insert.bindValue(2, todo.charOffset);
        insert.bindValue(3, todo.source);
        insert.bindValue(4, todo.completed ? 1 : 0);
        insert.bindValue(5, nonNullText(todo.text));
        insert.bindValue(6, todo.text.toCaseFolded());
        insert.bindValue(7, nonNullText(text.title));
        insert.bindValue(8, updatedAt);
        insert.bindValue(9, live ? 1 : 0);
        if (!insert.exec())
            return false;
    }
    return true;
}

namespace {

bool failed(const char *label, const QSqlQuery &query)
{
    StorageHealth::reportFailure(query.lastError(), query.lastQuery());
    qCWarning(lcStorage).noquote() << "Filling note texts:" << label << query.lastError().text();
    return false;
}

} // namespace

BodyBackfill::BodyBackfill(const QSqlDatabase &db, NoteTextExtractor extract)
    : m_db(db)
    , m_extract(std::move(extract))
    , m_read(db)
    , m_current(db)
    , m_drop(db)
    , m_dropPrepared(db)
    , m_setTexts(db)
    , m_ftsDelete(db)
    , m_ftsInsert(db)
    , m_todoDelete(db)
    , m_todoInsert(db)
{
}

bool BodyBackfill::prepare()
{
    if (m_prepared)
        return true;
    const std::pair<QSqlQuery *, const char *> statements[] = {
        // The body comes as its stored bytes: parse() decodes it, and write()
        // compares it with the row's as they are.
        {&m_read, "SELECT p.note_rowid, n.id, p.search_text, CASE WHEN p.search_text IS NULL THEN CAST(n.body AS BLOB) "
                  "END, CASE WHEN p.search_text IS NULL THEN (SELECT group_concat(a.filename, char(10)) "
                  "FROM attachments a WHERE a.note_id = n.id) END FROM note_texts_pending p "
                  "LEFT JOIN notes n ON n.rowid = p.note_rowid ORDER BY p.seq LIMIT ?"},
        // An empty body may come back as a null value.
        {&m_current, "SELECT coalesce(CAST(body AS BLOB) = ?, body = ''), deleted_at IS NULL, updated_at "
                     "FROM notes WHERE rowid = ?"},
        {&m_drop, "DELETE FROM note_texts_pending WHERE note_rowid = ?"},
        // Only while it still holds the text read: a later merge listed it again.
        {&m_dropPrepared, "DELETE FROM note_texts_pending WHERE note_rowid = ? AND search_text = ?"},
        // The row holds the body: it is rewritten only when its texts differ.
        {&m_setTexts, "UPDATE notes SET title = ?, preview = ? WHERE rowid = ? AND (title IS NOT ? OR "
                      "preview IS NOT ?)"},
        {&m_ftsDelete, "DELETE FROM notes_fts WHERE rowid = ?"},
        // The search text comes as UTF-8 bytes, stored as the text they are.
        {&m_ftsInsert, "INSERT INTO notes_fts(rowid, text) VALUES (?, CAST(? AS TEXT))"},
        {&m_todoDelete, "DELETE FROM todo_items WHERE note_id = ?"},
        {&m_todoInsert, kInsertTodo},
    };
    for (const auto &[query, sql] : statements) {
        query->setForwardOnly(true);
        if (!query->prepare(QString::fromLatin1(sql)))
            return failed("prepare", *query);
    }
    m_prepared = true;
    return true;
}

qint64 BodyBackfill::pendingCount(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM note_texts_pending")) || !query.next()) {
        failed("count", query);
        return 0;
    }
    return query.value(0).toLongLong();
}

std::optional<BodyBackfill::Batch> BodyBackfill::read(int limit)
{
    if (!prepare())
        return std::nullopt;
    m_read.bindValue(0, limit);
    if (!m_read.exec()) {
        failed("read", m_read);
        return std::nullopt;
    }
    Batch batch;
    while (m_read.next()) {
        Item &item = batch.emplace_back();
        item.rowid = m_read.value(0).toLongLong();
        item.found = !m_read.isNull(1);
        item.id = m_read.value(1).toString();
        item.searchOnly = !m_read.isNull(2);
        item.preparedSearch = m_read.value(2).toString();
        item.body = m_read.value(3).toByteArray();
        item.names = m_read.value(4).toString();
    }
    const bool ok = !m_read.lastError().isValid();
    m_read.finish();
    if (!ok) {
        failed("read", m_read);
        return std::nullopt;
    }
    return batch;
}

void BodyBackfill::parse(Batch &batch) const
{
    // The conversions happen here too, so the writer binds what it gets.
    const NoteTextExtractor &extract = m_extract;
    QtConcurrent::blockingMap(batch, [&extract](Item &item) {
        if (!item.found || item.searchOnly)
            return;
        item.text = extract(QString::fromUtf8(item.body));
        NoteText &text = item.text;
        text.title = nonNullText(text.title);
        text.preview = nonNullText(text.preview);
        item.searchText = item.names.isEmpty() ? text.searchText.toUtf8()
                                               : (text.searchText + QLatin1Char('\n') + item.names).toUtf8();
        text.searchText.clear();
        if (item.searchText.isNull()) // a null value binds as NULL, not as the empty text
            item.searchText = QByteArrayLiteral("");
    });
}

bool BodyBackfill::writeItem(const Item &item, bool *written)
{
    *written = false;
    m_drop.bindValue(0, item.rowid);
    if (!item.found)
        return m_drop.exec() || failed("drop", m_drop);
    if (item.searchOnly)
        return writeSearchRow(item, written);
    // Checked here, under the write lock: nothing changes the note between
    // this read and the commit.
    m_current.bindValue(0, item.body);
    m_current.bindValue(1, item.rowid);
    if (!m_current.exec())
        return failed("check", m_current);
    if (!m_current.next()) {
        m_current.finish();
        return m_drop.exec() || failed("drop", m_drop); // purged meanwhile
    }
    const bool sameBody = m_current.value(0).toBool();
    const bool live = m_current.value(1).toBool();
    const QString updatedAt = m_current.value(2).toString();
    m_current.finish();
    // A changed body stays pending and is read again; a note the write path
    // wrote meanwhile is no longer pending and keeps what it wrote.
    if (!sameBody)
        return true;
    if (!m_drop.exec())
        return failed("drop", m_drop);
    if (m_drop.numRowsAffected() == 0)
        return true;
    m_todoDelete.bindValue(0, item.id);
    m_setTexts.bindValue(0, item.text.title);
    m_setTexts.bindValue(1, item.text.preview);
    m_setTexts.bindValue(2, item.rowid);
    m_setTexts.bindValue(3, item.text.title);
    m_setTexts.bindValue(4, item.text.preview);
    m_ftsDelete.bindValue(0, item.rowid);
    m_ftsInsert.bindValue(0, item.rowid);
    m_ftsInsert.bindValue(1, item.searchText);
    // To-dos first: the title's trigger then has none of the old ones to follow.
    if (!m_todoDelete.exec())
        return failed("to-dos", m_todoDelete);
    if (!m_setTexts.exec())
        return failed("texts", m_setTexts);
    if (!m_ftsDelete.exec() || !m_ftsInsert.exec())
        return failed("search row", m_ftsDelete.lastError().isValid() ? m_ftsDelete : m_ftsInsert);
    if (!bindTodos(m_todoInsert, item.id, item.text, updatedAt, live))
        return failed("to-dos", m_todoInsert);
    *written = true;
    return true;
}

bool BodyBackfill::writeSearchRow(const Item &item, bool *written)
{
    m_dropPrepared.bindValue(0, item.rowid);
    m_dropPrepared.bindValue(1, item.preparedSearch);
    if (!m_dropPrepared.exec())
        return failed("drop", m_dropPrepared);
    if (m_dropPrepared.numRowsAffected() == 0)
        return true;
    m_ftsDelete.bindValue(0, item.rowid);
    m_ftsInsert.bindValue(0, item.rowid);
    const QByteArray text = item.preparedSearch.toUtf8();
    m_ftsInsert.bindValue(1, text.isNull() ? QByteArrayLiteral("") : text); // null binds as NULL
    if (!m_ftsDelete.exec() || !m_ftsInsert.exec())
        return failed("search row", m_ftsDelete.lastError().isValid() ? m_ftsDelete : m_ftsInsert);
    *written = true;
    return true;
}

int BodyBackfill::write(const Batch &batch)
{
    if (batch.empty())
        return 0;
    if (!prepare())
        return -1;
    QSqlQuery transaction(m_db);
    if (!transaction.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        qCInfo(lcStorage).noquote() << "Filling note texts: the write lock is busy:" << transaction.lastError().text();
        return -1;
    }
    int count = 0;
    for (const Item &item : batch) {
        bool written = false;
        if (!writeItem(item, &written)) {
            transaction.exec(QStringLiteral("ROLLBACK"));
            return -1;
        }
        count += written ? 1 : 0;
    }
    if (!transaction.exec(QStringLiteral("COMMIT"))) {
        failed("commit", transaction);
        transaction.exec(QStringLiteral("ROLLBACK"));
        return -1;
    }
    return count;
}

int BodyBackfill::runBatch(int limit)
{
    std::optional<Batch> batch = read(limit);
    if (!batch)
        return -1;
    parse(*batch);
    return write(*batch);
}
