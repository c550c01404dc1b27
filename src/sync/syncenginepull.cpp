// The pull half of a cycle: note pages read on a worker and merged here,
// then the notebook list.
#include "syncengine.h"

#include "bulkwritescope.h"
#include "apiclient.h"
#include "database.h"
#include "deltamerge.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "relaxedsync.h"
#include "preferencesrepository.h"
#include "synclog.h"
#include "syncrecords.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QSet>
#include <QTimer>
#include <QtConcurrent>

using namespace VelmSync;

void SyncEngine::pullNotes(const QString &since)
{
    emit syncProgress(tr("Downloading notes"), 0, 0);
    QUrlQuery query;
    if (!since.isEmpty())
        query.addQueryItem(QStringLiteral("since"), since);
    const CycleGuard self = cycleGuard();
    m_api->getBinary(
        QStringLiteral("/sync/pull"),
        [this, self, since](bool ok, int status, const QByteArray &reply) {
            if (!self)
                return;
            if (!ok)
                return fail(tr("Pull failed (HTTP %1)"), status);
            // Reading the page and the texts of its bodies is the long part of
            // a merge; it runs on a worker, and the result is dropped if the
            // cycle ended (or the engine went) meanwhile.
            auto *watcher = new QFutureWatcher<PulledPage>(this);
            connect(watcher, &QFutureWatcherBase::finished, this, [this, self, watcher, since] {
                watcher->deleteLater();
                if (!self)
                    return;
                pulledPage(watcher->result(), since);
            });
            watcher->setFuture(QtConcurrent::run(&PulledPage::read, reply, m_database->textExtractor()));
        },
        query);
}

void SyncEngine::pulledPage(const PulledPage &page, const QString &since)
{
    if (!page.valid)
        return fail(tr("Pull failed (HTTP %1)"), 200);
    m_merge = Merge();
    m_merge.page = page;
    m_merge.since = since;
    mergeSlice();
}

void SyncEngine::mergeSlice()
{
    // The rows of a page are written for about kSliceMs at a time, each
    // slice in one transaction. The cursor moves with the last slice only: a page cut short (a crash, a
    // cancel) is pulled again and finds its written rows equal.
    Merge &merge = m_merge;
    const qsizetype rows = merge.page.rows.size();
    if (rows > 0)
        emit aboutToMerge();
    bool last = false;
    {
        // Pulled rows can be pulled again (see RelaxedSync); set before the scope's BEGIN, back after its COMMIT.
        const RelaxedSync relaxed(m_database->database());
        BulkWriteScope scope({m_database, m_notes, m_notebooks, nullptr, nullptr}, {});
        QElapsedTimer clock;
        clock.start();
        const qsizetype from = merge.next;
        if (from == 0) {
            QStringList listed;
            for (const PulledPage::Row &row : std::as_const(merge.page.rows))
                listed << row.note.id;
            merge.written = m_binding.claim(QStringLiteral("notes"), listed);
        }
        while (merge.next < rows && (merge.next == from || clock.elapsed() < kSliceMs))
            merge.written = mergeRow(merge.page.rows.at(merge.next++), &merge.replaced, &merge.changed) && merge.written;
        last = merge.next == rows;
        // A row that could not be written comes again only if the cursor stays before it.
        const qint64 timestamp = merge.page.timestamp;
        if (last && merge.written && !m_pullRowFailed && timestamp > 0)
            m_preferences->set(kNoteCursor, QString::number(timestamp));
        scope.finish();
        if (!scope.commitError().isEmpty()) {
            qCWarning(lcSync) << "note merge not committed";
            merge.written = false;
        }
        // One list update for the page.
        if (last && merge.changed > 0)
            scope.notesChanged();
    }
    if (!last)
        return later(&SyncEngine::mergeSlice);
    if (merge.changed > 0)
        m_dataChangedInCycle = true;
    if (!merge.replaced.isEmpty())
        emit notesMerged(merge.replaced);
    m_pullRowFailed = m_pullRowFailed || !merge.written;
    const bool more = merge.page.hasMore && merge.page.timestamp > merge.since.toLongLong();
    const qint64 timestamp = merge.page.timestamp;
    m_merge = Merge();
    if (more)
        return pullNotes(QString::number(timestamp));
    advance();
}

