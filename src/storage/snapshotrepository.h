#pragma once

#include "snapshot.h"

#include <QList>
#include <QObject>
#include <QString>

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
    // A snapshot with the (note, version) of an existing one replaces it.
    bool insert(const Snapshot &snapshot);

private:
    Database *m_database;
};
