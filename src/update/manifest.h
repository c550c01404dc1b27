#pragma once

#include <QDateTime>
#include <QHash>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

#include <optional>

class QByteArray;

namespace VelmUpdate {

// One platform's build as the release manifest describes it.
struct Artifact
{
    QString version;
    QDateTime releasedAt;
    QUrl url;
    qint64 size = 0;
    QString sha256;
    bool mandatory = false;
    QString minUpgradableFrom;
    QUrl releaseNotesUrl; // invalid when the manifest names none
};

struct Manifest
{
    int schema = 0;
    QString app;
    QString channel;
    QHash<QString, Artifact> artifacts; // by platform key
};

// The manifest, or nothing with the reason in *error. A manifest whose later
// artifacts fail is still used when an earlier one was accepted.
std::optional<Manifest> parseManifest(const QByteArray &json, QString *error);

// "1", "1.2" or "1.2.3" as three numbers; anything else is 0.0.0.
QVersionNumber parseVersion(const QString &text);

// The manifest key of a build for a kernel (QSysInfo::kernelType()) and a
// processor (QSysInfo::currentCpuArchitecture()); empty when none is shipped.
QString platformKey(const QString &kernelType, const QString &cpuArchitecture);
QString currentPlatformKey();

} // namespace VelmUpdate

Q_DECLARE_METATYPE(VelmUpdate::Artifact)
