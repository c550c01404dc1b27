#include "editorattachments.h"

#include "attachmentfiles.h"
#include "attachmentrenderer.h"
#include "attachmentrepository.h"
#include "attachmenttempfolder.h"
#include "editorclipboard.h"
#include "editorhooks.h"
#include "editorrules.h"
#include "imagelightbox.h"
#include "privatefiles.h"
#include "uilog.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QMimeDatabase>
#include <QTextEdit>
#include <QUrl>

EditorAttachments::EditorAttachments(QTextEdit *editor, const EditorHooks &hooks)
    : QObject(editor), m_editor(editor), m_hooks(hooks)
{
}

void EditorAttachments::setRepository(AttachmentRepository *repository)
{
    m_repository = repository;
}

bool EditorAttachments::insertFile(const QString &noteId, const QString &path)
{
    if (!m_repository || noteId.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: can't open" << path;
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return false;
    return insertBytes(noteId, QFileInfo(path).fileName(), QMimeDatabase().mimeTypeForFile(path).name(), bytes);
}

bool EditorAttachments::insertBytes(const QString &noteId, const QString &fileName, const QString &mimeType,
                                    const QByteArray &bytes)
{
    if (!m_repository || noteId.isEmpty())
        return false;
    const std::optional<QString> id = AttachmentFiles::store(m_repository, noteId, fileName, mimeType, bytes);
    if (!id)
        return false;
    m_editor->setTextCursor(AttachmentFiles::insertObject(m_editor->textCursor(), *id));
    return true;
}

bool EditorAttachments::insertFiles(const QString &noteId, const QList<QUrl> &urls)
{
    bool inserted = false;
    for (const QUrl &url : urls) {
        if (url.isLocalFile() && insertFile(noteId, url.toLocalFile()))
            inserted = true;
    }
    return inserted;
}

bool EditorAttachments::insertPicture(const QString &noteId, const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    return !image.isNull() && buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG")
        && insertBytes(noteId, QStringLiteral("image.png"), QStringLiteral("image/png"), png);
}

bool EditorAttachments::paste(const QString &noteId, const QMimeData *source)
{
    if (!m_repository)
        return false;
    if (EditorClipboard::hasLocalFiles(source) && insertFiles(noteId, source->urls()))
        return true;
    // Text that comes with an image is pasted as text.
    return source->hasImage() && !source->hasText() && !source->hasHtml()
        && insertPicture(noteId, qvariant_cast<QImage>(source->imageData()));
}

bool EditorAttachments::writeTempCopy(const QString &id, const QString &fileName, QString *path)
{
    if (!m_repository)
        return false;
    const QByteArray bytes = m_repository->readFile(id);
    if (bytes.isEmpty())
        return false;
    // The recorded name comes from other devices and shared notes: only its
    // last component, cleaned, is used, so the copy stays in its folder.
    const QString folder = attachmentTempFolder();
    if (folder.isEmpty())
        return false;
    const QString target = EditorRules::attachmentTempPath(folder, id, fileName);
    PrivateFiles::ensureFolder(QFileInfo(target).absolutePath());
    // Whatever sits at the name goes (a link is removed, not followed), and
    // the copy is created afresh: nothing already there is written through.
    QFile::remove(target);
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner)) {
        qCWarning(lcUi) << "openAttachment: failed to open temp file" << target << file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        qCWarning(lcUi) << "openAttachment: short write for" << target;
        return false;
    }
    file.close();
    *path = target;
    return true;
}

bool EditorAttachments::open(const QString &id, const QString &fileName)
{
    if (!EditorRules::attachmentOpensWithoutAsking(fileName)) {
        const QString name = EditorRules::safeAttachmentFileName(fileName, id);
        const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        if (!confirmOpenAttachment(m_hooks, m_editor, name, type.comment()))
            return false;
    }
    QString path;
    if (!writeTempCopy(id, fileName, &path))
        return false;
    return m_hooks.openUrl && m_hooks.openUrl(QUrl::fromLocalFile(path));
}

bool EditorAttachments::showImage(const QString &id)
{
    if (!m_repository)
        return false;
    const std::optional<Attachment> record = m_repository->attachmentById(id);
    const QImage image = QImage::fromData(m_repository->readFile(id));
    if (!record || image.isNull())
        return false;
    auto *lightbox = new ImageLightbox(image, record->filename, m_editor);
    lightbox->setAttribute(Qt::WA_DeleteOnClose);
    lightbox->show();
    return true;
}

void EditorAttachments::saveAs(const QString &id, const QString &fileName)
{
    if (!m_repository || !m_hooks.askSaveFile)
        return;
    const QString suggested =
        QDir::homePath() + QLatin1Char('/') + EditorRules::safeAttachmentFileName(fileName, id);
    const QString path = m_hooks.askSaveFile(suggested);
    if (!path.isEmpty())
        AttachmentFiles::saveCopy(m_repository, id, path);
}

void EditorAttachments::copyFile(const QString &id, const QString &fileName)
{
    QString path;
    if (!writeTempCopy(id, fileName, &path) || !m_hooks.setClipboard)
        return;
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    m_hooks.setClipboard(data);
}

void EditorAttachments::remove(const QString &id)
{
    if (!m_repository || id.isEmpty())
        return;
    QTextCursor cursor = m_editor->textCursor();
    if (!AttachmentFiles::removeObjectNear(cursor, id))
        return;
    // A copied object character may still show the same attachment elsewhere in the note.
    if (!AttachmentFiles::isShown(m_editor->document(), id))
        m_repository->deleteById(id);
}

std::optional<Attachment> EditorAttachments::recordAt(int position) const
{
    if (!m_repository)
        return std::nullopt;
    const QString id = AttachmentFiles::attachmentIdAt(m_editor->document(), position);
    return id.isEmpty() ? std::nullopt : m_repository->attachmentById(id);
}

bool EditorAttachments::openAt(int position)
{
    const std::optional<Attachment> record = recordAt(position);
    if (!record)
        return false;
    return (AttachmentRenderer::isImageMimeType(record->mimeType) && showImage(record->id))
        || open(record->id, record->filename);
}

QString EditorAttachments::toolTipAt(int position) const
{
    const std::optional<Attachment> record = recordAt(position);
    if (!record)
        return {};
    return tr("%1 (%2)\n(Double-click to open, right-click for more)")
        .arg(record->filename, EditorRules::formatAttachmentSize(record->sizeBytes));
}
