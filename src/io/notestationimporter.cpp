#include "notestationimporter.h"

#include "safefilename.h"
#include "archivereader.h"
#include "writeplan.h"
#include "database.h"
#include "delta.h"
#include "importsupport.h"
#include "iolog.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "deltaimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

using ImportSupport::PendingAttachment;

namespace {

// Object files are named by ids taken from config.json: only plain names are opened.
// Text that is not UTF-8 (older exports) is read as Windows-1252 and warned about.
std::optional<QJsonObject> readObject(const QDir &root, const QString &name, qint64 maxBytes, ImportResult *result)
{
    if (!isSafeFileName(name)) {
        result->addError(ImportText::tr("%1: unsafe name").arg(name));
        return std::nullopt;
    }
    QString problem;
    bool redecoded = false;
    std::optional<QJsonObject> object = readJsonObjectFile(root.filePath(name), maxBytes, &problem, &redecoded);
    if (!object)
        result->addError(ImportText::tr("%1: %2").arg(name, problem));
    else if (redecoded)
        result->addWarning(ImportText::tr("%1: not UTF-8, read as Windows-1252").arg(name));
    return object;
}

// The part of an object id after its type prefix ("1026_ABC" -> "ABC"): links
// written by the server name a note by an id whose prefix need not be the archive's.
QString idKey(const QString &id)
{
    return id.section(QLatin1Char('_'), -1).toUpper();
}

// The folder holding config.json: the archive's root or its one top-level folder.
QDir archiveRoot(const QString &path)
{
    const QDir top(path);
    if (top.exists(QStringLiteral("config.json")))
        return top;
    const QStringList folders = top.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const QStringList files = top.entryList(QDir::Files);
    return folders.size() == 1 && files.isEmpty() ? QDir(top.filePath(folders.first())) : top;
}

// NoteStation files its recycle bin as a notebook with this reserved id.
bool inRecycleBin(const QString &parentId)
{
    return parentId.endsWith(QLatin1String("#00000000"));
}

QDateTime secondsOr(const QJsonValue &value, const QDateTime &fallback)
{
    // Checked before the conversion, which is undefined out of range; past
    // the year 9999 is no time an export could mean.
    const double seconds = value.toDouble();
    constexpr double latest = 253402300799.0;
    return seconds >= 1 && seconds <= latest ? QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC) : fallback;
}

bool isHex(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]+$"));
    return hex.match(text).hasMatch();
}

// Each element that carries ref="<ref>" replaced by with.
QString replaceRef(const QString &html, const QString &ref, const QString &with)
{
    const QRegularExpression tag(QStringLiteral("<[^<>]*\\sref=\"%1\"[^<>]*>").arg(QRegularExpression::escape(ref)));
    QString out;
    qsizetype last = 0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(html).mid(last, m.capturedStart() - last);
        out += with;
        last = m.capturedEnd();
    }
    out += QStringView(html).mid(last);
    return out;
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

NoteStationArchive readNoteStationArchive(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits)
{
    NoteStationArchive archive;
    ImportResult &result = archive.result;
    plan.report(0, 0, ImportText::tr("Extracting archive..."));
    archive.temp = std::make_unique<QTemporaryDir>();
    if (!archive.temp->isValid()) {
        result.error = ImportText::tr("Failed to create temp directory");
        return archive;
    }
    archive.budget = std::make_unique<ExtractionBudget>(
        limits, QStringList{archive.temp->path(), Database::dataDirectory()}, archivePath);
    ArchiveReader reader(archivePath, ArchiveReader::Format::Zip);
    reader.setBudget(archive.budget.get());
    const int extracted = reader.open() ? reader.extractTo(archive.temp->path(), [&plan](int current, int total, const QString &) {
        plan.report(current, total, ImportText::tr("Extracting archive..."));
    })
                                        : -1;
    if (extracted < 0) {
        result.error = ImportText::tr("Failed to extract archive: %1").arg(reader.errorString());
        ++result.errors;
        return archive;
    }
    result.errors += reader.rejectedEntries();
    result.problems += reader.problems();

    archive.root = archiveRoot(archive.temp->path());
    QString problem;
    const std::optional<QJsonObject> config = readJsonObjectFile(archive.root.filePath(QStringLiteral("config.json")),
                                                                 limits.maxJsonBytes, &problem);
    if (!config) {
        result.error = archive.root.exists(QStringLiteral("config.json"))
            ? ImportText::tr("config.json: %1").arg(problem)
            : ImportText::tr("No config.json found in archive");
        ++result.errors;
        return archive;
    }
    archive.notebookIds = config->value(QStringLiteral("notebook")).toArray();
    archive.noteIds = config->value(QStringLiteral("note")).toArray();
    archive.maxJsonBytes = limits.maxJsonBytes;
    return archive;
}

