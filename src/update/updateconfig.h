#pragma once

#include <QString>
#include <QUrl>

namespace VelmUpdate {

// Where one product's channel is published and which version is running.
struct UpdateConfig
{
    QString product;
    QString channel;
    QUrl releaseBaseUrl; // directory of the channel, path ending "/<product>/<channel>/"
    QString currentVersion;
    // A request that receives nothing for this long fails, so that a silent
    // server never leaves a check in flight for good.
    int transferTimeoutMs = 30000;

    // The release server is UPDATE_BASE_URL when set and not empty, else the
    // releases of serverUrl (the server the account uses), else those of the
    // local velmora-server; the channel directory lies below it.
    static UpdateConfig fromEnvironment(const QString &product, const QString &channel,
                                        const QString &currentVersion, const QString &serverUrl = QString());
};

// https anywhere; plain http only to this machine (a local release server).
bool isSafeDownloadUrl(const QUrl &url);

} // namespace VelmUpdate
