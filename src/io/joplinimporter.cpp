#include "joplinimporter.h"

#include "safefilename.h"
#include "archivereader.h"
#include "writeplan.h"
#include "database.h"
#include "delta.h"
#include "importmarkers.h"
#include "importsupport.h"
#include "iolog.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "deltaimport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>

using ImportSupport::PendingAttachment;

namespace {

QDateTime joplinTime(const QString &value)
{
    if (value.isEmpty())
        return {};
    QDateTime time = QDateTime::fromString(value, Qt::ISODateWithMs);
    if (!time.isValid())
        time = QDateTime::fromString(value, Qt::ISODate);
    if (!time.isValid()) {
        bool ok = false;
        const qint64 ms = value.toLongLong(&ok);
        if (ok && ms >= 1)
            time = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    }
    return time.isValid() ? time.toUTC() : QDateTime();
}

QString firstLine(const QString &text)
{
    return text.section(QLatin1Char('\n'), 0, 0);
}

QString withoutFirstLine(const QString &text)
{
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? QString() : text.mid(newline + 1);
}

// The title is added back as a heading on import; drop the copies the text already holds.
QString withoutRepeatedTitle(const QString &text, const QString &title)
{
    if (title.isEmpty() || firstLine(text).trimmed() != title)
        return text;
    QString rest = withoutFirstLine(text);
    // Joplin separates the title line from the body with an empty line.
    const QString trimmedRest = rest.trimmed();
    const QString line = firstLine(trimmedRest).trimmed();
    if (line.startsWith(QLatin1String("# "))) {
        const QString heading = line.mid(2).trimmed();
        if (heading == title || heading.startsWith(title + QLatin1Char(' '))
            || heading.startsWith(title + QStringLiteral(" \u2013")) || heading.startsWith(title + QLatin1String(" -")))
            rest = withoutFirstLine(trimmedRest);
    }
    return rest.trimmed();
}

// The id of "resources/<id>[.<ext>]" at any depth, or empty.
QString resourceIdOf(const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'));
    if (parts.size() < 2 || parts.at(parts.size() - 2) != QLatin1String("resources"))
        return {};
    return parts.last().section(QLatin1Char('.'), 0, 0);
}

// A tar archive ends with two zero blocks (and zero padding); one cut short does not.
bool endsWithEndBlocks(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 1024 || !file.seek(file.size() - 1024))
        return false;
    const QByteArray tail = file.read(1024);
    return tail.size() == 1024 && tail.count('\0') == 1024;
}

bool isValid(const QDateTime &time)
{
    return time.isValid();
}

} // namespace

JoplinItem parseJoplinItem(const QString &content)
{
    QString text = content;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));

    QString body;
    QString metadata;
    const qsizetype block = text.lastIndexOf(QLatin1String("\n\nid: "));
    if (block >= 0) {
        body = text.left(block).trimmed();
        metadata = text.mid(block).trimmed();
    } else if (text.startsWith(QLatin1String("id: "))) {
        metadata = text.trimmed();
    } else {
        body = text.trimmed();
    }

    // Only blanks may separate key and value: "\s" would let an empty value
    // swallow the next line ("parent_id: \ntype_: 2" must keep type_).
    static const QRegularExpression line(QStringLiteral("^(\\w+):[ \\t]*(.*)$"),
                                         QRegularExpression::MultilineOption);
    QHash<QString, QString> values;
    for (auto it = line.globalMatch(metadata); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        values.insert(m.captured(1), m.captured(2).trimmed());
    }

    JoplinItem item;
    item.id = values.value(QStringLiteral("id"));
    item.parentId = values.value(QStringLiteral("parent_id"));
    item.type = values.value(QStringLiteral("type_")).toInt();
    item.markupLanguage = values.value(QStringLiteral("markup_language")).toInt();
    item.createdTime = joplinTime(values.value(QStringLiteral("created_time")));
    item.updatedTime = joplinTime(values.value(QStringLiteral("updated_time")));
    item.isTodo = values.value(QStringLiteral("is_todo")) == QLatin1String("1");
    item.todoCompleted = values.value(QStringLiteral("todo_completed")).toInt();
    item.mime = values.value(QStringLiteral("mime"));
    item.fileExtension = values.value(QStringLiteral("file_extension"));
    item.title = values.value(QStringLiteral("title"));
    if (item.title.isEmpty()) {
        const QStringList lines = body.split(QLatin1Char('\n'));
        for (const QString &l : lines) {
            if (!l.trimmed().isEmpty()) {
                item.title = l.trimmed();
                break;
            }
        }
    }
    item.text = withoutRepeatedTitle(body, item.title);
    return item;
}

