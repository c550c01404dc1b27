#include "eneximporter.h"

#include "attachment.h"
#include "writeplan.h"
#include "enexdatastream.h"
#include "database.h"
#include "delta.h"
#include "deltaimport.h"
#include "importmarkers.h"
#include "importsupport.h"
#include "iolog.h"
#include "note.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "safefilename.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <limits>
#include <memory>

using ImportSupport::PendingAttachment;

namespace {

struct EnexResource
{
    QString path; // decoded data in the temporary folder
    QString md5;
    QString mime;
    QString fileName;
    qint64 size = 0;
};

struct EnexNote
{
    QString title;
    QString content;
    QDateTime created;
    QDateTime updated;
    QStringList tags;
    QList<EnexResource> resources;
};

QDateTime enexTime(const QString &text)
{
    QDateTime time = QDateTime::fromString(text.trimmed(), QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    if (!time.isValid())
        return {};
    time.setTimeSpec(Qt::UTC);
    return time;
}

class EnexReader final
{
public:
    EnexReader(QIODevice *device, const QString &tempPath, ExtractionBudget *budget, ImportResult *result)
        : m_stream(device, tempPath, budget), m_xml(&m_stream), m_result(result)
    {
    }

    // The next <note>; false at the end or on an XML error.
    bool next(EnexNote *note)
    {
        while (!m_xml.atEnd()) {
            if (m_xml.readNext() == QXmlStreamReader::StartElement && m_xml.name() == QLatin1String("note")) {
                *note = EnexNote();
                readNote(note);
                return !m_xml.hasError();
            }
        }
        return false;
    }

    QXmlStreamReader &xml() { return m_xml; }

private:
    void readNote(EnexNote *note)
    {
        while (m_xml.readNextStartElement()) {
            const QStringView name = m_xml.name();
            if (name == QLatin1String("title"))
                note->title = m_xml.readElementText().trimmed();
            else if (name == QLatin1String("content"))
                note->content = m_xml.readElementText();
            else if (name == QLatin1String("created"))
                note->created = enexTime(m_xml.readElementText());
            else if (name == QLatin1String("updated"))
                note->updated = enexTime(m_xml.readElementText());
            else if (name == QLatin1String("tag"))
                note->tags.append(m_xml.readElementText().trimmed());
            else if (name == QLatin1String("resource"))
                readResource(note);
            else
                m_xml.skipCurrentElement();
        }
    }

    void readResource(EnexNote *note)
    {
        EnexResource resource;
        bool decoded = false;
        while (m_xml.readNextStartElement()) {
            const QStringView name = m_xml.name();
            if (name == QLatin1String("data"))
                decoded = readData(&resource, note->title);
            else if (name == QLatin1String("mime"))
                resource.mime = m_xml.readElementText().trimmed();
            else if (name == QLatin1String("resource-attributes"))
                readResourceAttributes(&resource);
            else
                m_xml.skipCurrentElement();
        }
        if (decoded)
            note->resources.append(resource);
        else if (!resource.path.isEmpty())
            QFile::remove(resource.path);
    }

    void readResourceAttributes(EnexResource *resource)
    {
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == QLatin1String("file-name"))
                resource->fileName = m_xml.readElementText().trimmed();
            else
                m_xml.skipCurrentElement();
        }
    }

    // The stream has decoded the text into a file on its way past: the reader sees its marker only.
    bool readData(EnexResource *resource, const QString &noteTitle)
    {
        const EnexDataStream::Data data = m_stream.take(m_xml.readElementText());
        if (m_xml.hasError()) {
            QFile::remove(data.path);
            return false;
        }
        if (data.path.isEmpty()) {
            m_result->addError(ImportText::tr("%1: an attachment cannot be read: %2")
                                   .arg(noteTitle, data.refusal.isEmpty() ? ImportText::tr("no data") : data.refusal));
            return false;
        }
        resource->path = data.path;
        resource->md5 = data.md5;
        resource->size = data.size;
        return true;
    }

    EnexDataStream m_stream;
    QXmlStreamReader m_xml;
    ImportResult *m_result;
};

