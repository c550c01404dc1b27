#pragma once

#include "importresult.h"
#include "iorepositories.h"
#include "extractionlimits.h"
#include "ioprogress.h"

#include <QString>

// Imports a ".nsx" archive (a ZIP with "config.json", one JSON file per
// notebook and note, attachment data in "file_<md5>") into new notebooks and
// notes with new ids; nothing existing is overwritten. The archive may sit
// inside one top-level folder. Notes of the recycle bin go to the trash,
// encrypted notes are refused, attachments no text shows are listed at the
// end of their note, links to other notes of the archive point at their copies.
ImportResult importNoteStation(const QString &archivePath, const IoRepositories &repositories,
                               const ProgressCallback &progress = {}, const ExtractionLimits &limits = {});
