#include "restorebackup.h"

#include "archivereader.h"
#include "attachmentrepository.h"
#include "bulkjob.h"
#include "database.h"
#include "iolog.h"
#include "safefilename.h"
#include "storagetime.h"
#include "writeplan.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <climits>

namespace {

// The context lupdate files these texts under.
struct BackupText
{
    Q_DECLARE_TR_FUNCTIONS(Backup)
};

// Missing or non-integer versions read as 1.
int versionOf(const QJsonObject &o)
{
    const QJsonValue v = o.value("version");
    if (!v.isDouble())
        return 1;
    const double d = v.toDouble();
    // Range first: converting a double out of range is undefined.
    if (!(d >= INT_MIN && d <= INT_MAX) || d != double(int(d)))
        return 1;
    return int(d);
}

std::optional<QDateTime> optionalTime(const QJsonObject &o, const char *key)
{
    const QString text = o.value(key).toString();
    if (text.isEmpty())
        return std::nullopt;
    return storageTimeFromText(text);
}

// Archived rows may lack times; the columns are NOT NULL and lists sort by them.
QDateTime timeOr(const QJsonObject &o, const char *key, const QDateTime &fallback)
{
    const QDateTime time = storageTimeFromText(o.value(key).toString());
    return time.isValid() ? time : fallback;
}

Notebook notebookFromJson(const QJsonObject &o, const QDateTime &now)
{
    Notebook notebook;
    notebook.id = o.value("id").toString();
    notebook.name = o.value("name").toString();
    notebook.isDefault = o.value("isDefault").toBool();
    notebook.isShared = o.value("isShared").toBool();
    notebook.ownerId = o.value("ownerId").toString();
    notebook.createdAt = timeOr(o, "createdAt", now);
    notebook.updatedAt = timeOr(o, "updatedAt", notebook.createdAt);
    notebook.deletedAt = optionalTime(o, "deletedAt");
    notebook.version = versionOf(o);
    return notebook;
}

Note noteFromJson(const QJsonObject &o, const QDateTime &now)
{
    Note note;
    note.id = o.value("id").toString();
    note.notebookId = o.value("notebookId").toString();
    note.body = o.value("body").toString();
    note.createdAt = timeOr(o, "createdAt", now);
    note.updatedAt = timeOr(o, "updatedAt", note.createdAt);
    note.modifiedAt = timeOr(o, "modifiedAt", note.updatedAt);
    note.deletedAt = optionalTime(o, "deletedAt");
    note.version = versionOf(o);
    return note;
}

Attachment attachmentFromJson(const QJsonObject &o, const QDateTime &now)
{
    Attachment attachment;
    attachment.id = o.value("id").toString();
    attachment.noteId = o.value("noteId").toString();
    attachment.filename = o.value("filename").toString();
    attachment.mimeType = o.value("mimeType").toString();
    attachment.sizeBytes = o.value("sizeBytes").toInteger(0);
    attachment.createdAt = timeOr(o, "createdAt", now);
    attachment.syncStatus = SyncStatus::Pending;
    return attachment;
}

Snapshot snapshotFromJson(const QJsonObject &o, const QDateTime &now)
{
    Snapshot snapshot;
    snapshot.id = o.value("id").toString();
    snapshot.noteId = o.value("noteId").toString();
    snapshot.version = versionOf(o);
    snapshot.body = o.value("body").toString();
    snapshot.createdAt = timeOr(o, "createdAt", now);
    return snapshot;
}

// The archive's folders, by the first part of an entry's path.
enum class Folder { None, Manifest, Notebooks, Notes, AttachmentRecords, Snapshots, Attachments };

// Records are "<folder>/<name>.json" directly in their folder; attachment
// files "attachments/<plain name>".
Folder folderOf(const QString &path, QString *name)
{
    if (path == QLatin1String("manifest.json"))
        return Folder::Manifest;
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    if (slash < 0 || path.indexOf(QLatin1Char('/'), slash + 1) >= 0)
        return Folder::None;
    *name = path.mid(slash + 1);
    const QStringView folder = QStringView(path).left(slash);
    if (folder == QLatin1String("attachments"))
        return isSafeFileName(*name) ? Folder::Attachments : Folder::None;
    if (!name->endsWith(QLatin1String(".json")))
        return Folder::None;
    if (folder == QLatin1String("notebooks"))
        return Folder::Notebooks;
    if (folder == QLatin1String("notes"))
        return Folder::Notes;
    if (folder == QLatin1String("attachmentRecords"))
        return Folder::AttachmentRecords;
    if (folder == QLatin1String("snapshots"))
        return Folder::Snapshots;
    return Folder::None;
}

// One pass over the archive; the archive is read again for each part, so
// that notes are never all held at once and rows go out in the order the
// writer needs (notebooks, notes, attachments, snapshots).
class BackupReader
{
public:
    BackupReader(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits)
        : m_path(archivePath)
        , m_plan(plan)
        , m_limits(limits)
        , m_budget(limits, {Database::dataDirectory()}, archivePath)
    {
    }

