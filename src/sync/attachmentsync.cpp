#include "attachmentsync.h"

#include "apiclient.h"
#include "attachmentrepository.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "synccycle.h"
#include "synclog.h"
#include "syncrefusals.h"
#include "syncrecords.h"

#include <QFile>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

using namespace VelmSync;

namespace {

QString replyError(const QJsonObject &body)
{
    return body.value(QLatin1String("error")).toString();
}

QHttpPart formPart(const QByteArray &disposition, const QByteArray &body)
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader, disposition);
    part.setBody(body);
    return part;
}

} // namespace

AttachmentSync::AttachmentSync(VelmAccount::ApiClient *api, NoteRepository *notes, AttachmentRepository *attachments,
                               PreferencesRepository *preferences, SyncRefusals *refusals, SyncCycle *cycle)
    : m_api(api)
    , m_notes(notes)
    , m_attachments(attachments)
    , m_preferences(preferences)
    , m_refusals(refusals)
    , m_cycle(cycle)
{
}

void AttachmentSync::clear()
{
    m_uploadQueue.clear();
    m_downloadQueue.clear();
    m_haveMore = false;
}

void AttachmentSync::push()
{
    m_uploadQueue = m_attachments->pendingAttachments();
    m_uploadQueue.removeIf([this](const Attachment &attachment) { return m_refusals->isRefused(attachment); });
    m_uploadTotal = int(m_uploadQueue.size());
    m_uploadDone = 0;
    if (m_uploadTotal > 0)
        emit m_cycle->progress(tr("Uploading attachments"), 0, m_uploadTotal);
    pushNext();
}

void AttachmentSync::pushNext()
{
    if (m_uploadQueue.isEmpty())
        return m_cycle->phaseDone();
    const Attachment attachment = m_uploadQueue.takeFirst();
    const QString path = AttachmentRepository::filePath(attachment.id);
    auto file = std::make_unique<QFile>(path);
    if (path.isEmpty() || !file->open(QIODevice::ReadOnly)) {
        m_refusals->refuse(attachment, 404, QStringLiteral("file missing: ") + path);
        emit m_cycle->progress(tr("Uploading attachments"), ++m_uploadDone, m_uploadTotal);
        return pushNext();
    }
    auto *multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    multipart->append(formPart("form-data; name=\"note_id\"", attachment.noteId.toUtf8()));
    multipart->append(formPart("form-data; name=\"id\"", attachment.id.toUtf8()));
    const QByteArray name = safeFileName(attachment.filename).toUtf8();
    // Sent from the file as the request goes out: never read whole into memory.
    QHttpPart filePart;
    filePart.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"file\"; filename=\"" + name + "\"");
    filePart.setHeader(QNetworkRequest::ContentTypeHeader, attachment.mimeType.isEmpty()
                                                               ? QStringLiteral("application/octet-stream")
                                                               : attachment.mimeType);
    filePart.setBodyDevice(file.get());
    file.release()->setParent(multipart);
    multipart->append(filePart);
    const SyncCycle::Guard self = m_cycle->guard();
    m_api->postMultipart(QStringLiteral("/attachments"), multipart,
                         [this, self, attachment](bool ok, int status, const QJsonObject &body) {
                             if (!self)
                                 return;
                             emit m_cycle->progress(tr("Uploading attachments"), ++m_uploadDone, m_uploadTotal);
                             const bool retry = uploadWorthRetrying(status);
                             if (ok) {
                                 m_attachments->markSynced(attachment.id);
                                 m_cycle->setDataChanged();
                             } else if (retry) {
                                 qCWarning(lcSync) << "attachment upload failed" << attachment.id << status;
                             } else {
                                 // Kept pending: it stays on this device and is shown, not sent again.
                                 m_refusals->refuse(attachment, status, replyError(body));
                             }
                             pushNext();
                         });
}

void AttachmentSync::pull(bool holdCursor)
{
    m_holdCursor = holdCursor;
    pullPage();
}

