#pragma once

// Helpers shared by the importers; not part of the io interface.

#include "attachment.h"
#include "importresult.h"
#include "iorepositories.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace ImportSupport {

QString newId();

struct PendingAttachment
{
    Attachment record;
    QByteArray data;
};

// Stores each attachment's bytes, then its row (the row needs the inserted note).
// Every stored one counts in result.attachments, every failure in result.errors.
void storeAttachments(const IoRepositories &repositories, const QList<PendingAttachment> &attachments,
                      ImportResult *result);

} // namespace ImportSupport
