#include "printabledocument.h"

#include "attachmentrepository.h"
#include "delta.h"
#include "htmlwriter.h"

#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QTextDocument>
#include <QUrl>

std::unique_ptr<QTextDocument> printableDocument(const QString &body, const AttachmentRepository *attachments)
{
    auto document = std::make_unique<QTextDocument>();
    QFont font = QGuiApplication::font();
    font.setPointSize(11);
    document->setDefaultFont(font);
    const QJsonDocument parsed = parseJsonText(body);
    if (!parsed.isArray()) {
        document->setPlainText(body);
        return document;
    }
    HtmlWriter writer;
    writer.setForRichText(true);
    if (attachments) {
        QTextDocument *target = document.get();
        writer.setAttachmentResolver([attachments, target](const QString &id) -> std::optional<HtmlWriter::Attachment> {
            const std::optional<Attachment> record = attachments->attachmentById(id);
            if (!record)
                return std::nullopt;
            const QString url = attachmentUrl(id);
            const QImage image = record->mimeType.startsWith(QLatin1String("image/"))
                ? QImage::fromData(attachments->readFile(id))
                : QImage();
            if (image.isNull())
                return HtmlWriter::Attachment{url, record->filename, false, 0};
            target->addResource(QTextDocument::ImageResource, QUrl(url), image);
            return HtmlWriter::Attachment{url, record->filename, true,
                                          image.width() > kPrintableImageWidth ? kPrintableImageWidth : 0};
        });
    }
    document->setHtml(writer.write(parsed.array()));
    return document;
}
