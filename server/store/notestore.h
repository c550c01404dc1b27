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
    StoreResult<QList<NoteRow>> inNotebook(const QString &notebookId);
    StoreResult<QStringList> idsInNotebook(const QString &notebookId);
    StoreStatus insert(const NoteRow &n);
    // Writes notebook, body, version, times and trash state of n.
    StoreStatus update(const NoteRow &n);
    // Leaves a tombstone at version: no body, no notebook, trashed and purged.
    StoreStatus purge(const QString &id, qint64 version, qint64 now);
    // The reader's feed after since, in stamp order, at most limit notes.
    StoreResult<QList<FedNote>> fedTo(const QString &userId, qint64 since, int limit);

    StoreResult<std::optional<NoteVersionRow>> version(const QString &noteId, qint64 version);
    StoreStatus recordVersion(const QString &noteId, qint64 version, const NoteVersionRow &fields);
    StoreStatus forgetVersions(const QString &noteId);

private:
    Db &m_db;
};

} // namespace VelmServer
