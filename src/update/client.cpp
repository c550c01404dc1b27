#include "client.h"

#include "updatelog.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace VelmUpdate {

Client::Client(const UpdateConfig &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_platformKey(currentPlatformKey())
    , m_network(new QNetworkAccessManager(this))
{
}

QNetworkRequest Client::request(const QUrl &url, const QString &product, int transferTimeoutMs)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("VelmUpdateQt/0.1 (%1)").arg(product));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

QUrl Client::manifestUrl(const QUrl &releaseBaseUrl)
{
    QUrl url = releaseBaseUrl;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + QStringLiteral("latest.json"));
    return url;
}

void Client::check()
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
    m_inFlight = true;
    QNetworkReply *reply = m_network->get(request(manifestUrl(m_config.releaseBaseUrl), m_config.product, m_config.transferTimeoutMs));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReply(reply); });
}

void Client::onReply(QNetworkReply *reply)
{
    m_inFlight = false;
    reply->deleteLater();
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
    const Outcome outcome = evaluate(reply->readAll(), m_platformKey, m_config.currentVersion);
    if (outcome.update)
        emit updateAvailable(*outcome.update);
    else if (!outcome.failure.isEmpty())
        emit checkFailed(outcome.failure);
    else
        emit upToDate();
}

Client::Outcome Client::evaluate(const QByteArray &manifestJson, const QString &platformKey,
                                 const QString &currentVersion)
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
    return {*found, {}};
}

} // namespace VelmUpdate
