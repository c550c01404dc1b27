#include "recoverystore.h"

#include "applog.h"
#include "note.h"
#include "noterepository.h"
#include "privatefiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>

namespace {
QString fileNameFor(const QString &noteId)
{
    // Ids are UUIDs, but a file name is never built from text it cannot trust.
    return QString::fromLatin1(QCryptographicHash::hash(noteId.toUtf8(), QCryptographicHash::Sha1).toHex().left(24))
        + QStringLiteral(".json");
}
} // namespace

RecoveryStore::RecoveryStore(const QString &dataDir)
{
    const QByteArray key = QCryptographicHash::hash(QDir::cleanPath(QDir(dataDir).absolutePath()).toUtf8(),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .left(16);
    m_folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/Velmora/Notes/recovery/") + QString::fromLatin1(key);
}

bool RecoveryStore::write(const QString &noteId, const QString &body) const
{
    if (!PrivateFiles::ensureFolder(m_folder, true)) {
        qCWarning(lcApp).noquote() << "Could not create the recovery folder" << m_folder;
        return false;
    }
    const QJsonObject record{{QStringLiteral("noteId"), noteId},
                             {QStringLiteral("body"), body},
                             {QStringLiteral("writtenAt"),
                              QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
    const QString path = m_folder + QLatin1Char('/') + fileNameFor(noteId);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcApp).noquote() << "Could not write the recovery file" << path << ":" << file.errorString();
        return false;
    }
    // Private before the first byte of the note lands in it.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = QJsonDocument(record).toJson(QJsonDocument::Compact);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(lcApp).noquote() << "Could not write the recovery file" << path << ":" << file.errorString();
        return false;
    }
    PrivateFiles::restrictFile(path);
    return true;
}

QList<RecoveryStore::Entry> RecoveryStore::entries() const
{
    QList<Entry> found;
    const QDir dir(m_folder);
    for (const QFileInfo &info : dir.entryInfoList({QStringLiteral("*.json")}, QDir::Files)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcApp).noquote() << "Could not read the recovery file" << info.filePath() << ":"
                                       << file.errorString();
            continue;
        }
        const QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
        Entry entry{record.value(QStringLiteral("noteId")).toString(), record.value(QStringLiteral("body")).toString(),
                    QDateTime::fromString(record.value(QStringLiteral("writtenAt")).toString(), Qt::ISODateWithMs),
                    info.filePath()};
        if (entry.body.isEmpty()) {
            qCWarning(lcApp).noquote() << "Skipping an unreadable recovery file" << info.filePath();
            continue;
        }
        found << entry;
    }
    std::sort(found.begin(), found.end(),
              [](const Entry &a, const Entry &b) { return a.writtenAt < b.writtenAt; });
    return found;
}

bool RecoveryStore::discard(const Entry &entry) const
{
    if (QFile::remove(entry.path) || !QFile::exists(entry.path))
        return true;
    qCWarning(lcApp).noquote() << "Could not remove the recovery file" << entry.path;
    return false;
}

int RecoveryStore::restoreInto(NoteRepository *notes) const
{
    if (!notes)
        return 0;
    int stored = 0;
    for (const Entry &entry : entries()) {
        std::optional<Note> note = entry.noteId.isEmpty() ? std::nullopt : notes->noteById(entry.noteId);
        bool ok = false;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (note && note->body == entry.body) {
            ok = true;
        } else if (note && !note->deletedAt && note->permission != QLatin1String("view")) {
            const QString stored = note->body;
            note->body = entry.body;
            note->updatedAt = note->modifiedAt = now;
            ok = notes->updateIfBodyIs(*note, stored) == NoteRepository::WriteResult::Written;
        } else {
            // Gone, trashed or no longer ours to change: the text comes back as a note of its own.
            Note fresh = Note::blank(QUuid::createUuid().toString(QUuid::WithoutBraces), QString());
            fresh.body = entry.body;
            ok = notes->insert(fresh);
        }
        if (ok) {
            ++stored;
            discard(entry);
            qCInfo(lcApp).noquote() << "Recovered unsaved text of the note" << entry.noteId;
        } else {
            qCWarning(lcApp).noquote() << "Could not store recovered text; keeping" << entry.path;
        }
    }
    return stored;
}
