#pragma once

// Draws attachment objects in note text: an image inline (at most 560 pixels
// wide) or, for any other file and for anything that cannot be shown, a chip
// with a paperclip and the file name. Register it with a document layout for
// TextObject::Attachment. Records and bytes are read from the attachment
// store on the first lookup of an id and cached until clearCache.

#include "attachment.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTextObjectInterface>

class AttachmentRepository;

struct AttachmentCacheEntry
{
    QImage image;     // null unless a decodable image
    QString filename;
    QString mimeType;
    bool isImage = false; // the MIME type begins with "image/"
};

class AttachmentRenderer final : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    // repository may be null (every attachment is then a chip); not owned.
    explicit AttachmentRenderer(AttachmentRepository *repository, QObject *parent = nullptr);

    QSizeF intrinsicSize(QTextDocument *document, int posInDocument, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int posInDocument,
                    const QTextFormat &format) override;

    // The entry for an object URL (or a bare id); looks it up on first use.
    AttachmentCacheEntry lookup(const QString &url);
    void clearCache();

    static bool isImageAttachment(const Attachment &attachment);
    // Images wider than this are scaled down once, when first looked up.
    static constexpr int kMaxImageWidth = 560;

private:
    QString chipLabel(const AttachmentCacheEntry &entry) const;

    QPointer<AttachmentRepository> m_repository;
    QHash<QString, AttachmentCacheEntry> m_cache;
};