void AttachmentSync::pullPage()
{
    emit m_cycle->progress(tr("Checking attachments"), 0, 0);
    QUrlQuery query;
    const QString since = m_preferences->getString(kCursor);
    if (!since.isEmpty())
        query.addQueryItem(QStringLiteral("since"), since);
    const SyncCycle::Guard self = m_cycle->guard();
    const bool nextPage = m_haveMore;
    m_api->get(
        QStringLiteral("/attachments"),
        [this, self, nextPage](bool ok, int status, const QJsonObject &body) {
            if (!self)
                return;
            if (!ok) {
                qCWarning(lcSync) << "attachment list failed" << status;
                m_haveMore = false;
                return m_cycle->phaseDone();
            }
            m_downloadQueue.clear();
            for (const QJsonValue &value : body.value("attachments").toArray()) {
                const Attachment attachment = attachmentFromPull(value.toObject());
                // The note was purged or never reached this device: its rows could not be stored.
                if (!m_notes->noteById(attachment.noteId))
                    continue;
                if (m_attachments->attachmentById(attachment.id)
                    && QFile::exists(AttachmentRepository::filePath(attachment.id)))
                    continue;
                m_downloadQueue.append(attachment);
            }
            m_timestamp = body.value("timestamp").toInteger();
            // A long list comes in pages; the next is asked for once this one is stored.
            m_haveMore = body.value("has_more").toBool();
            m_downloadTotal = int(m_downloadQueue.size());
            m_downloadDone = 0;
            if (!nextPage)
                m_saved = false;
            m_failed = false;
            if (m_downloadTotal > 0)
                emit m_cycle->progress(tr("Downloading attachments"), 0, m_downloadTotal);
            // It may write the cursor: a step, under the cycle's lock.
            m_cycle->later([this] { downloadNext(); });
        },
        query);
}

void AttachmentSync::downloadNext()
{
    if (m_downloadQueue.isEmpty()) {
        // A file that did not arrive is listed again only if the cursor stays before it.
        const QString since = m_preferences->getString(kCursor);
        const bool advanced = m_timestamp > 0 && !m_failed && !m_holdCursor
            && m_timestamp > since.toLongLong();
        if (advanced)
            m_preferences->set(kCursor, QString::number(m_timestamp));
        // A page that did not move the cursor would only come back the same.
        if (m_haveMore && advanced)
            return pullPage();
        m_haveMore = false;
        return m_cycle->phaseDone();
    }
    const Attachment attachment = m_downloadQueue.takeFirst();
    const QString path = AttachmentRepository::filePath(attachment.id);
    if (path.isEmpty()) {
        qCWarning(lcSync) << "attachment save failed" << attachment.id;
        m_failed = true;
        emit m_cycle->progress(tr("Downloading attachments"), ++m_downloadDone, m_downloadTotal);
        return downloadNext();
    }
    const SyncCycle::Guard self = m_cycle->guard();
    // Written to disk as it arrives and put in place only when complete and intact.
    // A listing without a size (older servers) is checked by its digest alone.
    m_api->download(QStringLiteral("/attachments/%1").arg(attachment.id), path,
                    attachment.sizeBytes > 0 ? attachment.sizeBytes : -1,
                     [this, self, attachment](bool ok, int status, qint64) {
                         if (!self)
                             return;
                         // The row is written in a step, under the cycle's lock.
                         m_cycle->later([this, attachment, ok, status] { downloaded(attachment, ok, status); });
                     });
}

void AttachmentSync::downloaded(const Attachment &attachment, bool ok, int status)
{
    emit m_cycle->progress(tr("Downloading attachments"), ++m_downloadDone, m_downloadTotal);
    if (!ok) {
        qCWarning(lcSync) << "attachment download failed" << attachment.id << status;
        // Gone from the server or no longer readable: asking again will not help.
        m_failed = m_failed || status != 404;
    } else if (!m_attachments->attachmentById(attachment.id) && !m_attachments->insert(attachment)) {
        qCWarning(lcSync) << "attachment save failed" << attachment.id;
        m_failed = true;
    } else {
        m_saved = true;
    }
    downloadNext();
}
