#include "syncengine.h"

#include "apiclient.h"
#include "attachmentrepository.h"
#include "database.h"
#include "deltamerge.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "synclog.h"
#include "syncrecords.h"
#include "wireprotocol.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QSet>
#include <QSignalBlocker>
#include <QSqlDatabase>

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
    if (m_state == Syncing) {
        m_resyncRequested = true;
        return;
    }
    setState(Syncing);
    m_dataChangedInCycle = false;
    beginCycle();
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
    const int marked = m_notes->markAllPending();
    m_notebooks->markAllPending();
    if (wasActive)
        m_autoTimer.start();
    syncNow();
    return marked;
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
    m_lastError = message.arg(status);
    qCWarning(lcSync).noquote() << "sync failed:" << m_lastError;
    setState(status == 0 ? Offline : Error);
    emit syncFailed(m_lastError);
}

void SyncEngine::beginCycle()
{
    m_pullRowFailed = false;
    m_pullLeftPending = false;
    m_repushedInCycle = false;
    loadRefused();
    if (awaitsAccountChoice() || m_unbound) {
        qCInfo(lcSync) << "nothing uploaded until the notes of another account are settled";
        return pullNotes(m_preferences->getString(kNoteCursor));
    }
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
        return pushNotes();
    const Notebook notebook = m_pendingNotebooks.takeFirst();
    // No database can keep a NUL in a name; it is dropped rather than refused on every cycle.
    const QString name = QString(notebook.name).remove(QChar(0));
    const QPointer<SyncEngine> self(this);
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
    const QPointer<SyncEngine> self(this);
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
    QList<Note> pending = m_notes->pendingNotes();
    // A note refused for good waits until it changes.
    pending.removeIf([this](const Note &note) { return isRefused(note); });
    const QList<PendingDeletion> deletions = m_notes->pendingDeletions();
    if (pending.isEmpty() && deletions.isEmpty())
        return collectAttachments();
    emit syncProgress(tr("Uploading notes"), 0, int(pending.size() + deletions.size()));

    PushBatch batch;
    qsizetype bytes = 0;
    const auto add = [&](const QJsonObject &change, const Note *note) {
        const qsizetype size = QJsonDocument(change).toJson(QJsonDocument::Compact).size() + 1;
        if (!batch.changes.isEmpty() && (batch.changes.size() >= maxNotesPerPush || bytes + size > maxBytesPerPush)) {
            m_pushQueue.append(batch);
            batch = {};
            bytes = 0;
        }
        batch.changes.append(change);
        if (note)
            batch.sent.insert(note->id, *note);
        bytes += size;
    };
    for (const Note &note : pending)
        add(noteChange(note), &note);
    for (const PendingDeletion &deletion : deletions)
        add(deletionChange(deletion), nullptr);
    m_pushQueue.append(batch);
    pushNextBatch();
}

void SyncEngine::pushNextBatch()
{
    if (m_pushQueue.isEmpty())
        return collectAttachments();
    const PushBatch batch = m_pushQueue.takeFirst();
    QJsonArray changes;
    for (const QJsonObject &change : batch.changes)
        changes.append(change);
    const QPointer<SyncEngine> self(this);
    m_api->post(QLatin1StringView(VelmWire::Path::push), {{"changes", changes}},
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
                    applyPushResults(batch, body.value("results").toArray());
                    pushNextBatch();
                });
}

