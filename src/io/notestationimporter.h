#pragma once

#include "importresult.h"
#include "iorepositories.h"
#include "extractionlimits.h"
#include "ioprogress.h"

#include <QDir>
#include <QJsonArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class WritePlan;

// The read stage of a ".nsx" import: the archive unpacked into a temporary
// folder and its config.json read. Only plan's progress is used.
struct NoteStationArchive
{
    std::unique_ptr<QTemporaryDir> temp;
    std::unique_ptr<ExtractionBudget> budget; // what unpacking spent; copies into the store spend the rest
    QDir root;                                // config.json's folder
    QJsonArray notebookIds;
    QJsonArray noteIds;
    qint64 maxJsonBytes = 0;
    ImportResult result; // refusals of the reading; error: nothing to import
};
NoteStationArchive readNoteStationArchive(const QString &archivePath, WritePlan &plan,
                                          const ExtractionLimits &limits = {});

// The plan stage: notebooks, notes converted with new ids, links between
// them and attachment files placed in the store.
ImportResult planNoteStation(const NoteStationArchive &archive, WritePlan &plan);
// Both stages, for a worker.
ImportResult planNoteStationImport(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits = {});

// Imports a ".nsx" archive (a ZIP with "config.json", one JSON file per
// notebook and note, attachment data in "file_<md5>") into new notebooks and
// notes with new ids; nothing existing is overwritten. The archive may sit
// inside one top-level folder. Notes of the recycle bin go to the trash,
// encrypted notes are refused, attachments no text shows are listed at the
// end of their note, links to other notes of the archive point at their copies.
ImportResult importNoteStation(const QString &archivePath, const IoRepositories &repositories,
                               const ProgressCallback &progress = {}, const ExtractionLimits &limits = {});
