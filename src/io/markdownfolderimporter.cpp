#include "markdownfolderimporter.h"

#include "archivereader.h"
#include "writeplan.h"
#include "database.h"
#include "delta.h"
#include "deltaimport.h"
#include "importmarkers.h"
#include "importsupport.h"
#include "iolog.h"
#include "note.h"
#include "notebookrepository.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

using ImportSupport::PendingAttachment;

namespace {

struct SourceFile
{
    QString path;     // absolute
    QString relative; // to the root, '/'-separated
    QString title;
    QString noteId;
    QString notebookKey; // the relative folder
};

struct ParsedFile
{
    QHash<QString, QString> front; // front matter keys in lower case
    QStringList tags;
    QString body;
};

QString unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2
        && ((value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            || (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\''))))) {
        const bool doubleQuoted = value.startsWith(QLatin1Char('"'));
        value = value.mid(1, value.size() - 2);
        if (doubleQuoted) {
            value.replace(QLatin1String("\\\""), QLatin1String("\""));
            value.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        } else {
            value.replace(QLatin1String("''"), QLatin1String("'"));
        }
    }
    return value;
}

// Front matter is the YAML block between a first line "---" and the next
// "---" or "..."; only flat "key: value" pairs and tag lists are read.
ParsedFile parseFile(const QString &text)
{
    ParsedFile parsed;
    parsed.body = text;
    if (!text.startsWith(QLatin1String("---\n")))
        return parsed;
    static const QRegularExpression end(QStringLiteral("\n(---|\\.\\.\\.)[ \\t]*(\n|$)"));
    const QRegularExpressionMatch m = end.match(text, 3);
    if (!m.hasMatch())
        return parsed;
    const QStringList lines = text.mid(4, m.capturedStart() - 3).split(QLatin1Char('\n'));
    QString listKey;
    for (const QString &line : lines) {
        if (line.trimmed().startsWith(QLatin1String("- ")) && listKey == QLatin1String("tags")) {
            parsed.tags.append(unquoted(line.trimmed().mid(2)));
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0 || line.at(0).isSpace())
            continue;
        const QString key = line.left(colon).trimmed().toLower();
        const QString value = line.mid(colon + 1).trimmed();
        listKey = value.isEmpty() ? key : QString();
        if (key == QLatin1String("tags") && !value.isEmpty()) {
            QString list = value;
            if (list.startsWith(QLatin1Char('[')) && list.endsWith(QLatin1Char(']')))
                list = list.mid(1, list.size() - 2);
            for (const QString &tag : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
                parsed.tags.append(unquoted(tag));
        } else {
            parsed.front.insert(key, unquoted(value));
        }
    }
    parsed.tags.removeAll(QString());
    parsed.body = text.mid(m.capturedEnd());
    return parsed;
}

QDateTime frontTime(const QString &value)
{
    if (value.isEmpty())
        return {};
    for (const Qt::DateFormat format : {Qt::ISODateWithMs, Qt::ISODate}) {
        QDateTime time = QDateTime::fromString(value, format);
        if (time.isValid())
            return time.toUTC();
    }
    QDateTime time = QDateTime::fromString(value, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!time.isValid())
        time = QDateTime(QDate::fromString(value, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    return time.isValid() ? time.toUTC() : QDateTime();
}

QString headingText(const QString &line)
{
    static const QRegularExpression heading(QStringLiteral("^#[ \\t]+(.*?)[ \\t#]*$"));
    const QRegularExpressionMatch m = heading.match(line);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

QString firstNonEmptyLine(const QString &text)
{
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            return line.trimmed().toString();
    }
    return {};
}

bool isNoteFile(const QString &name)
{
    const QString suffix = QFileInfo(name).suffix().toLower();
    return suffix == QLatin1String("md") || suffix == QLatin1String("markdown") || suffix == QLatin1String("txt");
}

// Check boxes and rules are lost on the way through the Markdown reader:
// they become line marks, outside code fences.
QString markLines(const QString &markdown)
{
    static const QRegularExpression task(QStringLiteral("^(\\s*)[-*+][ \\t]+\\[([ xX])\\][ \\t]+"));
    static const QRegularExpression rule(QStringLiteral("^[ ]{0,3}(-[ \\t]*){3,}$|^[ ]{0,3}(\\*[ \\t]*){3,}$|^[ ]{0,3}(_[ \\t]*){3,}$"));
    QStringList lines = markdown.split(QLatin1Char('\n'));
    bool fenced = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString &line = lines[i];
        if (line.trimmed().startsWith(QLatin1String("```")) || line.trimmed().startsWith(QLatin1String("~~~"))) {
            fenced = !fenced;
            continue;
        }
        if (fenced)
            continue;
        const QRegularExpressionMatch m = task.match(line);
        if (m.hasMatch()) {
            line = m.captured(1) + QLatin1String("- ") + ImportMarkers::todo(m.captured(2) != QLatin1String(" "))
                + line.mid(m.capturedEnd());
        } else if (rule.match(line).hasMatch() && (i == 0 || lines.at(i - 1).trimmed().isEmpty())) {
            line = QLatin1Char('\n') + ImportMarkers::divider() + QLatin1Char('\n');
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString markdownLinkText(QString text)
{
    text.replace(QLatin1Char('['), QLatin1String("\\["));
    text.replace(QLatin1Char(']'), QLatin1String("\\]"));
    return text;
}

class FolderImport final
{
public:
    FolderImport(const QString &root, const QString &rootName, WritePlan &plan, const ExtractionLimits &limits,
                 ImportResult *result)
        : m_root(QDir(root).canonicalPath()), m_rootName(rootName), m_plan(plan), m_limits(limits), m_result(result)
    {
    }

    void run()
    {
        collect();
        if (m_files.isEmpty()) {
            m_result->error = ImportText::tr("No Markdown or text files found in %1").arg(m_rootName);
            return;
        }
        const int count = int(m_files.size());
        m_plan.report(0, count, ImportText::tr("Importing %1 notes...").arg(count));
        int current = 0;
        for (const SourceFile &file : std::as_const(m_files)) {
            if (m_plan.cancelled())
                return;
            m_plan.report(++current, count, ImportText::tr("Importing: %1").arg(file.title));
            importFile(file);
        }
    }

private:
    std::optional<QString> readText(const QString &path, const QString &relative)
    {
        QFile file(path);
        if (file.size() > m_limits.maxJsonBytes) {
            m_result->addError(ImportText::tr("%1: larger than %2 MiB").arg(relative).arg(m_limits.maxJsonBytes / ExtractionLimits::kMiB));
            return std::nullopt;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            m_result->addError(ImportText::tr("%1: %2").arg(relative, file.errorString()));
            return std::nullopt;
        }
        bool fellBack = false;
        QString text = ImportSupport::decodeText(file.readAll(), &fellBack);
        if (fellBack && m_warnOnDecode)
            m_result->addWarning(ImportText::tr("%1: not UTF-8, read as Windows-1252").arg(relative));
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        return text;
    }

    void collect()
    {
        QDirIterator it(m_root, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
        QStringList paths;
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = QDir(m_root).relativeFilePath(path);
            // An "attachments" folder holds the files notes link to, whatever their type.
            const QStringList parts = relative.toLower().split(QLatin1Char('/'));
            if (relative.startsWith(QLatin1Char('.')) || relative.contains(QLatin1String("/.")) || !isNoteFile(relative)
                || parts.mid(0, parts.size() - 1).contains(QLatin1String("attachments")))
                continue;
            paths.append(path);
        }
        paths.sort();
        m_warnOnDecode = false; // warned once, when the file is imported
        for (const QString &path : std::as_const(paths)) {
            SourceFile file;
            file.path = path;
            file.relative = QDir(m_root).relativeFilePath(path);
            file.notebookKey = QFileInfo(file.relative).path();
            if (file.notebookKey == QLatin1String("."))
                file.notebookKey.clear();
            file.noteId = ImportSupport::newId();
            const std::optional<QString> text = readText(path, file.relative);
            if (!text)
                continue;
            const ParsedFile parsed = parseFile(*text);
            file.title = parsed.front.value(QStringLiteral("title"));
            if (file.title.isEmpty() && !file.relative.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
                file.title = headingText(firstNonEmptyLine(parsed.body));
            if (file.title.isEmpty())
                file.title = QFileInfo(path).completeBaseName();
            m_byPath.insert(path, file.noteId);
            const QString base = QFileInfo(path).completeBaseName().toLower();
            for (const QString &key : {file.title.toLower(), base, QFileInfo(file.relative).path().toLower() + QLatin1Char('/') + base}) {
                if (!m_byName.contains(key))
                    m_byName.insert(key, file.noteId);
            }
            m_files.append(file);
        }
        m_warnOnDecode = true;
    }

    QString notebookFor(const QString &key)
    {
        const auto found = m_notebooks.constFind(key);
        if (found != m_notebooks.constEnd())
            return found.value();
        Notebook notebook;
        notebook.id = ImportSupport::newId();
        notebook.name = key.isEmpty() ? m_rootName : key.split(QLatin1Char('/')).join(QStringLiteral(" / "));
        notebook.createdAt = QDateTime::currentDateTimeUtc();
        notebook.updatedAt = notebook.createdAt;
        m_plan.addNotebook(notebook);
        m_notebooks.insert(key, notebook.id);
        return notebook.id;
    }

    // The file a relative link names, inside the root; empty when it leads outside or nowhere.
    QString resolve(const QString &fromDir, const QString &target, bool *outside)
    {
        *outside = false;
        QString decoded = QUrl::fromPercentEncoding(target.toUtf8());
        decoded = decoded.section(QLatin1Char('#'), 0, 0).section(QLatin1Char('?'), 0, 0);
        if (decoded.isEmpty())
            return {};
        const bool absolute = QDir::isAbsolutePath(decoded) || decoded.startsWith(QLatin1Char('/'))
            || decoded.startsWith(QLatin1Char('\\'));
        const QString cleaned = QDir::cleanPath(absolute ? decoded : fromDir + QLatin1Char('/') + decoded);
        const QString canonical = QFileInfo(cleaned).canonicalFilePath();
        const QString inside = m_root + QLatin1Char('/');
        if (absolute || !cleaned.startsWith(inside) || (!canonical.isEmpty() && !canonical.startsWith(inside))) {
            *outside = true;
            return {};
        }
        return QFileInfo(canonical).isFile() ? canonical : QString();
    }

    // The attachment URL for a file of this note, added once.
    QString attach(const QString &path, const QString &noteId, QList<PendingAttachment> *attachments,
                   QHash<QString, QString> *urls, const QString &title)
    {
        if (const auto found = urls->constFind(path); found != urls->constEnd())
            return found.value();
        const QFileInfo info(path);
        if (info.size() > m_limits.maxEntryBytes) {
            m_result->addError(ImportText::tr("%1: %2 is larger than %3 MiB")
                                   .arg(title, info.fileName())
                                   .arg(m_limits.maxEntryBytes / ExtractionLimits::kMiB));
            return {};
        }
        PendingAttachment attachment;
        attachment.record.id = ImportSupport::newId();
        attachment.record.noteId = noteId;
        attachment.record.filename = info.fileName();
        attachment.record.mimeType = m_mime.mimeTypeForFile(info).name();
        attachment.record.sizeBytes = info.size();
        attachment.record.createdAt = info.lastModified().toUTC();
        attachment.sourcePath = path;
        attachments->append(attachment);
        const QString url = attachmentUrl(attachment.record.id);
        urls->insert(path, url);
        return url;
    }

    QString rewriteLinks(const QString &markdown, const SourceFile &file, QList<PendingAttachment> *attachments)
    {
        static const QRegularExpression link(QStringLiteral(
            "(!?)\\[\\[([^\\]|#\\n]+)(#[^\\]|\\n]*)?(?:\\|([^\\]\\n]+))?\\]\\]"
            "|(!?)\\[((?:[^\\[\\]\\n]|\\[[^\\]\\n]*\\])*)\\]\\(\\s*(<[^>\\n]*>|[^)\\s]+)(\\s+\"[^\"\\n]*\")?\\s*\\)"));
        static const QRegularExpression scheme(QStringLiteral("^[a-zA-Z][a-zA-Z0-9+.-]*:"));
        const QString fromDir = QFileInfo(file.path).path();
        QHash<QString, QString> urls;
        QString out;
        qsizetype last = 0;
        for (auto it = link.globalMatch(markdown); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            QString replacement = m.captured(0);
            if (!m.captured(2).isEmpty()) {
                const QString name = m.captured(2).trimmed();
                const QString shown = m.captured(4).isEmpty() ? name : m.captured(4).trimmed();
                bool outside = false;
                const QString path = m.captured(1).isEmpty() ? QString() : resolve(fromDir, name, &outside);
                const QString noteId = m_byName.value(name.toLower(), m_byName.value(QFileInfo(name).completeBaseName().toLower()));
                if (!path.isEmpty() && !isNoteFile(path)) {
                    const QString url = attach(path, file.noteId, attachments, &urls, file.title);
                    replacement = url.isEmpty() ? shown : QStringLiteral("![](%1)").arg(url);
                } else if (!noteId.isEmpty()) {
                    replacement = QStringLiteral("[%1](%2)").arg(markdownLinkText(shown), ImportSupport::noteLinkUrl(noteId));
                } else {
                    replacement = shown;
                }
            } else {
                QString target = m.captured(7);
                if (target.startsWith(QLatin1Char('<')))
                    target = target.mid(1, target.size() - 2);
                if (!scheme.match(target).hasMatch() && !target.startsWith(QLatin1Char('#'))) {
                    bool outside = false;
                    const QString path = resolve(fromDir, target, &outside);
                    const QString text = m.captured(6);
                    if (outside) {
                        m_result->addError(ImportText::tr("%1: the link to %2 leads outside the folder and was not followed")
                                               .arg(file.title, target));
                        replacement = text;
                    } else if (!path.isEmpty() && m_byPath.contains(path)) {
                        replacement = QStringLiteral("[%1](%2)").arg(text, ImportSupport::noteLinkUrl(m_byPath.value(path)));
                    } else if (!path.isEmpty()) {
                        const QString url = attach(path, file.noteId, attachments, &urls, file.title);
                        if (!url.isEmpty())
                            replacement = QStringLiteral("![](%1)").arg(url); // an embed shows no alt text
                    }
                }
            }
            out += QStringView(markdown).mid(last, m.capturedStart() - last);
            out += replacement;
            last = m.capturedEnd();
        }
        return out + markdown.mid(last);
    }

    void importFile(const SourceFile &file)
    {
        const std::optional<QString> text = readText(file.path, file.relative);
        if (!text)
            return;
        const ParsedFile parsed = parseFile(*text);
        Note note;
        note.id = file.noteId;
        note.notebookId = notebookFor(file.notebookKey);
        QList<PendingAttachment> attachments;
        const bool plain = file.relative.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive);
        QJsonArray delta;
        if (plain) {
            QString html = QStringLiteral("<h1>%1</h1>").arg(file.title.toHtmlEscaped());
            for (const QString &line : parsed.body.split(QLatin1Char('\n')))
                html += QStringLiteral("<p>%1</p>").arg(line.toHtmlEscaped());
            delta = htmlToDelta(html);
        } else {
            QString body = rewriteLinks(parsed.body, file, &attachments);
            // The title is the note's first line: written once, as a heading.
            const QString first = firstNonEmptyLine(body);
            if (headingText(first) != file.title && first != file.title)
                body = QStringLiteral("# %1\n\n%2").arg(file.title, body);
            delta = ImportMarkers::applyLineMarkers(markdownToDelta(markLines(body)));
        }
        if (!parsed.tags.isEmpty()) {
            delta.append(QJsonObject{{QStringLiteral("insert"), ImportText::tr("Tags: %1").arg(parsed.tags.join(QStringLiteral(", ")))}});
            delta.append(QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}});
        }
        QStringList urls;
        for (const PendingAttachment &a : std::as_const(attachments))
            urls.append(attachmentUrl(a.record.id));
        note.body = deltaToJson(ImportMarkers::appendUnshownAttachments(delta, urls));
        const QFileInfo info(file.path);
        const QDateTime fileCreated = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
        note.createdAt = frontTime(parsed.front.value(QStringLiteral("created"), parsed.front.value(QStringLiteral("date"))));
        if (!note.createdAt.isValid())
            note.createdAt = fileCreated.toUTC();
        note.updatedAt = frontTime(parsed.front.value(QStringLiteral("updated"), parsed.front.value(QStringLiteral("modified"))));
        if (!note.updatedAt.isValid())
            note.updatedAt = info.lastModified().toUTC();
        note.modifiedAt = note.updatedAt;
        ImportSupport::planNote(m_plan, note, attachments, m_result);
    }

    QString m_root;
    QString m_rootName;
    WritePlan &m_plan;
    ExtractionLimits m_limits;
    ImportResult *m_result;
    QList<SourceFile> m_files;
    QHash<QString, QString> m_byPath;   // canonical path -> note id
    QHash<QString, QString> m_byName;   // title, base name or folder/base name in lower case -> note id
    QHash<QString, QString> m_notebooks; // relative folder -> notebook id
    QMimeDatabase m_mime;
    bool m_warnOnDecode = true;
};

} // namespace

ImportResult planMarkdownFolderImport(const QString &path, WritePlan &plan, const ExtractionLimits &limits)
{
    ImportResult result;
    const QFileInfo info(path);
    QString root = info.absoluteFilePath();
    QString rootName = info.fileName();
    std::unique_ptr<QTemporaryDir> temp;
    if (info.isFile()) {
        plan.report(0, 0, ImportText::tr("Extracting archive..."));
        temp = std::make_unique<QTemporaryDir>();
        if (!temp->isValid()) {
            result.error = ImportText::tr("Failed to create temp directory");
            return result;
        }
        ExtractionBudget budget(limits, {temp->path(), Database::dataDirectory()}, path);
        ArchiveReader reader(path, ArchiveReader::Format::Zip);
        reader.setBudget(&budget);
        const int extracted = reader.open() ? reader.extractTo(temp->path(), [&plan](int current, int total, const QString &) {
            plan.report(current, total, ImportText::tr("Extracting archive..."));
        })
                                            : -1;
        if (extracted < 0) {
            result.error = ImportText::tr("Failed to extract archive: %1").arg(reader.errorString());
            ++result.errors;
            return result;
        }
        result.errors += reader.rejectedEntries();
        result.problems += reader.problems();
        root = temp->path();
        rootName = info.completeBaseName();
        // A ZIP of one folder: that folder is the root.
        const QDir top(root);
        const QStringList folders = top.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (folders.size() == 1 && top.entryList(QDir::Files).isEmpty()) {
            root = top.filePath(folders.first());
            rootName = folders.first();
        }
    } else if (!info.isDir()) {
        result.error = ImportText::tr("Cannot open %1").arg(path);
        return result;
    }
    FolderImport(root, rootName, plan, limits, &result).run();
    return result;
}

ImportResult importMarkdownFolder(const QString &path, const IoRepositories &repositories,
                                  const ProgressCallback &progress, const ExtractionLimits &limits)
{
    return ImportSupport::runHere(repositories, [&](WritePlan &plan) {
        return planMarkdownFolderImport(path, plan, limits);
    }, progress);
}
