#include "attachmenttempfolder.h"

#include "privatefiles.h"
#include "uilog.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

QString attachmentTempFolder()
{
    // Destroyed at exit, which removes the copies.
    static std::unique_ptr<QTemporaryDir> folder;
    if (!folder || !folder->isValid()) {
        QString base = PrivateFiles::runtimeFolder();
        if (base.isEmpty())
            base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        if (!PrivateFiles::ensureFolder(base))
            return {};
        folder = std::make_unique<QTemporaryDir>(base + QStringLiteral("/velmora-attachments-XXXXXX"));
        if (!folder->isValid()) {
            qCWarning(lcUi).noquote() << "Cannot create a folder for attachment copies in" << base;
            return {};
        }
    }
    return folder->path();
}
