#include "noteexport.h"

#include "safefilename.h"
#include "archivereader.h"
#include "attachmentrepository.h"
#include "delta.h"
#include "iolog.h"
#include "note.h"
#include "zipwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSet>
#include <QStringConverter>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextStream>
#include <QUrl>
#include <QUuid>

namespace {

QString writeError(const QString &reason)
{
    return QCoreApplication::translate("Export", "Failed to write file: %1").arg(reason);
}

ExportResult failure(const QString &reason)
{
    ExportResult result;
    result.error = writeError(reason);
    qCWarning(lcIo) << "Export failed:" << reason;
    return result;
}

ExportResult success(const QString &path)
{
    ExportResult result;
    result.ok = true;
    result.path = path;
    return result;
}

// Same resolution as a printer at high resolution.
constexpr int kPdfResolution = 1200;

// Prints html to a PDF at path; empty on success, else the reason.
QString writePdf(const QString &html, const QString &path, const QHash<QString, QImage> &images)
{
    {
        // The PDF writer fails silently; opening first gives the platform's reason.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly))
            return probe.errorString();
    }
    {
        QPdfWriter writer(path);
        writer.setResolution(kPdfResolution);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QTextDocument document;
        for (auto it = images.constBegin(); it != images.constEnd(); ++it)
            document.addResource(QTextDocument::ImageResource, QUrl(it.key()), it.value());
        document.setHtml(html);
        document.print(&writer);
    }
    // A printer that wrote nothing must not be reported as an export.
    const QFileInfo written(path);
    if (!written.exists() || written.size() == 0) {
        QFile::remove(path);
        return QCoreApplication::translate("Export", "the PDF could not be created");
    }
    return {};
}

QString writeText(const QString &content, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return file.errorString();
    QTextStream stream(&file);
    stream.setEncoding(QStringConverter::Utf8);
    stream << content;
    stream.flush();
    if (stream.status() != QTextStream::Ok || !file.flush())
        return file.errorString();
    file.close();
    return {};
}

// A name for an attachment inside the bundle: no path, no reserved name, unique
// (case-insensitively, as on Windows) among the names already used.
QString bundleName(const QString &filename, QSet<QString> *used)
{
    const QString attachment = QStringLiteral("attachment");
    QString name = safeFileName(filename, attachment);
    if (name.size() > 120)
        name = safeFileName(name.right(120), attachment); // the end holds the extension
    const QFileInfo info(name);
    const QString base = info.completeBaseName().isEmpty() ? name : info.completeBaseName();
    const QString suffix = info.completeBaseName().isEmpty() || info.suffix().isEmpty()
        ? QString()
        : QLatin1Char('.') + info.completeSuffix();
    QString candidate = name;
    for (int n = 2; used->contains(candidate.toLower()); ++n)
        candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix);
    used->insert(candidate.toLower());
    return candidate;
}

struct BundledFile
{
    Attachment attachment;
    QString name;     // inside "attachments/"
    QString relative; // "attachments/<name>", percent-encoded for links
};

QString embedAttachmentId(const QJsonObject &embed)
{
    QStringList keys = embed.keys();
    if (keys.isEmpty())
        return {};
    std::sort(keys.begin(), keys.end());
    const QString kind = keys.first();
    const QString value = embed.value(kind).toString();
    if (!value.startsWith(QLatin1String(kAttachmentUrlPrefix)))
        return {};
    if (kind == QLatin1String(kAttachmentEmbedKind) || kind == QLatin1String(kImageEmbedKind))
        return attachmentIdFromUrl(value);
    return {};
}

QString markdownLinkText(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('['), QLatin1String("\\["));
    text.replace(QLatin1Char(']'), QLatin1String("\\]"));
    return text;
}

// Content of a bundle: every attachment embed becomes a placeholder that the
// converters pass through as text, then the placeholder becomes the reference.
QString bundleContent(const QJsonArray &delta, ExportFormat format, const QHash<QString, BundledFile> &files)
{
    const QString nonce = QUuid::createUuid().toString(QUuid::Id128);
    QHash<QString, QString> references; // placeholder -> markup
    QJsonArray rewritten;
    for (const QJsonValue &value : delta) {
        const QJsonObject op = value.toObject();
        const QJsonValue insert = op.value(QStringLiteral("insert"));
        const QString id = insert.isObject() ? embedAttachmentId(insert.toObject()) : QString();
        const auto file = files.constFind(id);
        if (id.isEmpty() || file == files.constEnd()) {
            rewritten.append(value);
            continue;
        }
        const QString placeholder = QStringLiteral("VELMATTACH%1X%2").arg(references.size()).arg(nonce);
        const bool image = file->attachment.mimeType.startsWith(QLatin1String("image/"));
        QString markup;
        if (format == ExportFormat::Markdown) {
            markup = QStringLiteral("%1[%2](%3)")
                         .arg(image ? QStringLiteral("!") : QString(), markdownLinkText(file->name), file->relative);
        } else if (image) {
            markup = QStringLiteral("<img src=\"%1\">").arg(file->relative.toHtmlEscaped());
        } else {
            markup = QStringLiteral("<a href=\"%1\">%2</a>").arg(file->relative.toHtmlEscaped(), file->name.toHtmlEscaped());
        }
        references.insert(placeholder, markup);
        QJsonObject text;
        text.insert(QStringLiteral("insert"), placeholder);
        rewritten.append(text);
    }
    QString content;
    switch (format) {
    case ExportFormat::Markdown:
        content = deltaToMarkdown(rewritten);
        break;
    case ExportFormat::Html:
    case ExportFormat::Pdf:
        content = deltaToHtml(rewritten);
        break;
    case ExportFormat::PlainText:
        content = deltaToPlainText(rewritten);
        break;
    }
    for (auto it = references.constBegin(); it != references.constEnd(); ++it)
        content.replace(it.key(), format == ExportFormat::PlainText ? QString() : it.value());
    return content;
}

