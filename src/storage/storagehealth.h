#pragma once

// Damage to the database file: recognised on any failed statement, and
// looked for by a quick check that runs away from the GUI thread.

#include <QString>
#include <QStringList>

#include <functional>

class QSqlError;

namespace StorageHealth {

// SQLITE_CORRUPT or SQLITE_NOTADB.
bool isCorruption(const QSqlError &error);
// SQLITE_FULL.
bool isDiskFull(const QSqlError &error);
// Logs a failed statement with the driver's error; a corruption error also
// goes to the handler (see setCorruptionHandler).
void reportFailure(const QSqlError &error, const QString &sql);
// Statements that failed on a full disk in this process so far.
int diskFullFailures();
// Called on the thread of the failing statement with the driver's text;
// replaces any earlier handler. An empty function removes it.
void setCorruptionHandler(std::function<void(const QString &error)> handler);

// "PRAGMA quick_check" on a connection of its own that only reads: the
// problems found, empty when the file is sound. Safe on any thread.
QStringList quickCheck(const QString &path);

// Removes the files of attachmentsDir that no row of the attachments table
// names and that were last changed more than minAgeSeconds ago (younger ones
// may belong to a write under way). Reads the rows on a connection of its own
// that only reads; safe on any thread. The number removed, or -1 when the
// rows cannot be read (nothing is removed then).
int removeOrphanAttachmentFiles(const QString &databasePath, const QString &attachmentsDir, qint64 minAgeSeconds);

} // namespace StorageHealth
