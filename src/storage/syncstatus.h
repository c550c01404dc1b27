#pragma once

#include <QString>

// Sync state shared by notes, notebooks and attachments.
enum class SyncStatus {
    Pending = 0,
    Synced = 1,
    Conflict = 2,
};

// "pending", "synced" or "conflict"; any value outside the enum writes as "pending".
QString syncStatusToString(SyncStatus status);
// Exactly "synced" or "conflict" (case-sensitive); any other text reads as Pending.
SyncStatus syncStatusFromString(const QString &text);
