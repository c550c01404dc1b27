#pragma once

// What the server remembers of each note version, so that a push made over an
// older version can be merged field by field instead of refused: the body (as
// a hash), the notebook and the trash state are separate fields, and only a
// body changed on both sides is a real conflict.

#include "db.h"
#include "store/storeresult.h"

#include <QString>

namespace VelmServer {

class StampBook;

struct NoteFields
{
    QString bodyHash;
    QString notebookId;
    bool deleted = false;
    qint64 modifiedAt = 0; // when the body was last edited
    qint64 deletedAt = 0;  // when it was trashed, 0 when live
};

struct FieldMerge
{
    bool conflict = false; // both sides changed the body differently
    bool takeBody = false; // the pushed body, else the stored one
    QString notebookId;
    bool deleted = false;
};

QString bodyHash(const QString &body);

// Three-way merge of a push made over base with what the server stored since.
// A field only one side changed takes that side's value; a notebook both
// changed takes the pushed one (the later move). The trash state both sides
// did not agree on follows the later intent: trashing wins unless the other
// side's edit of the body came after it.
FieldMerge mergeFields(const NoteFields &base, const NoteFields &stored, const NoteFields &pushed);

// Files every note of a deleted notebook in no notebook, one version up, and
// tells their readers.
StoreStatus releaseNotebookNotes(Db &db, StampBook &stamps, const QString &notebookId, qint64 now);

} // namespace VelmServer
