#pragma once

#include "note.h"
#include "noterow.h"
#include "notesearch.h"
#include "notesearchindex.h"
#include "notesyncstate.h"
#include "notetext.h"
#include "todorow.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Database;

// The only code that writes the notes' content, their full-text index and the
// per-note to-do setting; search() and syncState() are the parts that search
// and that keep the sync's state, over the same Database. Holds a non-owning
// pointer to the Database, which must outlive it. GUI thread only; signals are
// emitted after successful writes.
class NoteRepository final : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit NoteRepository(Database *database, QObject *parent = nullptr);

    // Source of "now" for moveToNotebook and softDelete; defaults to the current UTC time.
    void setClock(Clock clock);

    const NoteSearch &search() const { return m_search; }
    NoteSearch &search() { return m_search; }
    const NoteSyncState &syncState() const { return m_syncState; }
    NoteSyncState &syncState() { return m_syncState; }

    QList<Note> allNotes() const;                       // live notes, newest update first
    std::optional<Note> noteById(const QString &id) const;
    QList<Note> notesInNotebook(const QString &notebookId) const;
    QList<Note> trashedNotes() const;                   // newest deletion first
    // Every note, live and trashed, in the table's order, handed to each one
    // row at a time (no list of them is held). Stops when
    // each returns false; false when the read or each failed.
    bool forEachNote(const std::function<bool(const Note &)> &each) const;
    QList<Note> sharedByMe() const;
    QList<Note> sharedWithMe() const;
    // Live notes per notebook id; the empty key holds the total of live notes.
    QHash<QString, int> countsByNotebook() const;
    int trashCount() const;

    // The same lists as light rows, without bodies, in the same order.
    QList<NoteRow> allRows() const;
    QList<NoteRow> rowsInNotebook(const QString &notebookId) const;
    QList<NoteRow> trashedRows() const;
    QList<NoteRow> sharedByMeRows() const;
    QList<NoteRow> sharedWithMeRows() const;
    std::optional<NoteRow> rowById(const QString &id) const;
    // Up to limit live rows of notebookId (empty: every notebook) in update
    // order, ties by id, newest first unless oldestFirst, starting after the
    // row `after` (absent: from the first). A page starts from a row, not a
    // position, so rows that other writes move are neither skipped nor repeated.
    QList<NoteRow> rowsPage(const QString &notebookId, bool oldestFirst, const std::optional<NoteRow> &after,
                            int limit) const;
    // Live notes of notebookId (empty: every notebook).
    int liveCount(const QString &notebookId = QString()) const;

    // Up to limit kept to-dos of live notes whose completion is `completed`,
    // in `order`, starting after the row `after` (absent: from the first).
    // needle, when not empty, keeps the to-dos whose folded text contains it
    // (give it folded: QString::toCaseFolded). Reads one index range.
    QList<TodoRow> todoPage(TodoOrder order, bool completed, const QString &needle,
                            const std::optional<TodoRow> &after, int limit) const;
    // The order of todoPage: newest note first, then note id descending, then
    // line; or by folded text, then note id and line.
    static bool todoBefore(const TodoRow &a, const TodoRow &b, TodoOrder order);

    using SearchRow = NoteSearchIndex::SearchRow;
    // text, when given, holds the list, search and to-do texts already read
    // from note.body (sync prepares them on a worker). searchRow: see NoteSearchIndex.
    bool insert(const Note &note, const NoteText *text = nullptr, SearchRow searchRow = SearchRow::Now);
    // Writes every column but id and created_at as given: no version bump, no time stamp.
    bool update(const Note &note, const NoteText *text = nullptr, SearchRow searchRow = SearchRow::Now);
    enum class WriteResult { Written, RowChanged, Failed };
    // An editor's save: the body, its time stamps and sync status, one version
    // up, only while the stored body is still expectedBody (an editor's save
    // must not overwrite text another writer put there meanwhile). The other
    // columns stay as stored.
    WriteResult updateIfBodyIs(const Note &note, const QString &expectedBody);
    bool moveToNotebook(const QString &id, const QString &notebookId);
    bool softDelete(const QString &id);
    bool restore(const QString &id);
    // Deletes the note with its snapshots, to-do setting and attachment rows in
    // one transaction, then removes the attachment files. A failed purge changes nothing.
    bool purge(const QString &id);
    // Bulk forms: one transaction, all or nothing, one notesChanged.
    bool moveToNotebook(const QStringList &ids, const QString &notebookId);
    // Every note of a notebook, trashed ones too, into no notebook.
    bool releaseNotebook(const QString &notebookId);
    bool softDelete(const QStringList &ids);
    bool restore(const QStringList &ids);
    bool purge(const QStringList &ids);
    // As purge, for those of ids still in the trash.
    bool purgeTrashed(const QStringList &ids);
    bool emptyTrash();

    bool includeInTodos(const QString &noteId) const;
    bool setIncludeInTodos(const QString &noteId, bool include);

signals:
    // Anything may have changed: bulk writes.
    void notesChanged();
    // The rows of these notes were inserted, changed or removed; one signal
    // per single-note write, so lists update those rows alone.
    void notesWritten(const QStringList &ids);
    void noteDeleted(const QString &id);
    void notePurged(const QString &id);
    // Once per purge, after notePurged for each: for work done per purge, not per note.
    void notesPurged(const QStringList &ids);

private:
    WriteResult updateRow(const Note &note, const QString *expectedBody, const NoteText *text = nullptr,
                          SearchRow searchRow = SearchRow::Now);
    bool setColumns(const QStringList &ids, const QString &set, const QVariantList &values);
    // Purges the notes whose ids the SQL set expression idSet gives (bound to
    // idSetValue when valid), with everything that names them.
    bool purgeRows(const QString &idSet, const QVariant &idSetValue = {});
    QString nowText() const;

    Database *m_database;
    Clock m_clock;
    NoteSearch m_search;
    NoteSyncState m_syncState;
};
