#include "importsupport.h"

#include "attachmentrepository.h"
#include "iolog.h"

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

} // namespace ImportSupport
