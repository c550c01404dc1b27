#pragma once

#include "syncstatus.h"

#include <QDateTime>
#include <QString>

#include <optional>

// One row of the notebooks table. Times are UTC.
struct Notebook
{
    QString id;
    QString name;
    bool isDefault = false;
    bool isShared = false;
    QString ownerId; // empty for the user's own notebooks
    QDateTime createdAt;
    QDateTime updatedAt;
    std::optional<QDateTime> deletedAt; // present: deleted
    int version = 1;
    SyncStatus syncStatus = SyncStatus::Pending;

    bool operator==(const Notebook &) const = default;
};
