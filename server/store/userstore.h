#pragma once

#include "db.h"
#include "storeresult.h"

#include <QList>
#include <QString>

#include <optional>

namespace VelmServer {

struct UserRow
{
    QString id, email, passwordHash, displayName, username, avatarUrl, language, timezone, status, groupId;
    qint64 createdAt = 0, lastStamp = 0;
};

struct DeviceRow
{
    QString id, userId, deviceName, platform, appId, appVersion, fingerprint;
    qint64 lastSyncAt = 0, createdAt = 0;
};

// Accounts and the devices they sync from.
class UserStore
{
public:
    explicit UserStore(Db &db) : m_db(db) {}

    StoreResult<std::optional<UserRow>> byId(const QString &id);
    StoreResult<std::optional<UserRow>> byEmail(const QString &email);
    StoreStatus insert(const UserRow &u);
    StoreStatus setDisplayName(const QString &id, const QString &name);
    StoreStatus setPasswordHash(const QString &id, const QString &hash);
    // Every row of the account but its attachments', inside the caller's transaction.
    StoreStatus removeAccount(const QString &id);

    StoreResult<QList<DeviceRow>> devices(const QString &userId);
    // Marks the device synced now; false when the user has no such device yet.
    StoreResult<bool> touchDevice(const QString &userId, const QString &fingerprint, const QString &appVersion,
                                  const QString &platform, qint64 now);
    StoreStatus addDevice(const DeviceRow &d);
    // False when the user has no such device.
    StoreResult<bool> renameDevice(const QString &userId, const QString &id, const QString &name);
    StoreResult<bool> removeDevice(const QString &userId, const QString &id);

private:
    Db &m_db;
};

} // namespace VelmServer
