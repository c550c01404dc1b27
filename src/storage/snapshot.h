#pragma once

#include <QDateTime>
#include <QString>

// One row of note_snapshots: a note's body as it was at one version.
struct Snapshot
{
    QString id;
    QString noteId;
    int version = 0;
    QString body; // Delta JSON
    QDateTime createdAt; // UTC

    bool operator==(const Snapshot &) const = default;
};
