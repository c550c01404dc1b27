#pragma once

#include "accountbinding.h"
#include "attachment.h"
#include "note.h"
#include "notebook.h"
#include "noterepository.h"
#include "pulledpage.h"
#include "syncrefusals.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

class AttachmentRepository;
class Database;
class NotebookRepository;
class PreferencesRepository;
namespace VelmAccount {
class ApiClient;
}

// Keeps the local database and the server in step. A cycle runs through the
// phases of Phase in order: it pushes what is pending (notebooks, notes in
// bounded batches with deletions of purged notes, attachment files) and then
// pulls what changed (notes page by page, notebooks, attachments). Requests go
// one at a time over the sync ApiClient; advance() alone moves from one phase
// to the next. cancel() ends a cycle wherever it is: the request in flight is
// aborted and nothing of the cycle is written after it, so what was pending
// stays pending. No pending edit is ever replaced silently: when the server
// holds a newer version of an edited note, the local text is kept as a
// conflict copy. Pulled pages are read and their texts extracted on a worker;
// the database is written here, on the GUI thread, from the prepared rows.
class SyncEngine final : public QObject
{
    Q_OBJECT
public:
    enum SyncState { Idle = 0, Syncing = 1, Error = 2, Offline = 3 };
    Q_ENUM(SyncState)
    // Where a cycle is; Idle between cycles.
    enum class Phase {
        Idle,
        MarkAll,         // after Force Full Resync: every note pending again, a slice at a time
        PushNotebooks,
        PushNotes,       // with the deletions of purged notes
        PushAttachments,
        PullNotes,       // page by page; may go back to PushNotes once for what a merge left pending
        PullNotebooks,
        PullAttachments, // the list, then the missing files
    };
    Q_ENUM(Phase)

    static constexpr int maxNotesPerPush = 200;
    static constexpr qsizetype maxBytesPerPush = 8 * 1024 * 1024;

    // None of the pointers is owned; all must outlive the engine.
    SyncEngine(VelmAccount::ApiClient *api, Database *database, NoteRepository *notes, NotebookRepository *notebooks,
               AttachmentRepository *attachments, PreferencesRepository *preferences, QObject *parent = nullptr);

    void syncNow();
    void start(int intervalMs);
    // No more cycles until started again; a cycle running is cancelled.
    void stop();
    // Ends the running cycle now: its request in flight is aborted, its
    // replies and prepared pages are dropped unread, nothing is written after
    // this returns and what was pending stays pending. Emits syncCancelled.
    void cancel();
    Phase phase() const { return m_phase; }
    // Changes the periodic interval (starting the timer if stopped) without syncing now.
    void setInterval(int intervalMs);
    // 0 while the periodic sync is stopped.
    int interval() const { return m_autoTimer.isActive() ? m_autoTimer.interval() : 0; }
    // A cycle delayMs after the last call, unless a shorter delay is pending.
    void scheduleSync(int delayMs = 2000);
    // A cycle is waiting for its delay to pass.
    bool isScheduled() const { return m_debounceTimer.isActive(); }
    // The server time of the last note pull; 0 before the first.
    qint64 pullCursor() const;
    // Uploads everything again and pulls from the start; returns the notes marked.
    int forceFullResync();
    // The server and account ("<server> <account id>") signed in now. The
    // pull positions and the notes of this database belong to it: another one
    // than last time pulls everything from the start, and the previous
    // account's notes stay bound to that account. Empty changes nothing.
    void setAccount(const QString &account);
    // Notes of another account, or never synced with any, that this account
    // was never asked about: until the user chooses, cycles upload nothing at
    // all (they still pull). Asked once per account and set of accounts.
    bool awaitsAccountChoice() const { return !m_others.isEmpty(); }
    // The user is asked only once a pull has brought back what the server
    // holds for this account: notes it lists are its own and never asked about.
    bool asksAccountChoice() const { return awaitsAccountChoice() && m_pulledForAccount; }
    int otherNotesCount() const { return int(m_others.noteIds.size()); }
    // They stay on this computer only: never sent to this account. Notes of
    // another account sync with it again when it signs in here.
    bool keepOtherNotesHere();
    // They become this account's: new ids, uploaded as new notes; the other
    // account's copies on the server stay. Emits notesMoved.
    bool uploadOtherNotes();
    // Notes kept away from the account signed in now (another account's, or
    // kept on this computer only).
    QSet<QString> unboundNoteIds() const { return m_binding.unboundNoteIds(); }

