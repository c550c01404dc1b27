#pragma once

#include <QByteArray>
#include <QString>
#include <QTextCursor>

#include <optional>

class AttachmentRepository;
class QTextDocument;

// Attachments of a note apart from the editor widget: storing and copying
// their files, and their object characters in the text.
namespace AttachmentFiles {

// Stores bytes as a new attachment of noteId; its id, or nothing (logged) when
// the bytes are empty or the file or record could not be written.
std::optional<QString> store(AttachmentRepository *attachments, const QString &noteId, const QString &fileName,
                             const QString &mimeType, const QByteArray &bytes);
// Writes the attachment's bytes to path; false (logged) when any step fails.
bool saveCopy(AttachmentRepository *attachments, const QString &id, const QString &path);

// Puts the object of attachment id at the cursor on a line of its own; returns the cursor after it.
QTextCursor insertObject(QTextCursor cursor, const QString &id);
// The attachment id at position (or just before it); empty when none.
QString attachmentIdAt(const QTextDocument *document, int position);
// Removes the object of id at or just before the cursor; false when there is none.
bool removeObjectNear(QTextCursor &cursor, const QString &id);
// Whether any object in document shows attachment id.
bool isShown(const QTextDocument *document, const QString &id);

} // namespace AttachmentFiles
