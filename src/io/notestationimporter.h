#pragma once

#include "importresult.h"
#include "iorepositories.h"
#include "ioprogress.h"

#include <QString>

// Imports a ".nsx" archive (a ZIP with "config.json", one JSON file per
// notebook and note, attachment data in "file_<md5>") into new notebooks and
// notes with new ids; nothing existing is overwritten.
ImportResult importNoteStation(const QString &archivePath, const IoRepositories &repositories,
                               const ProgressCallback &progress = {});
