#include "privatefiles.h"

#include "storagelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace PrivateFiles {

bool isPrivateFolder(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
#else
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink();
#endif
}

bool ensureFolder(const QString &path, bool tighten)
{
    if (path.isEmpty())
        return false;
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
#ifdef Q_OS_UNIX
    // Missing parents are made private too: a missing data home made 0755
    // would show the names of everything below it.
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current;
    for (const QString &part : parts) {
        current += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(current);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
            qCWarning(lcStorage).noquote() << "Cannot create folder" << current << ::strerror(errno);
            return false;
        }
    }
    struct stat st;
    const QByteArray native = QFile::encodeName(clean);
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        qCWarning(lcStorage).noquote() << "Not a folder of this user:" << clean;
        return false;
    }
    if (tighten && (st.st_mode & 077) != 0)
        ::chmod(native.constData(), 0700);
    return true;
#else
    Q_UNUSED(tighten);
    return QDir().mkpath(clean);
#endif
}

void restrictFile(const QString &path)
{
    if (QFileInfo::exists(path))
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

QString runtimeFolder()
{
#ifdef Q_OS_UNIX
    // Anyone may set the variable or create the folder it names; it is
    // trusted only when nobody else can enter it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime))
        return runtime;
    const QString own = QDir::tempPath() + QStringLiteral("/velmora-notes-%1").arg(::geteuid());
    if (ensureFolder(own) && isPrivateFolder(own))
        return own;
    // Someone else holds that name: fall back on the user's own cache.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/velmora-notes-runtime");
    if (ensureFolder(cache, true) && isPrivateFolder(cache))
        return cache;
    qCWarning(lcStorage).noquote() << "No private runtime folder available";
    return {};
#else
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#endif
}

} // namespace PrivateFiles
