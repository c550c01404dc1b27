#pragma once

#include "note.h"
#include "noterow.h"
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

// A purged note the server still holds, with its last state.
struct PendingDeletion
{
    QString noteId;
    int serverVersion = 0;
    QString notebookId;
    QString body;
    QDateTime createdAt;
    QDateTime deletedAt;
};

// The body the server confirmed at a version: the common ancestor a pulled
// edit and a local one are merged from.
struct NoteBase
{
    int version = 0;
    QString body;
};

// The only code that reads and writes the notes table, its full-text index and
// the per-note to-do setting. Holds a non-owning pointer to the Database, which
// must outlive it. GUI thread only; signals are emitted after successful writes.
class NoteRepository final : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit NoteRepository(Database *database, QObject *parent = nullptr);

    // Source of "now" for moveToNotebook and softDelete; defaults to the current UTC time.
    void setClock(Clock clock);

    QList<Note> allNotes() const;                       // live notes, newest update first
    std::optional<Note> noteById(const QString &id) const;
    QList<Note> notesInNotebook(const QString &notebookId) const;
    QList<Note> trashedNotes() const;                   // newest deletion first
    // Every note, live and trashed, in the table's order, handed to each one
    // row at a time (no list of them is held). Stops when
    // each returns false; false when the read or each failed.
    bool forEachNote(const std::function<bool(const Note &)> &each) const;
    // Pending notes of the account the database is bound to now (AccountBinding),
    // trashed ones included; so are the pending lists of the other repositories.
    QList<Note> pendingNotes() const;
    // The same notes a few at a time, without their bodies: rowid, id and the
    // body's size in UTF-8 bytes, in rowid order after the rowid `after`.
    struct PendingSize
    {
        qint64 rowid = 0;
        QString id;
        qint64 bytes = 0;
    };
    QList<PendingSize> pendingSizes(qint64 after, int limit) const;
    // Pending notes of every account, from the index alone: a progress total.
    int pendingCount() const;
    QList<Note> sharedByMe() const;
    QList<Note> sharedWithMe() const;
    // Full-text search over live notes, best match first; the last word matches
    // as a prefix. White space alone returns allNotes().
    QList<Note> search(const QString &text) const;
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
    // Rows of the matches of text with a snippet each; limit < 0 reads to the
    // end. The first kSearchScreen rows are the best by rank among the
    // kSearchCandidates most recently written matches (all of them when there
    // are no more), so a common word answers without ranking every match; the
    // rows after them are every other match by rank, ranked once per text and
    // state of the database.
    QList<NoteRow> searchRows(const QString &text, int limit = -1, int offset = 0) const;
    static constexpr int kSearchScreen = 100;
    static constexpr int kSearchCandidates = 2000;
    // Other bounds than the two above, for tests that cannot write thousands of notes.
    void setSearchBounds(int screen, int candidates)
    {
        m_searchScreen = screen;
        m_searchCandidates = candidates;
    }
    int searchCount(const QString &text) const;
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

    // text, when given, holds the list, search and to-do texts already read
    // from note.body (sync prepares them on a worker).
    bool insert(const Note &note, const NoteText *text = nullptr);
    // Writes every column but id and created_at as given: no version bump, no time stamp.
    bool update(const Note &note, const NoteText *text = nullptr);
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
    bool emptyTrash();

    // Also records version as the last one the server confirmed and, when
    // bodyConfirmed, the stored body as the note's merge base at it.
    bool markSynced(const QString &id, int version, bool bodyConfirmed = true);
    // The merge base of a note: absent when the server never confirmed a body.
    std::optional<NoteBase> mergeBase(const QString &id) const;
    bool setMergeBase(const QString &id, int version, const QString &body);
    // The server confirmed version while the row changed again: it stays pending.
    // confirmedBody, when known, is the body the server holds at version: the
    // merge base from now on.
    bool setServerVersion(const QString &id, int version, const std::optional<QString> &confirmedBody);
    // Live notes other than never-edited welcome notes; returns the rows changed.
    // With after, only up to limit of them past the rowid *after, which then
    // names the last one looked at (marking rewrites each row: large sets go
    // in slices until none is left).
    int markAllPending(qint64 *after = nullptr, int limit = 0);
    // The notes markAllPending would mark now.
    int markableCount() const;
    // Purges of notes the server had seen, oldest first, until cleared.
    QList<PendingDeletion> pendingDeletions() const;
    bool clearPendingDeletion(const QString &id);

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

private:
    QList<Note> queryNotes(const QString &sql, const QVariantList &values = {}) const;
    template<typename Read>
    bool matchSearch(const QString &text, const QString &sql, const QVariantList &tail, Read read,
                     int matches = 1) const;
    QList<NoteRow> queryRows(const QString &where, const QVariantList &values = {}) const;
    WriteResult updateRow(const Note &note, const QString *expectedBody, const NoteText *text = nullptr);
    bool setColumns(const QStringList &ids, const QString &set, const QVariantList &values);
    // Purges the notes whose ids the SQL set expression idSet gives (bound to
    // idSetValue when valid), with everything that names them.
    bool purgeRows(const QString &idSet, const QVariant &idSetValue = {});
    QString nowText() const;
    QList<qint64> searchRowids(const QString &text, int from, int count) const;
    QList<NoteRow> searchRowsOf(const QString &text, const QList<qint64> &rowids) const;

    // Every match of the last text searched past its first screen, by rank,
    // and the database state it was ranked in.
    struct RankedSearch
    {
        QString text;
        QString stamp;
        QList<qint64> rowids;
    };
    mutable RankedSearch m_ranked;
    int m_searchScreen = kSearchScreen;
    int m_searchCandidates = kSearchCandidates;

    Database *m_database;
    Clock m_clock;
};
