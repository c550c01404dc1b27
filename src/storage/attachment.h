#pragma once

#include "syncstatus.h"

#include <QDateTime>
#include <QString>

// One row of the attachments table. The bytes live in a file named by the id
// in the attachments directory (AttachmentRepository::filePath).
struct Attachment
{
    QString id;
    QString noteId;
    QString filename; // the user-visible name; never used for the stored file
    QString mimeType;
    qint64 sizeBytes = 0;
    QDateTime createdAt; // UTC
    SyncStatus syncStatus = SyncStatus::Pending;

    bool operator==(const Attachment &) const = default;
};
