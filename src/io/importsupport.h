#pragma once

// Helpers shared by the importers; not part of the io interface.

#include "attachment.h"
#include "batchwriter.h"
#include "ioprogress.h"
#include "writeplan.h"
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

// The link the editor follows to open a note.
QString noteLinkUrl(const QString &noteId);

// Points each "link" attribute at target(href): the same href keeps it, another
// replaces it, an empty one removes the link and keeps its text.
QJsonArray retargetLinks(const QJsonArray &delta, const std::function<QString(const QString &href)> &target);

// Text of a file that should be UTF-8; invalid UTF-8 is read as Windows-1252
// (Latin-1 with the printable 0x80-0x9F range) and *fellBack is set.
QString decodeText(const QByteArray &bytes, bool *fellBack);

// Adds an imported note to plan, places its attachment files in the store
// and adds their rows; a file that cannot be placed counts in result.errors.
void planNote(WritePlan &plan, const Note &note, const QList<PendingAttachment> &attachments, ImportResult *result,
              AttachmentSink *sink = nullptr);

// The outcome of an import from what its plan counted and what the writer
// committed: the notes and attachments counts are the committed rows.
ImportResult outcome(ImportResult planned, const BatchWriter::Counts &written, bool committed, const QString &error);

// Runs producer and writes its plan on the calling thread, in one transaction.
ImportResult runHere(const IoRepositories &repositories, const std::function<ImportResult(WritePlan &)> &producer,
                     const ProgressCallback &progress);

} // namespace ImportSupport
