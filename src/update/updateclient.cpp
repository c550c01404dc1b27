#include "updateclient.h"

#include "updatelog.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace VelmUpdate {

UpdateClient::UpdateClient(const UpdateConfig &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_platformKey(currentPlatformKey())
    , m_network(new QNetworkAccessManager(this))
{
}

QNetworkRequest UpdateClient::request(const QUrl &url, const QString &product, int transferTimeoutMs)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("VelmUpdateQt/0.1 (%1)").arg(product));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

QUrl UpdateClient::manifestUrl(const QUrl &releaseBaseUrl)
{
    QUrl url = releaseBaseUrl;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + QStringLiteral("latest.json"));
    return url;
}

void UpdateClient::check()
{
    if (m_inFlight) {
        qCDebug(lcUpdate) << "check already in flight, ignoring";
        return;
    }
    if (!m_config.releaseBaseUrl.isValid()) {
        emit checkFailed(QStringLiteral("manifestBaseUrl is not valid"));
        return;
    }
    if (m_config.currentVersion.isEmpty()) {
        emit checkFailed(QStringLiteral("currentVersion is empty"));
        return;
    }
    // A manifest over plain http could be swapped on the way by anyone in between.
    const QUrl url = manifestUrl(m_config.releaseBaseUrl);
    if (!isSafeDownloadUrl(url)) {
        emit checkFailed(QStringLiteral("release address must use https: %1").arg(url.toDisplayString()));
        return;
    }
    m_inFlight = true;
    QNetworkReply *reply = m_network->get(request(url, m_config.product, m_config.transferTimeoutMs));
    limitReply(reply, maxManifestBytes);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReply(reply); });
}

void UpdateClient::limitReply(QNetworkReply *reply, qint64 maxBytes)
{
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maxBytes](qint64 received, qint64 total) {
        if ((received > maxBytes || total > maxBytes) && !exceededLimit(reply)) {
            reply->setProperty("velmExceeded", true);
            reply->abort();
        }
    });
}

bool UpdateClient::exceededLimit(const QNetworkReply *reply)
{
    return reply->property("velmExceeded").toBool();
}

bool UpdateClient::acceptsNotesUrl(const QUrl &notesUrl, const QUrl &manifestUrl)
{
    if (!notesUrl.isValid() || notesUrl.host().isEmpty())
        return false;
    if (notesUrl.scheme() == QLatin1String("https"))
        return true;
    return notesUrl.scheme() == QLatin1String("http") && manifestUrl.scheme() == notesUrl.scheme()
        && manifestUrl.host().compare(notesUrl.host(), Qt::CaseInsensitive) == 0
        && manifestUrl.port(80) == notesUrl.port(80);
}

void UpdateClient::onReply(QNetworkReply *reply)
{
    m_inFlight = false;
    reply->deleteLater();
    // A reply may finish before the limit is noticed: its size decides too.
    const QByteArray manifest = reply->error() == QNetworkReply::NoError ? reply->read(maxManifestBytes + 1) : QByteArray();
    if (exceededLimit(reply) || manifest.size() > maxManifestBytes) {
        emit checkFailed(QStringLiteral("manifest larger than %1 bytes").arg(maxManifestBytes));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        if (reply->error() == QNetworkReply::ContentNotFoundError
            || reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 404) {
            qCInfo(lcUpdate) << "manifest 404, treating as up-to-date";
            emit upToDate();
        } else {
            emit checkFailed(QStringLiteral("network error: %1").arg(reply->errorString()));
        }
        return;
    }
    const Outcome outcome = evaluate(manifest, m_platformKey, m_config.currentVersion, reply->url());
    if (outcome.update)
        emit updateAvailable(*outcome.update);
    else if (!outcome.failure.isEmpty())
        emit checkFailed(outcome.failure);
    else
        emit upToDate();
}

UpdateClient::Outcome UpdateClient::evaluate(const QByteArray &manifestJson, const QString &platformKey,
                                 const QString &currentVersion, const QUrl &manifestUrl)
{
    QString error;
    const std::optional<Manifest> manifest = parseManifest(manifestJson, &error);
    if (!manifest)
        return {std::nullopt, QStringLiteral("manifest invalid: %1").arg(error)};
    if (platformKey.isEmpty()) {
        qCWarning(lcUpdate) << "unknown platform, skipping update check";
        return {};
    }
    const auto found = manifest->artifacts.constFind(platformKey);
    if (found == manifest->artifacts.constEnd()) {
        qCInfo(lcUpdate) << "platform" << platformKey << "not shipped in current manifest";
        return {};
    }
    const QVersionNumber current = parseVersion(currentVersion);
    if (current >= parseVersion(found->version))
        return {};
    if (!found->minUpgradableFrom.isEmpty() && current < parseVersion(found->minUpgradableFrom))
        return {std::nullopt,
                QStringLiteral("current version %1 is older than min_upgradable_from %2; please upgrade to an "
                               "intermediate release first")
                    .arg(currentVersion, found->minUpgradableFrom)};
    Artifact artifact = *found;
    if (!artifact.releaseNotesUrl.isEmpty() && !acceptsNotesUrl(artifact.releaseNotesUrl, manifestUrl)) {
        qCWarning(lcUpdate).noquote() << "release notes address refused (https or the manifest's own server only):"
                                      << artifact.releaseNotesUrl.toDisplayString();
        artifact.releaseNotesUrl = QUrl();
    }
    return {artifact, {}};
}

} // namespace VelmUpdate
