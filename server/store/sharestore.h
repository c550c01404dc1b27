#pragma once

#include "db.h"
#include "storeresult.h"
#include "wireprotocol.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace VelmServer {

using VelmWire::Permission;
using VelmWire::ShareKind;

struct ShareRow
{
    QString id;
    ShareKind kind = ShareKind::Note;
    QString itemId, userId;
    Permission permission = Permission::None;
    qint64 createdAt = 0;
};

// A share as its item's owner sees it: with the member's name.
struct ListedShare
{
    ShareRow share;
    QString email, displayName;
};

// What a user was given: permissions by note and by notebook, their own
// notebooks counting as editable.
struct ReceivedAccess
{
    QHash<QString, Permission> notes, notebooks;
    // The stronger of the note's own share and its notebook's.
    Permission of(const QString &noteId, const QString &notebookId) const;
};

// The shares table, and who may read or write a note or notebook through it.
class ShareStore
{
public:
    explicit ShareStore(Db &db) : m_db(db) {}

    StoreResult<Permission> notePermission(const QString &userId, const QString &ownerId, const QString &noteId,
                                           const QString &notebookId);
    StoreResult<Permission> notebookPermission(const QString &userId, const QString &ownerId, const QString &notebookId);
    // Everyone whose pull must bring a change to this note.
    StoreResult<QSet<QString>> noteReaders(const QString &ownerId, const QString &noteId, const QString &notebookId);

    // Every share of kind on any of itemIds.
    StoreResult<QList<ShareRow>> onItems(ShareKind kind, const QStringList &itemIds);
    StoreResult<QList<ListedShare>> list(ShareKind kind, const QString &itemId);
    // The member of a share named by their account id or by the share's id.
    StoreResult<std::optional<QString>> member(ShareKind kind, const QString &itemId, const QString &key);
    StoreResult<bool> exists(ShareKind kind, const QString &itemId, const QString &userId);
    StoreStatus put(ShareKind kind, const QString &itemId, const QString &userId, Permission permission, qint64 now);
    StoreStatus remove(ShareKind kind, const QString &itemId, const QString &userId);
    // Every share the user gave or received.
    StoreResult<QList<ShareRow>> involving(const QString &userId);
    StoreResult<ReceivedAccess> received(const QString &userId);
    // The user's notes and notebooks that someone else may read.
    StoreResult<QSet<QString>> sharedBy(const QString &userId);

private:
    Db &m_db;
};

} // namespace VelmServer
