#pragma once

#include "ioprogress.h"
#include "iorepositories.h"

#include <QString>

#include <optional>

struct FolderExportResult
{
    bool ok = false;
    int notes = 0;
    int attachments = 0;
    QString path;  // the folder or ZIP written
    QString error; // why nothing usable was written
};

// Writes notes as Markdown files with YAML front matter (title, created,
// updated, notebook), each note's attachments in an "attachments" folder
// beside it and linked relatively, links between exported notes as relative
// links. notebookId names one notebook, whose notes go to the top; without
// it every live note goes out, one sub-folder per notebook and the notes in
// no notebook at the top. target ending in ".zip" becomes a ZIP archive
// (replaced only once complete); otherwise a new folder is made there, with
// " (2)", " (3)"... added when the name is taken. File and folder names are
// safe on every platform and unique (case-insensitively) in their folder.
FolderExportResult exportMarkdownFolder(const IoRepositories &repositories, const std::optional<QString> &notebookId,
                                        const QString &target, const ProgressCallback &progress = {});
