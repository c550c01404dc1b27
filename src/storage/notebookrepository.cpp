#include "notebookrepository.h"

#include "database.h"
#include "sqlhelpers.h"
#include "storagelog.h"
#include "storagetime.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace SqlHelpers;

namespace {

Notebook notebookFromRow(const QSqlQuery &q)
{
    Notebook notebook;
    notebook.id = q.value("id").toString();
    notebook.name = q.value("name").toString();
    notebook.isDefault = q.value("is_default").toBool();
    notebook.isShared = q.value("is_shared").toBool();
    notebook.ownerId = q.value("owner_id").toString();
    notebook.createdAt = storageTimeFromText(q.value("created_at").toString());
    notebook.updatedAt = storageTimeFromText(q.value("updated_at").toString());
    notebook.deletedAt = optionalTimeFromText(q.value("deleted_at").toString());
    notebook.version = q.value("version").toInt();
    notebook.syncStatus = syncStatusFromString(q.value("sync_status").toString());
    return notebook;
}

} // namespace

NotebookRepository::NotebookRepository(Database *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    Q_ASSERT(m_database);
}

void NotebookRepository::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

QList<Notebook> NotebookRepository::queryNotebooks(const QString &sql) const
{
    QList<Notebook> notebooks;
    QSqlQuery q(m_database->database());
    if (!q.exec(sql))
        return notebooks;
    while (q.next())
        notebooks << notebookFromRow(q);
    return notebooks;
}

QList<Notebook> NotebookRepository::allNotebooks() const
{
    return queryNotebooks(
        QStringLiteral("SELECT * FROM notebooks WHERE deleted_at IS NULL ORDER BY is_default DESC, name ASC"));
}

std::optional<Notebook> NotebookRepository::notebookById(const QString &id) const
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("SELECT * FROM notebooks WHERE id = ?"), {id}) || !q.next())
        return std::nullopt;
    return notebookFromRow(q);
}

QList<Notebook> NotebookRepository::pendingNotebooks() const
{
    return queryNotebooks(
        QStringLiteral("SELECT * FROM notebooks WHERE sync_status = 'pending' AND account = '' "
                       "ORDER BY is_default DESC, name ASC"));
}

bool NotebookRepository::insert(const Notebook &notebook)
{
    QSqlQuery q(m_database->database());
    const bool ok = exec(q,
                         QStringLiteral("INSERT INTO notebooks (id, name, is_default, is_shared, owner_id, created_at, "
                                        "updated_at, deleted_at, version, sync_status) "
                                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                         {notebook.id, notebook.name, notebook.isDefault ? 1 : 0, notebook.isShared ? 1 : 0,
                          textOrNull(notebook.ownerId), storageTimeText(notebook.createdAt),
                          storageTimeText(notebook.updatedAt), optionalTime(notebook.deletedAt), notebook.version,
                          syncStatusToString(notebook.syncStatus)});
    if (!ok) {
        qCWarning(lcStorage).noquote() << "NotebookRepository::insert failed:" << q.lastError().text();
        return false;
    }
    emit notebooksChanged();
    return true;
}

bool NotebookRepository::update(const Notebook &notebook)
{
    QSqlQuery q(m_database->database());
    const bool ok = exec(q,
                         QStringLiteral("UPDATE notebooks SET name=?, is_default=?, is_shared=?, owner_id=?, "
                                        "updated_at=?, deleted_at=?, version=?, sync_status=? WHERE id=?"),
                         {notebook.name, notebook.isDefault ? 1 : 0, notebook.isShared ? 1 : 0,
                          textOrNull(notebook.ownerId), storageTimeText(notebook.updatedAt),
                          optionalTime(notebook.deletedAt), notebook.version,
                          syncStatusToString(notebook.syncStatus), notebook.id});
    if (!ok) {
        qCWarning(lcStorage).noquote() << "NotebookRepository::update failed:" << q.lastError().text();
        return false;
    }
    emit notebooksChanged();
    return true;
}

bool NotebookRepository::softDelete(const QString &id)
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral("UPDATE notebooks SET deleted_at=?, sync_status='pending' WHERE id=?"),
              {storageTimeText(m_clock()), id}))
        return false;
    emit notebooksChanged();
    return true;
}

int NotebookRepository::markAllPending()
{
    QSqlQuery q(m_database->database());
    if (!exec(q, QStringLiteral(
                 "UPDATE notebooks SET sync_status='pending' WHERE deleted_at IS NULL AND sync_status != 'pending'")))
        return 0;
    return q.numRowsAffected();
}
