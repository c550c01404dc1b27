#pragma once

#include "attachment.h"
#include "note.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonObject>
#include <QString>

class AttachmentRepository;
class NoteRepository;
class PreferencesRepository;

// Changes the server refused for good, by kind and id ("note:<id>"), kept in
// the preferences: a refused note waits until its content changes, a refused
// file until it is synced some other way. Pure bookkeeping, no requests.
class SyncRefusals
{
    Q_DECLARE_TR_FUNCTIONS(SyncRefusals)
public:
    // None of the pointers is owned; all must outlive this.
    SyncRefusals(NoteRepository *notes, AttachmentRepository *attachments, PreferencesRepository *preferences);

    // Reads what another run or cycle stored.
    void load();
    bool isRefused(const Note &note) const;
    bool isRefused(const Attachment &attachment) const;
    void refuse(const Note &note, int status, const QString &message);
    void refuse(const Attachment &attachment, int status, const QString &message);
    // Notes refused, with the reason.
    QHash<QString, QString> notes() const;
    // Empty when nothing waits refused; drops refusals of notes changed or gone.
    QString summary();

private:
    static inline const QString kRefused = QStringLiteral("syncRefused");

    void save();

    NoteRepository *m_notes;
    AttachmentRepository *m_attachments;
    PreferencesRepository *m_preferences;
    QJsonObject m_refused;
};
