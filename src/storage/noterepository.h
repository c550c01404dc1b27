#pragma once

#include "note.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

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
    QList<Note> pendingNotes() const;                   // trashed notes included
    QList<Note> sharedByMe() const;
    QList<Note> sharedWithMe() const;
    // Full-text search over live notes, best match first; the last word matches
    // as a prefix. White space alone returns allNotes().
    QList<Note> search(const QString &text) const;
    // Live notes per notebook id; the empty key holds the total of live notes.
    QHash<QString, int> countsByNotebook() const;

    bool insert(const Note &note);
    // Writes every column but id and created_at as given: no version bump, no time stamp.
    bool update(const Note &note);
    bool moveToNotebook(const QString &id, const QString &notebookId);
    bool softDelete(const QString &id);
    bool restore(const QString &id);
    // Deletes the note with its snapshots, to-do setting and attachment rows in
    // one transaction, then removes the attachment files. A failed purge changes nothing.
    bool purge(const QString &id);
    // Also records version as the last one the server confirmed.
    bool markSynced(const QString &id, int version);
    // The server confirmed version while the row changed again: it stays pending.
    bool setServerVersion(const QString &id, int version);
    // Live notes other than never-edited welcome notes; returns the rows changed.
    int markAllPending();
    // Purges of notes the server had seen, oldest first, until cleared.
    QList<PendingDeletion> pendingDeletions() const;
    bool clearPendingDeletion(const QString &id);

    bool includeInTodos(const QString &noteId) const;
    bool setIncludeInTodos(const QString &noteId, bool include);

signals:
    void notesChanged();
    void noteDeleted(const QString &id);
    void notePurged(const QString &id);

private:
    QList<Note> queryNotes(const QString &sql, const QVariantList &values = {}) const;
    bool runSearch(const QString &expression, QList<Note> *result) const;
    QString nowText() const;
    bool recordPendingDeletion(const QString &id);

    Database *m_database;
    Clock m_clock;
};
