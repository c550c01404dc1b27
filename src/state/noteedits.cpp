#include "noteedits.h"

#include "delta.h"
#include "snapshotrepository.h"

#include <QUuid>

Note noteWithEditedBody(const Note &note, const QString &body, const QDateTime &now)
{
    Note edited = note;
    edited.body = body;
    edited.updatedAt = now;
    edited.modifiedAt = now;
    edited.version = note.version + 1;
    edited.syncStatus = SyncStatus::Pending;
    return edited;
}

bool takeSnapshot(SnapshotRepository *snapshots, const QString &noteId, int version, const QString &body,
                  const QDateTime &now)
{
    if (!snapshots)
        return false;
    Snapshot snapshot;
    snapshot.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    snapshot.noteId = noteId;
    snapshot.version = version;
    snapshot.body = body;
    snapshot.createdAt = now;
    return snapshots->insert(snapshot);
}

bool snapshotWanted(bool hasNote, bool readOnly, const QString &baseline, const QString &current)
{
    // An emptied body is not kept: it would hold nothing worth restoring, and
    // would keep an emptied note from being cleared away on close.
    return hasNote && !readOnly && !baseline.isEmpty() && !current.isEmpty() && !isNoteBodyEmpty(current)
        && current != baseline;
}

ClosingNoteFate closingNoteFate(const Note &note, bool knownToServer, int snapshotCount, int attachmentCount)
{
    if (!isNoteBodyEmpty(note.body))
        return ClosingNoteFate::Keep;
    if (!knownToServer && note.syncStatus == SyncStatus::Pending && snapshotCount == 0 && attachmentCount == 0)
        return ClosingNoteFate::Purge;
    return ClosingNoteFate::MoveToTrash;
}

bool noteIsEditable(const Note &note)
{
    return note.ownerId.isEmpty() || note.permission == QLatin1String("edit");
}