    RestoreResult result;

    bool read(bool withAttachments, bool withSnapshots)
    {
        m_plan.report(0, 0, BackupText::tr("Reading backup..."));
        // The first pass reads only the small parts and checks the archive whole.
        bool manifest = false;
        QList<Notebook> notebooks;
        QList<Attachment> records;
        int notes = 0, snapshots = 0, files = 0;
        const bool readable = pass([&](Folder folder, const QString &, ArchiveReader &reader) {
            // Read as the records are, so that the archive's limits hold for it too.
            if (folder == Folder::Manifest)
                manifest = reader.readData(m_limits.maxJsonBytes).has_value();
            else if (folder == Folder::Notes)
                ++notes;
            else if (folder == Folder::Attachments)
                ++files;
            else if (folder == Folder::Snapshots)
                snapshots += withSnapshots ? 1 : 0;
            else if (folder == Folder::Notebooks)
                readNotebook(reader, &notebooks);
            else if (folder == Folder::AttachmentRecords && withAttachments)
                readRecord(reader, &records);
            return true;
        });
        if (!readable)
            return fail(BackupText::tr("Failed to extract backup"));
        if (!manifest)
            return fail(BackupText::tr("No manifest.json found"));
        m_total = int(notebooks.size() + notes + 2 * records.size() + snapshots);
        for (const Notebook &notebook : std::as_const(notebooks)) {
            step(BackupText::tr("Restoring notebooks..."));
            m_plan.addNotebook(notebook);
        }
        for (const Attachment &record : std::as_const(records))
            m_namedFiles.insert(record.id);
        m_current += int(records.size());

        static const QRegularExpression attachmentLink(QStringLiteral("velmora-notes://attachment/([^\"\\\\\\s]+)"));
        QSet<QString> noteIds;
        if (!pass([&](Folder folder, const QString &, ArchiveReader &reader) {
                if (folder != Folder::Notes)
                    return true;
                step(BackupText::tr("Restoring notes..."));
                const std::optional<QJsonObject> object = readObject(reader);
                if (!object)
                    return !m_plan.cancelled();
                const Note note = noteFromJson(*object, m_now);
                for (auto it = attachmentLink.globalMatch(note.body); it.hasNext();)
                    m_namedFiles.insert(it.next().captured(1));
                if (!isSafeFileName(note.id))
                    ++result.errors;
                else if (firstOf(noteIds, note.id))
                    m_plan.addNote(note);
                return !m_plan.cancelled();
            }))
            return fail(BackupText::tr("Failed to extract backup"));

        // Each pass reads every entry's header again: one with nothing to do is skipped.
        if (withAttachments && !restoreAttachments(records, files > 0))
            return fail(BackupText::tr("Failed to extract backup"));

        if (withSnapshots && snapshots > 0 && !pass([&](Folder folder, const QString &, ArchiveReader &reader) {
                if (folder != Folder::Snapshots)
                    return true;
                step(BackupText::tr("Restoring version history..."));
                const std::optional<QJsonObject> object = readObject(reader);
                if (!object)
                    return !m_plan.cancelled();
                const Snapshot snapshot = snapshotFromJson(*object, m_now);
                if (!isSafeFileName(snapshot.id) || snapshot.noteId.isEmpty())
                    ++result.errors;
                else
                    m_plan.addSnapshot(snapshot);
                return !m_plan.cancelled();
            }))
            return fail(BackupText::tr("Failed to extract backup"));
        return !m_plan.cancelled();
    }

private:
    using Visit = std::function<bool(Folder folder, const QString &name, ArchiveReader &reader)>;

