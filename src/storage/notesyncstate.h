#pragma once

#include "note.h"

#include <QDateTime>
#include <QList>
#include <QString>

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

// What the sync keeps per note beside the note itself: which notes wait to be
// pushed, the versions and bodies the server confirmed, and the purges it has
// still to hear of. None of these writes changes what a list shows, so they
// emit nothing. Holds a non-owning pointer to the Database, which must
// outlive it. GUI thread only.
class NoteSyncState final
{
public:
    explicit NoteSyncState(Database *database);

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
    // in slices until none is left): -1 once no row is left past it, or the
    // write failed.
    int markAllPending(qint64 *after = nullptr, int limit = 0);
    // Purges of notes the server had seen, oldest first, until cleared.
    QList<PendingDeletion> pendingDeletions() const;
    bool clearPendingDeletion(const QString &id);

private:
    Database *m_database;
};
