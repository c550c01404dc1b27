#pragma once

#include "converters.h"

#include <QString>

class AttachmentRepository;
struct Note;

struct ExportResult
{
    bool ok = false;
    QString path;  // the file written (the ZIP for a bundle)
    QString error; // "Failed to write file: %1" when ok is false
};

// ".md", ".html", ".pdf" or ".txt".
QString exportFileExtension(ExportFormat format);

// Drops the characters < > : " / \ | ? *, trims, keeps at most 50 characters;
// "note" when nothing is left.
QString sanitizeFileName(const QString &name);

// The note's title, or "note-" and the first 8 characters of its id, sanitised,
// with the format's extension.
QString suggestedFileName(const Note &note, ExportFormat format);

// Writes the note converted to format at path (replacing a file there). With
// includeAttachments and an attachment store, the export becomes a ZIP beside
// path named like it with ".zip", holding the note file and an "attachments/"
// folder with the note's files under unique, sanitised names; the Markdown and
// HTML point at them by relative path (images shown, other files linked).
// Without it, an HTML page gets its pictures in a folder beside it named
// after the page with "_files" ("Trip.html", "Trip_files/"), and a PDF has
// them embedded; Markdown and plain text hold the text alone.
ExportResult exportNote(const Note &note, const QString &path, ExportFormat format, bool includeAttachments,
                        AttachmentRepository *attachments = nullptr);
