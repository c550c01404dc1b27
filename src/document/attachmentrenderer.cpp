#include "attachmentrenderer.h"

#include "delta.h"
#include "textformat.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>

AttachmentRenderer::AttachmentRenderer(Lookup lookup, QObject *parent)
    : QObject(parent), m_lookup(std::move(lookup))
{
}

bool AttachmentRenderer::isImageMimeType(const QString &mimeType)
{
    return mimeType.startsWith(QLatin1String("image/"));
}

AttachmentCacheEntry AttachmentRenderer::lookup(const QString &url)
{
    const QString id = attachmentIdFromUrl(url);
    const auto cached = m_cache.constFind(id);
    if (cached != m_cache.constEnd())
        return *cached;

    AttachmentCacheEntry entry;
    if (m_lookup && !id.isEmpty()) {
        if (const std::optional<AttachmentFile> file = m_lookup(id)) {
            entry.filename = file->filename;
            entry.mimeType = file->mimeType;
            entry.isImage = isImageMimeType(file->mimeType);
            if (entry.isImage) {
                const QByteArray bytes = file->readBytes ? file->readBytes() : QByteArray();
                QImage image;
                if (!bytes.isEmpty() && image.loadFromData(bytes)) {
                    if (image.width() > kMaxImageWidth)
                        image = image.scaledToWidth(kMaxImageWidth, Qt::SmoothTransformation);
                    entry.image = image;
                }
            }
        }
    }
    // Missing attachments are cached too, so they are looked up only once.
    m_cache.insert(id, entry);
    return entry;
}

void AttachmentRenderer::clearCache()
{
    m_cache.clear();
}

QString AttachmentRenderer::chipLabel(const AttachmentCacheEntry &entry) const
{
    return entry.filename.isEmpty() ? tr("Attachment") : entry.filename;
}

QSizeF AttachmentRenderer::intrinsicSize(QTextDocument *document, int posInDocument, const QTextFormat &format)
{
    Q_UNUSED(document)
    Q_UNUSED(posInDocument)
    const AttachmentCacheEntry entry = lookup(format.stringProperty(TextProperty::ObjectUrl));
    if (entry.isImage && !entry.image.isNull())
        return QSizeF(entry.image.width(), entry.image.height() + 4);
    const QFontMetrics metrics(QGuiApplication::font());
    return QSizeF(std::max(200, metrics.horizontalAdvance(chipLabel(entry)) + 48), 36);
}

void AttachmentRenderer::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document,
                                    int posInDocument, const QTextFormat &format)
{
    Q_UNUSED(document)
    Q_UNUSED(posInDocument)
    const AttachmentCacheEntry entry = lookup(format.stringProperty(TextProperty::ObjectUrl));
    painter->save();
    if (entry.isImage && !entry.image.isNull()) {
        painter->drawImage(QRectF(rect.x(), rect.y(), entry.image.width(), entry.image.height()), entry.image);
    } else {
        // The chip shares the code block's background and muted text, edged in the palette's Mid.
        const QRectF chip = rect.adjusted(0, 0, 0, -2);
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->setBrush(codeBlockBackgroundColor());
        painter->setPen(QPen(QGuiApplication::palette().color(QPalette::Mid), 1, Qt::SolidLine));
        painter->drawRoundedRect(chip, 6, 6);
        painter->setPen(mutedTextColor());
        painter->drawText(chip.adjusted(12, 0, -12, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          QStringLiteral("\U0001F4CE  %1").arg(chipLabel(entry)));
    }
    painter->restore();
}