QString attribute(const QString &attributes, const QString &name)
{
    const QRegularExpression pattern(QStringLiteral("\\b%1\\s*=\\s*(\"([^\"]*)\"|'([^']*)')").arg(name),
                                     QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(attributes);
    return m.hasMatch() ? m.captured(2) + m.captured(3) : QString();
}

// A <div> marked as a code block (its lines are <div>s inside it) becomes a <pre>.
QString codeBlocksToPre(const QString &enml)
{
    static const QRegularExpression start(QStringLiteral("<div\\b[^>]*-en-codeblock\\s*:\\s*true[^>]*>"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression divTag(QStringLiteral("<(/?)div\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype last = 0;
    QRegularExpressionMatch m = start.match(enml);
    while (m.hasMatch()) {
        out += QStringView(enml).mid(last, m.capturedStart() - last);
        out += QLatin1String("<pre>");
        int depth = 1;
        qsizetype end = enml.size();
        qsizetype endLength = 0;
        for (auto it = divTag.globalMatch(enml, m.capturedEnd()); it.hasNext() && depth > 0;) {
            const QRegularExpressionMatch tag = it.next();
            depth += tag.capturedLength(1) > 0 ? -1 : (tag.captured(0).endsWith(QLatin1String("/>")) ? 0 : 1);
            end = tag.capturedStart();
            endLength = tag.capturedLength();
        }
        if (depth > 0) { // never closed: the code block runs to the end
            end = enml.size();
            endLength = 0;
        }
        out += QStringView(enml).mid(m.capturedEnd(), end - m.capturedEnd());
        out += QLatin1String("</pre>");
        last = end + endLength;
        m = start.match(enml, last);
    }
    out += QStringView(enml).mid(last);
    return out;
}

// ENML is XHTML with a few elements of its own; those become HTML the
// converter reads, with marks for what it would drop.
QString enmlToHtml(QString enml, const std::function<QString(const QString &hash)> &mediaUrl, int *encrypted)
{
    static const QRegularExpression prolog(QStringLiteral("<\\?xml[^>]*\\?>|<!DOCTYPE[^>]*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression crypt(QStringLiteral("<en-crypt\\b[^>]*>.*?</en-crypt>"),
                                          QRegularExpression::CaseInsensitiveOption
                                              | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression todo(QStringLiteral("<en-todo\\b([^>]*?)/?>(\\s*</en-todo>)?"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression checkedItem(QStringLiteral("(<li\\b[^>]*--en-checked:\\s*(true|false)[^>]*>)"),
                                                QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression media(QStringLiteral("<en-media\\b([^>]*?)/?>(\\s*</en-media>)?"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression rule(QStringLiteral("<hr\\b[^>]*>(\\s*</hr>)?"),
                                         QRegularExpression::CaseInsensitiveOption);
    enml.remove(prolog);
    const QString placeholder = QStringLiteral("<p>%1</p>").arg(ImportText::tr("[Encrypted content]").toHtmlEscaped());
    *encrypted += int(enml.count(crypt));
    enml.replace(crypt, placeholder);
    QString out;
    qsizetype last = 0;
    for (auto it = todo.globalMatch(enml); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(enml).mid(last, m.capturedStart() - last);
        out += ImportMarkers::todo(attribute(m.captured(1), QStringLiteral("checked")) == QLatin1String("true"));
        last = m.capturedEnd();
    }
    enml = out + enml.mid(last);
    out.clear();
    last = 0;
    for (auto it = checkedItem.globalMatch(enml); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(enml).mid(last, m.capturedEnd() - last);
        out += ImportMarkers::todo(m.captured(2).compare(QLatin1String("true"), Qt::CaseInsensitive) == 0);
        last = m.capturedEnd();
    }
    enml = out + enml.mid(last);
    out.clear();
    last = 0;
    for (auto it = media.globalMatch(enml); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(enml).mid(last, m.capturedStart() - last);
        const QString url = mediaUrl(attribute(m.captured(1), QStringLiteral("hash")).toLower());
        out += url.isEmpty() ? QStringLiteral("[%1]").arg(ImportText::tr("missing attachment").toHtmlEscaped())
                             : QStringLiteral("<img src=\"%1\">").arg(url);
        last = m.capturedEnd();
    }
    enml = out + enml.mid(last);
    enml.replace(rule, QStringLiteral("<p>%1</p>").arg(ImportMarkers::divider()));
    enml = codeBlocksToPre(enml);
    enml.replace(QLatin1String("<en-note"), QLatin1String("<div"), Qt::CaseInsensitive);
    enml.replace(QLatin1String("</en-note>"), QLatin1String("</div>"), Qt::CaseInsensitive);
    return enml;
}

QString attachmentName(const EnexResource &resource, int index)
{
    if (!resource.fileName.isEmpty())
        return safeFileName(resource.fileName, QStringLiteral("attachment"));
    const QString suffix = QMimeDatabase().mimeTypeForName(resource.mime).preferredSuffix();
    return suffix.isEmpty() ? QStringLiteral("attachment-%1").arg(index)
                            : QStringLiteral("attachment-%1.%2").arg(index).arg(suffix);
}

} // namespace

ImportResult planEnexImport(const QString &path, WritePlan &plan, const ExtractionLimits &limits,
                            const QString &notebookName)
{
    ImportResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = ImportText::tr("Cannot open %1: %2").arg(QFileInfo(path).fileName(), file.errorString());
        return result;
    }
    QTemporaryDir temp;
    if (!temp.isValid()) {
        result.error = ImportText::tr("Failed to create temp directory");
        return result;
    }
    ExtractionBudget budget(limits, {temp.path(), Database::dataDirectory()}, path);
    EnexReader reader(&file, temp.path(), &budget, &result);
    const int totalKiB = int(qMin<qint64>(file.size() / 1024, std::numeric_limits<int>::max()));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    plan.report(0, totalKiB, ImportText::tr("Reading %1...").arg(QFileInfo(path).fileName()));

    QString notebookId;
    int encrypted = 0;
    EnexNote source;
    while (!plan.cancelled() && reader.next(&source)) {
        if (notebookId.isEmpty()) {
            Notebook notebook;
            notebook.id = ImportSupport::newId();
            notebook.name = notebookName.isEmpty() ? QFileInfo(path).completeBaseName() : notebookName;
            if (notebook.name.isEmpty())
                notebook.name = ImportText::tr("Imported Notebook");
            notebook.createdAt = now;
            notebook.updatedAt = now;
            plan.addNotebook(notebook);
            notebookId = notebook.id;
        }
        const QString title = source.title.isEmpty() ? ImportText::tr("(untitled)") : source.title;
        plan.report(int(file.pos() / 1024), totalKiB, ImportText::tr("Importing: %1").arg(title));

        Note note;
        note.id = ImportSupport::newId();
        note.notebookId = notebookId;
        QList<PendingAttachment> attachments;
        QHash<QString, QString> urlByHash;
        QStringList urls;
        for (const EnexResource &resource : std::as_const(source.resources)) {
            PendingAttachment attachment;
            attachment.record.id = ImportSupport::newId();
            attachment.record.noteId = note.id;
            attachment.record.filename = attachmentName(resource, int(attachments.size()) + 1);
            attachment.record.mimeType = resource.mime.isEmpty() ? QStringLiteral("application/octet-stream")
                                                                 : resource.mime;
            attachment.record.sizeBytes = resource.size;
            attachment.record.createdAt = source.created.isValid() ? source.created : now;
            attachment.sourcePath = resource.path;
            const QString url = attachmentUrl(attachment.record.id);
            if (!urlByHash.contains(resource.md5))
                urlByHash.insert(resource.md5, url);
            urls.append(url);
            attachments.append(attachment);
        }
        int missing = 0;
        const int encryptedBefore = encrypted;
        QString html = enmlToHtml(source.content, [&](const QString &hash) {
            const QString url = urlByHash.value(hash);
            missing += url.isEmpty() ? 1 : 0;
            return url;
        }, &encrypted);
        if (!source.title.isEmpty())
            html = QStringLiteral("<h1>%1</h1>\n%2").arg(source.title.toHtmlEscaped(), html);
        source.tags.removeAll(QString());
        if (!source.tags.isEmpty())
            html += QStringLiteral("<p>%1</p>").arg(ImportText::tr("Tags: %1").arg(source.tags.join(QStringLiteral(", "))).toHtmlEscaped());
        const QJsonArray delta = ImportMarkers::appendUnshownAttachments(ImportMarkers::applyLineMarkers(htmlToDelta(html)), urls);
        if (missing > 0)
            result.addWarning(ImportText::tr("%1: %2 attachments are missing from the file").arg(title).arg(missing));
        if (encrypted > encryptedBefore)
            result.addWarning(ImportText::tr("%1: %2 encrypted sections kept as placeholders").arg(title).arg(encrypted - encryptedBefore));
        note.body = deltaToJson(delta);
        note.createdAt = source.created.isValid() ? source.created : now;
        note.updatedAt = source.updated.isValid() ? source.updated : note.createdAt;
        note.modifiedAt = note.updatedAt;
        ImportSupport::planNote(plan, note, attachments, &result);
        // Copied into the store: the temporary copy would only add up over a large file.
        for (const EnexResource &resource : std::as_const(source.resources))
            QFile::remove(resource.path);
    }
    if (reader.xml().hasError()) {
        result.addError(ImportText::tr("%1 is damaged at line %2: %3")
                            .arg(QFileInfo(path).fileName())
                            .arg(reader.xml().lineNumber())
                            .arg(reader.xml().errorString()));
    }
    if (notebookId.isEmpty() && result.error.isEmpty())
        result.error = ImportText::tr("No notes found in %1").arg(QFileInfo(path).fileName());
    return result;
}

ImportResult importEnex(const QString &path, const IoRepositories &repositories, const ProgressCallback &progress,
                        const ExtractionLimits &limits, const QString &notebookName)
{
    return ImportSupport::runHere(repositories, [&](WritePlan &plan) {
        return planEnexImport(path, plan, limits, notebookName);
    }, progress);
}
