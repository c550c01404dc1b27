#include "backup.h"

#include "safefilename.h"
#include "archivereader.h"
#include "attachmentrepository.h"
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
