#include "noteexport.h"

#include "safefilename.h"
#include "archivereader.h"
#include "attachmentrepository.h"
#include "delta.h"
#include "htmlwriter.h"
#include "printabledocument.h"
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

// Prints document to a PDF at path; empty on success, else the reason.
QString writePdf(QTextDocument *document, const QString &path)
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
        document->print(&writer);
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

// An HTML page whose attachments point at the files written with it.
QString htmlPage(const QJsonArray &delta, const QHash<QString, BundledFile> &files)
{
    HtmlWriter writer;
    writer.setAttachmentResolver([&files](const QString &id) -> std::optional<HtmlWriter::Attachment> {
        const auto file = files.constFind(id);
        if (file == files.constEnd())
            return std::nullopt;
        return HtmlWriter::Attachment{file->relative, file->name,
                                      file->attachment.mimeType.startsWith(QLatin1String("image/")), 0};
    });
    return writer.write(delta);
}

// Markdown or plain text of a bundle: every attachment embed becomes a
// placeholder that the converters pass through as text, then the placeholder
// becomes the reference.
QString bundleContent(const QJsonArray &delta, ExportFormat format, const QHash<QString, BundledFile> &files)
{
    if (format == ExportFormat::Html || format == ExportFormat::Pdf)
        return htmlPage(delta, files);
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
        const QString markup = QStringLiteral("%1[%2](%3)")
                                   .arg(image ? QStringLiteral("!") : QString(), markdownLinkText(file->name),
                                        file->relative);
        references.insert(placeholder, markup);
        QJsonObject text;
        text.insert(QStringLiteral("insert"), placeholder);
        rewritten.append(text);
    }
    QString content = format == ExportFormat::Markdown ? deltaToMarkdown(rewritten) : deltaToPlainText(rewritten);
    for (auto it = references.constBegin(); it != references.constEnd(); ++it)
        content.replace(it.key(), format == ExportFormat::PlainText ? QString() : it.value());
    return content;
}

// The files a body shows (and, with ownFiles, every file of the note) that are
// on disk, named uniquely inside folder; imagesOnly leaves other files out.
QList<BundledFile> filesOfNote(const Note &note, const QJsonArray &delta, const AttachmentRepository *store,
                               const QString &folder, bool ownFiles, bool imagesOnly)
{
    QList<Attachment> attachments = ownFiles ? store->attachmentsForNote(note.id) : QList<Attachment>();
    QSet<QString> known;
    for (const Attachment &a : std::as_const(attachments))
        known.insert(a.id);
    for (const QJsonValue &value : delta) {
        const QJsonValue insert = value.toObject().value(QStringLiteral("insert"));
        const QString id = insert.isObject() ? embedAttachmentId(insert.toObject()) : QString();
        if (id.isEmpty() || known.contains(id))
            continue;
        known.insert(id);
        if (const std::optional<Attachment> a = store->attachmentById(id))
            attachments.append(*a);
    }

    QSet<QString> used;
    QList<BundledFile> files;
    for (const Attachment &a : std::as_const(attachments)) {
        const QString stored = AttachmentRepository::filePath(a.id);
        if (stored.isEmpty() || !QFile::exists(stored))
            continue;
        if (imagesOnly && !a.mimeType.startsWith(QLatin1String("image/")))
            continue;
        BundledFile file;
        file.attachment = a;
        file.name = bundleName(a.filename, &used);
        file.relative = QString::fromUtf8(QUrl::toPercentEncoding(folder)) + QLatin1Char('/')
            + QString::fromUtf8(QUrl::toPercentEncoding(file.name));
        files.append(file);
    }
    return files;
}

QHash<QString, BundledFile> byId(const QList<BundledFile> &files)
{
    QHash<QString, BundledFile> hash;
    for (const BundledFile &file : files)
        hash.insert(file.attachment.id, file);
    return hash;
}

ExportResult exportBundle(const Note &note, const QString &path, ExportFormat format, AttachmentRepository *store)
{
    const QFileInfo info(path);
    const QString zipPath = info.dir().filePath(info.completeBaseName() + QStringLiteral(".zip"));
    const QString innerName = info.fileName();

    // The note's own attachments, plus any the body shows that belong elsewhere.
    const QJsonDocument parsed = parseJsonText(note.body);
    const QJsonArray delta = parsed.array();
    const QList<BundledFile> ordered =
        filesOfNote(note, delta, store, QStringLiteral("attachments"), true, false);

    ZipWriter zip(zipPath);
    if (!zip.open())
        return failure(zip.errorString());
    if (format == ExportFormat::Pdf) {
        QTemporaryDir temp;
        if (!temp.isValid())
            return failure(temp.errorString());
        const QString pdfPath = temp.filePath(QStringLiteral("note.pdf"));
        const QString error = writePdf(printableDocument(note.body, store).get(), pdfPath);
        if (!error.isEmpty())
            return failure(error);
        if (!zip.addFileFromDisk(innerName, pdfPath))
            return failure(zip.errorString());
    } else {
        QString content;
        if (!note.body.isEmpty())
            content = parsed.isArray() ? bundleContent(delta, format, byId(ordered)) : note.body;
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

// An HTML page with its pictures in a folder beside it, named after the page
// ("Trip.html" and "Trip_files/"), as browsers save a page.
ExportResult exportHtmlPage(const Note &note, const QString &path, const AttachmentRepository *store)
{
    const QJsonDocument parsed = parseJsonText(note.body);
    if (note.body.isEmpty() || !parsed.isArray()) {
        const QString error = writeText(note.body, path);
        return error.isEmpty() ? success(path) : failure(error);
    }
    const QFileInfo info(path);
    const QString folder = info.completeBaseName() + QStringLiteral("_files");
    const QList<BundledFile> images = store ? filesOfNote(note, parsed.array(), store, folder, false, true)
                                            : QList<BundledFile>();
    if (!images.isEmpty()) {
        const QDir beside = info.dir();
        if (!beside.mkpath(folder))
            return failure(QCoreApplication::translate("Export", "cannot create the folder %1").arg(folder));
        for (const BundledFile &file : images) {
            const QString target = beside.filePath(folder + QLatin1Char('/') + file.name);
            QFile::remove(target);
            if (!QFile::copy(AttachmentRepository::filePath(file.attachment.id), target))
                return failure(QCoreApplication::translate("Export", "cannot copy %1").arg(file.name));
        }
    }
    const QString error = writeText(htmlPage(parsed.array(), byId(images)), path);
    return error.isEmpty() ? success(path) : failure(error);
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
    if (format == ExportFormat::Html)
        return exportHtmlPage(note, path, attachments);

    QString error;
    if (format == ExportFormat::Pdf)
        error = writePdf(printableDocument(note.body, attachments).get(), path);
    else
        error = writeText(convertBody(note.body, format), path);
    if (!error.isEmpty())
        return failure(error);
    return success(path);
}
