#include "notebooksync.h"

#include "accountbinding.h"
#include "apiclient.h"
#include "bulkwritescope.h"
#include "database.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "relaxedsync.h"
#include "synccycle.h"
#include "synclog.h"
#include "syncrecords.h"
#include "wireprotocol.h"

#include <QJsonObject>
#include <QSignalBlocker>

using namespace VelmSync;

NotebookSync::NotebookSync(VelmAccount::ApiClient *api, Database *database, NoteRepository *notes,
                           NotebookRepository *notebooks, AccountBinding *binding, SyncCycle *cycle)
    : m_api(api)
    , m_database(database)
    , m_notes(notes)
    , m_notebooks(notebooks)
    , m_binding(binding)
    , m_cycle(cycle)
{
}

void NotebookSync::push()
{
    m_pending = m_notebooks->pendingNotebooks();
    if (!m_pending.isEmpty())
        emit m_cycle->progress(tr("Uploading notebooks"), 0, int(m_pending.size()));
    pushNext();
}

void NotebookSync::markSynced(const Notebook &sent, int version)
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

void NotebookSync::pushNext()
{
    if (m_pending.isEmpty())
        return m_cycle->phaseDone();
    const Notebook notebook = m_pending.takeFirst();
    // No database can keep a NUL in a name; it is dropped rather than refused on every cycle.
    const QString name = QString(notebook.name).remove(QChar(0));
    const SyncCycle::Guard self = m_cycle->guard();
    const QString path = VelmWire::at(VelmWire::Path::notebooks, notebook.id);
    if (notebook.deletedAt) {
        m_api->del(path, [this, self, notebook](bool ok, int status, const QJsonObject &) {
            if (!self)
                return;
            if (ok || status == 404)
                markSynced(notebook, notebook.version);
            else
                qCWarning(lcSync) << "notebook delete failed" << notebook.id << status;
            pushNext();
        });
        return;
    }
    m_api->put(path, {{"name", name}, {"version", notebook.version}},
               [this, self, notebook](bool ok, int status, const QJsonObject &body) {
                   if (!self)
                       return;
                   if (ok) {
                       markSynced(notebook, body.value("version").toInt(notebook.version));
                       m_cycle->setDataChanged();
                   } else if (status == 404) {
                       return createOnServer(notebook);
                   } else {
                       qCWarning(lcSync) << "notebook put failed" << notebook.id << status;
                   }
                   pushNext();
               });
}

void NotebookSync::createOnServer(const Notebook &notebook)
{
    const SyncCycle::Guard self = m_cycle->guard();
    m_api->post(QLatin1StringView(VelmWire::Path::notebooks),
                {{"id", notebook.id}, {"name", QString(notebook.name).remove(QChar(0))}, {"is_default", notebook.isDefault}},
                [this, self, notebook](bool ok, int status, const QJsonObject &body) {
                    if (!self)
                        return;
                    if (ok) {
                        markSynced(notebook, body.value("version").toInt(1));
                        m_cycle->setDataChanged();
                    } else {
                        qCWarning(lcSync) << "notebook post failed" << notebook.id << status;
                    }
                    pushNext();
                });
}

void NotebookSync::pull()
{
    emit m_cycle->progress(tr("Downloading notebooks"), 0, 0);
    const SyncCycle::Guard self = m_cycle->guard();
    m_api->get(QStringLiteral("/notebooks"), [this, self](bool ok, int status, const QJsonObject &body) {
        if (!self)
            return;
        if (!ok)
            return m_cycle->failed(tr("Notebook list failed (HTTP %1)"), status);
        const QJsonValue list = body.value("notebooks");
        if (!list.isArray()) {
            qCWarning(lcSync) << "notebook list without notebooks";
            return m_cycle->phaseDone();
        }
        // Written in a step, under the cycle's lock.
        m_cycle->later([this, notebooks = list.toArray()] {
            merge(notebooks);
            emit m_cycle->phaseDone();
        });
    });
}

void NotebookSync::merge(const QJsonArray &list)
{
    // One transaction, and one list update after it, like a page of notes.
    const RelaxedSync relaxed(m_database->database());
    BulkWriteScope scope({m_database, m_notes, m_notebooks, nullptr, nullptr}, {});
    int changed = 0;
    QSet<QString> listed;
    QStringList ids;
    for (const QJsonValue &value : list)
        ids << value.toObject().value(QLatin1String("id")).toString();
    m_binding->claim(QStringLiteral("notebooks"), ids);
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
    const int removed = removeGoneFromServer(listed);
    scope.finish();
    if (!scope.commitError().isEmpty())
        qCWarning(lcSync) << "notebook merge not committed";
    if (changed + removed > 0) {
        m_cycle->setDataChanged();
        scope.notebooksChanged();
    }
    if (removed > 0)
        scope.notesChanged();
}

int NotebookSync::removeGoneFromServer(const QSet<QString> &listed)
{
    // The list is complete: a notebook the server once confirmed and no longer
    // lists was deleted there (or is no longer shared with us). One created or
    // changed here is still pending and stays. Its notes move to All Notes
    // without becoming pending: the device that deleted it moves them on the
    // server too, and a pending edit here keeps its text and status.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Another account's notebooks were never on this account's list.
    const QSet<QString> unbound = m_binding->unboundNotebookIds();
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