    SyncState state() const { return m_state; }
    QString lastError() const { return m_lastError; }
    // Notes the server refused for good, with the reason; each waits until it changes.
    QHash<QString, QString> refusedNotes() const { return m_refusals.notes(); }
    static QString stateText(SyncState state);

signals:
    void stateChanged(SyncEngine::SyncState state);
    void phaseChanged(SyncEngine::Phase phase);
    void syncCancelled();
    void syncCompleted();
    void syncFailed(const QString &error);
    void dataChanged();
    void syncProgress(const QString &label, int current, int total);
    void attachmentsChanged();
    // Emitted right before pulled notes are written: open editors store their
    // unsaved text now, so that it is pending and cannot be overwritten.
    void aboutToMerge();
    // Notes whose stored text a merge replaced; views showing them reload.
    void notesMerged(const QStringList &ids);
    // awaitsAccountChoice() or asksAccountChoice() may have changed.
    void accountChoiceChanged();
    // Notes moved into this account under new ids: old id -> new id.
    void notesMoved(const QHash<QString, QString> &ids);

private:
    // Preference keys of the pull cursors.
    static inline const QString kNoteCursor = QStringLiteral("lastSyncTimestampMs");
    static inline const QString kAttachmentCursor = QStringLiteral("lastAttachmentSyncMs");
    static inline const QString kAccount = QStringLiteral("syncAccount");
    // Per account, the accounts whose notes it chose to leave on this computer.
    static inline const QString kSettled = QStringLiteral("syncSettledAccounts");

    struct PushBatch
    {
        QList<QJsonObject> changes;
        QHash<QString, Note> sent; // by id; deletions are absent
    };

    // What the callbacks of a request hold instead of the engine: false
    // (!guard) once the engine is gone or the cycle that sent it has ended.
    class CycleGuard
    {
    public:
        explicit CycleGuard(SyncEngine *engine)
            : m_engine(engine)
            , m_cycle(engine->m_cycle)
        {
        }
        bool operator!() const { return !m_engine || m_engine->m_cycle != m_cycle || m_engine->m_phase == Phase::Idle; }

    private:
        QPointer<SyncEngine> m_engine;
        quint64 m_cycle;
    };
    CycleGuard cycleGuard() { return CycleGuard(this); }

    // The one place a cycle moves on: from the phase that has just ended to
    // the next one, which it starts; after the last, the cycle finishes.
    void advance();
    // Sets the phase and runs its first step.
    void enter(Phase phase);
    bool uploadsAllowed() const { return !awaitsAccountChoice() && !m_unbound; }
    void setState(SyncState state);
    // pulled: a full pull for the account signed in has just ended.
    void refreshOthers(bool pulled = false);
    void pulledForAccount();
    // message holds %1 for the status; status 0 means the server was not reached.
    void fail(const QString &message, int status);
    void finishCycle();


