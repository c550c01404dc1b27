#include "bodybackfill.h"

#include "database.h"
#include "storagelog.h"

#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <deque>
#include <vector>

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

// One note on its way through the pool: read, parsed, then written.
struct Item
{
    qint64 rowid = 0;
    QString id;
    QByteArray body;
    bool live = true;
    QString updatedAt;
    QString names;
    // Filled by a worker: the texts (search text apart) and the search text as UTF-8.
    NoteText text;
    QByteArray searchText;
};
using Batch = std::vector<Item>;
// Large enough that handing a batch over costs nothing beside parsing it.
constexpr size_t kBatchSize = 64;

// The texts of one body in the form the writing thread binds as is: the
// conversions happen here, on a worker.
void parseBody(Item &item, const NoteTextExtractor &extract)
{
    item.text = extract(QString::fromUtf8(item.body));
    item.body.clear();
    NoteText &text = item.text;
    text.title = nonNullText(text.title);
    text.preview = nonNullText(text.preview);
    item.searchText = item.names.isEmpty() ? text.searchText.toUtf8()
                                           : (text.searchText + QLatin1Char('\n') + item.names).toUtf8();
    text.searchText.clear();
    if (item.searchText.isNull()) // a null value binds as NULL, not as the empty text
        item.searchText = QByteArrayLiteral("");
}

} // namespace

bool BodyBackfill::run(bool texts, bool todos)
{
    const auto fail = [](const char *label, const QSqlQuery &query) {
        qCCritical(lcStorage).noquote() << "Reading note bodies:" << label << query.lastError().text();
        return false;
    };
    QSqlQuery query(m_db);
    if (!query.exec("SELECT COUNT(*) FROM notes") || !query.next())
        return fail("count", query);
    const qint64 total = query.value(0).toLongLong();
    query.finish();

    // The indexes and the trigger over what this fills are made again once it
    // is filled: building an index is one sort, keeping it meant a random
    // insertion per row, and a trigger per note. The transaction keeps it
    // all or nothing.
    QStringList remade;
    if (!query.exec(QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE name IN ('idx_notes_list', "
                                   "'idx_todo_items_updated', 'idx_todo_items_text', 'todo_items_note')")))
        return fail("read indexes", query);
    QStringList dropped;
    while (query.next()) {
        dropped << QStringLiteral("DROP %1 %2").arg(query.value(0).toString().toUpper(), query.value(1).toString());
        remade << query.value(2).toString();
    }
    for (const QString &statement : std::as_const(dropped)) {
        if (!query.exec(statement))
            return fail("drop index", query);
    }
    // A cache as large as the work while it runs: a small one spills the
    // transaction to the log over and over, and every later read of a
    // spilled page searches the log.
    if (!query.exec(QStringLiteral("PRAGMA cache_size")) || !query.next())
        return fail("cache size", query);
    const QString cacheSize = query.value(0).toString();
    query.finish();
    query.exec(QStringLiteral("PRAGMA cache_size=-262144"));
    const auto restoreCache = qScopeGuard([this, &cacheSize] {
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA cache_size=") + cacheSize);
    });

    // Without the texts only bodies that may hold a to-do are read; the
    // extractor decides, this only spares it the others. The body comes as
    // its stored bytes: the workers decode it, not the writing thread.
    QString sql = QStringLiteral("SELECT n.rowid, n.id, CAST(n.body AS BLOB), n.deleted_at IS NULL, n.updated_at, %1 "
                                 "FROM notes n")
                      .arg(texts ? QStringLiteral("(SELECT group_concat(a.filename, char(10)) FROM attachments a "
                                                  "WHERE a.note_id = n.id)")
                                 : QStringLiteral("''"));
    if (!texts)
        sql += QStringLiteral(" WHERE instr(n.body, 'checked') OR n.body LIKE '%todo:%' OR n.body LIKE '%-%[%'");
    QSqlQuery rows(m_db);
    rows.setForwardOnly(true);
    if (!rows.exec(sql))
        return fail("read notes", rows);
    // Prepared once, bound per note.
    QSqlQuery setTexts(m_db);
    QSqlQuery index(m_db);
    QSqlQuery addTodo(m_db);
    if (texts && !setTexts.prepare("UPDATE notes SET title=?, preview=? WHERE rowid=?"))
        return fail("prepare texts", setTexts);
    // The search text comes as UTF-8 bytes, stored as the text they are.
    if (texts && !index.prepare("INSERT INTO notes_fts(rowid, text) VALUES (?, CAST(? AS TEXT))"))
        return fail("prepare index", index);
    if (todos && !addTodo.prepare(QString::fromLatin1(kInsertTodo)))
        return fail("prepare to-dos", addTodo);

    // Parsing is most of the work and needs no database: batches of bodies go
    // to a pool while this thread, the only one on the connection, reads and
    // writes. Results are written in reading order (the index takes
    // ascending rowids fastest), with a few batches in flight at most.
    QThreadPool pool;
    pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
    const int inFlight = pool.maxThreadCount() + 1;
    std::deque<QFuture<Batch>> pending;
    const NoteTextExtractor *extract = &m_extract;
    const auto parse = [&pool, extract](Batch batch) {
        return QtConcurrent::run(&pool, [extract, batch = std::move(batch)]() mutable {
            for (Item &item : batch)
                parseBody(item, *extract);
            return batch;
        });
    };
    const auto write = [&](const Batch &batch) {
        for (const Item &item : batch) {
            if (texts) {
                setTexts.bindValue(0, item.text.title);
                setTexts.bindValue(1, item.text.preview);
                setTexts.bindValue(2, item.rowid);
                if (!setTexts.exec())
                    return fail("note texts", setTexts);
                index.bindValue(0, item.rowid);
                index.bindValue(1, item.searchText);
                if (!index.exec())
                    return fail("index note", index);
            }
            if (todos && !bindTodos(addTodo, item.id, item.text, item.updatedAt, item.live))
                return fail("to-dos", addTodo);
        }
        return true;
    };
    const auto writeOldest = [&] {
        const Batch batch = pending.front().takeResult();
        pending.pop_front();
        return write(batch);
    };
    qint64 done = 0;
    qint64 nextReport = total / 10;
    Batch batch;
    while (rows.next()) {
        Item &item = batch.emplace_back();
        item.rowid = rows.value(0).toLongLong();
        item.id = rows.value(1).toString();
        item.body = rows.value(2).toByteArray();
        item.live = rows.value(3).toBool();
        item.updatedAt = rows.value(4).toString();
        item.names = rows.value(5).toString();
        if (batch.size() == kBatchSize) {
            pending.push_back(parse(std::move(batch)));
            batch.clear();
        }
        if (pending.size() > size_t(inFlight) && !writeOldest())
            return false;
        if (++done >= nextReport && total >= 1000) {
            qCInfo(lcStorage).noquote() << QStringLiteral("Note bodies read: %1 of %2").arg(done).arg(total);
            nextReport += total / 10;
        }
    }
    if (rows.lastError().isValid())
        return fail("read notes", rows);
    if (!batch.empty())
        pending.push_back(parse(std::move(batch)));
    while (!pending.empty()) {
        if (!writeOldest())
            return false;
    }
    rows.finish();
    for (const QString &statement : std::as_const(remade)) {
        if (!query.exec(statement))
            return fail("make index", query);
    }
    return true;
}
