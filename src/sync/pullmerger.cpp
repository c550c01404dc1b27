#include "pullmerger.h"

#include "accountbinding.h"
#include "bulkwritescope.h"
#include "apiclient.h"
#include "database.h"
#include "deltamerge.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "relaxedsync.h"
#include "preferencesrepository.h"
#include "synccycle.h"
#include "synclog.h"
#include "syncrecords.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QSet>
#include <QtConcurrent>

using namespace VelmSync;
using SearchRow = NoteSearchIndex::SearchRow;

PullMerger::PullMerger(VelmAccount::ApiClient *api, Database *database, NoteRepository *notes,
                       NotebookRepository *notebooks, PreferencesRepository *preferences, AccountBinding *binding,
                       SyncCycle *cycle)
    : m_api(api)
    , m_database(database)
    , m_notes(notes)
    , m_notebooks(notebooks)
    , m_preferences(preferences)
    , m_binding(binding)
    , m_cycle(cycle)
{
}

void PullMerger::reset()
{
    m_rowFailed = false;
    m_leftPending = false;
}

void PullMerger::clear()
{
    m_merge = Merge();
}

void PullMerger::pull()
{
    pullPage(m_preferences->getString(kCursor));
}

void PullMerger::pullPage(const QString &since)
{
    emit m_cycle->progress(tr("Downloading notes"), 0, 0);
    QUrlQuery query;
    if (!since.isEmpty())
        query.addQueryItem(QStringLiteral("since"), since);
    const SyncCycle::Guard self = m_cycle->guard();
    m_api->getBinary(
        QStringLiteral("/sync/pull"),
        [this, self, since](bool ok, int status, const QByteArray &reply) {
            if (!self)
                return;
            if (!ok)
                return m_cycle->failed(tr("Pull failed (HTTP %1)"), status);
            // Reading the page and the texts of its bodies is the long part of
            // a merge; it runs on a worker, and the result is dropped if the
            // cycle ended (or the engine went) meanwhile.
            auto *watcher = new QFutureWatcher<PulledPage>(this);
            connect(watcher, &QFutureWatcherBase::finished, this, [this, self, watcher, since] {
                watcher->deleteLater();
                if (!self)
                    return;
                // The page's claim writes: a step, under the cycle's lock.
                m_cycle->later([this, page = watcher->result(), since] { pulledPage(page, since); });
            });
            watcher->setFuture(QtConcurrent::run(&PulledPage::read, reply, m_database->textExtractor()));
        },
        query);
}

void PullMerger::pulledPage(const PulledPage &page, const QString &since)
{
    if (!page.valid)
        return m_cycle->failed(tr("Pull failed (HTTP %1)"), 200);
    m_merge = Merge();
    m_merge.page = page;
    m_merge.since = since;
    // Rows of another account's the server lists as this one's are taken
    // over first, in a turn of their own.
    QStringList listed;
    for (const PulledPage::Row &row : std::as_const(page.rows))
        listed << row.note.id;
    {
        // Taken over again if the page comes again: no sync of the log needed.
        const RelaxedSync relaxed(m_database->database());
        m_merge.written = m_binding->claim(QStringLiteral("notes"), listed);
    }
    m_cycle->later([this] { mergeSlice(); });
}

void PullMerger::mergeSlice()
{
    // The rows of a page are written for about SyncCycle::kSliceMs at a time, each
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
        const int budget = m_cycle->rowBudgetMs();
        while (merge.next < rows && (merge.next == from || clock.elapsed() < budget))
            merge.written = mergeRow(merge.page.rows.at(merge.next++), &merge.replaced, &merge.changed) && merge.written;
        last = merge.next == rows;
        // A row that could not be written comes again only if the cursor stays before it.
        const qint64 timestamp = merge.page.timestamp;
        if (last && merge.written && !m_rowFailed && timestamp > 0)
            m_preferences->set(kCursor, QString::number(timestamp));
        const qint64 rowsDone = clock.elapsed();
        scope.finish();
        m_cycle->commitTook(clock.elapsed() - rowsDone);
        if (!scope.commitError().isEmpty()) {
            qCWarning(lcSync) << "note merge not committed";
            merge.written = false;
        }
        // One list update for the page.
        if (last && merge.changed > 0)
            scope.notesChanged();
    }
    if (!last)
        return m_cycle->later([this] { mergeSlice(); });
    if (merge.changed > 0)
        m_cycle->setDataChanged();
    if (!merge.replaced.isEmpty())
        emit notesMerged(merge.replaced);
    m_rowFailed = m_rowFailed || !merge.written;
    const bool more = merge.page.hasMore && merge.page.timestamp > merge.since.toLongLong();
    const qint64 timestamp = merge.page.timestamp;
    m_merge = Merge();
    if (more)
        return pullPage(QString::number(timestamp));
    emit m_cycle->phaseDone();
}

bool PullMerger::mergeRow(const PulledPage::Row &row, QStringList *replaced, int *changed)
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
        written = removeLocally(m_notes, pulled.id);
        *replaced << pulled.id;
        break;
    case MergeAction::RemoveKeepingCopy: {
        const Note copy = conflictCopy(*local, now);
        qCWarning(lcSync) << "note removed on the server" << pulled.id << "local text kept as" << copy.id;
        written = m_notes->insert(copy) && removeLocally(m_notes, pulled.id);
        *replaced << pulled.id;
        break;
    }
    case MergeAction::Keep:
    case MergeAction::Skip:
        return true;
    case MergeAction::Insert:
        written = m_notes->insert(pulled, &row.text, SearchRow::Background)
            && m_notes->syncState().setMergeBase(pulled.id, pulled.version, pulled.body);
        break;
    case MergeAction::Replace:
        if (*local == pulled)
            return true;
        written = m_notes->update(pulled, &row.text, SearchRow::Background)
            && m_notes->syncState().setMergeBase(pulled.id, pulled.version, pulled.body);
        *replaced << pulled.id;
        break;
    case MergeAction::Conflict: {
        if (const std::optional<Note> merged = mergedNote(*local, pulled)) {
            qCInfo(lcSync) << "note merged" << pulled.id << "at version" << pulled.version;
            written = m_notes->update(*merged) && m_notes->syncState().setMergeBase(pulled.id, pulled.version, pulled.body);
            m_leftPending = true;
            *replaced << pulled.id;
            break;
        }
        const Note copy = conflictCopy(*local, now);
        qCWarning(lcSync) << "note conflict" << pulled.id << "local text kept as" << copy.id;
        m_leftPending = true;
        written = m_notes->insert(copy) && m_notes->update(pulled, &row.text, SearchRow::Background)
            && m_notes->syncState().setMergeBase(pulled.id, pulled.version, pulled.body);
        *replaced << pulled.id;
        break;
    }
    }
    ++*changed;
    return written;
}

std::optional<Note> PullMerger::mergedNote(const Note &local, const Note &pulled) const
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