ExportResult exportBundle(const Note &note, const QString &path, ExportFormat format, AttachmentRepository *store)
{
    const QFileInfo info(path);
    const QString zipPath = info.dir().filePath(info.completeBaseName() + QStringLiteral(".zip"));
    const QString innerName = info.fileName();

    // The note's own attachments, plus any the body shows that belong elsewhere.
    QList<Attachment> attachments = store->attachmentsForNote(note.id);
    QSet<QString> known;
    for (const Attachment &a : std::as_const(attachments))
        known.insert(a.id);
    const QJsonDocument parsed = QJsonDocument::fromJson(note.body.toUtf8());
    const QJsonArray delta = parsed.array();
    if (parsed.isArray()) {
        for (const QJsonValue &value : delta) {
            const QJsonValue insert = value.toObject().value(QStringLiteral("insert"));
            const QString id = insert.isObject() ? embedAttachmentId(insert.toObject()) : QString();
            if (id.isEmpty() || known.contains(id))
                continue;
            known.insert(id);
            if (const std::optional<Attachment> a = store->attachmentById(id))
                attachments.append(*a);
        }
    }

    QSet<QString> used;
    QHash<QString, BundledFile> files;
    QList<BundledFile> ordered;
    for (const Attachment &a : std::as_const(attachments)) {
        const QString stored = AttachmentRepository::filePath(a.id);
        if (stored.isEmpty() || !QFile::exists(stored))
            continue;
        BundledFile file;
        file.attachment = a;
        file.name = bundleName(a.filename, &used);
        file.relative = QStringLiteral("attachments/") + QString::fromUtf8(QUrl::toPercentEncoding(file.name));
        files.insert(a.id, file);
        ordered.append(file);
    }

    QString content;
    if (!note.body.isEmpty())
        content = parsed.isArray() ? bundleContent(delta, format, files) : note.body;

    ZipWriter zip(zipPath);
    if (!zip.open())
        return failure(zip.errorString());
    if (format == ExportFormat::Pdf) {
        QTemporaryDir temp;
        if (!temp.isValid())
            return failure(temp.errorString());
        QHash<QString, QImage> images;
        for (const BundledFile &file : std::as_const(ordered)) {
            if (file.attachment.mimeType.startsWith(QLatin1String("image/")))
                images.insert(file.relative, QImage(AttachmentRepository::filePath(file.attachment.id)));
        }
        const QString pdfPath = temp.filePath(QStringLiteral("note.pdf"));
        const QString error = writePdf(content, pdfPath, images);
        if (!error.isEmpty())
            return failure(error);
        if (!zip.addFileFromDisk(innerName, pdfPath))
            return failure(zip.errorString());
    } else {
#ifdef Q_OS_WIN
        content.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
#endif
        if (!zip.addFile(innerName, content.toUtf8()))
            return failure(zip.errorString());
    }
    if (!zip.addDirectory(QStringLiteral("attachments")))
        return failure(zip.errorString());
    for (const BundledFile &file : std::as_const(ordered)) {
        if (!zip.addFileFromDisk(QStringLiteral("attachments/") + file.name,
                                 AttachmentRepository::filePath(file.attachment.id)))
            return failure(zip.errorString());
    }
    if (!zip.commit())
        return failure(zip.errorString());
    return success(zipPath);
}

} // namespace

QString exportFileExtension(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Markdown:
        return QStringLiteral(".md");
    case ExportFormat::Html:
        return QStringLiteral(".html");
    case ExportFormat::Pdf:
        return QStringLiteral(".pdf");
    case ExportFormat::PlainText:
        return QStringLiteral(".txt");
    }
    return QStringLiteral(".txt");
}

QString sanitizeFileName(const QString &name)
{
    const QString note = QStringLiteral("note");
    return safeFileName(safeFileName(name, note).left(50), note);
}

QString suggestedFileName(const Note &note, ExportFormat format)
{
    QString title = noteTitle(note.body);
    if (title.isEmpty())
        title = QStringLiteral("note-%1").arg(note.id.left(8));
    return sanitizeFileName(title) + exportFileExtension(format);
}

ExportResult exportNote(const Note &note, const QString &path, ExportFormat format, bool includeAttachments,
                        AttachmentRepository *attachments)
{
    if (includeAttachments && attachments)
        return exportBundle(note, path, format, attachments);

    const QString content = convertBody(note.body, format);
    const QString error = format == ExportFormat::Pdf ? writePdf(content, path, {}) : writeText(content, path);
    if (!error.isEmpty())
        return failure(error);
    return success(path);
}
