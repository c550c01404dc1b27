#include "notepusher.h"

#include "apiclient.h"
#include "database.h"
#include "relaxedsync.h"
#include "synccycle.h"
#include "synclog.h"
#include "syncrecords.h"
#include "syncrefusals.h"
#include "wireprotocol.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QtConcurrent>

#include <algorithm>
#include <utility>

using namespace VelmSync;

NotePusher::NotePusher(VelmAccount::ApiClient *api, Database *database, NoteRepository *notes, SyncRefusals *refusals,
                       SyncCycle *cycle)
    : m_api(api)
    , m_database(database)
    , m_notes(notes)
    , m_refusals(refusals)
    , m_cycle(cycle)
{
}

void NotePusher::requestMarkAll()
{
    m_markAll = true;
    m_markAfter = 0;
    m_marked = 0;
}

void NotePusher::clear()
{
    m_queue.clear();
    m_deletions.clear();
    m_pushed = {};
    m_building = {};
}

void NotePusher::push()
{
    m_queue.clear();
    m_building = {};
    m_buildingBytes = 0;
    m_pushAfter = 0;
    m_deletions = m_notes->syncState().pendingDeletions();
    m_total = m_notes->syncState().pendingCount() + int(m_deletions.size());
    m_done = 0;
    pushNext();
}

bool NotePusher::fillBatch()
{
    // Sized from the lengths the database keeps: only the bodies of the batch
    // are read, and each is serialised once, to be sent. Quotes escaped in
    // the request make it somewhat larger than the bodies; a batch the server
    // still finds too large is halved. Filled for about SyncCycle::kSliceMs at a time.
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
            if (handled && clock.elapsed() >= SyncCycle::kSliceMs)
                return false;
            handled = true;
            m_pushAfter = pending.rowid;
            const std::optional<Note> note = m_notes->noteById(pending.id);
            // A note refused for good waits until it changes.
            if (!note || m_refusals->isRefused(*note)) {
                ++m_done;
                continue;
            }
            batch.changes.append(noteChange(*note));
            batch.sent.insert(note->id, *note);
            m_buildingBytes += size;
        }
    }
    while (!m_deletions.isEmpty()) {
        const QJsonObject change = deletionChange(m_deletions.first());
        const qsizetype size = QJsonDocument(change).toJson(QJsonDocument::Compact).size() + 1;
        if (!fits(size))
            break;
        m_deletions.removeFirst();
        batch.changes.append(change);
        m_buildingBytes += size;
    }
    return true;
}

