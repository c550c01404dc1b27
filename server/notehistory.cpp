#include "notehistory.h"

#include "feed.h"
#include "store/notestore.h"
#include "store/sharestore.h"

#include <QCryptographicHash>

namespace VelmServer {

QString bodyHash(const QString &body)
{
    return QString::fromLatin1(QCryptographicHash::hash(body.toUtf8(), QCryptographicHash::Sha256).toHex());
}

FieldMerge mergeFields(const NoteFields &base, const NoteFields &stored, const NoteFields &pushed)
{
    FieldMerge m;
    const bool pushedBody = pushed.bodyHash != base.bodyHash;
    const bool storedBody = stored.bodyHash != base.bodyHash;
    m.conflict = pushedBody && storedBody && pushed.bodyHash != stored.bodyHash;
    m.takeBody = pushedBody;
    m.notebookId = pushed.notebookId != base.notebookId ? pushed.notebookId : stored.notebookId;
    const bool pushedTrash = pushed.deleted != base.deleted;
    const bool storedTrash = stored.deleted != base.deleted;
    m.deleted = stored.deleted;
    if (pushedTrash && !storedTrash) {
        // This push trashed or restored it; an edit stored since and made later undoes a trashing.
        m.deleted = pushed.deleted;
        if (pushed.deleted && storedBody && stored.modifiedAt > pushed.deletedAt)
            m.deleted = false;
    } else if (storedTrash && !pushedTrash && stored.deleted && pushedBody && pushed.modifiedAt > stored.deletedAt) {
        // Trashed elsewhere, edited here afterwards: the edit brings it back.
        m.deleted = false;
    }
    return m;
}

StoreStatus releaseNotebookNotes(Db &db, StampBook &stamps, const QString &notebookId, qint64 now)
{
    NoteStore notes(db);
    ShareStore shares(db);
    const auto filed = notes.inNotebook(notebookId);
    if (!filed)
        return storeFailure;
    for (NoteRow note : *filed) {
        // Readers through the notebook hear of it before it leaves.
        const auto readers = shares.noteReaders(note.ownerId, note.id, notebookId);
        note.notebookId.clear();
        note.version += 1;
        note.updatedAt = now;
        if (!readers || !notes.update(note)
            || !notes.recordVersion(note.id, note.version, {bodyHash(note.body), QString(), note.deletedAt.has_value()})
            || !stamps.feedNote(*readers, note.id))
            return storeFailure;
    }
    return {};
}

} // namespace VelmServer
