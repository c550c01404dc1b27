#include "backup.h"

#include "safefilename.h"
#include "archivereader.h"
#include "attachmentrepository.h"
#include "bulkwritescope.h"
#include "database.h"
#include "iolog.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "snapshotrepository.h"
#include "storagetime.h"
#include "zipwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

namespace {

// The context lupdate files these texts under.
struct BackupText
{
    Q_DECLARE_TR_FUNCTIONS(Backup)
};

QByteArray indented(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QJsonObject notebookToJson(const Notebook &notebook)
{
    QJsonObject o;
    o["id"] = notebook.id;
    o["name"] = notebook.name;
    o["isDefault"] = notebook.isDefault;
    o["isShared"] = notebook.isShared;
    o["ownerId"] = notebook.ownerId;
    o["createdAt"] = storageTimeText(notebook.createdAt);
    o["updatedAt"] = storageTimeText(notebook.updatedAt);
    if (notebook.deletedAt)
        o["deletedAt"] = storageTimeText(*notebook.deletedAt);
    o["version"] = notebook.version;
    return o;
}

QJsonObject noteToJson(const Note &note)
{
    QJsonObject o;
    o["id"] = note.id;
    o["notebookId"] = note.notebookId;
    o["body"] = note.body;
    o["createdAt"] = storageTimeText(note.createdAt);
    o["updatedAt"] = storageTimeText(note.updatedAt);
    o["modifiedAt"] = storageTimeText(note.modifiedAt);
    if (note.deletedAt)
        o["deletedAt"] = storageTimeText(*note.deletedAt);
    o["version"] = note.version;
    return o;
}

QJsonObject attachmentToJson(const Attachment &attachment)
{
    QJsonObject o;
    o["id"] = attachment.id;
    o["noteId"] = attachment.noteId;
    o["filename"] = attachment.filename;
    o["mimeType"] = attachment.mimeType;
    o["sizeBytes"] = double(attachment.sizeBytes);
    o["createdAt"] = storageTimeText(attachment.createdAt);
    return o;
}

QJsonObject snapshotToJson(const Snapshot &snapshot)
{
    QJsonObject o;
    o["id"] = snapshot.id;
    o["noteId"] = snapshot.noteId;
    o["version"] = snapshot.version;
    o["body"] = snapshot.body;
    o["createdAt"] = storageTimeText(snapshot.createdAt);
    return o;
}

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

bool holdsArchived(const Note &local, const Note &archived)
{
    return local.body == archived.body && local.notebookId == archived.notebookId
        && local.createdAt == archived.createdAt && local.updatedAt == archived.updatedAt
        && local.modifiedAt == archived.modifiedAt && local.deletedAt == archived.deletedAt
        && local.version == archived.version;
}

// The "*.json" files directly in folder, in name order. A folder that is
// missing (an older archive) gives none.
QStringList jsonFiles(const QString &folder)
{
    QStringList files;
    const QFileInfoList infos = QDir(folder).entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    for (const QFileInfo &info : infos)
        files.append(info.absoluteFilePath());
    return files;
}

// Absent, and counted as an error with its name, when the file is unreadable,
// too large or not a JSON object.
std::optional<QJsonObject> readObject(const QString &path, qint64 maxBytes, RestoreResult *result)
{
    QString problem;
    std::optional<QJsonObject> object = readJsonObjectFile(path, maxBytes, &problem);
    if (!object) {
        ++result->errors;
        qCWarning(lcIo) << "Restore: skipping" << QFileInfo(path).fileName() << problem;
    }
    return object;
}

// Ids name archive entries and stored files: only plain file names are taken.
bool isPlainId(const QString &id)
{
    return isSafeFileName(id);
}

// Streams each named attachment file of the archive into the attachments
// folder; existing files are never overwritten, unnamed ones never written.
void restoreAttachmentFiles(const QString &archivePath, const QSet<QString> &named, ExtractionBudget *budget,
                            RestoreResult *result)
{
    ArchiveReader reader(archivePath, ArchiveReader::Format::Zip);
    reader.setBudget(budget);
    if (!reader.open())
        return;
    ArchiveEntry entry;
    while (reader.next(&entry)) {
        const QString name = entry.path.section(QLatin1Char('/'), 1);
        if (!entry.path.startsWith(QLatin1String("attachments/")) || !isPlainId(name) || !named.contains(name))
            continue;
        const QString target = AttachmentRepository::filePath(name);
        if (QFile::exists(target))
            continue;
        QFile out(target);
        // NewOnly: never through a file or link that appeared meanwhile.
        const bool copied = out.open(QIODevice::WriteOnly | QIODevice::NewOnly) && reader.copyData(&out);
        out.close();
        if (!copied || out.error() != QFileDevice::NoError) {
            out.remove();
            ++result->errors;
            qCWarning(lcIo) << "Cannot restore attachment file" << name
                            << (reader.refusal().isEmpty() ? out.errorString() : reader.refusal());
        }
        if (reader.hasError())
            break;
    }
    if (reader.hasError()) {
        ++result->errors;
        qCWarning(lcIo) << "Restore: attachments not all read:" << reader.errorString();
    }
}

class Progress
{
public:
    Progress(const ProgressCallback &callback, int total)
        : m_callback(callback)
        , m_total(total)
    {
    }
    void step(const QString &label)
    {
        ++m_current;
        // Every item for small jobs; for large ones often enough to move the bar.
        if (m_callback && (m_total < 200 || m_current % 20 == 0 || m_current == m_total))
            m_callback(m_current, m_total, label);
    }
    void report(const QString &label) const
    {
        if (m_callback)
            m_callback(m_current, m_total, label);
    }

private:
    const ProgressCallback &m_callback;
    int m_total;
    int m_current = 0;
};

} // namespace

BackupResult createBackup(const QString &targetPath, const IoRepositories &repositories,
                          const ProgressCallback &progress)
{
    BackupResult result;
    if (!repositories.notes || !repositories.notebooks) {
        result.failed = true;
        result.error = BackupText::tr("Failed to create ZIP: %1").arg(QStringLiteral("no database"));
        return result;
    }

    // Each note and snapshot is written as it is read: no list of bodies is
    // ever held, whatever the size of the database.
    const QList<Notebook> notebooks = repositories.notebooks->allNotebooks();
    const int noteTotal = repositories.notes->liveCount() + repositories.notes->trashCount();

    // Only files a row names: a file left behind by an interrupted write is
    // no attachment, and restoring it would only take space.
    const QList<Attachment> attachments =
        repositories.attachments ? repositories.attachments->allAttachments() : QList<Attachment>();
    QFileInfoList attachmentFiles;
    if (repositories.attachments) {
        QSet<QString> named;
        for (const Attachment &attachment : attachments)
            named.insert(attachment.id);
        const QDir dir(Database::attachmentsDirectory());
        for (const QFileInfo &file : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
            if (named.contains(file.fileName()))
                attachmentFiles << file;
        }
    }

    Progress steps(progress, int(notebooks.size() + noteTotal + attachmentFiles.size()));
    steps.report(BackupText::tr("Preparing backup..."));

    ZipWriter zip(targetPath);
    const auto failed = [&result, &zip] {
        result.failed = true;
        result.noteCount = 0;
        result.error = zip.errorString().isEmpty() ? BackupText::tr("Failed to read the notes for the backup")
                                                   : BackupText::tr("Failed to create ZIP: %1").arg(zip.errorString());
        return result;
    };
    if (!zip.open())
        return failed();
    for (const char *folder : {"notebooks", "notes", "attachments", "attachmentRecords", "snapshots"}) {
        if (!zip.addDirectory(QLatin1String(folder)))
            return failed();
    }

    for (const Notebook &notebook : notebooks) {
        if (!zip.addFile(QStringLiteral("notebooks/%1.json").arg(notebook.id), indented(notebookToJson(notebook))))
            return failed();
        steps.step(BackupText::tr("Saving notebooks..."));
    }

    const QString savingNotes = BackupText::tr("Saving notes...");
    const bool notesWritten = repositories.notes->forEachNote([&](const Note &note) {
        if (!zip.addFile(QStringLiteral("notes/%1.json").arg(note.id), indented(noteToJson(note))))
            return false;
        ++result.noteCount;
        steps.step(savingNotes);
        return true;
    });
    if (!notesWritten)
        return failed();
    for (const Attachment &attachment : attachments) {
        if (!zip.addFile(QStringLiteral("attachmentRecords/%1.json").arg(attachment.id),
                         indented(attachmentToJson(attachment))))
            return failed();
    }
    if (repositories.snapshots && !repositories.snapshots->forEachSnapshot([&zip](const Snapshot &snapshot) {
            return zip.addFile(QStringLiteral("snapshots/%1.json").arg(snapshot.id), indented(snapshotToJson(snapshot)));
        }))
        return failed();

    for (const QFileInfo &file : std::as_const(attachmentFiles)) {
        if (!zip.addFileFromDisk(QStringLiteral("attachments/%1").arg(file.fileName()), file.absoluteFilePath()))
            return failed();
        steps.step(BackupText::tr("Saving attachments..."));
    }

    QJsonObject manifest;
    manifest["version"] = 1;
    manifest["exportedAt"] = storageTimeText(QDateTime::currentDateTimeUtc());
    manifest["noteCount"] = result.noteCount;
    manifest["notebookCount"] = int(notebooks.size());
    if (!zip.addFile(QStringLiteral("manifest.json"), indented(manifest)) || !zip.commit())
        return failed();
    qCInfo(lcIo) << "Backup saved:" << targetPath << result.noteCount << "notes";
    return result;
}

RestoreResult restoreBackup(const QString &archivePath, const IoRepositories &repositories, RestoreMode mode,
                            const ProgressCallback &progress, const ExtractionLimits &limits)
{
    RestoreResult result;
    const auto fatal = [&result](const QString &error) {
        result.errors = 1;
        result.error = error;
        qCWarning(lcIo) << "Restore failed:" << error;
        return result;
    };
    if (!repositories.notes || !repositories.notebooks)
        return fatal(BackupText::tr("Failed to extract backup"));

    QTemporaryDir temp;
    if (!temp.isValid())
        return fatal(BackupText::tr("Failed to create temp directory"));

    if (progress)
        progress(0, 0, BackupText::tr("Extracting backup..."));
    ExtractionBudget budget(limits, {temp.path(), Database::dataDirectory()}, archivePath);
    ArchiveReader reader(archivePath, ArchiveReader::Format::Zip);
    reader.setBudget(&budget);
    const QString attachmentsFolder = QStringLiteral("attachments/");
    // Attachment files come later, straight from the archive, and only those a record or note names.
    const int extracted = reader.open() ? reader.extractTo(temp.path(), [&progress](int current, int total, const QString &) {
        if (progress)
            progress(current, total, BackupText::tr("Extracting backup..."));
    }, [&attachmentsFolder](const QString &path) { return !path.startsWith(attachmentsFolder); }, limits.maxJsonBytes)
                                        : -1;
    if (extracted < 0)
        return fatal(BackupText::tr("Failed to extract backup"));
    const QDir root(temp.path());
    if (!QFile::exists(root.filePath(QStringLiteral("manifest.json"))))
        return fatal(BackupText::tr("No manifest.json found"));
    result.errors += reader.rejectedEntries();

    const QStringList notebookFiles = jsonFiles(root.filePath(QStringLiteral("notebooks")));
    const QStringList noteFiles = jsonFiles(root.filePath(QStringLiteral("notes")));
    const QStringList attachmentRecordFiles = repositories.attachments
        ? jsonFiles(root.filePath(QStringLiteral("attachmentRecords")))
        : QStringList();
    const QStringList snapshotFiles = repositories.snapshots ? jsonFiles(root.filePath(QStringLiteral("snapshots")))
                                                             : QStringList();
    for (const QString &problem : reader.problems())
        qCWarning(lcIo) << "Restore:" << problem;

    const int total = int(notebookFiles.size() + noteFiles.size() + 2 * attachmentRecordFiles.size()
                          + snapshotFiles.size());
    int current = 0;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    BulkWriteScope bulk(repositories, progress);
    const auto step = [&](const QString &label) { bulk.report(++current, total, label); };

    // Decides for an existing row; true when it should be overwritten.
    const auto overwrite = [mode](const QDateTime &local, const QDateTime &archived) {
        switch (mode) {
        case RestoreMode::SkipExisting:
            return false;
        case RestoreMode::Overwrite:
            return true;
        case RestoreMode::OverwriteOlder:
            return local < archived;
        }
        return false;
    };

    // An id met again in one archive is the same record: only its first file
    // is restored, so what the count says is what is stored.
    const auto seenBefore = [&result](QSet<QString> &seen, const QString &id) {
        if (!seen.contains(id)) {
            seen.insert(id);
            return false;
        }
        qCWarning(lcIo) << "Restore: a second record with id" << id << "skipped";
        ++result.skipped;
        return true;
    };
    QSet<QString> notebookIds;
    QSet<QString> noteIds;

    // Notebooks before notes, so notes find their notebooks.
    for (const QString &path : notebookFiles) {
        step(BackupText::tr("Restoring notebooks..."));
        const std::optional<QJsonObject> object = readObject(path, limits.maxJsonBytes, &result);
        if (!object)
            continue;
        const Notebook notebook = notebookFromJson(*object, now);
        if (!isPlainId(notebook.id)) {
            ++result.errors;
            continue;
        }
        if (seenBefore(notebookIds, notebook.id))
            continue;
        const std::optional<Notebook> local = repositories.notebooks->notebookById(notebook.id);
        bool ok = true;
        if (!local) {
            ok = repositories.notebooks->insert(notebook);
        } else if (overwrite(local->updatedAt, notebook.updatedAt)) {
            ok = repositories.notebooks->update(notebook);
        } else {
            ++result.skipped;
            continue;
        }
        if (ok) {
            bulk.countOnCommit(&result.imported);
            bulk.notebooksChanged();
        } else {
            ++result.errors;
        }
    }

    // Attachment rows are read first, so their files are known before any is unpacked.
    QList<Attachment> archivedAttachments;
    QSet<QString> namedFiles;
    for (const QString &path : attachmentRecordFiles) {
        step(BackupText::tr("Restoring attachments..."));
        const std::optional<QJsonObject> object = readObject(path, limits.maxJsonBytes, &result);
        if (!object)
            continue;
        const Attachment attachment = attachmentFromJson(*object, now);
        // The id names the stored file: anything that is not a plain file name is refused.
        if (!isPlainId(attachment.id) || attachment.noteId.isEmpty()) {
            ++result.errors;
            continue;
        }
        archivedAttachments.append(attachment);
        namedFiles.insert(attachment.id);
    }

    static const QRegularExpression attachmentLink(QStringLiteral("velmora-notes://attachment/([^\"\\\\\\s]+)"));
    for (const QString &path : noteFiles) {
        step(BackupText::tr("Restoring notes..."));
        const std::optional<QJsonObject> object = readObject(path, limits.maxJsonBytes, &result);
        if (!object)
            continue;
        const Note note = noteFromJson(*object, now);
        for (auto it = attachmentLink.globalMatch(note.body); it.hasNext();)
            namedFiles.insert(it.next().captured(1));
        if (!isPlainId(note.id)) {
            ++result.errors;
            continue;
        }
        if (seenBefore(noteIds, note.id))
            continue;
        const std::optional<Note> local = repositories.notes->noteById(note.id);
        bool ok = true;
        if (!local) {
            ok = repositories.notes->insert(note);
        } else if (overwrite(local->updatedAt, note.updatedAt)) {
            // A note that already holds everything the archive keeps of it is
            // left alone: rewriting it would cost a full index write and mark
            // it for upload again.
            if (!holdsArchived(*local, note))
                ok = repositories.notes->update(note);
        } else {
            ++result.skipped;
            continue;
        }
        if (ok) {
            bulk.countOnCommit(&result.imported);
            bulk.notesChanged();
        } else {
            ++result.errors;
        }
    }

    if (repositories.attachments) {
        restoreAttachmentFiles(archivePath, namedFiles, &budget, &result);
        // Attachment rows never change after insertion, so an existing one is kept in every mode.
        for (const Attachment &attachment : std::as_const(archivedAttachments)) {
            step(BackupText::tr("Restoring attachments..."));
            if (repositories.attachments->attachmentById(attachment.id))
                continue;
            // A row without its file would show a chip that can never open nor upload.
            if (!QFile::exists(repositories.attachments->filePath(attachment.id))) {
                ++result.errors;
                continue;
            }
            if (repositories.attachments->insert(attachment)) {
                bulk.countOnCommit(&result.attachmentsRestored);
                bulk.attachmentsChanged();
            } else {
                ++result.errors;
            }
        }
    }

    if (repositories.snapshots) {
        for (const QString &path : snapshotFiles) {
            step(BackupText::tr("Restoring version history..."));
            const std::optional<QJsonObject> object = readObject(path, limits.maxJsonBytes, &result);
            if (!object)
                continue;
            const Snapshot snapshot = snapshotFromJson(*object, now);
            if (!isPlainId(snapshot.id) || snapshot.noteId.isEmpty()) {
                ++result.errors;
                continue;
            }
            // A note has one snapshot per version, whatever its id.
            std::optional<Snapshot> local = repositories.snapshots->snapshotById(snapshot.id);
            if (!local) {
                const QList<Snapshot> existing = repositories.snapshots->snapshotsForNote(snapshot.noteId);
                for (const Snapshot &s : existing) {
                    if (s.version == snapshot.version)
                        local = s;
                }
            }
            if (local && !overwrite(local->createdAt, snapshot.createdAt))
                continue;
            if (repositories.snapshots->insert(snapshot))
                bulk.countOnCommit(&result.snapshotsRestored);
            else
                ++result.errors;
        }
    }

    bulk.finish();
    if (bulk.lostRows() > 0) {
        result.errors += bulk.lostRows();
        result.error = BackupText::tr("%1 rows were not saved: %2").arg(bulk.lostRows()).arg(bulk.commitError());
        qCWarning(lcIo) << "Restore:" << result.error;
    }
    qCInfo(lcIo) << "Restore finished:" << result.imported << "imported," << result.skipped << "skipped,"
                 << result.errors << "errors";
    return result;
}
