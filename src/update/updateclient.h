#pragma once

#include "manifest.h"
#include "updateconfig.h"

#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace VelmUpdate {

// Reads the channel's manifest and tells whether this platform has a newer
// build. One check at a time; answers through exactly one of the signals.
class UpdateClient final : public QObject
{
    Q_OBJECT
public:
    explicit UpdateClient(const UpdateConfig &config, QObject *parent = nullptr);

    void check();

    // Defaults to the running system's key; tests pose as other platforms.
    void setPlatformKey(const QString &key) { m_platformKey = key; }

    // What a manifest means for a build: a newer artifact, or up to date
    // (empty reason), or a failure (its reason). No network involved.
    struct Outcome
    {
        std::optional<Artifact> update;
        QString failure;
    };
    // manifestUrl is where the manifest came from: release notes are taken
    // only over https or from that same origin, never from local files.
    static Outcome evaluate(const QByteArray &manifestJson, const QString &platformKey,
                            const QString &currentVersion, const QUrl &manifestUrl = QUrl());
    static bool acceptsNotesUrl(const QUrl &notesUrl, const QUrl &manifestUrl);

    // Largest replies read; a longer one is aborted as it arrives.
    static constexpr qint64 maxManifestBytes = 1024 * 1024;
    static constexpr qint64 maxNotesBytes = 256 * 1024;
    // Aborts reply once more than maxBytes arrive or are announced;
    // exceededLimit() then tells it apart from other failures.
    static void limitReply(QNetworkReply *reply, qint64 maxBytes);
    static bool exceededLimit(const QNetworkReply *reply);

    static QUrl manifestUrl(const QUrl &releaseBaseUrl);

    // User agent and redirect policy shared by every request of this library.
    static QNetworkRequest request(const QUrl &url, const QString &product,
                                   int transferTimeoutMs = UpdateConfig().transferTimeoutMs);

signals:
    void updateAvailable(const VelmUpdate::Artifact &artifact);
    void upToDate();
    void checkFailed(const QString &reason);

private:
    void onReply(QNetworkReply *reply);

    UpdateConfig m_config;
    QString m_platformKey;
    QNetworkAccessManager *m_network;
    bool m_inFlight = false;
};

} // namespace VelmUpdate