void SyncEngine::applyPushResults(const PushBatch &batch, const QJsonArray &results)
{
    // One commit for the batch, not one disk flush per note.
    QSqlDatabase db = m_database->database();
    const bool inTransaction = db.transaction();
    for (const QJsonValue &value : results) {
        const QJsonObject result = value.toObject();
        const QString id = result.value("entity_id").toString();
        const QString status = result.value("status").toString();
        const int code = result.value("code").toInt();
        const auto sent = batch.sent.constFind(id);
        if (sent == batch.sent.constEnd()) {
            // A purge: refused over an edit made elsewhere, the edited note comes back with the pull.
            if (status == QLatin1String("error") && uploadWorthRetrying(code))
                continue;
            if (status != QLatin1String("ok") && status != QLatin1String("purged"))
                qCWarning(lcSync) << "note purge not applied" << id << result.value("message").toString();
            m_notes->clearPendingDeletion(id);
            m_dataChangedInCycle = true;
            continue;
        }
        if (status == QLatin1String("ok")) {
            // A merged row differs from the one sent; the pull that follows brings it.
            const int version = result.value("version").toInt();
            // The server may have kept fields of its own: then the body sent
            // is not what it confirmed, and the pull brings what it holds.
            const bool merged = result.value("merged").toBool();
            // An edit made while the push was in flight is still to be pushed.
            if (m_notes->noteById(id) == *sent)
                m_notes->markSynced(id, version, !merged);
            else if (merged)
                m_notes->setServerVersion(id, version, std::nullopt);
            else
                m_notes->setServerVersion(id, version, sent->body);
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
    if (inTransaction && !m_database->commit())
        qCWarning(lcSync) << "push results not committed";
}

void SyncEngine::pullNotes(const QString &since)
{
    emit syncProgress(tr("Downloading notes"), 0, 0);
    QUrlQuery query;
    if (!since.isEmpty())
        query.addQueryItem(QLatin1StringView(VelmWire::Field::since), since);
    const QPointer<SyncEngine> self(this);
    m_api->get(
        QLatin1StringView(VelmWire::Path::pull),
        [this, self, since](bool ok, int status, const QJsonObject &body) {
            if (!self)
                return;
            if (!ok)
                return fail(tr("Pull failed (HTTP %1)"), status);
            const QJsonArray changes = body.value("changes").toArray();
            if (!changes.isEmpty() && !mergeNotes(changes))
                m_pullRowFailed = true;
            const qint64 timestamp = body.value("timestamp").toInteger();
            // A row that could not be written comes again only if the cursor stays before it.
            if (timestamp > 0 && !m_pullRowFailed)
                m_preferences->set(kNoteCursor, QString::number(timestamp));
            if (body.value("has_more").toBool() && timestamp > since.toLongLong())
                return pullNotes(QString::number(timestamp));
            // Merged bodies and conflict copies go out in this cycle, so the
            // other devices see them without waiting for the next one.
            if (m_pullLeftPending && !awaitsAccountChoice() && !m_unbound) {
                m_pullLeftPending = false;
                if (!m_repushedInCycle) {
                    m_repushedInCycle = true;
                    return pushNotes();
                }
                m_resyncRequested = true;
            }
            pullNotebooks();
        },
        query);
}

bool SyncEngine::mergeNotes(const QJsonArray &changes)
{
    emit aboutToMerge();
    QSqlDatabase db = m_database->database();
    const bool inTransaction = db.transaction();
    QSignalBlocker blocker(m_notes);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    int changed = 0;
    QStringList listed;
    for (const QJsonValue &value : changes)
        listed << value.toObject().value(QLatin1String("id")).toString();
    bool allWritten = m_binding.claim(QStringLiteral("notes"), listed);
    QStringList replaced;
    for (const QJsonValue &value : changes) {
        bool gone = false;
        const Note pulled = noteFromPull(value.toObject(), &gone);
        if (pulled.id.isEmpty())
            continue;
        const std::optional<Note> local = m_notes->noteById(pulled.id);
        bool written = true;
        switch (mergeAction(local, pulled, gone)) {
        case MergeAction::Remove:
            written = removeLocally(pulled.id);
            replaced << pulled.id;
            break;
        case MergeAction::RemoveKeepingCopy: {
            const Note copy = conflictCopy(*local, now);
            qCWarning(lcSync) << "note removed on the server" << pulled.id << "local text kept as" << copy.id;
            written = m_notes->insert(copy) && removeLocally(pulled.id);
            replaced << pulled.id;
            break;
        }
        case MergeAction::Keep:
        case MergeAction::Skip:
            continue;
        case MergeAction::Insert:
            written = m_notes->insert(pulled) && m_notes->setMergeBase(pulled.id, pulled.version, pulled.body);
            break;
        case MergeAction::Replace:
            if (*local == pulled)
                continue;
            written = m_notes->update(pulled) && m_notes->setMergeBase(pulled.id, pulled.version, pulled.body);
            replaced << pulled.id;
            break;
        case MergeAction::Conflict: {
            if (const std::optional<Note> merged = mergedNote(*local, pulled)) {
                qCInfo(lcSync) << "note merged" << pulled.id << "at version" << pulled.version;
                written = m_notes->update(*merged) && m_notes->setMergeBase(pulled.id, pulled.version, pulled.body);
                m_pullLeftPending = true;
                replaced << pulled.id;
                break;
            }
            const Note copy = conflictCopy(*local, now);
            qCWarning(lcSync) << "note conflict" << pulled.id << "local text kept as" << copy.id;
            m_pullLeftPending = true;
            written = m_notes->insert(copy) && m_notes->update(pulled)
                && m_notes->setMergeBase(pulled.id, pulled.version, pulled.body);
            replaced << pulled.id;
            break;
        }
        }
        ++changed;
        allWritten = allWritten && written;
    }
    if (inTransaction && !m_database->commit()) {
        qCWarning(lcSync) << "note merge not committed";
        allWritten = false;
    }
    blocker.unblock();
    if (changed > 0) {
        m_dataChangedInCycle = true;
        emit m_notes->notesChanged();
    }
    if (!replaced.isEmpty())
        emit notesMerged(replaced);
    return allWritten;
}

std::optional<Note> SyncEngine::mergedNote(const Note &local, const Note &pulled) const
{
    // Only a base at the version the local edit started from is its ancestor;
    // a trashing on either side is the convergence rules' business.
    const std::optional<NoteBase> base = m_notes->mergeBase(local.id);
    if (!base || base->version != local.opVersion || local.deletedAt || pulled.deletedAt)
        return std::nullopt;
    const DeltaMergeResult result = mergeDeltaBodies(base->body, local.body, pulled.body);
    if (!result.merged)
        return std::nullopt;
    // The server's row with both edits in its body, still to be pushed, based
    // on the version pulled.
    Note merged = pulled;
    merged.body = result.body;
    merged.opVersion = pulled.version;
    merged.modifiedAt = std::max(local.modifiedAt, pulled.modifiedAt);
    merged.updatedAt = std::max(local.updatedAt, pulled.updatedAt);
    merged.syncStatus = SyncStatus::Pending;
    return merged;
}

void SyncEngine::pullNotebooks()
{
    emit syncProgress(tr("Downloading notebooks"), 0, 0);
    const QPointer<SyncEngine> self(this);
    m_api->get(QLatin1StringView(VelmWire::Path::notebooks), [this, self](bool ok, int status, const QJsonObject &body) {
        if (!self)
            return;
        if (!ok)
            return fail(tr("Notebook list failed (HTTP %1)"), status);
        const QJsonValue list = body.value("notebooks");
        if (list.isArray())
            mergeNotebooks(list.toArray());
        else
            qCWarning(lcSync) << "notebook list without notebooks";
        pullAttachments();
    });
}

void SyncEngine::mergeNotebooks(const QJsonArray &list)
{
    QSqlDatabase db = m_database->database();
    const bool inTransaction = db.transaction();
    QSignalBlocker blocker(m_notebooks);
    int changed = 0;
    QSet<QString> listed;
    QStringList ids;
    for (const QJsonValue &value : list)
        ids << value.toObject().value(QLatin1String("id")).toString();
    m_binding.claim(QStringLiteral("notebooks"), ids);
    for (const QJsonValue &value : list) {
        Notebook pulled = notebookFromPull(value.toObject());
        listed.insert(pulled.id);
        if (pulled.isShared)
            pulled.ownerId = value.toObject().value("owner_id").toString();
        const std::optional<Notebook> local = m_notebooks->notebookById(pulled.id);
        if (pulled.id.isEmpty() || (local && *local == pulled))
            continue;
        // A notebook renamed or deleted here wins until it is pushed.
        if (local && (local->syncStatus != SyncStatus::Synced || pulled.version < local->version))
            continue;
        if (!(local ? m_notebooks->update(pulled) : m_notebooks->insert(pulled)))
            qCWarning(lcSync) << "notebook merge failed" << pulled.id;
        ++changed;
    }
    const int removed = removeNotebooksGoneFromServer(listed);
    if (inTransaction && !m_database->commit())
        qCWarning(lcSync) << "notebook merge not committed";
    blocker.unblock();
    if (changed + removed > 0) {
        m_dataChangedInCycle = true;
        emit m_notebooks->notebooksChanged();
    }
    if (removed > 0)
        emit m_notes->notesChanged();
}

int SyncEngine::removeNotebooksGoneFromServer(const QSet<QString> &listed)
{
    // The list is complete: a notebook the server once confirmed and no longer
    // lists was deleted there (or is no longer shared with us). One created or
    // changed here is still pending and stays. Its notes move to All Notes
    // without becoming pending: the device that deleted it moves them on the
    // server too, and a pending edit here keeps its text and status.
    const QSignalBlocker notesBlocker(m_notes);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Another account's notebooks were never on this account's list.
    const QSet<QString> unbound = m_binding.unboundNotebookIds();
    int removed = 0;
    for (Notebook notebook : m_notebooks->allNotebooks()) {
        if (listed.contains(notebook.id) || notebook.syncStatus != SyncStatus::Synced || notebook.isDefault
            || unbound.contains(notebook.id))
            continue;
        for (Note note : m_notes->notesInNotebook(notebook.id)) {
            note.notebookId.clear();
            if (!m_notes->update(note))
                qCWarning(lcSync) << "note of a removed notebook not moved" << note.id;
        }
        notebook.deletedAt = now;
        if (!m_notebooks->update(notebook)) {
            qCWarning(lcSync) << "notebook removed on the server not removed here" << notebook.id;
            continue;
        }
        qCInfo(lcSync) << "notebook removed on the server" << notebook.id;
        ++removed;
    }
    return removed;
}