void NotePusher::pushNext()
{
    if (m_queue.isEmpty() && !fillBatch())
        return m_cycle->later([this] { pushNext(); });
    const PushBatch batch = m_queue.isEmpty() ? std::exchange(m_building, {}) : m_queue.takeFirst();
    m_buildingBytes = 0;
    if (batch.changes.isEmpty())
        return m_cycle->phaseDone();
    // A request holds up to 8 MB of bodies: written out on a worker, the
    // result dropped if the cycle ended (or the engine went) meanwhile.
    const SyncCycle::Guard self = m_cycle->guard();
    auto *watcher = new QFutureWatcher<QByteArray>(m_cycle);
    QObject::connect(watcher, &QFutureWatcherBase::finished, m_cycle, [this, self, watcher, batch] {
        watcher->deleteLater();
        if (!self)
            return;
        send(batch, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(&NotePusher::pushRequest, batch.changes));
}

QByteArray NotePusher::pushRequest(const QList<QJsonObject> &changes)
{
    QJsonArray array;
    for (const QJsonObject &change : changes)
        array.append(change);
    return QJsonDocument(QJsonObject{{"changes", array}}).toJson(QJsonDocument::Compact);
}

void NotePusher::send(const PushBatch &batch, const QByteArray &request)
{
    const SyncCycle::Guard self = m_cycle->guard();
    m_api->postJson(QLatin1StringView(VelmWire::Path::push), request,
                [this, self, batch](bool ok, int status, const QJsonObject &body) {
                    if (!self)
                        return;
                    if (status == 413 && batch.changes.size() > 1) {
                        // Too large for the server: halve it rather than fail every cycle.
                        const qsizetype half = batch.changes.size() / 2;
                        m_queue.prepend({batch.changes.mid(half), batch.sent});
                        m_queue.prepend({batch.changes.mid(0, half), batch.sent});
                        return pushNext();
                    }
                    if (status == 413) {
                        // One change alone over the limit: refused until the note changes.
                        const auto sent = batch.sent.constFind(batch.changes.first().value("entity_id").toString());
                        if (sent != batch.sent.constEnd())
                            m_refusals->refuse(*sent, status, body.value("error").toString());
                        else
                            qCWarning(lcSync) << "note purge refused as too large";
                        return pushNext();
                    }
                    if (!ok)
                        return m_cycle->failed(tr("Note push failed (HTTP %1)"), status);
                    m_pushed = {batch, body.value("results").toArray(), 0};
                    // In a turn of its own: the reply's own handling shares this one.
                    m_cycle->later([this] { applySlice(); });
                });
    // Once the batch is on its way.
    emit m_cycle->progress(tr("Uploading notes"), std::min(m_done, m_total), m_total);
}

void NotePusher::applySlice()
{
    // Like a pulled page, written for about SyncCycle::kSliceMs at a time, each slice
    // in one transaction (not one disk flush per note). A result not
    // written (a cancel) leaves its note pending: it is pushed again.
    const qsizetype count = m_pushed.results.size();
    {
        QSqlDatabase db = m_database->database();
        // Marks lost to a power cut leave notes pending that the server holds:
        // the next push merges on the server, or the pull replaces them with
        // the same content. No sync of the log on the GUI thread for them.
        const RelaxedSync relaxed(db);
        // The write lock first: a deferred transaction that read first could
        // not write once the text fill had committed in between.
        const bool inTransaction = m_database->beginImmediate();
        QElapsedTimer clock;
        clock.start();
        const qsizetype from = m_pushed.next;
        const int budget = m_cycle->rowBudgetMs();
        while (m_pushed.next < count && (m_pushed.next == from || clock.elapsed() < budget))
            applyResult(m_pushed.batch, m_pushed.results.at(m_pushed.next++).toObject());
        const qint64 rowsDone = clock.elapsed();
        if (inTransaction && !m_database->commit())
            qCWarning(lcSync) << "push results not committed";
        m_cycle->commitTook(clock.elapsed() - rowsDone);
    }
    if (m_pushed.next < count)
        return m_cycle->later([this] { applySlice(); });
    m_done += int(m_pushed.batch.changes.size());
    m_pushed = {};
    pushNext();
}

void NotePusher::applyResult(const PushBatch &batch, const QJsonObject &result)
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
        m_cycle->setDataChanged();
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
        m_cycle->setDataChanged();
    } else if (status == QLatin1String("left")) {
        // A read-only note the user trashed: its share is gone, so is the note here.
        removeLocally(m_notes, id);
        m_cycle->setDataChanged();
    } else if (status == QLatin1String("purged")) {
        const std::optional<Note> local = m_notes->noteById(id);
        if (local && !local->deletedAt) {
            const Note copy = conflictCopy(*local, QDateTime::currentDateTimeUtc());
            qCWarning(lcSync) << "note purged on the server" << id << "local text kept as" << copy.id;
            if (!m_notes->insert(copy))
                qCWarning(lcSync) << "copy of a purged note not written" << id;
        }
        removeLocally(m_notes, id);
        m_cycle->setDataChanged();
    } else if (status == QLatin1String("conflict")) {
        qCWarning(lcSync) << "note conflict" << id << result.value("message").toString();
    } else if (!uploadWorthRetrying(code)) {
        m_refusals->refuse(*sent, code, result.value("message").toString());
    } else {
        qCWarning(lcSync) << "note push failed for now" << id << result.value("message").toString();
    }
}

void NotePusher::markAll()
{
    QElapsedTimer clock;
    clock.start();
    // The resync request lives in memory only: a power cut loses it and its marks together.
    const RelaxedSync relaxed(m_database->database());
    while (clock.elapsed() < SyncCycle::kSliceMs) {
        // No row is left past the cursor (or the write failed: the push sends what was marked).
        const int marked = m_notes->syncState().markAllPending(&m_markAfter, kMarkPerSlice);
        if (marked < 0) {
            m_markAll = false;
            return m_cycle->phaseDone();
        }
        m_marked += marked;
    }
    m_cycle->later([this] { markAll(); });
}
