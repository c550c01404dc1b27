#pragma once

#include "attachment.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

struct EditorHooks;
class AttachmentRepository;
class QImage;
class QMimeData;
class QTextEdit;
class QUrl;

// The attachments of the note an editor shows: inserting files and pictures
// at its cursor, opening, saving, copying and removing them, and what the
// editor says about them. Inert until a repository is set.
class EditorAttachments final : public QObject
{
    Q_OBJECT
public:
    // The editor owns this object and outlives it; hooks are the editor's.
    EditorAttachments(QTextEdit *editor, const EditorHooks &hooks);

    // Not owned.
    void setRepository(AttachmentRepository *repository);
    bool isActive() const { return !m_repository.isNull(); }

    // Insertions at the editor's cursor for the note noteId.
    bool insertFile(const QString &noteId, const QString &path);
    bool insertBytes(const QString &noteId, const QString &fileName, const QString &mimeType, const QByteArray &bytes);
    // Every local file of urls; true when at least one arrived.
    bool insertFiles(const QString &noteId, const QList<QUrl> &urls);
    bool insertPicture(const QString &noteId, const QImage &image);
    // Files copied in a file manager, or a bare picture (a screenshot, stored
    // as PNG); false when source holds neither or nothing arrived.
    bool paste(const QString &noteId, const QMimeData *source);

    bool open(const QString &id, const QString &fileName);
    // In the image viewer; false when the attachment is no picture.
    bool showImage(const QString &id);
    void saveAs(const QString &id, const QString &fileName);
    void copyFile(const QString &id, const QString &fileName);
    // The object next to the cursor goes; the file too once nothing shows it.
    void remove(const QString &id);

    std::optional<Attachment> recordAt(int position) const;
    // What a double-click does: a picture in the viewer, anything else
    // outside. False when nothing opened.
    bool openAt(int position);
    QString toolTipAt(int position) const;

private:
    bool writeTempCopy(const QString &id, const QString &fileName, QString *path);

    QTextEdit *m_editor;
    const EditorHooks &m_hooks;
    QPointer<AttachmentRepository> m_repository;
};
