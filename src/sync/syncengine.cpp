#include "syncengine.h"

#include "apiclient.h"
#include "attachmentrepository.h"
#include "database.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "relaxedsync.h"
#include "synclog.h"
#include "syncrecords.h"
#include "wireprotocol.h"

#include <QFile>
#include <QFutureWatcher>
#include <QTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QSet>
#include <QSignalBlocker>
#include <QSqlDatabase>
#include <QtConcurrent>

#include <algorithm>
#include <utility>

using namespace VelmSync;

SyncEngine::SyncEngine(VelmAccount::ApiClient *api, Database *database, NoteRepository *notes,
                       NotebookRepository *notebooks, AttachmentRepository *attachments,
                       PreferencesRepository *preferences, QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_database(database)
    , m_notes(notes)
    , m_notebooks(notebooks)
    , m_attachments(attachments)
    , m_preferences(preferences)
    , m_binding(database)
{
    m_debounceTimer.setSingleShot(true);
    m_debounceTimer.setInterval(2000);
    loadRefused();
    connect(&m_autoTimer, &QTimer::timeout, this, &SyncEngine::syncNow);
    connect(&m_debounceTimer, &QTimer::timeout, this, &SyncEngine::syncNow);
    // An import or restore holds its transaction between turns: a cycle
    // writing meanwhile would be rolled back with it. It waits, and runs after.
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
    ++m_cycle;
    m_dataChangedInCycle = false;
    m_pullRowFailed = false;
    m_pullLeftPending = false;
    m_repushedInCycle = false;
    loadRefused();
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
    ++m_cycle;
    m_api->abortAll();
    m_pendingNotebooks.clear();
    m_pushQueue.clear();
    m_pushDeletions.clear();
    m_uploadQueue.clear();
    m_downloadQueue.clear();
    m_attachmentsHaveMore = false;
    m_merge = Merge();
    m_pushed = Pushed();
    m_building = PushBatch();
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
        if (m_phase == Phase::Idle && m_markAll) {
            next = Phase::MarkAll;
            break;
        }
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
        if (m_pullLeftPending && uploadsAllowed()) {
            m_pullLeftPending = false;
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
    emit phaseChanged(phase);
    // A receiver may have cancelled or failed the cycle already.
    if (m_phase != phase)
        return;
    switch (phase) {
    case Phase::Idle: return;
    case Phase::MarkAll: return markAllSlice();
    case Phase::PushNotebooks: return pushNotebooks();
    case Phase::PushNotes: return pushNotes();
    case Phase::PushAttachments: return collectAttachments();
    case Phase::PullNotes: return pullNotes(m_preferences->getString(kNoteCursor));
    case Phase::PullNotebooks: return pullNotebooks();
    case Phase::PullAttachments: return pullAttachments();
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
    return m_preferences->get(kNoteCursor).value_or(QString()).toLongLong();
}

int SyncEngine::forceFullResync()
{
    const bool wasActive = m_autoTimer.isActive();
    m_autoTimer.stop();
    m_preferences->remove(kNoteCursor);
    m_preferences->remove(kAttachmentCursor);
    // Marking rewrites every row: the next cycle does it in slices.
    const int marked = m_notes->syncState().markableCount();
    m_markAll = true;
    m_markAfter = 0;
    m_notebooks->markAllPending();
    if (wasActive)
        m_autoTimer.start();
    syncNow();
    return marked;
}

void SyncEngine::markAllSlice()
{
    QElapsedTimer clock;
    clock.start();
    // The resync request lives in memory only: a power cut loses it and its marks together.
    const RelaxedSync relaxed(m_database->database());
    while (clock.elapsed() < kSliceMs) {
        // 0: no row is left past the cursor (or the write failed: the push sends what was marked).
        if (m_notes->syncState().markAllPending(&m_markAfter, kMarkPerSlice) == 0) {
            m_markAll = false;
            return advance();
        }
    }
    later(&SyncEngine::markAllSlice);
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

void SyncEngine::pushNotebooks()
{
    m_pendingNotebooks = m_notebooks->pendingNotebooks();
    if (!m_pendingNotebooks.isEmpty())
        emit syncProgress(tr("Uploading notebooks"), 0, int(m_pendingNotebooks.size()));
    pushNextNotebook();
}

void SyncEngine::finishCycle()
{
    pulledForAccount();
    if (m_attachmentsSaved)
        emit attachmentsChanged();
    const QString refused = refusedSummary();
    if (refused.isEmpty()) {
        setState(Idle);
    } else {
        m_lastError = refused;
        setState(Error);
    }
    emit syncCompleted();
    if (m_dataChangedInCycle)
        emit dataChanged();
    if (m_resyncRequested) {
        m_resyncRequested = false;
        syncNow();
    }
}

void SyncEngine::markNotebookSynced(const Notebook &sent, int version)
{
    std::optional<Notebook> notebook = m_notebooks->notebookById(sent.id);
    if (!notebook)
        return;
    // Renamed or deleted while the request was in flight: still to be pushed.
    const bool unchanged = notebook->name == sent.name && notebook->deletedAt == sent.deletedAt;
    notebook->version = version;
    notebook->syncStatus = unchanged ? SyncStatus::Synced : SyncStatus::Pending;
    const QSignalBlocker blocker(m_notebooks);
    m_notebooks->update(*notebook);
}

void SyncEngine::pushNextNotebook()
{
    if (m_pendingNotebooks.isEmpty())
        return advance();
    const Notebook notebook = m_pendingNotebooks.takeFirst();
    // No database can keep a NUL in a name; it is dropped rather than refused on every cycle.
    const QString name = QString(notebook.name).remove(QChar(0));
    const CycleGuard self = cycleGuard();
    const QString path = VelmWire::at(VelmWire::Path::notebooks, notebook.id);
    if (notebook.deletedAt) {
        m_api->del(path, [this, self, notebook](bool ok, int status, const QJsonObject &) {
            if (!self)
                return;
            if (ok || status == 404)
                markNotebookSynced(notebook, notebook.version);
            else
                qCWarning(lcSync) << "notebook delete failed" << notebook.id << status;
            pushNextNotebook();
        });
        return;
    }
    m_api->put(path, {{"name", name}, {"version", notebook.version}},
               [this, self, notebook](bool ok, int status, const QJsonObject &body) {
                   if (!self)
                       return;
                   if (ok) {
                       markNotebookSynced(notebook, body.value("version").toInt(notebook.version));
                       m_dataChangedInCycle = true;
                   } else if (status == 404) {
                       return createNotebookOnServer(notebook);
                   } else {
                       qCWarning(lcSync) << "notebook put failed" << notebook.id << status;
                   }
                   pushNextNotebook();
               });
}

void SyncEngine::createNotebookOnServer(const Notebook &notebook)
{
    const CycleGuard self = cycleGuard();
    m_api->post(QLatin1StringView(VelmWire::Path::notebooks),
                {{"id", notebook.id}, {"name", QString(notebook.name).remove(QChar(0))}, {"is_default", notebook.isDefault}},
                [this, self, notebook](bool ok, int status, const QJsonObject &body) {
                    if (!self)
                        return;
                    if (ok) {
                        markNotebookSynced(notebook, body.value("version").toInt(1));
                        m_dataChangedInCycle = true;
                    } else {
                        qCWarning(lcSync) << "notebook post failed" << notebook.id << status;
                    }
                    pushNextNotebook();
                });
}

void SyncEngine::pushNotes()
{
    m_pushQueue.clear();
    m_building = {};
    m_buildingBytes = 0;
    m_pushAfter = 0;
    m_pushDeletions = m_notes->syncState().pendingDeletions();
    m_pushTotal = m_notes->syncState().pendingCount() + int(m_pushDeletions.size());
    m_pushDone = 0;
    pushNextBatch();
}

bool SyncEngine::fillPushBatch()
{
    // Sized from the lengths the database keeps: only the bodies of the batch
    // are read, and each is serialised once, to be sent. Quotes escaped in
    // the request make it somewhat larger than the bodies; a batch the server
    // still finds too large is halved. Filled for about kSliceMs at a time.
    PushBatch &batch = m_building;
    const auto fits = [&](qsizetype size) {
        return batch.changes.isEmpty()
            || (batch.changes.size() < maxNotesPerPush && m_buildingBytes + size <= maxBytesPerPush);
    };
    QElapsedTimer clock;
    clock.start();
    // At least one note a slice, however slow reading the lengths was.
    bool handled = false;
    while (batch.changes.size() < maxNotesPerPush) {
        const QList<NoteSyncState::PendingSize> sizes = m_notes->syncState().pendingSizes(m_pushAfter, maxNotesPerPush);
        if (sizes.isEmpty())
            break;
        for (const NoteSyncState::PendingSize &pending : sizes) {
            const qsizetype size = pending.bytes + pending.bytes / 4 + 512;
            if (!fits(size))
                return true;
            if (handled && clock.elapsed() >= kSliceMs)
                return false;
            handled = true;
            m_pushAfter = pending.rowid;
            const std::optional<Note> note = m_notes->noteById(pending.id);
            // A note refused for good waits until it changes.
            if (!note || isRefused(*note)) {
                ++m_pushDone;
                continue;
            }
            batch.changes.append(noteChange(*note));
            batch.sent.insert(note->id, *note);
            m_buildingBytes += size;
        }
    }
    while (!m_pushDeletions.isEmpty()) {
        const QJsonObject change = deletionChange(m_pushDeletions.first());
        const qsizetype size = QJsonDocument(change).toJson(QJsonDocument::Compact).size() + 1;
        if (!fits(size))
            break;
        m_pushDeletions.removeFirst();
        batch.changes.append(change);
        m_buildingBytes += size;
    }
    return true;
}

void SyncEngine::pushNextBatch()
{
    if (m_pushQueue.isEmpty() && !fillPushBatch())
        return later(&SyncEngine::pushNextBatch);
    const PushBatch batch = m_pushQueue.isEmpty() ? std::exchange(m_building, {}) : m_pushQueue.takeFirst();
    m_buildingBytes = 0;
    if (batch.changes.isEmpty())
        return advance();
    // A request holds up to 8 MB of bodies: written out on a worker, the
    // result dropped if the cycle ended (or the engine went) meanwhile.
    const CycleGuard self = cycleGuard();
    auto *watcher = new QFutureWatcher<QByteArray>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, self, watcher, batch] {
        watcher->deleteLater();
        if (!self)
            return;
        sendPushBatch(batch, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(&SyncEngine::pushRequest, batch.changes));
}

QByteArray SyncEngine::pushRequest(const QList<QJsonObject> &changes)
{
    QJsonArray array;
    for (const QJsonObject &change : changes)
        array.append(change);
    return QJsonDocument(QJsonObject{{"changes", array}}).toJson(QJsonDocument::Compact);
}

void SyncEngine::sendPushBatch(const PushBatch &batch, const QByteArray &request)
{
    const CycleGuard self = cycleGuard();
    m_api->postJson(QLatin1StringView(VelmWire::Path::push), request,
                [this, self, batch](bool ok, int status, const QJsonObject &body) {
                    if (!self)
                        return;
                    if (status == 413 && batch.changes.size() > 1) {
                        // Too large for the server: halve it rather than fail every cycle.
                        const qsizetype half = batch.changes.size() / 2;
                        m_pushQueue.prepend({batch.changes.mid(half), batch.sent});
                        m_pushQueue.prepend({batch.changes.mid(0, half), batch.sent});
                        return pushNextBatch();
                    }
                    if (status == 413) {
                        // One change alone over the limit: refused until the note changes.
                        const auto sent = batch.sent.constFind(batch.changes.first().value("entity_id").toString());
                        if (sent != batch.sent.constEnd())
                            refuse(*sent, status, body.value("error").toString());
                        else
                            qCWarning(lcSync) << "note purge refused as too large";
                        return pushNextBatch();
                    }
                    if (!ok)
                        return fail(tr("Note push failed (HTTP %1)"), status);
                    m_pushed = {batch, body.value("results").toArray(), 0};
                    applyPushSlice();
                });
    // Once the batch is on its way.
    emit syncProgress(tr("Uploading notes"), std::min(m_pushDone, m_pushTotal), m_pushTotal);
}

void SyncEngine::applyPushSlice()
{
    // Like a pulled page, written for about kSliceMs at a time, each slice
    // in one transaction (not one disk flush per note). A result not
    // written (a cancel) leaves its note pending: it is pushed again.
    const qsizetype count = m_pushed.results.size();
    {
        QSqlDatabase db = m_database->database();
        const bool inTransaction = db.transaction();
        QElapsedTimer clock;
        clock.start();
        const qsizetype from = m_pushed.next;
        while (m_pushed.next < count && (m_pushed.next == from || clock.elapsed() < kSliceMs))
            applyPushResult(m_pushed.batch, m_pushed.results.at(m_pushed.next++).toObject());
        if (inTransaction && !m_database->commit())
            qCWarning(lcSync) << "push results not committed";
    }
    if (m_pushed.next < count)
        return later(&SyncEngine::applyPushSlice);
    m_pushDone += int(m_pushed.batch.changes.size());
    m_pushed = {};
    pushNextBatch();
}

void SyncEngine::later(void (SyncEngine::*step)())
{
    const CycleGuard self = cycleGuard();
    QTimer::singleShot(0, this, [this, self, step] {
        if (!self)
            return;
        (this->*step)();
    });
}

void SyncEngine::applyPushResult(const PushBatch &batch, const QJsonObject &result)
{
    const QString id = result.value("entity_id").toString();
    const QString status = result.value("status").toString();
    const int code = result.value("code").toInt();
    const auto sent = batch.sent.constFind(id);
    if (sent == batch.sent.constEnd()) {
        // A purge: refused over an edit made elsewhere, the edited note comes back with the pull.
        if (status == QLatin1String("error") && uploadWorthRetrying(code))
            return;
        if (status != QLatin1String("ok") && status != QLatin1String("purged"))
            qCWarning(lcSync) << "note purge not applied" << id << result.value("message").toString();
        m_notes->syncState().clearPendingDeletion(id);
        m_dataChangedInCycle = true;
        return;
    }
    if (status == QLatin1String("ok")) {
        // A merged row differs from the one sent; the pull that follows brings it.
        const int version = result.value("version").toInt();
        // The server may have kept fields of its own: then the body sent
        // is not what it confirmed, and the pull brings what it holds.
        const bool merged = result.value("merged").toBool();
        // An edit made while the push was in flight is still to be pushed.
        if (m_notes->noteById(id) == *sent)
            m_notes->syncState().markSynced(id, version, !merged);
        else if (merged)
            m_notes->syncState().setServerVersion(id, version, std::nullopt);
        else
            m_notes->syncState().setServerVersion(id, version, sent->body);
        m_dataChangedInCycle = true;
    } else if (status == QLatin1String("left")) {
        // A read-only note the user trashed: its share is gone, so is the note here.
        removeLocally(id);
        m_dataChangedInCycle = true;
    } else if (status == QLatin1String("purged")) {
        const std::optional<Note> local = m_notes->noteById(id);
        if (local && !local->deletedAt) {
            const Note copy = conflictCopy(*local, QDateTime::currentDateTimeUtc());
            qCWarning(lcSync) << "note purged on the server" << id << "local text kept as" << copy.id;
            if (!m_notes->insert(copy))
                qCWarning(lcSync) << "copy of a purged note not written" << id;
        }
        removeLocally(id);
        m_dataChangedInCycle = true;
    } else if (status == QLatin1String("conflict")) {
        qCWarning(lcSync) << "note conflict" << id << result.value("message").toString();
    } else if (!uploadWorthRetrying(code)) {
        refuse(*sent, code, result.value("message").toString());
    } else {
        qCWarning(lcSync) << "note push failed for now" << id << result.value("message").toString();
    }
}
