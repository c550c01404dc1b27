#pragma once

// What travels between the sync engine and the server: push changes built from
// local rows, local rows built from pulled objects, and the rules that decide
// whether a pulled note may replace the local one.

#include "attachment.h"
#include "note.h"
#include "notebook.h"
#include "noterepository.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>

namespace VelmSync {

// A JSON number is milliseconds since the epoch; for notes and attachments an
// ISO 8601 text is accepted too (empty gives an invalid time).
QDateTime dateFromJson(const QJsonValue &value, bool acceptText);

// One "/sync/push" change; base_version carries the version the edit started
// from, so the server can refuse an edit made over someone else's.
QJsonObject noteChange(const Note &note);
QJsonObject deletionChange(const PendingDeletion &deletion);

// A pulled row that is a purge's tombstone or a withdrawn share carries no note.
Note noteFromPull(const QJsonObject &change, bool *gone = nullptr);
Notebook notebookFromPull(const QJsonObject &object);
Attachment attachmentFromPull(const QJsonObject &object);

enum class MergeAction {
    Insert,   // unknown locally
    Replace,  // the server's row wins
    Keep,     // the local row stays as it is
    Conflict, // the server's row wins and the local text survives as a copy
    Skip,     // a purge or withdrawal of a note this device never had
    Remove,   // purged, or no longer shared with us: the local row goes
    RemoveKeepingCopy, // as Remove, the local pending text surviving as a new note
};
MergeAction mergeAction(const std::optional<Note> &local, const Note &pulled, bool pulledGone = false);

// An attachment's file name as it travels in a form header: no line breaks,
// quotes or other control characters, never empty.
QString safeFileName(const QString &name);

// Whether a failed attachment upload is tried again next cycle: the server was
// not reached, the session is being renewed (401), the server asks to come
// back later (408, 429) or failed itself (5xx). Other refusals are final.
bool uploadWorthRetrying(int status);

// Removes a note the server removed: its row goes without a deletion to push.
bool removeLocally(NoteRepository *notes, const QString &id);

// A new pending note holding local's text, its first line marked as a conflict copy.
Note conflictCopy(const Note &local, const QDateTime &now);

} // namespace VelmSync
