#pragma once

#include "importresult.h"
#include "iorepositories.h"
#include "extractionlimits.h"
#include "ioprogress.h"

#include <QDateTime>
#include <QString>

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

// Imports a ".jex" archive (a tar of items and "resources/" files) into new
// notebooks and notes with new ids; nothing existing is overwritten. Resource
// links ":/<id>" become attachments of the note that references them, links
// to other notes of the archive point at their imported copies. The archive
// may sit inside one top-level folder; resources are found by id whatever
// their extension.
ImportResult importJoplin(const QString &archivePath, const IoRepositories &repositories,
                          const ProgressCallback &progress = {}, const ExtractionLimits &limits = {});
