#pragma once

#include "importresult.h"
#include "iorepositories.h"
#include "extractionlimits.h"
#include "ioprogress.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class WritePlan;

// One item of a Joplin export: the text of a ".md" entry followed by its
// metadata block of "key: value" lines.
struct JoplinItem
{
    enum Type { Note = 1, Folder = 2, Resource = 4 };

    QString id;
    QString title;
    QString parentId;
    int type = 0;
    int markupLanguage = 0; // 2: HTML, anything else Markdown
    QDateTime createdTime;
    QDateTime updatedTime;
    bool isTodo = false;
    int todoCompleted = 0;
    QString mime;
    QString fileExtension;
    QString text; // without the metadata block, the repeated title removed
};

// Never fails: text without a metadata block gives an item of type 0 (ignored by the importer).
JoplinItem parseJoplinItem(const QString &content);

// The read stage of a ".jex" import: every item of the archive, note texts
// waiting in a temporary folder, resource data unpacked beside them. Ends
// early when plan is cancelled; only plan's progress and cancel are used.
struct JoplinArchive
{
    struct Item : JoplinItem
    {
        QString textFile; // a note's text, so that no more than one is held at once
    };
    std::unique_ptr<QTemporaryDir> temp;
    std::unique_ptr<ExtractionBudget> budget; // what unpacking spent; copies into the store spend the rest
    QList<Item> items;
    QHash<QString, QString> resourceFiles; // resource id -> its data in temp
    ImportResult result;                   // refusals and warnings of the reading; error: nothing to import
};
JoplinArchive readJoplinArchive(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits = {});

// The plan stage: notebooks, notes converted to the note format with new
// ids, links between them, and attachment files placed in the store.
ImportResult planJoplin(JoplinArchive &archive, WritePlan &plan);
// Both stages, for a worker.
ImportResult planJoplinImport(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits = {});

// Imports a ".jex" archive (a tar of items and "resources/" files) into new
// notebooks and notes with new ids; nothing existing is overwritten. Resource
// links ":/<id>" become attachments of the note that references them, links
// to other notes of the archive point at their imported copies. The archive
// may sit inside one top-level folder; resources are found by id whatever
// their extension.
ImportResult importJoplin(const QString &archivePath, const IoRepositories &repositories,
                          const ProgressCallback &progress = {}, const ExtractionLimits &limits = {});
