#pragma once

// Helpers shared by the importers; not part of the io interface.

#include "attachment.h"
#include "bulkwritescope.h"
#include "importresult.h"
#include "iorepositories.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QString>

#include <functional>

class ExtractionBudget;
struct Note;

namespace ImportSupport {

QString newId();

struct PendingAttachment
{
    Attachment record;
    QString sourcePath; // the unpacked data, copied into the store without being read whole
};

// Where one import's attachment files go. Records naming the same source
// share one stored file (hard links; a copy only where the filesystem has
// none), and every byte copied is charged to the import's budget.
struct AttachmentSink
{
    ExtractionBudget *budget = nullptr;
    QHash<QString, QString> storedBySource; // source path -> first stored file
};

// Stores each attachment's file, then its row (the row needs the inserted note).
// Every stored one counts in result.attachments once committed, every failure in result.errors.
void storeAttachments(const IoRepositories &repositories, const QList<PendingAttachment> &attachments,
                      BulkWriteScope &bulk, ImportResult *result, AttachmentSink *sink = nullptr);

// Commits what is left and counts the rows a failed commit lost as errors, with the cause.
void finish(BulkWriteScope &bulk, ImportResult *result);

// The link the editor follows to open a note.
QString noteLinkUrl(const QString &noteId);

// Points each "link" attribute at target(href): the same href keeps it, another
// replaces it, an empty one removes the link and keeps its text.
QJsonArray retargetLinks(const QJsonArray &delta, const std::function<QString(const QString &href)> &target);

// Text of a file that should be UTF-8; invalid UTF-8 is read as Windows-1252
// (Latin-1 with the printable 0x80-0x9F range) and *fellBack is set.
QString decodeText(const QByteArray &bytes, bool *fellBack);

// Inserts an imported note, then its attachments; counts the note in
// result.imported or result.errors and marks what changed in bulk.
void storeNote(const IoRepositories &repositories, const Note &note,
               const QList<PendingAttachment> &attachments, BulkWriteScope &bulk, ImportResult *result,
               AttachmentSink *sink = nullptr);

} // namespace ImportSupport