    // Visits every entry; false on a read error or when visit stops it.
    bool pass(const Visit &visit)
    {
        ArchiveReader reader(m_path, ArchiveReader::Format::Zip);
        reader.setBudget(&m_budget);
        if (!reader.open())
            return false;
        ArchiveEntry entry;
        while (reader.next(&entry)) {
            m_entrySize = entry.size;
            QString name;
            const Folder folder = folderOf(entry.path, &name);
            if (!visit(folder, name, reader))
                return false;
        }
        if (reader.hasError()) {
            qCWarning(lcIo) << "Restore: the archive cannot be read:" << reader.errorString();
            return false;
        }
        // Counted once: every pass meets the same unsafe entries.
        if (!m_counted) {
            m_counted = true;
            result.errors += reader.rejectedEntries();
            for (const QString &problem : reader.problems())
                qCWarning(lcIo) << "Restore:" << problem;
        }
        return true;
    }

    bool fail(const QString &error)
    {
        result.errors = 1;
        result.error = error;
        qCWarning(lcIo) << "Restore failed:" << error;
        return false;
    }

    void step(const QString &label) { m_plan.report(++m_current, m_total, label); }

    // Absent, and counted as an error with its name, when the entry is too
    // large, unreadable or not a JSON object.
    std::optional<QJsonObject> readObject(ArchiveReader &reader)
    {
        // Refused by its declared size before any of it is held.
        if (m_entrySize > m_limits.maxJsonBytes) {
            ++result.errors;
            qCWarning(lcIo) << "Restore: skipping a record larger than" << m_limits.maxJsonBytes << "bytes";
            return std::nullopt;
        }
        const std::optional<QByteArray> data = reader.readData(m_limits.maxJsonBytes);
        QJsonParseError error;
        const QJsonDocument document = data ? QJsonDocument::fromJson(*data, &error) : QJsonDocument();
        if (document.isObject())
            return document.object();
        ++result.errors;
        qCWarning(lcIo) << "Restore: skipping a record:"
                        << (!data ? reader.refusal() : error.error != QJsonParseError::NoError ? error.errorString()
                                                                                            : QStringLiteral("not an object"));
        return std::nullopt;
    }

    // An id met again in one archive is the same record: only its first is restored.
    bool firstOf(QSet<QString> &seen, const QString &id)
    {
        if (!seen.contains(id)) {
            seen.insert(id);
            return true;
        }
        qCWarning(lcIo) << "Restore: a second record with id" << id << "skipped";
        ++result.skipped;
        return false;
    }

    void readNotebook(ArchiveReader &reader, QList<Notebook> *notebooks)
    {
        const std::optional<QJsonObject> object = readObject(reader);
        if (!object)
            return;
        const Notebook notebook = notebookFromJson(*object, m_now);
        if (!isSafeFileName(notebook.id))
            ++result.errors;
        else if (firstOf(m_notebookIds, notebook.id))
            notebooks->append(notebook);
    }

    void readRecord(ArchiveReader &reader, QList<Attachment> *records)
    {
        const std::optional<QJsonObject> object = readObject(reader);
        if (!object)
            return;
        const Attachment attachment = attachmentFromJson(*object, m_now);
        // The id names the stored file: anything that is not a plain file name is refused.
        if (!isSafeFileName(attachment.id) || attachment.noteId.isEmpty())
            ++result.errors;
        else
            records->append(attachment);
    }

