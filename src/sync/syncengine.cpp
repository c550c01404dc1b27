#include "syncengine.h"

#include "apiclient.h"
#include "database.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "synclog.h"

#include <utility>

SyncEngine::SyncEngine(VelmAccount::ApiClient *api, Database *database, NoteRepository *notes,
                       NotebookRepository *notebooks, AttachmentRepository *attachments,
                       PreferencesRepository *preferences, QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_database(database)
    , m_notes(notes)
    , m_notebooks(notebooks)
    , m_preferences(preferences)
    , m_binding(database)
    , m_refusals(notes, attachments, preferences)
    , m_notePusher(api, database, notes, &m_refusals, &m_cycle)
    , m_pullMerger(api, database, notes, notebooks, preferences, &m_binding, &m_cycle)
    , m_notebookSync(api, database, notes, notebooks, &m_binding, &m_cycle)
    , m_attachmentSync(api, notes, attachments, preferences, &m_refusals, &m_cycle)
{
    m_debounceTimer.setSingleShot(true);
    m_debounceTimer.setInterval(2000);
    m_refusals.load();
    // The background fill writes search rows between the cycle's steps, never during one.
    m_cycle.setLock(database->fillLock());
    connect(&m_cycle, &SyncCycle::phaseDone, this, &SyncEngine::advance);
    connect(&m_cycle, &SyncCycle::failed, this, &SyncEngine::fail);
    connect(&m_cycle, &SyncCycle::progress, this, &SyncEngine::syncProgress);
    connect(&m_pullMerger, &PullMerger::aboutToMerge, this, &SyncEngine::aboutToMerge);
    connect(&m_pullMerger, &PullMerger::notesMerged, this, &SyncEngine::notesMerged);
    connect(&m_autoTimer, &QTimer::timeout, this, &SyncEngine::syncNow);
    connect(&m_debounceTimer, &QTimer::timeout, this, &SyncEngine::syncNow);
    // An import or restore is the only writer while it runs: a cycle's writes
    // would be refused mid-way. It waits, and runs after.
    connect(m_database, &Database::bulkJobChanged, this, [this](bool running) {
        if (running && m_phase != Phase::Idle) {
            cancel();
            m_syncAfterBulkJob = true;
        } else if (!running && std::exchange(m_syncAfterBulkJob, false)) {
            syncNow();
        }
    });
    connect(m_api, &VelmAccount::ApiClient::authenticationRequired, this, [this] {
        m_lastError = tr("Authentication required");
        setState(Error);
        emit syncFailed(m_lastError);
    });
}

QString SyncEngine::stateText(SyncState state)
{
    switch (state) {
    case Idle: return tr("Synced");
    case Syncing: return tr("Syncing...");
    case Error: return tr("Sync error");
    case Offline: return tr("Offline");
    }
    return tr("Unknown");
}

void SyncEngine::syncNow()
{
    if (m_database->bulkJobRunning()) {
        m_syncAfterBulkJob = true;
        return;
    }
    if (m_phase != Phase::Idle) {
        m_resyncRequested = true;
        return;
    }
    m_cycle.begin();
    m_pullMerger.reset();
    m_repushedInCycle = false;
    m_refusals.load();
    m_stateBeforeCycle = m_state;
    setState(Syncing);
    advance();
}

void SyncEngine::start(int intervalMs)
{
    m_autoTimer.start(intervalMs);
    syncNow();
}

void SyncEngine::stop()
{
    m_autoTimer.stop();
    m_debounceTimer.stop();
    cancel();
}

void SyncEngine::cancel()
{
    m_resyncRequested = false;
    if (m_phase == Phase::Idle)
        return;
    qCInfo(lcSync) << "sync cancelled in" << m_phase;
    // Every reply, refresh and prepared page of this cycle now finds its guard false.
    m_cycle.begin();
    m_api->abortAll();
    m_notePusher.clear();
    m_pullMerger.clear();
    m_notebookSync.clear();
    m_attachmentSync.clear();
    enter(Phase::Idle);
    // The cycle neither succeeded nor failed: the state it started from stands.
    setState(m_stateBeforeCycle == Syncing ? Idle : m_stateBeforeCycle);
    emit syncCancelled();
}

void SyncEngine::advance()
{
    Phase next = Phase::Idle;
    switch (m_phase) {
    case Phase::Idle:
    case Phase::MarkAll:
        if (m_phase == Phase::Idle && m_notePusher.marksAll()) {
            next = Phase::MarkAll;
            break;
        }
        if (m_phase == Phase::MarkAll)
            emit resyncMarked(m_notePusher.marked());
        next = uploadsAllowed() ? Phase::PushNotebooks : Phase::PullNotes;
        if (next == Phase::PullNotes)
            qCInfo(lcSync) << "nothing uploaded until the notes of another account are settled";
        break;
    case Phase::PushNotebooks: next = Phase::PushNotes; break;
    case Phase::PushNotes: next = Phase::PushAttachments; break;
    case Phase::PushAttachments: next = Phase::PullNotes; break;
    case Phase::PullNotes:
        next = Phase::PullNotebooks;
        // Merged bodies and conflict copies go out in this cycle, so the
        // other devices see them without waiting for the next one; once.
        if (m_pullMerger.takeLeftPending() && uploadsAllowed()) {
            if (!m_repushedInCycle) {
                m_repushedInCycle = true;
                next = Phase::PushNotes;
            } else {
                m_resyncRequested = true;
            }
        }
        break;
    case Phase::PullNotebooks: next = Phase::PullAttachments; break;
    case Phase::PullAttachments:
        enter(Phase::Idle);
        return finishCycle();
    }
    enter(next);
}

void SyncEngine::enter(Phase phase)
{
    m_phase = phase;
    m_cycle.setRunning(phase != Phase::Idle);
    emit phaseChanged(phase);
    // A receiver may have cancelled or failed the cycle already.
    if (m_phase != phase)
        return;
    switch (phase) {
    case Phase::Idle: return;
    case Phase::MarkAll: return m_notePusher.markAll();
    case Phase::PushNotebooks: return m_notebookSync.push();
    case Phase::PushNotes: return m_notePusher.push();
    case Phase::PushAttachments: return m_attachmentSync.push();
    case Phase::PullNotes: return m_pullMerger.pull();
    case Phase::PullNotebooks: return m_notebookSync.pull();
    case Phase::PullAttachments: return m_attachmentSync.pull(m_pullMerger.rowFailed());
    }
}

void SyncEngine::setInterval(int intervalMs)
{
    m_autoTimer.start(intervalMs);
}

void SyncEngine::scheduleSync(int delayMs)
{
    // A sooner cycle already asked for is not put off by a later request.
    if (m_debounceTimer.isActive() && m_debounceTimer.interval() < delayMs)
        return;
    m_debounceTimer.start(delayMs);
}

qint64 SyncEngine::pullCursor() const
{
    return m_preferences->get(PullMerger::kCursor).value_or(QString()).toLongLong();
}

void SyncEngine::forceFullResync()
{
    const bool wasActive = m_autoTimer.isActive();
    m_autoTimer.stop();
    m_preferences->remove(PullMerger::kCursor);
    m_preferences->remove(AttachmentSync::kCursor);
    // Marking reads and rewrites every row: the next cycle does it in slices,
    // and says with resyncMarked how many it marked.
    m_notePusher.requestMarkAll();
    m_notebooks->markAllPending();
    if (wasActive)
        m_autoTimer.start();
    syncNow();
}

void SyncEngine::setState(SyncState state)
{
    if (m_state == state && state != Error)
        return;
    m_state = state;
    emit stateChanged(state);
}

void SyncEngine::fail(const QString &message, int status)
{
    enter(Phase::Idle);
    m_lastError = message.arg(status);
    qCWarning(lcSync).noquote() << "sync failed:" << m_lastError;
    setState(status == 0 ? Offline : Error);
    emit syncFailed(m_lastError);
}

void SyncEngine::finishCycle()
{
    pulledForAccount();
    if (m_attachmentSync.saved())
        emit attachmentsChanged();
    const QString refused = m_refusals.summary();
    if (refused.isEmpty()) {
        setState(Idle);
    } else {
        m_lastError = refused;
        setState(Error);
    }
    emit syncCompleted();
    if (m_cycle.dataChanged())
        emit dataChanged();
    if (m_resyncRequested) {
        m_resyncRequested = false;
        syncNow();
    }
}