ImportResult planNoteStation(const NoteStationArchive &archive, WritePlan &plan)
{
    ImportResult result = archive.result;
    const QDir &root = archive.root;
    const QJsonArray &notebookIds = archive.notebookIds;
    const QJsonArray &noteIds = archive.noteIds;
    const qint64 maxJsonBytes = archive.maxJsonBytes;
    QHash<QString, QString> noteMap; // archive id -> new note id
    QHash<QString, QString> byKey;   // idKey of an archive id -> new note id, when no other id shares it
    for (const QJsonValue &value : noteIds) {
        if (value.toString().isEmpty())
            continue;
        const QString id = ImportSupport::newId();
        noteMap.insert(value.toString(), id);
        const QString key = idKey(value.toString());
        byKey.insert(key, byKey.contains(key) ? QString() : id);
    }
    QSet<QString> unresolved; // of the note being imported
    const auto target = [&](const QString &href) {
        if (!href.startsWith(QLatin1String("notestation:"), Qt::CaseInsensitive))
            return href;
        const QString linked = QUrl::fromPercentEncoding(href.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty).toUtf8());
        QString id = noteMap.value(linked);
        if (id.isEmpty())
            id = byKey.value(idKey(linked));
        if (id.isEmpty())
            unresolved.insert(href);
        return id.isEmpty() ? QString() : ImportSupport::noteLinkUrl(id);
    };

    const QDateTime now = QDateTime::currentDateTimeUtc();
    ImportSupport::AttachmentSink sink{archive.budget.get(), {}};
    QHash<QString, QString> notebookMap; // archive id -> new notebook id

    for (const QJsonValue &value : notebookIds) {
        const QString id = value.toString();
        if (id.isEmpty()) {
            result.addError(ImportText::tr("config.json: a notebook without id"));
            continue;
        }
        const std::optional<QJsonObject> object = readObject(root, id, maxJsonBytes, &result);
        if (!object)
            continue;
        Notebook notebook;
        notebook.id = ImportSupport::newId();
        notebook.name = object->value(QStringLiteral("title")).toString();
        if (notebook.name.isEmpty())
            notebook.name = ImportText::tr("Imported Notebook");
        notebook.createdAt = secondsOr(object->value(QStringLiteral("ctime")), now);
        notebook.updatedAt = secondsOr(object->value(QStringLiteral("mtime")), notebook.createdAt);
        plan.addNotebook(notebook);
        notebookMap.insert(id, notebook.id);
    }

    const int noteCount = int(noteIds.size());
    plan.report(0, noteCount, ImportText::tr("Importing %1 notes...").arg(noteCount));
    int current = 0;
    for (const QJsonValue &value : noteIds) {
        if (plan.cancelled())
            break;
        ++current;
        const QString id = value.toString();
        if (id.isEmpty()) {
            result.addError(ImportText::tr("config.json: a note without id"));
            continue;
        }
        const std::optional<QJsonObject> object = readObject(root, id, maxJsonBytes, &result);
        if (!object)
            continue;
        const QString title = object->value(QStringLiteral("title")).toString();
        plan.report(current, noteCount, ImportText::tr("Importing: %1").arg(title.isEmpty() ? ImportText::tr("(untitled)") : title));
        // The content of an encrypted note is ciphertext.
        if (object->value(QStringLiteral("encrypt")).toBool()) {
            result.addError(ImportText::tr("%1: encrypted notes cannot be imported").arg(title.isEmpty() ? id : title));
            continue;
        }

        Note note;
        note.id = noteMap.value(id);
        const QString parentId = object->value(QStringLiteral("parent_id")).toString();
        note.notebookId = notebookMap.value(parentId);
        QString content = object->value(QStringLiteral("content")).toString();

        QList<PendingAttachment> attachments;
        QStringList unshown; // attachment URLs no text refers to
        const QJsonObject attachmentObjects = object->value(QStringLiteral("attachment")).toObject();
        for (auto it = attachmentObjects.constBegin(); it != attachmentObjects.constEnd(); ++it) {
            const QJsonObject a = it.value().toObject();
            const QString md5 = a.value(QStringLiteral("md5")).toString();
            const QString name = a.value(QStringLiteral("name")).toString();
            const QString ext = a.value(QStringLiteral("ext")).toString();
            const QString type = a.value(QStringLiteral("type")).toString();
            const QString ref = a.value(QStringLiteral("ref")).toString();
            const QString shownName = name.isEmpty() ? QStringLiteral("attachment.%1").arg(ext) : name;
            // The md5 names a file: anything but hexadecimal could point elsewhere.
            if (!isHex(md5)) {
                result.addError(ImportText::tr("%1: attachment %2 has no valid md5").arg(title, shownName));
                continue;
            }
            const QString source = root.filePath(QStringLiteral("file_%1").arg(md5));
            if (!QFileInfo(source).isFile()) {
                result.addError(ImportText::tr("%1: attachment %2 is missing from the archive").arg(title, shownName));
                // Its picture in the text would show NoteStation's placeholder: it names the file instead.
                if (!ref.isEmpty())
                    content = replaceRef(content, ref, ImportText::tr("[missing attachment: %1]").arg(shownName).toHtmlEscaped());
                continue;
            }
            PendingAttachment attachment;
            attachment.sourcePath = source;
            attachment.record.id = ImportSupport::newId();
            attachment.record.noteId = note.id;
            // Older exports give the MIME type itself ("image/png") instead of "image".
            if (type == QLatin1String("image"))
                attachment.record.mimeType = QStringLiteral("image/%1").arg(ext.isEmpty() ? QStringLiteral("png") : ext);
            else if (type.startsWith(QLatin1String("image/")))
                attachment.record.mimeType = type;
            else
                attachment.record.mimeType = QStringLiteral("application/octet-stream");
            attachment.record.filename = shownName;
            attachment.record.sizeBytes = QFileInfo(source).size();
            attachment.record.createdAt = now;
            const QString url = attachmentUrl(attachment.record.id);
            if (!ref.isEmpty())
                content = pointRefAt(content, ref, url);
            if (ref.isEmpty() || !content.contains(url))
                unshown.append(url);
            attachments.append(attachment);
        }

        const QString html = title.isEmpty() ? content : QStringLiteral("<h1>%1</h1>\n%2").arg(title.toHtmlEscaped(), content);
        unresolved.clear();
        QJsonArray delta = ImportSupport::retargetLinks(htmlToDelta(html), target);
        if (!unresolved.isEmpty())
            result.addWarning(ImportText::tr("%1: %n link(s) to notes not in the archive kept as text", nullptr,
                                             int(unresolved.size()))
                                  .arg(title.isEmpty() ? id : title));
        // Listed at the end as NoteStation itself shows a note's attachment list.
        for (const QString &url : std::as_const(unshown)) {
            delta.append(QJsonObject{{QStringLiteral("insert"), QJsonObject{{QLatin1String(kAttachmentEmbedKind), url}}}});
            delta.append(QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}});
        }
        note.body = deltaToJson(delta);
        note.createdAt = secondsOr(object->value(QStringLiteral("ctime")), now);
        note.updatedAt = secondsOr(object->value(QStringLiteral("mtime")), note.createdAt);
        note.modifiedAt = note.updatedAt;
        if (inRecycleBin(parentId))
            note.deletedAt = note.updatedAt;
        ImportSupport::planNote(plan, note, attachments, &result, &sink);
    }
    return result;
}

ImportResult planNoteStationImport(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits)
{
    const NoteStationArchive archive = readNoteStationArchive(archivePath, plan, limits);
    if (!archive.result.error.isEmpty())
        return archive.result;
    return planNoteStation(archive, plan);
}

ImportResult importNoteStation(const QString &archivePath, const IoRepositories &repositories,
                               const ProgressCallback &progress, const ExtractionLimits &limits)
{
    return ImportSupport::runHere(repositories, [&](WritePlan &plan) {
        return planNoteStationImport(archivePath, plan, limits);
    }, progress);
}
