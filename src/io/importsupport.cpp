#include "importsupport.h"

#include "attachmentrepository.h"
#include "iolog.h"
#include "note.h"
#include "noterepository.h"

#include <QFile>
#include <QUuid>

namespace ImportSupport {

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

void storeAttachments(const IoRepositories &repositories, const QList<PendingAttachment> &attachments,
                      ImportResult *result)
{
    if (!repositories.attachments)
        return;
    for (const PendingAttachment &attachment : attachments) {
        const bool saved = repositories.attachments->saveFile(attachment.record.id, attachment.data);
        if (saved && repositories.attachments->insert(attachment.record)) {
            ++result->attachments;
            continue;
        }
        // A file without its row would never be shown, synced or deleted.
        if (saved)
            QFile::remove(repositories.attachments->filePath(attachment.record.id));
        qCWarning(lcIo) << "Import: cannot store attachment" << attachment.record.filename;
        ++result->errors;
    }
}

void storeNote(const IoRepositories &repositories, const Note &note, const QList<PendingAttachment> &attachments,
               BulkWriteScope &bulk, ImportResult *result)
{
    if (!repositories.notes->insert(note)) {
        ++result->errors;
        return;
    }
    ++result->imported;
    bulk.notesChanged();
    if (!attachments.isEmpty())
        bulk.attachmentsChanged();
    storeAttachments(repositories, attachments, result);
}

} // namespace ImportSupport
