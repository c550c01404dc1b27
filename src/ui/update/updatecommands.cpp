#include "updatecommands.h"

#include "updateclient.h"
#include "releasenotesfetcher.h"
#include "updatedialog.h"
#include "updatelog.h"
#include "whatsnewdialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QUrlQuery>
#include <QWidget>

namespace VelmUpdate {

namespace {
class Texts
{
    Q_DECLARE_TR_FUNCTIONS(UpdateCommands)
};
} // namespace

bool openDownloadUrl(const QUrl &url)
{
    if (url.isEmpty() || !url.isValid()) {
        qCWarning(lcUpdate) << "VelmUpdate: download URL is empty or invalid";
        return false;
    }
    if (!isSafeDownloadUrl(url)) {
        qCWarning(lcUpdate) << "VelmUpdate: refusing to open a download URL that is not https:" << url;
        return false;
    }
    if (!QDesktopServices::openUrl(url)) {
        qCWarning(lcUpdate) << "VelmUpdate: QDesktopServices::openUrl failed for:" << url;
        return false;
    }
    return true;
}

void checkForUpdates(const UpdateConfig &config, const QString &displayName, QWidget *parent,
                     const StatusReport &status)
{
    auto *client = new UpdateClient(config, parent);
    QObject *context = parent ? static_cast<QObject *>(parent) : client;
    status(Texts::tr("Checking for updates…"));
    QObject::connect(client, &UpdateClient::updateAvailable, context, [=](const Artifact &artifact) {
        auto *dialog = new UpdateDialog(artifact, config.currentVersion, displayName, parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        client->deleteLater();
    });
    QObject::connect(client, &UpdateClient::upToDate, context, [=] {
        status(Texts::tr("%1 is up to date (version %2)").arg(displayName, config.currentVersion));
        client->deleteLater();
    });
    QObject::connect(client, &UpdateClient::checkFailed, context, [=](const QString &reason) {
        status(Texts::tr("Update check failed: %1").arg(reason));
        client->deleteLater();
    });
    client->check();
}

void showWhatsNew(const UpdateConfig &config, const QString &displayName, QWidget *parent,
                  const StatusReport &status)
{
    auto *fetcher = new ReleaseNotesFetcher(config, parent);
    QObject *context = parent ? static_cast<QObject *>(parent) : fetcher;
    if (status)
        status(Texts::tr("Loading release notes…"));
    QObject::connect(fetcher, &ReleaseNotesFetcher::notesReady, context, [=](const QString &markdown) {
        auto *dialog = new WhatsNewDialog(displayName, config.currentVersion, markdown, std::nullopt, parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        fetcher->deleteLater();
    });
    QObject::connect(fetcher, &ReleaseNotesFetcher::notesUnavailable, context, [=] {
        if (status)
            status(Texts::tr("No release notes available for %1 %2").arg(displayName, config.currentVersion));
        fetcher->deleteLater();
    });
    fetcher->fetch();
}

QUrl feedbackUrl(const QUrl &siteBase, const QString &product)
{
    QUrl url = siteBase;
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("tags"), product);
    url.setQuery(query);
    return url;
}

void addHelpActions(QMenu *menu, const std::function<UpdateConfig()> &config, const QUrl &feedbackSite, const QString &displayName,
                    QWidget *parent, const StatusReport &status)
{
    QObject::connect(menu->addAction(Texts::tr("What's &New...")), &QAction::triggered, parent,
                     [=] { showWhatsNew(config(), displayName, parent, status); });
    QObject::connect(menu->addAction(Texts::tr("Check for &Updates...")), &QAction::triggered, parent,
                     [=] { checkForUpdates(config(), displayName, parent, status); });
    QObject::connect(menu->addAction(Texts::tr("Send &Feedback...")), &QAction::triggered, parent, [=] {
        const QUrl url = feedbackUrl(feedbackSite, config().product);
        if (!QDesktopServices::openUrl(url))
            qCWarning(lcUpdate) << "VelmUpdate: QDesktopServices::openUrl failed for:" << url;
    });
}

} // namespace VelmUpdate
