#pragma once

// Helpers shared by the importers; not part of the io interface.

#include "attachment.h"
#include "bulkwritescope.h"
#include "importresult.h"
#include "iorepositories.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct Note;

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

// Inserts an imported note, then its attachments; counts the note in
// result.imported or result.errors and marks what changed in bulk.
void storeNote(const IoRepositories &repositories, const Note &note,
               const QList<PendingAttachment> &attachments, BulkWriteScope &bulk, ImportResult *result);

} // namespace ImportSupport
