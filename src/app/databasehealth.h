#pragma once

// Watches the open database for damage: a statement failing with a
// corruption error stops the application with the "Database Error" box, and
// a quick check runs once a day after the main window is up.

#include <QString>

#include <functional>

class AppState;
class QObject;

using HealthMessage = std::function<void(const QString &title, const QString &text)>;

// critical is shown before the application quits with 1; warning reports
// damage found by the daily check. Both are called on the GUI thread.
void watchDatabaseHealth(AppState *state, const QString &path, QObject *context, HealthMessage critical,
                         HealthMessage warning);

// The text of the "Database Error" box for a damaged file.
QString damagedDatabaseText(const QString &path, const QString &error);
