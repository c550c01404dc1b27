#include "releasenotesfetcher.h"

#include "updateclient.h"
#include "updatelog.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace VelmUpdate {

ReleaseNotesFetcher::ReleaseNotesFetcher(const UpdateConfig &config, QObject *parent)
    : ReleaseNotesFetcher(notesUrl(config), config.product, parent)
{
}

ReleaseNotesFetcher::ReleaseNotesFetcher(const QUrl &notesUrl, const QString &product, QObject *parent)
    : QObject(parent)
    , m_notesUrl(notesUrl)
    , m_product(product)
    , m_localeName(QLocale::system().name())
    , m_network(new QNetworkAccessManager(this))
{
}

QUrl ReleaseNotesFetcher::notesUrl(const UpdateConfig &config)
{
    QUrl url = config.releaseBaseUrl;
    QString path = url.path();
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    path.truncate(path.lastIndexOf(QLatin1Char('/')) + 1);
    url.setPath(path + config.currentVersion + QStringLiteral("/release-notes.md"));
    url.setQuery(QString());
    return url;
}

QUrl ReleaseNotesFetcher::localizedUrl(const QUrl &notesUrl, const QString &localeName)
{
    const QString language = localeName.left(2);
    const QString path = notesUrl.path();
    // The "C" locale names no language and reads as English.
    const bool named = language.size() == 2 && language.at(0).isLower() && language.at(1).isLower();
    if (!named || language == QLatin1String("en") || !path.endsWith(QLatin1String(".md")))
        return {};
    QUrl url = notesUrl;
    url.setPath(path.chopped(3) + QLatin1Char('.') + language + QStringLiteral(".md"));
    return url;
}

void ReleaseNotesFetcher::fetch()
{
    if (!m_notesUrl.isValid() || m_notesUrl.isEmpty()) {
        emit notesUnavailable();
        return;
    }
    QList<QUrl> urls;
    const QUrl localized = localizedUrl(m_notesUrl, m_localeName);
    if (localized.isValid())
        urls << localized;
    urls << m_notesUrl;
    get(urls);
}

void ReleaseNotesFetcher::get(QList<QUrl> remaining)
{
    const QUrl url = remaining.takeFirst();
    // Local files and other schemes never reach the dialog.
    if (!isSafeDownloadUrl(url)) {
        qCWarning(lcUpdate).noquote() << "release notes address refused:" << url.toDisplayString();
        emit notesUnavailable();
        return;
    }
    QNetworkReply *reply = m_network->get(UpdateClient::request(url, m_product));
    UpdateClient::limitReply(reply, UpdateClient::maxNotesBytes);
    connect(reply, &QNetworkReply::finished, this, [this, reply, remaining] {
        reply->deleteLater();
        // A reply may finish before the limit is noticed: its size decides too.
        QByteArray body = reply->error() == QNetworkReply::NoError ? reply->read(UpdateClient::maxNotesBytes + 1) : QByteArray();
        if (UpdateClient::exceededLimit(reply) || body.size() > UpdateClient::maxNotesBytes) {
            qCWarning(lcUpdate) << "release notes larger than" << UpdateClient::maxNotesBytes << "bytes, not shown";
            body.clear();
        }
        if (!body.isEmpty())
            emit notesReady(QString::fromUtf8(body));
        else if (!remaining.isEmpty())
            get(remaining);
        else
            emit notesUnavailable();
    });
}

} // namespace VelmUpdate
