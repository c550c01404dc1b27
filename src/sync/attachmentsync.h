#pragma once

#include "attachment.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

class AttachmentRepository;
class NoteRepository;
class PreferencesRepository;
class SyncCycle;
class SyncRefusals;
namespace VelmAccount {
class ApiClient;
}

// The attachment phases of a sync cycle: pending files uploaded one at a
// time, then the server's list read page by page and the missing files
// downloaded. Each phase ends with SyncCycle::phaseDone; a failed file is
// logged and the cycle goes on (a refused upload is remembered as refused).
class AttachmentSync
{
    Q_DECLARE_TR_FUNCTIONS(AttachmentSync)
public:
    // Preference key of the list's pull cursor.
    static inline const QString kCursor = QStringLiteral("lastAttachmentSyncMs");

    // None of the pointers is owned; all must outlive this.
    AttachmentSync(VelmAccount::ApiClient *api, NoteRepository *notes, AttachmentRepository *attachments,
                   PreferencesRepository *preferences, SyncRefusals *refusals, SyncCycle *cycle);

    void push();
    // holdCursor: a note of this cycle was not written, so the files listed
    // now may belong to it: the list's cursor stays where it is.
    void pull(bool holdCursor);
    // Forgets the phase running (a cancel).
    void clear();
    // Files were downloaded by the last pull.
    bool saved() const { return m_saved; }

private:
    void pushNext();
    void pullPage();
    void downloadNext();
    void downloaded(const Attachment &attachment, bool ok, int status);

    VelmAccount::ApiClient *m_api;
    NoteRepository *m_notes;
    AttachmentRepository *m_attachments;
    PreferencesRepository *m_preferences;
    SyncRefusals *m_refusals;
    SyncCycle *m_cycle;
    QList<Attachment> m_uploadQueue;
    int m_uploadTotal = 0;
    int m_uploadDone = 0;
    QList<Attachment> m_downloadQueue;
    int m_downloadTotal = 0;
    int m_downloadDone = 0;
    bool m_saved = false;
    bool m_failed = false;
    bool m_holdCursor = false;
    qint64 m_timestamp = 0;
    bool m_haveMore = false;
};
