#pragma once

#include "accountbinding.h"
#include "attachmentsync.h"
#include "notebooksync.h"
#include "notepusher.h"
#include "pullmerger.h"
#include "synccycle.h"
#include "syncrefusals.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

class AttachmentRepository;
class Database;
class NotebookRepository;
class NoteRepository;
class PreferencesRepository;
namespace VelmAccount {
class ApiClient;
}

// Keeps the local database and the server in step. A cycle runs through the
// phases of Phase in order: it pushes what is pending (notebooks, notes in
// bounded batches with deletions of purged notes, attachment files) and then
// pulls what changed (notes page by page, notebooks, attachments). Requests go
// one at a time over the sync ApiClient. Each phase is run by a part
// (NotePusher, PullMerger, NotebookSync, AttachmentSync) that reports back
// through the SyncCycle; advance() alone moves from one phase to the next.
// cancel() ends a cycle wherever it is: the request in flight is aborted and
// nothing of the cycle is written after it, so what was pending stays
// pending. No pending edit is ever replaced silently: when the server holds a
// newer version of an edited note, the local text is kept as a conflict copy.
// Every part writes the database on the GUI thread, the engine's.
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

    static constexpr int maxNotesPerPush = NotePusher::maxNotesPerPush;
    static constexpr qsizetype maxBytesPerPush = NotePusher::maxBytesPerPush;

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
    // Uploads everything again and pulls from the start; the cycle's marking
    // reports with resyncMarked.
    void forceFullResync();
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
    // A Force Full Resync marked this many notes to be uploaded again.
    void resyncMarked(int notes);

private:
    static inline const QString kAccount = QStringLiteral("syncAccount");
    // Per account, the accounts whose notes it chose to leave on this computer.
    static inline const QString kSettled = QStringLiteral("syncSettledAccounts");

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

    VelmAccount::ApiClient *m_api;
    Database *m_database;
    NoteRepository *m_notes;
    NotebookRepository *m_notebooks;
    PreferencesRepository *m_preferences;
    AccountBinding m_binding;
    // The parts of a cycle report to it; it runs only while a phase does.
    SyncCycle m_cycle;
    SyncRefusals m_refusals;
    NotePusher m_notePusher;
    PullMerger m_pullMerger;
    NotebookSync m_notebookSync;
    AttachmentSync m_attachmentSync;
    QString m_account;
    AccountBinding::Others m_others;
    bool m_pulledForAccount = true; // a full pull ran since the account changed
    bool m_unbound = false; // the database could not be bound to the account: nothing is uploaded
    QTimer m_autoTimer;
    QTimer m_debounceTimer;
    SyncState m_state = Idle;
    SyncState m_stateBeforeCycle = Idle;
    Phase m_phase = Phase::Idle;
    QString m_lastError;
    bool m_resyncRequested = false;
    bool m_syncAfterBulkJob = false;
    bool m_repushedInCycle = false; // this cycle pushed once more after a merge
};
