#include "scalegenerator.h"

#include "appstate.h"
#include "attachmentrepository.h"
#include "database.h"
#include "notebookrepository.h"
#include "notesearchindex.h"
#include "sqlhelpers.h"
#include "storagetime.h"
#include "syncstatus.h"

#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QtConcurrent>

#include <cstdio>

namespace {

bool failed(const char *what, const QSqlQuery &query)
{
    std::fprintf(stderr, "generating: %s: %s\n", what, qPrintable(query.lastError().text()));
    return false;
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Every value storage keeps of one note beside its row: list texts, search
// text and to-do rows.
QStringList keptOf(const QSqlDatabase &sql, const QString &noteId)
{
    QStringList kept;
    QSqlQuery q(sql);
    q.setForwardOnly(true);
    for (const char *statement :
         {"SELECT n.title, n.preview, f.text FROM notes n JOIN notes_fts f ON f.rowid = n.rowid WHERE n.id = ?",
          "SELECT line_index, char_offset, source, is_completed, text, text_key, note_title, note_updated_at, live "
          "FROM todo_items WHERE note_id = ? ORDER BY line_index"}) {
        q.prepare(QString::fromLatin1(statement));
        q.addBindValue(noteId);
        if (!q.exec())
            return {newId()}; // never equal: a failed read is a difference
        while (q.next()) {
            for (int i = 0; i < q.record().count(); ++i)
                kept << q.value(i).toString();
        }
    }
    return kept;
}

// The bulk rows of sampled notes against the write path's own rows for the
// same bodies (written, read, rolled back), the kept counts against a count,
// and SQLite's own checks.
bool checkAgainstWritePath(Database &db, int n)
{
    const QSqlDatabase sql = db.database();
    QSqlQuery q(sql);
    q.setForwardOnly(true);
    QStringList sample;
    const int every = std::max(1, n / 1000);
    if (!q.exec(QStringLiteral("SELECT id FROM notes WHERE rowid % %1 = 0").arg(every)))
        return failed("sample", q);
    while (q.next())
        sample << q.value(0).toString();
    q.finish();
    if (!q.exec(QStringLiteral("SAVEPOINT bench_check")))
        return failed("savepoint", q);
    int differing = 0;
    for (const QString &id : std::as_const(sample)) {
        const QStringList bulk = keptOf(sql, id);
        if (!NoteSearchIndex::rewrite(&db, id) || keptOf(sql, id) != bulk)
            ++differing;
    }
    q.exec(QStringLiteral("ROLLBACK TO bench_check"));
    q.exec(QStringLiteral("RELEASE bench_check"));
    if (differing) {
        std::fprintf(stderr, "generating: %d of %lld sampled notes differ from the write path\n", differing,
                     qint64(sample.size()));
        return false;
    }
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM (SELECT notebook_id, SUM(deleted_at IS NULL) AS l, "
                               "SUM(deleted_at IS NOT NULL) AS t FROM notes GROUP BY notebook_id) c "
                               "LEFT JOIN note_counts k USING (notebook_id) WHERE k.live IS NOT c.l OR k.trashed IS NOT c.t"))
        || !q.next() || q.value(0).toInt() != 0)
        return failed("kept counts differ", q);
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() || q.value(0).toString() != QLatin1String("ok"))
        return failed("quick_check", q);
    if (n <= 100000 && !q.exec(QStringLiteral("INSERT INTO notes_fts(notes_fts) VALUES('integrity-check')")))
        return failed("search index check", q);
    std::printf("N=%-7d checked %lld notes against the write path, counts, quick_check%s\n", n,
                qint64(sample.size()), n <= 100000 ? ", search index" : "");
    return true;
}

// One note as the generator makes it, with what storage keeps of its body.
struct MadeNote
{
    QString id;
    QString notebookId;
    QString body;
    QString time;
    bool trashed = false;
    QString attachmentId;
    QString filename;
    NoteText text;
};

class NoteMaker
{
public:
    NoteMaker(QRandomGenerator &random, const QStringList &notebookIds, const QDateTime &now, double bodyScale)
        : m_random(random), m_builder(random), m_notebookIds(notebookIds), m_now(now), m_bodyScale(bodyScale)
    {
    }

    QList<MadeNote> make(int first, int count)
    {
        QList<MadeNote> made;
        made.reserve(count);
        for (int i = first; i < first + count; ++i) {
            MadeNote note;
            note.id = newId();
            note.notebookId = m_random.bounded(4) ? m_notebookIds.at(m_random.bounded(20)) : QString();
            // Most notes are short, a few are long: 0.5 KB .. 20 KB.
            const double r = m_random.generateDouble();
            const int target = int((500 + 19500 * r * r * r) * m_bodyScale);
            if (m_random.bounded(50) == 0) {
                note.attachmentId = newId();
                note.filename = QStringLiteral("picture-%1.png").arg(i);
            }
            note.body = m_builder.build(target, m_random.bounded(1000) == 0, note.attachmentId);
            note.time = storageTimeText(m_now.addSecs(-qint64(m_random.bounded(3 * 365 * 86400))));
            note.trashed = m_random.bounded(20) == 0;
            made.append(note);
        }
        // Reading the bodies needs no seed: spread over the threads there are.
        QtConcurrent::blockingMap(made, [](MadeNote &note) {
            note.text = noteTextOfBody(note.body);
            // File names are searched with the text, as the write path adds them.
            if (!note.filename.isEmpty())
                note.text.searchText += QLatin1Char('\n') + note.filename;
        });
        return made;
    }

private:
    QRandomGenerator &m_random;
    BodyBuilder m_builder;
    QStringList m_notebookIds;
    QDateTime m_now;
    double m_bodyScale;
};

} // namespace

