#include "markdownfolderexport.h"

#include "attachmentrepository.h"
#include "converters.h"
#include "delta.h"
#include "iolog.h"
#include "note.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "safefilename.h"
#include "zipwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>
#include <QUuid>

#include <memory>

namespace {

class Texts
{
    Q_DECLARE_TR_FUNCTIONS(MarkdownFolderExport)
};

// Unique names in one folder, compared as Windows and macOS do: without case.
class NameSet final
{
public:
    QString take(const QString &wanted, const QString &fallback)
    {
        QString name = safeFileName(wanted, fallback);
        if (name.size() > 100)
            name = safeFileName(name.left(100), fallback);
        const QFileInfo info(name);
        const QString base = info.completeBaseName().isEmpty() ? name : info.completeBaseName();
        const QString suffix = info.completeBaseName().isEmpty() || info.suffix().isEmpty() ? QString()
                                                                                            : QLatin1Char('.') + info.suffix();
        QString candidate = name;
        for (int n = 2; m_used.contains(candidate.toLower()); ++n)
            candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix);
        m_used.insert(candidate.toLower());
        return candidate;
    }

private:
    QSet<QString> m_used;
};

// Where the files go: a folder on disk or the entries of a ZIP.
class ExportSink
{
public:
    virtual ~ExportSink() = default;
    virtual bool addFile(const QString &relative, const QByteArray &data) = 0;
    virtual bool addFileFromDisk(const QString &relative, const QString &source) = 0;
    virtual bool commit() = 0;
    virtual QString errorString() const = 0;
};

class FolderSink final : public ExportSink
{
public:
    explicit FolderSink(const QString &root) : m_root(root) {}

    bool addFile(const QString &relative, const QByteArray &data) override
    {
        if (!makeParent(relative))
            return false;
        // A new folder: nothing earlier to keep, and a sync per note would cost more than the export.
        QFile file(m_root + QLatin1Char('/') + relative);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(data) != data.size() || !file.flush())
            return fail(file.errorString());
        return true;
    }

    bool addFileFromDisk(const QString &relative, const QString &source) override
    {
        if (!makeParent(relative))
            return false;
        if (!QFile::copy(source, m_root + QLatin1Char('/') + relative))
            return fail(Texts::tr("cannot copy %1").arg(relative));
        return true;
    }

    bool commit() override { return true; }
    QString errorString() const override { return m_error; }

private:
    bool makeParent(const QString &relative)
    {
        const QString parent = QFileInfo(m_root + QLatin1Char('/') + relative).path();
        return QDir().mkpath(parent) || fail(Texts::tr("cannot create %1").arg(parent));
    }

    bool fail(const QString &error)
    {
        m_error = error;
        return false;
    }

    QString m_root;
    QString m_error;
};

class ZipSink final : public ExportSink
{
public:
    explicit ZipSink(const QString &path) : m_zip(path) {}
    bool open() { return m_zip.open(); }
    bool addFile(const QString &relative, const QByteArray &data) override { return m_zip.addFile(relative, data); }
    bool addFileFromDisk(const QString &relative, const QString &source) override
    {
        return m_zip.addFileFromDisk(relative, source);
    }
    bool commit() override { return m_zip.commit(); }
    QString errorString() const override { return m_zip.errorString(); }

private:
    ZipWriter m_zip;
};

