#pragma once

#include "note.h"

#include <QDateTime>
#include <QString>

class SnapshotRepository;

// Rules shared by every writer of a note body outside the main window's
// editor: note windows, the to-do screen and the version history.

// note carrying body as a local edit: update and modification times now,
// version one higher, pending for sync.
Note noteWithEditedBody(const Note &note, const QString &body, const QDateTime &now);

// Stores a copy of body at version for noteId under a fresh id; false when the
// insert failed.
bool takeSnapshot(SnapshotRepository *snapshots, const QString &noteId, int version, const QString &body,
                  const QDateTime &now = QDateTime::currentDateTimeUtc());

// Whether a window that stops showing a note records a snapshot of current:
// only for a writable note loaded with content that has since changed, and
// never for a body left empty.
bool snapshotWanted(bool hasNote, bool readOnly, const QString &baseline, const QString &current);

// What becomes of the note of a window that closes.
enum class ClosingNoteFate { Keep, MoveToTrash, Purge };

// A note left empty is removed. It is purged only when nothing would be lost
// with it: not known to the server (else the server would never learn of the
// deletion), no saved versions and no attachments. Otherwise it goes to the
// trash, from where it and its history can still be restored. knownToServer
// must not be read off the closing save, which always leaves the note pending.
ClosingNoteFate closingNoteFate(const Note &note, bool knownToServer, int snapshotCount, int attachmentCount);

// A note can be edited when it is the user's own or shared with "edit" rights.
bool noteIsEditable(const Note &note);
