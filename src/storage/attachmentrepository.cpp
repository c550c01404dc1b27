#include "attachmentrepository.h"

#include "database.h"
#include "notesearchindex.h"
#include "sqlhelpers.h"
#include "storagelog.h"
#include "storagetime.h"

#include <QFile>
#include <QSqlError>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlQuery>

using namespace SqlHelpers;

namespace {

Attachment attachmentFromRow(const QSqlQuery &q)
{
    Attachment attachment;
    attachment.id = q.value("id").toString();
    attachment.noteId = q.value("note_id").toString();
    attachment.filename = q.value("filename").toString();
    attachment.mimeType = q.value("mime_type").toString();
    attachment.sizeBytes = q.value("size_bytes").toLongLong();
    attachment.createdAt = storageTimeFromText(q.value("created_at").toString());
    attachment.syncStatus = syncStatusFromString(q.value("sync_status").toString());
    return attachment;
}

bool isPlainFileName(const QString &id)
{
    return !id.isEmpty() && id != QLatin1String(".") && id != QLatin1String("..") && !id.contains(QLatin1Char('/'))
        && !id.contains(QLatin1Char('\\')) && !id.contains(QChar(0));
}

} // namespace

AttachmentRepository::AttachmentRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
    Q_ASSERT(m_database);
}

QString AttachmentRepository::filePath(const QString &id)
{
    if (!isPlainFileName(id))
        return QString();
    return Database::attachmentsDirectory() + QLatin1Char('/') + id;
}

bool AttachmentRepository::saveFile(const QString &id, const QByteArray &bytes)
{
    QFile file(filePath(id));
    // Imported records may share one file through hard links: writing in place
    // would change the others' data too, so the name gets a file of its own.
    QFile::remove(file.fileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::saveFile open failed:" << file.errorString();
        return false;
    }
    const qint64 written = file.write(bytes);
    file.close();
    if (written != bytes.size()) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::saveFile short write:"
                                       << QStringLiteral("%1/%2").arg(qMax<qint64>(written, 0)).arg(bytes.size());
        return false;
    }
    return true;
}

QByteArray AttachmentRepository::readFile(const QString &id) const
{
    QFile file(filePath(id));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool AttachmentRepository::insert(const Attachment &attachment)
{
    // The file name is searchable with the note's text.
    WriteScope write(m_database->database());
    QSqlQuery q(m_database->database());
    const bool ok = write.isOpen() && exec(q,
                         QStringLiteral("INSERT INTO attachments (id, note_id, filename, mime_type, size_bytes, "
                                        "created_at, sync_status) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                         {attachment.id, attachment.noteId, attachment.filename, attachment.mimeType,
                          QVariant::fromValue<qlonglong>(attachment.sizeBytes), storageTimeText(attachment.createdAt),
                          syncStatusToString(attachment.syncStatus)})
        && NoteSearchIndex::rewrite(m_database, attachment.noteId) && write.commit();
    if (!ok) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::insert failed:" << q.lastError().text();
        return false;
    }
    emit attachmentsChanged();
    return true;
}

QList<Attachment> AttachmentRepository::queryAttachments(const QString &sql, const QVariantList &values) const
{
    QList<Attachment> attachments;
    QSqlQuery q(m_database->database());
    if (!exec(q, sql, values))
        return attachments;
    while (q.next())
        attachments << attachmentFromRow(q);
    return attachments;
}

std::optional<Attachment> AttachmentRepository::attachmentById(const QString &id) const
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT * FROM attachments WHERE id = ?"), {id}) || !q.next())
        return std::nullopt;
    return attachmentFromRow(q);
}

QList<Attachment> AttachmentRepository::attachmentsForNote(const QString &noteId) const
{
    return queryAttachments(QStringLiteral("SELECT * FROM attachments WHERE note_id = ? ORDER BY created_at ASC"),
                            {noteId});
}

QList<Attachment> AttachmentRepository::pendingAttachments() const
{
    return queryAttachments(
        // EXISTS looks up each pending attachment's note; IN would list every
        // note of the account first, reading each body on the way.
        QStringLiteral("SELECT * FROM attachments a WHERE sync_status = 'pending' AND EXISTS (SELECT 1 FROM notes n "
                       "WHERE n.id = a.note_id AND n.account = '') ORDER BY created_at ASC"));
}

QList<Attachment> AttachmentRepository::allAttachments() const
{
    return queryAttachments(QStringLiteral("SELECT * FROM attachments ORDER BY created_at ASC"));
}

bool AttachmentRepository::markSynced(const QString &id)
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("UPDATE attachments SET sync_status = 'synced' WHERE id = ?"), {id})) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::markSynced failed:" << q.lastError().text();
        return false;
    }
    return true;
}

bool AttachmentRepository::deleteById(const QString &id)
{
    const QString path = filePath(id);
    if (!path.isEmpty())
        QFile::remove(path);
    const std::optional<Attachment> attachment = attachmentById(id);
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("DELETE FROM attachments WHERE id = ?"), {id})) {
        qCWarning(lcStorage).noquote() << "AttachmentRepository::deleteById failed:" << q.lastError().text();
        return false;
    }
    if (attachment)
        NoteSearchIndex::rewrite(m_database, attachment->noteId);
    emit attachmentsChanged();
    return true;
}

bool AttachmentRepository::deleteForNotes(const QStringList &noteIds)
{
    if (noteIds.isEmpty())
        return true;
    const QString ids =
        QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(noteIds)).toJson(QJsonDocument::Compact));
    bool allDeleted = true;
    const QList<Attachment> attachments = queryAttachments(
        QStringLiteral("SELECT * FROM attachments WHERE note_id IN (SELECT value FROM json_each(?))"), {ids});
    for (const Attachment &attachment : attachments)
        allDeleted = deleteById(attachment.id) && allDeleted;
    return allDeleted;
}

bool AttachmentRepository::deleteForNote(const QString &noteId)
{
    bool allDeleted = true;
    const QList<Attachment> attachments = attachmentsForNote(noteId);
    for (const Attachment &attachment : attachments)
        allDeleted = deleteById(attachment.id) && allDeleted;
    return allDeleted;
}
