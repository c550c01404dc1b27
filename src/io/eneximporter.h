#pragma once

#include "extractionlimits.h"
#include "importresult.h"
#include "ioprogress.h"
#include "iorepositories.h"

#include <QString>

class WritePlan;

// Imports an Evernote ".enex" export (one notebook as XML) into a new
// notebook named notebookName, or after the file when that is empty. The file
// is read as a stream, note by note: resource data is decoded straight into
// temporary files and dropped once its note is stored, so memory follows the
// largest note rather than the file. <en-media> is resolved to the resource
// with that MD5; check boxes, rules, tables and text formats are kept, tags
// end the note as a line of text, and each <en-crypt> section becomes a
// visible placeholder counted as a warning.
ImportResult importEnex(const QString &path, const IoRepositories &repositories, const ProgressCallback &progress = {},
                        const ExtractionLimits &limits = {}, const QString &notebookName = {});
// The read and plan stages of importEnex, for a worker.
ImportResult planEnexImport(const QString &path, WritePlan &plan, const ExtractionLimits &limits = {},
                            const QString &notebookName = {});
