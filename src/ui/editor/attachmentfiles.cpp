#include "attachmentfiles.h"

#include "attachmentrepository.h"
#include "delta.h"
#include "textediting.h"
#include "textformat.h"
#include "uilog.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QUuid>

namespace AttachmentFiles {

std::optional<QString> store(AttachmentRepository *attachments, const QString &noteId, const QString &fileName,
                             const QString &mimeType, const QByteArray &bytes)
{
    if (!attachments || noteId.isEmpty() || bytes.isEmpty())
        return std::nullopt;
    Attachment attachment;
    attachment.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    attachment.noteId = noteId;
    attachment.filename = fileName;
    attachment.mimeType = mimeType;
    attachment.sizeBytes = bytes.size();
    attachment.createdAt = QDateTime::currentDateTimeUtc();
    if (!attachments->saveFile(attachment.id, bytes)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: saveFile failed";
        return std::nullopt;
    }
    if (!attachments->insert(attachment)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: insert failed";
        return std::nullopt;
    }
    return attachment.id;
}

bool saveCopy(AttachmentRepository *attachments, const QString &id, const QString &path)
{
    const QByteArray bytes = attachments ? attachments->readFile(id) : QByteArray();
    if (bytes.isEmpty()) {
        qCWarning(lcUi) << "saveAttachmentAs: empty/missing file for" << id;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcUi) << "saveAttachmentAs: open failed" << file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        qCWarning(lcUi) << "saveAttachmentAs: write failed" << file.errorString();
        return false;
    }
    return true;
}

QTextCursor insertObject(QTextCursor cursor, const QString &id)
{
    cursor.beginEditBlock();
    cursor.insertText(QString(TextEditing::kObjectChar), TextEditing::attachmentFormat(id));
    QTextBlockFormat line = cursor.blockFormat();
    line.setLineHeight(0, QTextBlockFormat::SingleHeight);
    cursor.setBlockFormat(line);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.endEditBlock();
    return cursor;
}

QString attachmentIdAt(const QTextDocument *document, int position)
{
    QTextCharFormat format = TextEditing::charFormatAt(document, position);
    if (format.objectType() != TextObject::Attachment)
        format = TextEditing::charFormatAt(document, position - 1);
    if (format.objectType() != TextObject::Attachment)
        return {};
    return attachmentIdFromUrl(format.stringProperty(TextProperty::ObjectUrl));
}

bool removeObjectNear(QTextCursor &cursor, const QString &id)
{
    for (int candidate : {cursor.position() - 1, cursor.position()}) {
        const QTextCharFormat format = TextEditing::charFormatAt(cursor.document(), candidate);
        if (format.objectType() == TextObject::Attachment
            && attachmentIdFromUrl(format.stringProperty(TextProperty::ObjectUrl)) == id) {
            QTextCursor remove(cursor.document());
            remove.setPosition(candidate);
            remove.setPosition(candidate + 1, QTextCursor::KeepAnchor);
            remove.removeSelectedText();
            return true;
        }
    }
    return false;
}

bool isShown(const QTextDocument *document, const QString &id)
{
    const QString url = attachmentUrl(id);
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.objectType() == TextObject::Attachment && format.stringProperty(TextProperty::ObjectUrl) == url)
                return true;
        }
    }
    return false;
}

} // namespace AttachmentFiles
