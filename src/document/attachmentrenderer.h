#pragma once

// Draws attachment objects in note text: an image inline (at most 560 pixels
// wide) or, for any other file and for anything that cannot be shown, a chip
// with a paperclip and the file name. Register it with a document layout for
// TextObject::Attachment. Attachments are looked up through a function (the
// store lives in a lower layer's neighbour) on the first use of an id and
// cached until clearCache.

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QTextObjectInterface>

#include <functional>
#include <optional>

// One attachment as the renderer sees it; the bytes are read only for images.
struct AttachmentFile
{
    QString filename;
    QString mimeType;
    std::function<QByteArray()> readBytes;
};

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
    // Nothing for an unknown id. Without a lookup every attachment is a chip.
    using Lookup = std::function<std::optional<AttachmentFile>(const QString &id)>;
    explicit AttachmentRenderer(Lookup lookup, QObject *parent = nullptr);

    QSizeF intrinsicSize(QTextDocument *document, int posInDocument, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int posInDocument,
                    const QTextFormat &format) override;

    // The entry for an object URL (or a bare id); looks it up on first use.
    AttachmentCacheEntry lookup(const QString &url);
    void clearCache();

    static bool isImageMimeType(const QString &mimeType);
    // Images wider than this are scaled down once, when first looked up.
    static constexpr int kMaxImageWidth = 560;

private:
    QString chipLabel(const AttachmentCacheEntry &entry) const;

    Lookup m_lookup;
    QHash<QString, AttachmentCacheEntry> m_cache;
};
