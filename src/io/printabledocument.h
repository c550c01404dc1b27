#pragma once

#include <QString>

#include <memory>

class AttachmentRepository;
class QTextDocument;

// A note laid out for paper (print, print preview and PDF export): the page
// HtmlWriter writes, with the note's pictures as resources of the document so
// they are embedded, in black on white whatever the theme. A body that is not
// a Delta is shown as plain text. attachments may be null (no pictures).
std::unique_ptr<QTextDocument> printableDocument(const QString &body, const AttachmentRepository *attachments);

// Pictures wider than this many pixels (at 96 dpi) are scaled down to it, so
// that they fit the text width of an A4 or Letter page.
inline constexpr int kPrintableImageWidth = 600;
