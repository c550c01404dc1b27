#pragma once

// A fresh data directory with its database and repositories, and small file
// and archive helpers, for the io tests.

#include "archivereader.h"
#include "attachmentrepository.h"
#include "database.h"
#include "iorepositories.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "snapshotrepository.h"
#include "zipwriter.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QUuid>

#include <memory>

namespace IoFiles {

// Empty path when the file could not be written.
inline QString write(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() ? path : QString();
}

inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file below root, relative to it, sorted.
inline QStringList tree(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

inline QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson();
}

// Every entry of a ZIP by path; empty when it cannot be read.
inline QMap<QString, QByteArray> readZip(const QString &path)
{
    QMap<QString, QByteArray> entries;
    ArchiveReader reader(path, ArchiveReader::Format::Zip);
    if (!reader.open())
        return entries;
    ArchiveEntry entry;
    while (reader.next(&entry))
        entries.insert(entry.path, reader.readData().value_or(QByteArray()));
    return entries;
}

// Empty path when the archive could not be written.
inline QString writeZip(const QString &path, const QMap<QString, QByteArray> &entries)
{
    ZipWriter zip(path);
    if (!zip.open())
        return {};
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        if (!zip.addFile(it.key(), it.value()))
            return {};
    }
    return zip.commit() ? path : QString();
}

} // namespace IoFiles

struct IoFixture
{
    std::unique_ptr<Database> database;
    std::unique_ptr<NoteRepository> notes;
    std::unique_ptr<NotebookRepository> notebooks;
    std::unique_ptr<AttachmentRepository> attachments;
    std::unique_ptr<SnapshotRepository> snapshots;
    int m_attachmentCount = 0;

    // Points NOTES_DATA_DIR at a new empty folder below root and opens a database there.
    static std::unique_ptr<IoFixture> create(const QString &root)
    {
        const QString dir = root + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces);
        qputenv("NOTES_DATA_DIR", dir.toUtf8());
        auto fixture = std::make_unique<IoFixture>();
        fixture->database = std::make_unique<Database>();
        if (!fixture->database->open(Database::defaultDatabasePath()) || !fixture->database->migrate())
            return nullptr;
        fixture->notes = std::make_unique<NoteRepository>(fixture->database.get());
        fixture->notebooks = std::make_unique<NotebookRepository>(fixture->database.get());
        fixture->attachments = std::make_unique<AttachmentRepository>(fixture->database.get());
        fixture->snapshots = std::make_unique<SnapshotRepository>(fixture->database.get());
        return fixture;
    }

    IoRepositories repositories() const
    {
        IoRepositories r;
        r.database = database.get();
        r.notes = notes.get();
        r.notebooks = notebooks.get();
        r.attachments = attachments.get();
        r.snapshots = snapshots.get();
        return r;
    }

    static QString newId() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

    // Times with milliseconds, as the database keeps them.
    static QDateTime at(int day, int msec = 0)
    {
        return QDateTime(QDate(2026, 3, day), QTime(10, 20, 30, msec), Qt::UTC);
    }

    Note addNote(const QString &body, const QString &notebookId = {}, int day = 1)
    {
        Note note;
        note.id = newId();
        note.notebookId = notebookId;
        note.body = body;
        note.createdAt = at(day);
        note.updatedAt = at(day, 500);
        note.modifiedAt = at(day, 500);
        notes->insert(note);
        return note;
    }

    Attachment addAttachment(const QString &noteId, const QString &filename, const QString &mimeType,
                             const QByteArray &bytes)
    {
        Attachment attachment;
        attachment.id = newId();
        attachment.noteId = noteId;
        attachment.filename = filename;
        attachment.mimeType = mimeType;
        attachment.sizeBytes = bytes.size();
        // Distinct times keep attachmentsForNote in insertion order.
        attachment.createdAt = at(2).addMSecs(++m_attachmentCount);
        attachments->saveFile(attachment.id, bytes);
        attachments->insert(attachment);
        return attachment;
    }
};
