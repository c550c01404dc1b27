#pragma once

// Watches the database for damage: a quick check runs once a day before the
// first write of a start (a damaged file is then opened read-only), and a
// statement failing with a corruption error stops the application with the
// "Database Error" box.

#include <QString>

#include <functional>

class AppState;
class QObject;

using HealthMessage = std::function<void(const QString &title, const QString &text)>;

// The quick check, when none ran today, on a connection that only reads:
// the problems found, empty when the file is sound or no check was due.
// *ran tells whether it ran (its day is stored by watchDatabaseHealth).
QStringList checkBeforeFirstWrite(const QString &path, bool *ran);

// critical is shown before the application quits with 1; it is called on the
// GUI thread. checked: the check of the day ran and found the file sound.
void watchDatabaseHealth(AppState *state, const QString &path, HealthMessage critical, bool checked);

// The text of the "Database Error" box for a damaged file.
QString damagedDatabaseText(const QString &path, const QString &error);

// Once the main window is up and idle, removes on a worker the attachment
// files no row names (left by a kill during an import or emptying the trash).
void sweepOrphanAttachments(const QString &databasePath, QObject *context);
