#include "disksync.h"

#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_LINUX)
#include <fcntl.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

bool DiskSync::files(const QStringList &paths)
{
    if (paths.isEmpty())
        return true;
#if defined(Q_OS_LINUX)
    const int fd = ::open(QFile::encodeName(QFileInfo(paths.first()).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    const bool ok = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
#else
    bool ok = true;
    for (const QString &path : paths) {
        QFile file(path);
#ifdef Q_OS_WIN
        ok = file.open(QIODevice::ReadWrite) && ::_commit(file.handle()) == 0 && ok;
#else
        ok = file.open(QIODevice::ReadOnly) && ::fsync(file.handle()) == 0 && ok;
#endif
    }
    return ok;
#endif
}
