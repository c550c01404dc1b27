#pragma once

#include "attachment.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class Database;

// Attachment metadata in the attachments table and the bytes in one file per
// attachment, named by its id, in the attachments directory. Holds a
// non-owning pointer to the Database, which must outlive it. GUI thread only;
// file access is synchronous.
class AttachmentRepository final : public QObject
{
    Q_OBJECT
public:
    explicit AttachmentRepository(Database *database, QObject *parent = nullptr);

    // Attachments directory (created if missing) + "/" + id. Ids arrive from
    // the server too, so an id that is not a plain file name (empty, "." or
    // "..", or holding a path separator) has no path: the result is empty and
    // no file outside the directory is ever touched.
    static QString filePath(const QString &id);

    // True only when every byte was written; empty bytes make an empty file.
    bool saveFile(const QString &id, const QByteArray &bytes);
    // Empty when the file cannot be opened.
    QByteArray readFile(const QString &id) const;

    bool insert(const Attachment &attachment);
    std::optional<Attachment> attachmentById(const QString &id) const;
    QList<Attachment> attachmentsForNote(const QString &noteId) const; // oldest first
    QList<Attachment> pendingAttachments() const;                       // oldest first
    QList<Attachment> allAttachments() const;                           // oldest first
    bool markSynced(const QString &id);
    // Removes the file, then the row; emits attachmentsChanged for the row.
    bool deleteById(const QString &id);
    // deleteById for each attachment of the note, continuing after failures;
    // true when all succeeded (also when there were none).
    bool deleteForNote(const QString &noteId);
    // The same for many notes, in one query.
    bool deleteForNotes(const QStringList &noteIds);

signals:
    void attachmentsChanged();

private:
    QList<Attachment> queryAttachments(const QString &sql, const QVariantList &values = {}) const;

    Database *m_database;
};