    void pushNotebooks();
    void pushNextNotebook();
    void markNotebookSynced(const Notebook &sent, int version);
    void createNotebookOnServer(const Notebook &notebook);
    void pushNotes();
    // The JSON of a push request: pure, run on a worker.
    static QByteArray pushRequest(const QList<QJsonObject> &changes);
    void sendPushBatch(const PushBatch &batch, const QByteArray &request);
    // Adds to m_building the next pending notes after m_pushAfter, sized from
    // their stored lengths, then deletions; false when its time ran out first.
    bool fillPushBatch();
    void pushNextBatch();
    void applyPushSlice();
    void applyPushResult(const PushBatch &batch, const QJsonObject &result);
    void markAllSlice();
    // Runs step on a later turn of the event loop, unless the cycle ended meanwhile.
    void later(void (SyncEngine::*step)());
    void collectAttachments();
    void pushNextAttachment();
    void pullNotes(const QString &since);
    // A page read on the worker, back on the GUI thread.
    void pulledPage(const PulledPage &page, const QString &since);
    // Writes the next slice of m_merge's rows; the last one moves the cursor.
    void mergeSlice();
    bool mergeRow(const PulledPage::Row &row, QStringList *replaced, int *changed);
    // local's pending edit and pulled's merged over their common base;
    // absent when there is no base or the two edits conflict.
    std::optional<Note> mergedNote(const Note &local, const Note &pulled) const;
    void pullNotebooks();
    void mergeNotebooks(const QJsonArray &list);
    int removeNotebooksGoneFromServer(const QSet<QString> &listed);
    void pullAttachments();
    void downloadNextAttachment();

    VelmAccount::ApiClient *m_api;
    Database *m_database;
    NoteRepository *m_notes;
    NotebookRepository *m_notebooks;
    AttachmentRepository *m_attachments;
    PreferencesRepository *m_preferences;
    AccountBinding m_binding;
    SyncRefusals m_refusals;
    QString m_account;
    AccountBinding::Others m_others;
    bool m_pulledForAccount = true; // a full pull ran since the account changed
    bool m_unbound = false; // the database could not be bound to the account: nothing is uploaded
    QTimer m_autoTimer;
    QTimer m_debounceTimer;
    SyncState m_state = Idle;
    SyncState m_stateBeforeCycle = Idle;
    Phase m_phase = Phase::Idle;
    quint64 m_cycle = 0; // grows with every cycle and cancel: replies of an older one are dropped
    QString m_lastError;
    QList<Notebook> m_pendingNotebooks;
    // The page being written, slice by slice.
    struct Merge
    {
        PulledPage page;
        QString since;
        qsizetype next = 0;
        bool written = true;
        int changed = 0;
        QStringList replaced;
    };
    // Long writes go in slices of about this long, each its own transaction,
    // so the window keeps turning between them.
    static constexpr int kSliceMs = 10;
    static constexpr int kMarkPerSlice = 100;
    Merge m_merge;
    // A push reply being written, slice by slice.
    struct Pushed
    {
        PushBatch batch;
        QJsonArray results;
        qsizetype next = 0;
    };
    Pushed m_pushed;
    PushBatch m_building; // the batch being filled
    qsizetype m_buildingBytes = 0;
    bool m_markAll = false; // Force Full Resync: the next cycle marks every note first
    qint64 m_markAfter = 0;
    QList<PushBatch> m_pushQueue;    // halves of a batch the server found too large
    qint64 m_pushAfter = 0;          // rowid of the last pending note batched
    QList<PendingDeletion> m_pushDeletions;
    int m_pushTotal = 0;
    int m_pushDone = 0;
    QList<Attachment> m_downloadQueue;
    int m_downloadTotal = 0;
    int m_downloadDone = 0;
    QList<Attachment> m_uploadQueue;
    int m_uploadTotal = 0;
    int m_uploadDone = 0;
    bool m_attachmentsSaved = false;
    bool m_attachmentFailed = false;
    qint64 m_attachmentTimestamp = 0;
    bool m_attachmentsHaveMore = false;
    bool m_pullRowFailed = false;
    bool m_resyncRequested = false;
    bool m_syncAfterBulkJob = false;
    bool m_pullLeftPending = false;   // a pull wrote a merged body or a conflict copy still to be pushed
    bool m_repushedInCycle = false; // this cycle pushed once more after a merge
    bool m_dataChangedInCycle = false;
};
