// Changes the server refuses for good: remembered, shown, not sent again until they change.
#include "syncengine.h"

#include "attachmentrepository.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "synclog.h"
#include "syncrecords.h"

#include <QCryptographicHash>
#include <QJsonDocument>

using namespace VelmSync;

namespace {

QString fingerprint(const Note &note)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(QJsonDocument(noteChange(note)).toJson(QJsonDocument::Compact), QCryptographicHash::Sha1)
            .toHex());
}

QString noteKey(const QString &id)
{
    return QStringLiteral("note:") + id;
}

QString attachmentKey(const QString &id)
{
    return QStringLiteral("attachment:") + id;
}

QString reasonText(int status)
{
    switch (status) {
    case 413: return SyncEngine::tr("too large");
    case 400:
    case 422: return SyncEngine::tr("content the server cannot store");
    case 403: return SyncEngine::tr("read-only");
    case 404: return SyncEngine::tr("no longer available");
    default: return SyncEngine::tr("refused by the server");
    }
}

} // namespace

void SyncEngine::loadRefused()
{
    m_refused = QJsonDocument::fromJson(m_preferences->getString(kRefused).toUtf8()).object();
}

void SyncEngine::saveRefused()
{
    if (m_refused.isEmpty())
        m_preferences->remove(kRefused);
    else
        m_preferences->set(kRefused, QString::fromUtf8(QJsonDocument(m_refused).toJson(QJsonDocument::Compact)));
}

bool SyncEngine::isRefused(const Note &note) const
{
    // Serialised only when it was refused once: not twice for every note pushed.
    const auto refused = m_refused.constFind(noteKey(note.id));
    return refused != m_refused.constEnd()
        && refused->toObject().value("fingerprint").toString() == fingerprint(note);
}

bool SyncEngine::isRefused(const Attachment &attachment) const
{
    return m_refused.contains(attachmentKey(attachment.id));
}

void SyncEngine::refuse(const Note &note, int status, const QString &message)
{
    const QString reason = reasonText(status);
    qCWarning(lcSync).noquote() << "note not synced:" << reason << note.id << "(HTTP" << status << message << ")";
    m_refused.insert(noteKey(note.id), QJsonObject{{"fingerprint", fingerprint(note)}, {"reason", reason}});
    saveRefused();
}

void SyncEngine::refuse(const Attachment &attachment, int status, const QString &message)
{
    const QString reason = reasonText(status);
    qCWarning(lcSync).noquote() << "attachment not synced:" << reason << attachment.id << "(HTTP" << status << message
                                << ")";
    m_refused.insert(attachmentKey(attachment.id), QJsonObject{{"reason", reason}});
    saveRefused();
}

QHash<QString, QString> SyncEngine::refusedNotes() const
{
    QHash<QString, QString> notes;
    for (auto it = m_refused.constBegin(); it != m_refused.constEnd(); ++it) {
        if (it.key().startsWith(QLatin1String("note:")))
            notes.insert(it.key().mid(5), it.value().toObject().value("reason").toString());
    }
    return notes;
}

QString SyncEngine::refusedSummary()
{
    QString noteReason, fileReason;
    int notes = 0, files = 0;
    bool pruned = false;
    const auto count = [](const QString &r, QString *reason, int *n) {
        *reason = *n == 0 || r == *reason ? r : tr("refused by the server");
        ++*n;
    };
    for (auto it = m_refused.begin(); it != m_refused.end();) {
        const QString reason = it.value().toObject().value("reason").toString();
        bool waiting = false;
        if (it.key().startsWith(QLatin1String("note:"))) {
            const std::optional<Note> note = m_notes->noteById(it.key().mid(5));
            waiting = note && note->syncStatus != SyncStatus::Synced && isRefused(*note);
            if (waiting)
                count(reason, &noteReason, &notes);
        } else {
            const std::optional<Attachment> file = m_attachments->attachmentById(it.key().mid(11));
            waiting = file && file->syncStatus != SyncStatus::Synced;
            if (waiting)
                count(reason, &fileReason, &files);
        }
        if (waiting) {
            ++it;
        } else {
            it = m_refused.erase(it);
            pruned = true;
        }
    }
    if (pruned)
        saveRefused();
    if (notes > 0)
        return notes == 1 ? tr("1 note not synced: %1").arg(noteReason)
                          : tr("%1 notes not synced: %2").arg(notes).arg(noteReason);
    if (files > 0)
        return files == 1 ? tr("1 file not synced: %1").arg(fileReason)
                          : tr("%1 files not synced: %2").arg(files).arg(fileReason);
    return {};
}

bool SyncEngine::removeLocally(const QString &id)
{
    if (!m_notes->noteById(id))
        return true;
    // A purge records a deletion for the server; this one came from there.
    return m_notes->purge(id) && m_notes->syncState().clearPendingDeletion(id);
}
