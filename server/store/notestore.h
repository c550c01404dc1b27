#pragma once

#include "db.h"
#include "storeresult.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace VelmServer {

struct NoteRow
{
    QString id, ownerId, notebookId, body;
    qint64 version = 0, createdAt = 0, updatedAt = 0, modifiedAt = 0;
    std::optional<qint64> deletedAt;
    bool purged = false;
};

// What the server remembers of one note version (see notehistory.h).
struct NoteVersionRow
{
    QString bodyHash;
    QString notebookId;
    bool deleted = false;
};

// A note as a reader's pull brings it, at its stamp in their feed.
struct FedNote
{
    qint64 stamp = 0;
    NoteRow note;
};

// The notes table and the versions kept for merging pushes.
class NoteStore
{
public:
    explicit NoteStore(Db &db) : m_db(db) {}

    // lock: inside a write transaction, holds the row until commit, so a
    // concurrent editor of a shared note sees this version, not overwrites it.
    StoreResult<std::optional<NoteRow>> byId(const QString &id, bool lock = false);
    // The stored ones among ids, locked as byId locks.
    StoreResult<QList<NoteRow>> byIds(const QStringList &ids, bool lock = false);
    StoreResult<QList<NoteRow>> inNotebook(const QString &notebookId);
    StoreResult<QStringList> idsInNotebook(const QString &notebookId);
    StoreStatus insert(const NoteRow &n);
    // Many rows in a few statements: new notes, and rows already stored (as update writes them).
    StoreStatus insertMany(const QList<NoteRow> &rows);
    StoreStatus updateMany(const QList<NoteRow> &rows);
    // Writes notebook, body, version, times and trash state of n.
    StoreStatus update(const NoteRow &n);
    // Leaves a tombstone at version: no body, no notebook, trashed and purged.
    StoreStatus purge(const QString &id, qint64 version, qint64 now);
    // The reader's feed after since, in stamp order, at most limit rows; a
    // row whose note is gone comes with an empty note id.
    StoreResult<QList<FedNote>> fedTo(const QString &userId, qint64 since, int limit);

    StoreResult<std::optional<NoteVersionRow>> version(const QString &noteId, qint64 version);
    StoreStatus recordVersion(const QString &noteId, qint64 version, const NoteVersionRow &fields);
    struct VersionEntry
    {
        QString noteId;
        qint64 version = 0;
        NoteVersionRow fields;
    };
    // As recordVersion for each entry; at most one entry per (note, version).
    StoreStatus recordVersions(const QList<VersionEntry> &entries);
    // Drops what is too old to build on once newest is recorded.
    StoreStatus trimVersions(const QString &noteId, qint64 newest);
    StoreStatus forgetVersions(const QString &noteId);

private:
    StoreStatus insertRows(const QList<NoteRow> &rows, const QString &onConflict);
    Db &m_db;
};

} // namespace VelmServer
