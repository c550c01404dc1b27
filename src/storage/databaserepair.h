#pragma once

// Repair of a damaged database file by dump and reload: every row still
// readable is copied into a new file with the same schema, and the damaged
// file is kept beside it.

#include <QString>
#include <QStringList>

namespace DatabaseRepair {

struct Outcome
{
    bool ok = false;
    QStringList lost;    // what could not be copied, one line per table or statement
    QString keptDamaged; // where the damaged file was moved
};

// Copies what can be read from damaged (opened read-only) into target (a
// new file; replaced when it exists): schema, rows table by table (row by row
// once a table cannot be read whole), indexes and triggers, user version.
// False when the schema cannot be read or target fails its integrity check.
// No connection may be open on target.
bool rebuildInto(const QString &damaged, const QString &target, QStringList *lost);

// Rebuilds path into a new file, then moves the damaged file (with its log)
// aside as "<path>.damaged-<time>" and the new file into its place. Every
// connection to path must be closed first.
Outcome repair(const QString &path);

} // namespace DatabaseRepair
