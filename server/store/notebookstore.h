#pragma once

#include "db.h"
#include "storeresult.h"
#include "wireprotocol.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace VelmServer {

struct NotebookRow
{
    QString id, ownerId, name;
    bool isDefault = false;
    qint64 version = 0, createdAt = 0, updatedAt = 0;
    std::optional<qint64> deletedAt;
    bool deleted() const { return deletedAt.has_value(); }
};

// A notebook and the caller's permission on it.
struct VisibleNotebook
{
    NotebookRow notebook;
    VelmWire::Permission permission = VelmWire::Permission::None;
};

// The notebooks table.
class NotebookStore
{
public:
    explicit NotebookStore(Db &db) : m_db(db) {}

    StoreResult<std::optional<NotebookRow>> byId(const QString &id);
    // The stored ones among ids.
    StoreResult<QList<NotebookRow>> byIds(const QStringList &ids);
    // The live notebooks the user owns or was given, oldest first.
    StoreResult<QList<VisibleNotebook>> visibleTo(const QString &userId);
    StoreStatus insert(const NotebookRow &n);
    // Writes name, version, updated and deleted times of n.
    StoreStatus update(const NotebookRow &n);

private:
    Db &m_db;
};

} // namespace VelmServer