bool SyncEngine::mergeRow(const PulledPage::Row &row, QStringList *replaced, int *changed)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const Note &pulled = row.note;
    const bool gone = row.gone;
    if (pulled.id.isEmpty())
        return true;
    const std::optional<Note> local = m_notes->noteById(pulled.id);
    bool written = true;
    switch (mergeAction(local, pulled, gone)) {
    case MergeAction::Remove:
        written = removeLocally(pulled.id);
        *replaced << pulled.id;
        break;
    case MergeAction::RemoveKeepingCopy: {
        const Note copy = conflictCopy(*local, now);
        qCWarning(lcSync) << "note removed on the server" << pulled.id << "local text kept as" << copy.id;
        written = m_notes->insert(copy) && removeLocally(pulled.id);
        *replaced << pulled.id;
        break;
    }
    case MergeAction::Keep:
    case MergeAction::Skip:
        return true;
    case MergeAction::Insert:
        written = m_notes->insert(pulled, &row.text)
            && m_notes->syncState().setMergeBase(pulled.id, pulled.version, pulled.body);
        break;
    case MergeAction::Replace:
        if (*local == pulled)
            return true;
        written = m_notes->update(pulled, &row.text)
            && m_notes->syncState().setMergeBase(pulled.id, pulled.version, pulled.body);
        *replaced << pulled.id;
        break;
    case MergeAction::Conflict: {
        if (const std::optional<Note> merged = mergedNote(*local, pulled)) {
            qCInfo(lcSync) << "note merged" << pulled.id << "at version" << pulled.version;
            written = m_notes->update(*merged)
                && m_notes->syncState().setMergeBase(pulled.id, pulled.version, pulled.body);
            m_pullLeftPending = true;
            *replaced << pulled.id;
            break;
        }
        const Note copy = conflictCopy(*local, now);
        qCWarning(lcSync) << "note conflict" << pulled.id << "local text kept as" << copy.id;
        m_pullLeftPending = true;
        written = m_notes->insert(copy) && m_notes->update(pulled, &row.text)
            && m_notes->syncState().setMergeBase(pulled.id, pulled.version, pulled.body);
        *replaced << pulled.id;
        break;
    }
    }
    ++*changed;
    return written;
}

std::optional<Note> SyncEngine::mergedNote(const Note &local, const Note &pulled) const
{
    // Only a base at the version the local edit started from is its ancestor;
    // a trashing on either side is the convergence rules' business.
    const std::optional<NoteBase> base = m_notes->syncState().mergeBase(local.id);
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
    const CycleGuard self = cycleGuard();
    m_api->get(QStringLiteral("/notebooks"), [this, self](bool ok, int status, const QJsonObject &body) {
        if (!self)
            return;
        if (!ok)
            return fail(tr("Notebook list failed (HTTP %1)"), status);
        const QJsonValue list = body.value("notebooks");
        if (list.isArray())
            mergeNotebooks(list.toArray());
        else
            qCWarning(lcSync) << "notebook list without notebooks";
        advance();
    });
}

void SyncEngine::mergeNotebooks(const QJsonArray &list)
{
    // One transaction, and one list update after it, like a page of notes.
    const RelaxedSync relaxed(m_database->database());
    BulkWriteScope scope({m_database, m_notes, m_notebooks, nullptr, nullptr}, {});
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
    scope.finish();
    if (!scope.commitError().isEmpty())
        qCWarning(lcSync) << "notebook merge not committed";
    if (changed + removed > 0) {
        m_dataChangedInCycle = true;
        scope.notebooksChanged();
    }
    if (removed > 0)
        scope.notesChanged();
}

int SyncEngine::removeNotebooksGoneFromServer(const QSet<QString> &listed)
{
    // The list is complete: a notebook the server once confirmed and no longer
    // lists was deleted there (or is no longer shared with us). One created or
    // changed here is still pending and stays. Its notes move to All Notes
    // without becoming pending: the device that deleted it moves them on the
    // server too, and a pending edit here keeps its text and status.
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