bool generateScaleDatabase(int n, double bodyScale)
{
    using namespace SqlHelpers;
    QRandomGenerator random(20261206u + quint32(n));
    Database db;
    db.setTextExtractor(noteTextOfBody);
    if (!db.open(Database::defaultDatabasePath()) || !db.migrate())
        return false;
    const QSqlDatabase sql = db.database();
    QSqlQuery q(sql);
    // Writing a fresh file in one transaction: the rollback journal holds
    // next to nothing (new pages are not journaled), where the log would hold
    // every page once more. The file is left in the log mode the application uses.
    for (const char *pragma : {"PRAGMA journal_mode=DELETE", "PRAGMA synchronous=OFF", "PRAGMA cache_size=-1048576"}) {
        if (!q.exec(QString::fromLatin1(pragma)))
            return failed(pragma, q);
    }
    q.finish();
    NotebookRepository notebooks(&db);
    AttachmentRepository attachments(&db);
    if (!q.exec(QStringLiteral("BEGIN")))
        return failed("begin", q);
    if (!q.exec(QStringLiteral("INSERT INTO preferences (key, value) VALUES ('has_seen_welcome', '1')")))
        return failed("preferences", q);

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString nowText = storageTimeText(now);
    QStringList notebookIds;
    for (int i = 0; i < 20; ++i) {
        Notebook book;
        book.id = newId();
        book.name = QStringLiteral("Notebook %1").arg(i + 1, 2, 10, QLatin1Char('0'));
        book.createdAt = book.updatedAt = now;
        if (!notebooks.insert(book))
            return false;
        notebookIds << book.id;
    }
    QByteArray png;
    {
        QImage image(320, 200, QImage::Format_RGB32);
        image.fill(QColor("#90CAF9"));
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    // The columns NoteRepository::insert and NoteSearchIndex::write give a
    // new note, prepared once.
    QSqlQuery note(sql), index(sql), todo(sql), attachment(sql);
    if (!note.prepare(QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, "
                                     "deleted_at, version, op_version, sync_status, is_sample, owner_id, is_shared, "
                                     "permission, title, preview) VALUES (?, ?, ?, ?, ?, ?, ?, 1, 0, ?, 0, NULL, 0, "
                                     "NULL, ?, ?)")))
        return failed("prepare note", note);
    if (!index.prepare(QStringLiteral("INSERT INTO notes_fts(rowid, text) VALUES (?, ?)")))
        return failed("prepare index", index);
    if (!todo.prepare(QString::fromLatin1(kInsertTodo)))
        return failed("prepare to-dos", todo);
    if (!attachment.prepare(QStringLiteral("INSERT INTO attachments (id, note_id, filename, mime_type, size_bytes, "
                                           "created_at, sync_status) VALUES (?, ?, ?, 'image/png', ?, ?, ?)")))
        return failed("prepare attachment", attachment);
    const QString pending = syncStatusToString(SyncStatus::Pending);

    // Bodies are made and read one batch ahead on another thread while this
    // one writes; one batch at a time, so the notes follow the seed in order.
    NoteMaker maker(random, notebookIds, now, bodyScale);
    static constexpr int kBatch = 1000;
    QFuture<QList<MadeNote>> next = QtConcurrent::run([&maker, n] { return maker.make(0, std::min(kBatch, n)); });
    const auto writeAll = [&] {
        for (int first = 0; first < n; first += kBatch) {
            const QList<MadeNote> batch = next.result();
            if (first + kBatch < n)
                next = QtConcurrent::run([&maker, first, n] {
                    return maker.make(first + kBatch, std::min(kBatch, n - first - kBatch));
                });
            for (const MadeNote &made : batch) {
                const QVariantList values{made.id, textOrEmpty(made.notebookId), made.body, made.time, made.time,
                                          made.time, made.trashed ? QVariant(nowText) : QVariant(QMetaType::fromType<QString>()),
                                          pending, nonNullText(made.text.title), nonNullText(made.text.preview)};
                for (int v = 0; v < values.size(); ++v)
                    note.bindValue(v, values.at(v));
                if (!note.exec())
                    return failed("note", note);
                index.bindValue(0, note.lastInsertId());
                index.bindValue(1, nonNullText(made.text.searchText));
                if (!index.exec())
                    return failed("index", index);
                if (!bindTodos(todo, made.id, made.text, made.time, !made.trashed))
                    return failed("to-dos", todo);
                if (!made.attachmentId.isEmpty()) {
                    const QVariantList row{made.attachmentId, made.id, made.filename, qlonglong(png.size()), nowText, pending};
                    for (int v = 0; v < row.size(); ++v)
                        attachment.bindValue(v, row.at(v));
                    if (!attachments.saveFile(made.attachmentId, png) || !attachment.exec())
                        return failed("attachment", attachment);
                }
            }
            const int written = first + int(batch.size());
            if (n >= 100000 && written % (n / 20) == 0) {
                std::printf("N=%-7d %d notes written\n", n, written);
                std::fflush(stdout);
            }
        }
        return true;
    };
    const bool written = writeAll();
    next.waitForFinished(); // it holds the maker
    if (!written)
        return false;
    if (!q.exec(QStringLiteral("COMMIT")))
        return failed("commit", q);
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return failed("log mode", q);
    q.finish();
    return checkAgainstWritePath(db, n);
}
