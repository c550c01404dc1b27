#pragma once

// Rules of the note editor that need no widget: word counting, recognising
// pasted Markdown and HTML, link addresses and attachment file names.

#include <QString>
#include <QUrl>

namespace EditorRules {

// Non-empty parts of the trimmed text split on runs of white space.
int wordCount(const QString &text);

// Length of the longest run of characters between line ends.
qsizetype longestParagraph(const QString &text);
// The text with every line longer than width characters broken into display
// lines of at most width characters, at the last space of a line where there
// is one in its second half. Text layout cost grows with the longest block, so
// a huge paragraph is only ever shown this way.
QString brokenIntoLines(const QString &text, qsizetype width);

// Plain text that should be pasted through the HTML converter.
bool looksLikeHtml(const QString &text);
// Plain text that should be pasted through the Markdown converter.
bool looksLikeMarkdown(const QString &text);

// The address a link opens: "https://" is put in front of text without a
// scheme. Empty for an empty href.
QUrl linkTarget(const QString &href);
// Whether a link may open without asking: http, https and mailto only. Any
// other scheme (file:, javascript:, custom handlers) can start local
// programs, so the user confirms first.
bool opensWithoutAsking(const QUrl &url);

// A name that is safe as the last component of a temporary path: only the
// final file-name component of the recorded name, with path separators and
// characters the platforms forbid replaced by "_"; names that are empty,
// dots only or reserved device names fall back to id + ".bin".
QString safeAttachmentFileName(const QString &fileName, const QString &attachmentId);
// folder + "/" + id + "/" + the safe file name.
QString attachmentTempPath(const QString &folder, const QString &attachmentId, const QString &fileName);
// Whether the system may open a copy of the attachment without asking: only
// images, PDF, plain text and office documents, judged by the extension the
// system itself goes by. Programs, scripts and shortcuts would run.
bool attachmentOpensWithoutAsking(const QString &fileName);

// "12.5 KB" below 1024 KB, else "3.2 MB".
QString formatAttachmentSize(qint64 bytes);

} // namespace EditorRules
