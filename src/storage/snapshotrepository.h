#pragma once

#include "snapshot.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class Database;

// Stores and reads the saved versions of note bodies. Holds a non-owning
// pointer to the Database, which must outlive it. GUI thread only.
class SnapshotRepository final : public QObject
{
    Q_OBJECT
public:
    explicit SnapshotRepository(Database *database, QObject *parent = nullptr);

    std::optional<Snapshot> snapshotById(const QString &id) const;
    QList<Snapshot> snapshotsForNote(const QString &noteId) const; // highest version first
    // Every snapshot, handed to each one row at a time; stops when each
    // returns false. False when the read or each failed.
    bool forEachSnapshot(const std::function<bool(const Snapshot &)> &each) const;
    // A snapshot with the (note, version) of an existing one replaces it.
    bool insert(const Snapshot &snapshot);

private:
    Database *m_database;
};
