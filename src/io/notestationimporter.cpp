#include "notestationimporter.h"

#include "archivereader.h"
#include "bulkwritescope.h"
#include "delta.h"
#include "importsupport.h"
#include "iolog.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "deltaimport.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

using ImportSupport::PendingAttachment;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ImportDialog", text);
}

// Object files are named by ids taken from config.json: only plain names are opened.
std::optional<QJsonObject> readObject(const QDir &root, const QString &name, ImportResult *result)
{
    if (!ArchiveReader::isSafeFileName(name)) {
        ++result->errors;
        return std::nullopt;
    }
    QFile file(root.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

QDateTime secondsOr(const QJsonValue &value, const QDateTime &fallback)
{
    const qint64 seconds = qint64(value.toDouble());
    return seconds >= 1 ? QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC) : fallback;
}

bool isHex(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]+$"));
    return hex.match(text).hasMatch();
}

// Points the image that carries ref="<ref>" at the attachment. Its own src
// (a placeholder picture in NoteStation exports) is dropped so only ours remains.
QString pointRefAt(const QString &html, const QString &ref, const QString &url)
{
    const QRegularExpression tag(QStringLiteral("<[^<>]*\\sref=\"%1\"[^<>]*>").arg(QRegularExpression::escape(ref)));
    static const QRegularExpression oldSrc(QStringLiteral("\\s\\bsrc\\s*=\\s*(\"[^\"]*\"|'[^']*'|[^\\s>]+)"));
    const QRegularExpression refAttribute(QStringLiteral("(?<=\\s)ref=\"%1\"").arg(QRegularExpression::escape(ref)));
    QString out;
    qsizetype last = 0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString element = m.captured(0);
        element.remove(oldSrc);
        element.replace(refAttribute, QStringLiteral("src=\"%1\"").arg(url));
        out += html.mid(last, m.capturedStart() - last) + element;
        last = m.capturedEnd();
    }
    return out + html.mid(last);
}

} // namespace

