#pragma once

// Start-up guards of the data folder: one process at a time writes into it,
// and the user hears of notes left in a database the program no longer opens.

#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;
class QWidget;

// Held for the life of the process; null when another process holds the
// folder (the lock is kept beside the database).
std::unique_ptr<QLockFile> lockDataFolder(const QString &folder);

// What the user is told when a new installation id hid earlier databases;
// empty when there are none.
QString replacedDatabasesText(const QString &folder, const QStringList &files);
void showReplacedDatabases(QWidget *parent, const QString &folder, const QStringList &files);

// The warning for a database file found empty (Database::emptiedDatabase);
// empty when path is.
QString emptiedDatabaseText(const QString &path);
void showEmptiedDatabase(QWidget *parent, const QString &path);