    // Streams each named file into the store (never over an existing one), then the records.
    bool restoreAttachments(const QList<Attachment> &records, bool anyFiles)
    {
        const bool read = !anyFiles || pass([&](Folder folder, const QString &name, ArchiveReader &reader) {
            if (folder != Folder::Attachments || !m_namedFiles.contains(name))
                return true;
            const QString target = AttachmentRepository::filePath(name);
            if (QFile::exists(target))
                return true;
            QFile out(target);
            // NewOnly: never through a file or link that appeared meanwhile.
            const bool copied = out.open(QIODevice::WriteOnly | QIODevice::NewOnly) && reader.copyData(&out);
            out.close();
            if (copied && out.error() == QFileDevice::NoError) {
                m_plan.addCreatedFile(target);
            } else {
                out.remove();
                ++result.errors;
                qCWarning(lcIo) << "Cannot restore attachment file" << name
                                << (reader.refusal().isEmpty() ? out.errorString() : reader.refusal());
            }
            return !reader.hasError() && !m_plan.cancelled();
        });
        for (const Attachment &record : records) {
            step(BackupText::tr("Restoring attachments..."));
            m_plan.addAttachment(record);
        }
        return read;
    }

    QString m_path;
    WritePlan &m_plan;
    ExtractionLimits m_limits;
    ExtractionBudget m_budget;
    const QDateTime m_now = QDateTime::currentDateTimeUtc();
    QSet<QString> m_notebookIds;
    QSet<QString> m_namedFiles;
    bool m_counted = false;
    qint64 m_entrySize = 0;
    int m_total = 0;
    int m_current = 0;
};

} // namespace

RestoreResult readBackup(const QString &archivePath, WritePlan &plan, const ExtractionLimits &limits,
                         bool withAttachments, bool withSnapshots)
{
    BackupReader reader(archivePath, plan, limits);
    reader.read(withAttachments, withSnapshots);
    return reader.result;
}

RestoreResult restoreOutcome(RestoreResult read, const BatchWriter::Counts &written, bool committed,
                             const QString &writeError)
{
    if (!read.error.isEmpty())
        return read;
    read.errors += written.errors;
    read.skipped += written.skipped;
    if (committed) {
        read.imported = written.notebooks + written.notes;
        read.attachmentsRestored = written.attachments;
        read.snapshotsRestored = written.snapshots;
    } else {
        // Every row written is lost with the transaction.
        const int lost = written.notebooks + written.notes + written.attachments + written.snapshots;
        read.errors += qMax(1, lost);
        read.error = BackupText::tr("Nothing was restored: %1").arg(writeError);
    }
    qCInfo(lcIo) << "Restore finished:" << read.imported << "imported," << read.skipped << "skipped," << read.errors
                 << "errors";
    return read;
}

RestoreResult restoreOutcome(RestoreResult read, const BulkJob &job)
{
    if (job.wasCancelled() && read.error.isEmpty()) {
        read.error = BackupText::tr("Cancelled: nothing was restored.");
        return read;
    }
    return restoreOutcome(read, job.counts(), job.committed(), job.error());
}

RestoreResult restoreBackup(const QString &archivePath, const IoRepositories &repositories, RestoreMode mode,
                            const ProgressCallback &progress, const ExtractionLimits &limits)
{
    if (!repositories.notes || !repositories.notebooks || !repositories.database) {
        RestoreResult result;
        result.errors = 1;
        result.error = BackupText::tr("Failed to extract backup");
        return result;
    }
    RestoreResult read;
    BatchWriter::Counts written;
    QString error;
    const bool committed = BulkJob::runHere(repositories, mode, [&](WritePlan &plan) {
        read = readBackup(archivePath, plan, limits, repositories.attachments, repositories.snapshots);
        return read.error.isEmpty();
    }, progress, &written, &error);
    return restoreOutcome(read, written, committed, error);
}