ImportResult importNoteStation(const QString &archivePath, const IoRepositories &repositories,
                               const ProgressCallback &progress)
{
    ImportResult result;
    if (progress)
        progress(0, 0, tr("Extracting archive..."));
    if (!repositories.notes || !repositories.notebooks) {
        result.error = tr("Failed to extract archive: %1").arg(QStringLiteral("no database"));
        return result;
    }
    QTemporaryDir temp;
    if (!temp.isValid()) {
        result.error = tr("Failed to create temp directory");
        return result;
    }
    ArchiveReader reader(archivePath, ArchiveReader::Format::Zip);
    const int extracted = reader.open() ? reader.extractTo(temp.path(), [&progress](int current, int total, const QString &) {
        if (progress)
            progress(current, total, tr("Extracting archive..."));
    })
                                        : -1;
    if (extracted < 0) {
        result.error = tr("Failed to extract archive: %1").arg(reader.errorString());
        return result;
    }
    result.errors += reader.rejectedEntries();

    const QDir root(temp.path());
    QFile configFile(root.filePath(QStringLiteral("config.json")));
    if (!configFile.open(QIODevice::ReadOnly)) {
        result.error = tr("No config.json found in archive");
        return result;
    }
    const QJsonObject config = QJsonDocument::fromJson(configFile.readAll()).object();
    const QJsonArray notebookIds = config.value(QStringLiteral("notebook")).toArray();
    const QJsonArray noteIds = config.value(QStringLiteral("note")).toArray();

    const QDateTime now = QDateTime::currentDateTimeUtc();
    BulkWriteScope bulk(repositories, progress);
    QHash<QString, QString> notebookMap; // archive id -> new notebook id

    for (const QJsonValue &value : notebookIds) {
        const QString id = value.toString();
        if (id.isEmpty()) {
            ++result.errors;
            continue;
        }
        const std::optional<QJsonObject> object = readObject(root, id, &result);
        if (!object)
            continue;
        Notebook notebook;
        notebook.id = ImportSupport::newId();
        notebook.name = object->value(QStringLiteral("title")).toString();
        if (notebook.name.isEmpty())
            notebook.name = tr("Imported Notebook");
        notebook.createdAt = secondsOr(object->value(QStringLiteral("ctime")), now);
        notebook.updatedAt = secondsOr(object->value(QStringLiteral("mtime")), notebook.createdAt);
        if (repositories.notebooks->insert(notebook)) {
            notebookMap.insert(id, notebook.id);
            bulk.notebooksChanged();
        } else {
            ++result.errors;
        }
    }

    const int noteCount = int(noteIds.size());
    bulk.report(0, noteCount, tr("Importing %1 notes...").arg(noteCount));
    int current = 0;
    for (const QJsonValue &value : noteIds) {
        ++current;
        const QString id = value.toString();
        if (id.isEmpty()) {
            ++result.errors;
            continue;
        }
        const std::optional<QJsonObject> object = readObject(root, id, &result);
        if (!object)
            continue;
        const QString title = object->value(QStringLiteral("title")).toString();
        bulk.report(current, noteCount, tr("Importing: %1").arg(title.isEmpty() ? tr("(untitled)") : title));

        Note note;
        note.id = ImportSupport::newId();
        note.notebookId = notebookMap.value(object->value(QStringLiteral("parent_id")).toString());
        QString content = object->value(QStringLiteral("content")).toString();

        QList<PendingAttachment> attachments;
        const QJsonObject attachmentObjects = object->value(QStringLiteral("attachment")).toObject();
        for (auto it = attachmentObjects.constBegin(); it != attachmentObjects.constEnd(); ++it) {
            const QJsonObject a = it.value().toObject();
            const QString md5 = a.value(QStringLiteral("md5")).toString();
            const QString name = a.value(QStringLiteral("name")).toString();
            const QString ext = a.value(QStringLiteral("ext")).toString();
            const QString type = a.value(QStringLiteral("type")).toString();
            const QString ref = a.value(QStringLiteral("ref")).toString();
            // The md5 names a file: anything but hexadecimal could point elsewhere.
            if (!isHex(md5)) {
                ++result.errors;
                continue;
            }
            QFile dataFile(root.filePath(QStringLiteral("file_%1").arg(md5)));
            if (!dataFile.open(QIODevice::ReadOnly))
                continue;
            PendingAttachment attachment;
            attachment.data = dataFile.readAll();
            attachment.record.id = ImportSupport::newId();
            attachment.record.noteId = note.id;
            attachment.record.mimeType = type == QLatin1String("image")
                ? QStringLiteral("image/%1").arg(ext.isEmpty() ? QStringLiteral("png") : ext)
                : QStringLiteral("application/octet-stream");
            attachment.record.filename = name.isEmpty() ? QStringLiteral("attachment.%1").arg(ext) : name;
            attachment.record.sizeBytes = attachment.data.size();
            attachment.record.createdAt = now;
            if (!ref.isEmpty())
                content = pointRefAt(content, ref, attachmentUrl(attachment.record.id));
            attachments.append(attachment);
        }

        const QString html = title.isEmpty() ? content : QStringLiteral("<h1>%1</h1>\n%2").arg(title.toHtmlEscaped(), content);
        note.body = deltaToJson(htmlToDelta(html));
        note.createdAt = secondsOr(object->value(QStringLiteral("ctime")), now);
        note.updatedAt = secondsOr(object->value(QStringLiteral("mtime")), note.createdAt);
        note.modifiedAt = note.updatedAt;
        ImportSupport::storeNote(repositories, note, attachments, bulk, &result);
    }

    qCInfo(lcIo) << "NoteStation import:" << result.imported << "notes," << result.attachments << "attachments,"
                 << result.errors << "errors";
    return result;
}