QString yamlString(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString yamlTime(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QString percentEncoded(const QString &path)
{
    return QString::fromUtf8(QUrl::toPercentEncoding(path, "/"));
}

// "a/b.md" seen from the folder "c": "../a/b.md".
QString relativeTo(const QString &fromFolder, const QString &path)
{
    const QString root = QStringLiteral("/r/");
    return QDir(root + fromFolder).relativeFilePath(root + path);
}

struct PlannedNote
{
    Note note;
    QString folder;   // relative, empty at the top
    QString fileName;
    QString notebookName;
};

} // namespace

FolderExportResult exportMarkdownFolder(const IoRepositories &repositories, const std::optional<QString> &notebookId,
                                        const QString &target, const ProgressCallback &progress)
{
    FolderExportResult result;
    if (!repositories.notes || !repositories.notebooks) {
        result.error = Texts::tr("Failed to write file: %1").arg(QStringLiteral("no database"));
        return result;
    }
    QHash<QString, QString> notebookNames;
    for (const Notebook &notebook : repositories.notebooks->allNotebooks())
        notebookNames.insert(notebook.id, notebook.name);

    const QList<Note> notes = notebookId ? repositories.notes->notesInNotebook(*notebookId)
                                         : repositories.notes->allNotes();
    QList<PlannedNote> planned;
    QHash<QString, NameSet> namesByFolder;
    QHash<QString, QString> folderOfNotebook;
    NameSet topFolders;
    QHash<QString, QString> pathOfNote; // note id -> relative path
    for (const Note &note : notes) {
        if (note.deletedAt)
            continue;
        PlannedNote plan;
        plan.note = note;
        plan.notebookName = notebookNames.value(note.notebookId);
        if (!notebookId && !note.notebookId.isEmpty()) {
            auto folder = folderOfNotebook.find(note.notebookId);
            if (folder == folderOfNotebook.end())
                folder = folderOfNotebook.insert(note.notebookId, topFolders.take(plan.notebookName, QStringLiteral("Notebook")));
            plan.folder = folder.value();
        }
        NameSet &names = namesByFolder[plan.folder];
        const QString title = noteTitle(note.body);
        plan.fileName = names.take(title.isEmpty() ? QStringLiteral("Untitled") : title, QStringLiteral("Untitled"))
            + QStringLiteral(".md");
        pathOfNote.insert(note.id, plan.folder.isEmpty() ? plan.fileName : plan.folder + QLatin1Char('/') + plan.fileName);
        planned.append(plan);
    }

    std::unique_ptr<ExportSink> sink;
    if (target.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive)) {
        auto zip = std::make_unique<ZipSink>(target);
        if (!zip->open()) {
            result.error = Texts::tr("Failed to write file: %1").arg(zip->errorString());
            return result;
        }
        result.path = target;
        sink = std::move(zip);
    } else {
        QString folder = target;
        for (int n = 2; QFileInfo::exists(folder); ++n)
            folder = QStringLiteral("%1 (%2)").arg(target).arg(n);
        if (!QDir().mkpath(folder)) {
            result.error = Texts::tr("Failed to write file: %1").arg(Texts::tr("cannot create %1").arg(folder));
            return result;
        }
        result.path = folder;
        sink = std::make_unique<FolderSink>(folder);
    }

    const QString nonce = QUuid::createUuid().toString(QUuid::Id128);
    QHash<QString, NameSet> attachmentNames; // folder -> names in its attachments folder
    QElapsedTimer sinceReport;
    sinceReport.start();
    const int total = int(planned.size());
    int current = 0;
    for (const PlannedNote &plan : std::as_const(planned)) {
        ++current;
        if (progress && (current == 1 || current == total || sinceReport.elapsed() >= 50)) {
            sinceReport.restart();
            progress(current, total, Texts::tr("Exporting: %1").arg(plan.fileName));
        }
        const QJsonDocument parsed = QJsonDocument::fromJson(plan.note.body.toUtf8());
        QJsonArray delta = parsed.array();
        QHash<QString, QString> references; // placeholder -> Markdown
        QList<std::pair<QString, QString>> files; // entry path, stored file
        QHash<QString, QString> written; // attachment id -> its link
        if (!parsed.isArray())
            delta = QJsonArray{QJsonObject{{QStringLiteral("insert"), plan.note.body + QLatin1Char('\n')}}};
        for (qsizetype i = 0; i < delta.size(); ++i) {
            const QJsonObject embed = delta.at(i).toObject().value(QStringLiteral("insert")).toObject();
            QString url;
            for (const char *kind : {kAttachmentEmbedKind, kImageEmbedKind}) {
                const QString value = embed.value(QLatin1String(kind)).toString();
                if (value.startsWith(QLatin1String(kAttachmentUrlPrefix)))
                    url = value;
            }
            if (url.isEmpty() || !repositories.attachments)
                continue;
            const QString id = attachmentIdFromUrl(url);
            const std::optional<Attachment> attachment = repositories.attachments->attachmentById(id);
            const QString stored = AttachmentRepository::filePath(id);
            if (!attachment || stored.isEmpty() || !QFile::exists(stored))
                continue;
            if (!written.contains(id)) {
                const QString name = attachmentNames[plan.folder].take(attachment->filename, QStringLiteral("attachment"));
                const QString entry = (plan.folder.isEmpty() ? QString() : plan.folder + QLatin1Char('/'))
                    + QStringLiteral("attachments/") + name;
                files.append({entry, stored});
                written.insert(id, QStringLiteral("attachments/") + percentEncoded(name));
            }
            const QString placeholder = QStringLiteral("VELMEXPORT%1X%2").arg(references.size()).arg(nonce);
            const bool image = attachment->mimeType.startsWith(QLatin1String("image/"));
            // Brackets in a name would end the link text early.
            QString text = attachment->filename;
            text.replace(QLatin1Char('['), QLatin1String("\\[")).replace(QLatin1Char(']'), QLatin1String("\\]"));
            references.insert(placeholder, QStringLiteral("%1[%2](%3)").arg(image ? QStringLiteral("!") : QString(), text,
                                                                            written.value(id)));
            delta[i] = QJsonObject{{QStringLiteral("insert"), placeholder}};
        }
        QString markdown = deltaToMarkdown(delta);
        for (auto it = references.constBegin(); it != references.constEnd(); ++it)
            markdown.replace(it.key(), it.value());
        // Links to other exported notes point at their files.
        const QString noteLink = QStringLiteral("(velmora-notes://note/");
        for (qsizetype at = markdown.indexOf(noteLink); at >= 0; at = markdown.indexOf(noteLink, at + 1)) {
            const qsizetype close = markdown.indexOf(QLatin1Char(')'), at);
            const QString path = pathOfNote.value(markdown.mid(at + noteLink.size(), close - at - noteLink.size()));
            if (close > at && !path.isEmpty())
                markdown.replace(at + 1, close - at - 1, percentEncoded(relativeTo(plan.folder, path)));
        }
        QString text = QStringLiteral("---\ntitle: %1\ncreated: %2\nupdated: %3\n")
                           .arg(yamlString(noteTitle(plan.note.body)), yamlTime(plan.note.createdAt), yamlTime(plan.note.updatedAt));
        if (!plan.notebookName.isEmpty())
            text += QStringLiteral("notebook: %1\n").arg(yamlString(plan.notebookName));
        text += QStringLiteral("---\n") + markdown;
        const QString entry = plan.folder.isEmpty() ? plan.fileName : plan.folder + QLatin1Char('/') + plan.fileName;
        bool ok = sink->addFile(entry, text.toUtf8());
        for (const auto &[path, stored] : std::as_const(files)) {
            ok = ok && sink->addFileFromDisk(path, stored);
            result.attachments += ok ? 1 : 0;
        }
        if (!ok) {
            result.error = Texts::tr("Failed to write file: %1").arg(sink->errorString());
            qCWarning(lcIo) << "Markdown export failed:" << sink->errorString();
            return result;
        }
        ++result.notes;
    }
    if (!sink->commit()) {
        result.error = Texts::tr("Failed to write file: %1").arg(sink->errorString());
        qCWarning(lcIo) << "Markdown export failed:" << sink->errorString();
        return result;
    }
    result.ok = true;
    qCInfo(lcIo) << "Markdown export:" << result.notes << "notes," << result.attachments << "attachments";
    return result;
}
