#pragma once

#include "extractionlimits.h"
#include "importresult.h"
#include "ioprogress.h"
#include "iorepositories.h"

#include <QString>

class WritePlan;

// Imports a folder of Markdown and text files (".md", ".markdown", ".txt"),
// or a ZIP of one, as most applications export them. The files at the top
// go to a notebook named after the folder; each sub-folder becomes a notebook
// named by its path ("Parent / Child"), folders and files whose name starts
// with a dot are left out, and an "attachments" folder only holds files. The title comes from the front matter's "title",
// else the first heading, else the file name; the times from the front
// matter, else the file. Relative links to images and files become
// attachments drawn in place, links to other imported files and [[wiki
// links]] to their names or titles become links to the imported notes.
// A link that leads outside the folder (".." or a symbolic link) is never
// followed: its text stays and it is counted as an error.
ImportResult importMarkdownFolder(const QString &path, const IoRepositories &repositories,
                                  const ProgressCallback &progress = {}, const ExtractionLimits &limits = {});
// The read and plan stages of importMarkdownFolder, for a worker.
ImportResult planMarkdownFolderImport(const QString &path, WritePlan &plan, const ExtractionLimits &limits = {});
