#include "datafolderguard.h"

#include "applog.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>

std::unique_ptr<QLockFile> lockDataFolder(const QString &folder)
{
    auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral("velmora_notes.lock")));
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return lock;
    if (lock->error() == QLockFile::LockFailedError) {
        qCCritical(lcApp).noquote() << "The data folder is in use by another process:" << folder;
        return nullptr;
    }
    // A folder where no lock can be written fails later with its own error.
    qCWarning(lcApp).noquote() << "Cannot lock the data folder" << folder << lock->error();
    return std::make_unique<QLockFile>(QString());
}

QString replacedDatabasesText(const QString &folder, const QStringList &files)
{
    if (files.isEmpty())
        return {};
    return QCoreApplication::translate("DataFolderGuard",
                                       "The installation id in \"%1\" was missing or unreadable, so a new, empty "
                                       "database was started. Your earlier notes are still in:\n\n%2")
        .arg(QDir::toNativeSeparators(folder + QStringLiteral("/client_id")), files.join(QLatin1Char('\n')));
}

QString emptiedDatabaseText(const QString &path)
{
    if (path.isEmpty())
        return {};
    return QCoreApplication::translate("DataFolderGuard",
                                       "The notes database was empty (0 bytes), as after a failed copy or a damaged "
                                       "disk, so a new, empty database was started in its place:\n\n%1\n\n"
                                       "If you have a backup, restore it with File > Restore Backup.")
        .arg(QDir::toNativeSeparators(path));
}

void showReplacedDatabases(QWidget *parent, const QString &folder, const QStringList &files)
{
    const QString text = replacedDatabasesText(folder, files);
    if (!text.isEmpty())
        QMessageBox::information(parent, QCoreApplication::translate("DataFolderGuard", "New Database Started"), text);
}

void showEmptiedDatabase(QWidget *parent, const QString &path)
{
    const QString text = emptiedDatabaseText(path);
    if (!text.isEmpty())
        QMessageBox::warning(parent, QCoreApplication::translate("DataFolderGuard", "New Database Started"), text);
}