namespace {

bool spill(const QString &path, const QString &text)
{
    QFile file(path);
    const QByteArray bytes = text.toUtf8();
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QString unspill(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

JoplinArchive readJoplinArchive(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits)
{
    JoplinArchive archive;
    ImportResult &result = archive.result;
    plan.report(0, 0, ImportText::tr("Reading archive..."));

    // Resource data waits on disk: an export can hold far more than fits in memory.
    archive.temp = std::make_unique<QTemporaryDir>();
    if (!archive.temp->isValid()) {
        result.error = ImportText::tr("Failed to create temp directory");
        return archive;
    }
    QTemporaryDir &temp = *archive.temp;
    archive.budget = std::make_unique<ExtractionBudget>(limits, QStringList{temp.path(), Database::dataDirectory()},
                                                        archivePath);
    QList<JoplinArchive::Item> &items = archive.items;
    QHash<QString, QString> &resourceFiles = archive.resourceFiles;
    ArchiveReader reader(archivePath, ArchiveReader::Format::Tar);
    reader.setBudget(archive.budget.get());
    int entries = 0;
    if (reader.open()) {
        ArchiveEntry entry;
        while (!plan.cancelled() && reader.next(&entry)) {
            ++entries;
            // Resource files keep their own extension, which may well be ".md".
            const QString resourceId = resourceIdOf(entry.path);
            if (resourceId.isEmpty() && entry.path.endsWith(QLatin1String(".md"))) {
                const std::optional<QByteArray> data = reader.readData(limits.maxJsonBytes);
                if (reader.hasError())
                    break;
                if (!data) {
                    result.addError(ImportText::tr("%1: %2").arg(entry.path, reader.refusal()));
                    continue;
                }
                bool fellBack = false;
                JoplinArchive::Item item{parseJoplinItem(ImportSupport::decodeText(*data, &fellBack)), {}};
                if (item.type == JoplinItem::Note) {
                    item.textFile = temp.filePath(QStringLiteral("item-%1.txt").arg(items.size()));
                    if (!spill(item.textFile, item.text)) {
                        result.addError(ImportText::tr("%1: cannot be stored").arg(entry.path));
                        continue;
                    }
                }
                item.text.clear();
                items.append(item);
                if (fellBack)
                    result.addWarning(ImportText::tr("%1: not UTF-8, read as Windows-1252").arg(entry.path));
            } else if (!resourceId.isEmpty() && isSafeFileName(resourceId)) {
                const QString target = temp.filePath(resourceId);
                QFile out(target);
                const bool copied = out.open(QIODevice::WriteOnly) && reader.copyData(&out);
                out.close();
                if (reader.hasError())
                    break;
                if (!copied || out.error() != QFileDevice::NoError) {
                    out.remove();
                    result.addError(ImportText::tr("%1: %2").arg(entry.path, reader.refusal().isEmpty() ? out.errorString()
                                                                                           : reader.refusal()));
                    continue;
                }
                resourceFiles.insert(resourceId, target);
            }
            plan.report(0, 0, ImportText::tr("Reading archive..."));
        }
    }
    if (entries == 0) {
        result.error = ImportText::tr("Failed to read archive or archive is empty");
        result.errors = reader.rejectedEntries();
        return archive;
    }
    // What was read whole is imported; the rest is named as lost.
    if (reader.hasError())
        result.addError(ImportText::tr("The archive is damaged or cut short: %1").arg(reader.errorString()));
    else if (!endsWithEndBlocks(archivePath))
        result.addError(ImportText::tr("The archive is cut short: it ends without its end-of-archive blocks"));
    result.errors += reader.rejectedEntries();
    result.problems += reader.problems();
    return archive;
}

ImportResult planJoplin(JoplinArchive &archive, WritePlan &plan)
{
    ImportResult result = archive.result;
    QList<JoplinArchive::Item> &items = archive.items;
    const QHash<QString, QString> &resourceFiles = archive.resourceFiles;
    const auto order = [](int type) { return type == JoplinItem::Folder ? 0 : type == JoplinItem::Note ? 1 : 2; };
    std::stable_sort(items.begin(), items.end(), [&order](const JoplinArchive::Item &a, const JoplinArchive::Item &b) {
        if (order(a.type) != order(b.type))
            return order(a.type) < order(b.type);
        return a.id < b.id;
    });

    QHash<QString, JoplinItem> resources;
    QHash<QString, QString> noteIds; // note id in the archive -> new note id
    int noteCount = 0;
    for (const JoplinItem &item : std::as_const(items)) {
        if (item.type == JoplinItem::Resource && !item.id.isEmpty())
            resources.insert(item.id, item);
        else if (item.type == JoplinItem::Note)
            ++noteCount;
        if (item.type == JoplinItem::Note && !item.id.isEmpty())
            noteIds.insert(item.id, ImportSupport::newId());
    }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    ImportSupport::AttachmentSink sink{archive.budget.get(), {}};
    QHash<QString, QString> notebookIds; // folder id -> new notebook id

    for (const JoplinItem &item : std::as_const(items)) {
        if (item.type != JoplinItem::Folder)
            continue;
        if (item.id.isEmpty()) {
            result.addError(ImportText::tr("Folder %1: no id").arg(item.title));
            continue;
        }
        Notebook notebook;
        notebook.id = ImportSupport::newId();
        notebook.name = item.title.isEmpty() ? ImportText::tr("Imported Folder") : item.title;
        notebook.createdAt = isValid(item.createdTime) ? item.createdTime : now;
        notebook.updatedAt = isValid(item.updatedTime) ? item.updatedTime : notebook.createdAt;
        plan.addNotebook(notebook);
        notebookIds.insert(item.id, notebook.id);
    }

    plan.report(0, noteCount, ImportText::tr("Importing %1 notes...").arg(noteCount));
    static const QRegularExpression resourceLink(QStringLiteral(":/([a-f0-9]{32})"));
    static const QRegularExpression internalLink(QStringLiteral("^:/([a-f0-9]{32})"));
    const auto target = [&noteIds, &resources](const QString &href) {
        const QRegularExpressionMatch m = internalLink.match(href);
        // A resource whose data is missing keeps its link as it was.
        if (!m.hasMatch() || resources.contains(m.captured(1)))
            return href;
        // Another note of the archive, or a target that was not imported.
        const QString id = noteIds.value(m.captured(1));
        return id.isEmpty() ? QString() : ImportSupport::noteLinkUrl(id);
    };
    int current = 0;
    for (const JoplinArchive::Item &item : std::as_const(items)) {
        if (plan.cancelled())
            break;
        if (item.type != JoplinItem::Note)
            continue;
        ++current;
        plan.report(current, noteCount, ImportText::tr("Importing: %1").arg(item.title.isEmpty() ? ImportText::tr("(untitled)") : item.title));
        if (item.id.isEmpty()) {
            result.addError(ImportText::tr("Note %1: no id").arg(item.title));
            continue;
        }

        Note note;
        note.id = noteIds.value(item.id);
        const QString itemText = unspill(item.textFile);
        QFile::remove(item.textFile);
        QString text = itemText;
        QList<PendingAttachment> attachments;
        QSet<QString> seen;
        for (auto it = resourceLink.globalMatch(itemText); it.hasNext();) {
            const QString resourceId = it.next().captured(1);
            if (seen.contains(resourceId))
                continue;
            seen.insert(resourceId);
            const auto resource = resources.constFind(resourceId);
            if (resource == resources.constEnd())
                continue;
            const QString source = resourceFiles.value(resourceId);
            // A link whose data is missing stays as it was.
            if (source.isEmpty() || QFileInfo(source).size() == 0) {
                result.addError(ImportText::tr("%1: attachment %2 is missing from the archive")
                                    .arg(item.title, resource->title.isEmpty() ? resourceId : resource->title));
                continue;
            }
            PendingAttachment attachment;
            attachment.record.id = ImportSupport::newId();
            attachment.record.noteId = note.id;
            attachment.record.filename = !resource->title.isEmpty() ? resource->title
                : resource->fileExtension.isEmpty()            ? resourceId
                                                               : QStringLiteral("%1.%2").arg(resourceId, resource->fileExtension);
            attachment.record.mimeType = resource->mime.isEmpty() ? QStringLiteral("application/octet-stream")
                                                                  : resource->mime;
            attachment.record.sizeBytes = QFileInfo(source).size();
            attachment.record.createdAt = isValid(resource->createdTime) ? resource->createdTime : now;
            attachment.sourcePath = source;
            text.replace(QStringLiteral(":/") + resourceId, attachmentUrl(attachment.record.id));
            attachments.append(attachment);
        }

        // The title heading has to be written in the note's own markup: a
        // Markdown "# " in front of HTML would arrive as literal text.
        const bool html = item.markupLanguage == 2;
        QString source = text;
        if (!item.title.isEmpty()) {
            source = html ? QStringLiteral("<h1>%1</h1>\n%2").arg(item.title.toHtmlEscaped(), text)
                          : QStringLiteral("# %1\n\n%2").arg(item.title, text);
        }
        const QJsonArray delta = html ? htmlToDelta(source) : markdownToDelta(source);
        // Table cells hold text only: their images follow the table as attachments.
        QStringList urls;
        for (const PendingAttachment &a : std::as_const(attachments))
            urls.append(attachmentUrl(a.record.id));
        note.body = deltaToJson(ImportMarkers::appendUnshownAttachments(ImportSupport::retargetLinks(delta, target), urls));
        note.notebookId = notebookIds.value(item.parentId);
        note.createdAt = isValid(item.createdTime) ? item.createdTime : now;
        note.updatedAt = isValid(item.updatedTime) ? item.updatedTime : note.createdAt;
        note.modifiedAt = note.updatedAt;
        ImportSupport::planNote(plan, note, attachments, &result, &sink);
    }
    return result;
}

ImportResult planJoplinImport(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits)
{
    JoplinArchive archive = readJoplinArchive(archivePath, plan, limits);
    if (!archive.result.error.isEmpty())
        return archive.result;
    return planJoplin(archive, plan);
}

ImportResult importJoplin(const QString &archivePath, const IoRepositories &repositories,
                          const ProgressCallback &progress, const ExtractionLimits &limits)
{
    return ImportSupport::runHere(repositories, [&](WritePlan &plan) {
        return planJoplinImport(archivePath, plan, limits);
    }, progress);
}
