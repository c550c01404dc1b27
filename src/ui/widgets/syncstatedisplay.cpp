#include "syncstatedisplay.h"

#include "client.h"
#include "authclient.h"
#include "apiclient.h"
#include "appstate.h"
#include "statusbar.h"
#include "syncengine.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "offlinebanner.h"
#include "preferencesrepository.h"
#include "relativetime.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>

#include <memory>

QString syncStateText(AppState *state)
{
    if (!state->isSignedIn()) {
        const VelmAccount::Client *client = state->accountClient();
        // The keyring has not answered yet: the user may or may not be signed in.
        if (client && client->authClient()->state() == VelmAccount::AuthState::Checking)
            return StatusBar::tr("Checking sign-in\u2026");
        return client && client->wasSignedOutByServer()
                   ? StatusBar::tr("Signed out \u2014 sign in again")
                   : StatusBar::tr("Not signed in");
    }
    const SyncEngine *engine = state->syncEngine();
    if (!engine)
        return StatusBar::tr("Signed in");
    if (engine->state() == SyncEngine::Error && !engine->lastError().isEmpty())
        return QStringLiteral("%1: %2").arg(SyncEngine::stateText(SyncEngine::Error), engine->lastError());
    // "Synced" would hide that edits are held back until the user answers.
    if (engine->state() == SyncEngine::Idle && engine->awaitsAccountChoice())
        return StatusBar::tr("Uploads paused until you choose in the main window");
    return SyncEngine::stateText(engine->state());
}

QString syncDetailsText(AppState *state, const QString &offlineReason)
{
    const SyncEngine *engine = state->syncEngine();
    if (!state->isSignedIn() || !engine)
        return QString();
    QStringList lines;
    if (engine->state() == SyncEngine::Offline) {
        const QString host = state->accountClient()->syncApi()->baseUrl().host();
        lines << (offlineReason.isEmpty() ? StatusBar::tr("Offline: %1 does not answer.").arg(host)
                                          : StatusBar::tr("Offline: %1 does not answer (%2).").arg(host, offlineReason));
    } else if (engine->state() == SyncEngine::Error && !engine->lastError().isEmpty()) {
        lines << StatusBar::tr("Sync error: %1").arg(engine->lastError());
    }
    const QDateTime last = state->lastSyncAt();
    lines << (last.isValid() ? StatusBar::tr("Last synced %1.").arg(relativeTimeText(last)) : StatusBar::tr("Not synced yet."));
    const NoteSyncState &notes = state->notes()->syncState();
    const int waiting = int(notes.pendingNotes().size() + notes.pendingDeletions().size()
                            + state->notebooks()->pendingNotebooks().size());
    lines << (waiting > 0 ? StatusBar::tr("%n change(s) waiting to be uploaded.", nullptr, waiting) : StatusBar::tr("No changes waiting to be uploaded."));
    return lines.join(QLatin1Char('\n'));
}

void showSyncState(AppState *state, StatusBar *statusBar, OfflineBanner *banner)
{
    // The network's own words for the last failure, kept for the details.
    auto reason = std::make_shared<QString>();
    const QPointer<OfflineBanner> shownBanner(banner);
    const auto refresh = [state, statusBar, reason, shownBanner] {
        statusBar->setStatusText(syncStateText(state));
        const QString details = syncDetailsText(state, *reason);
        statusBar->setStatusDetails(details);
        if (!shownBanner)
            return;
        const bool offline = state->isSignedIn() && state->syncEngine()
                             && state->syncEngine()->state() == SyncEngine::Offline
                             && state->preferences()->getBool(QStringLiteral("show_offline_notification"), true);
        // The reason first: it is what the user can act on.
        QStringList lines = details.toHtmlEscaped().split(QLatin1Char('\n'));
        if (!lines.isEmpty())
            lines.first() = QStringLiteral("<b>%1</b>").arg(lines.first());
        shownBanner->setDetails(lines.join(QLatin1Char(' ')) + QStringLiteral("<br>")
                                + StatusBar::tr("Your changes are kept on this computer and "
                                                                           "uploaded when the server answers again."));
        shownBanner->setVisible(offline);
    };
    refresh();
    if (VelmAccount::Client *client = state->accountClient()) {
        // Signed in only until quitting: the user must know to sign in again.
        QObject::connect(client, &VelmAccount::Client::tokenStorageFailed, statusBar,
                         [statusBar](const QString &message) { statusBar->showTemporaryMessage(message, 30000); });
        QObject::connect(client, &VelmAccount::Client::authStateChanged, statusBar, refresh);
        QObject::connect(client, &VelmAccount::Client::sessionEnded, statusBar, refresh);
        // A sync may fail while renewing its token, which asks the sign-in service.
        for (VelmAccount::ApiClient *api : {client->authApi(), client->syncApi()})
            QObject::connect(api, &VelmAccount::ApiClient::networkError, statusBar,
                             [reason](const QString &message) { *reason = message; });
    }
    QObject::connect(state->preferences(), &PreferencesRepository::changed, statusBar, [refresh](const QString &key) {
        if (key == QLatin1String("show_offline_notification"))
            refresh();
    });
    SyncEngine *engine = state->syncEngine();
    if (!engine)
        return;
    if (shownBanner)
        QObject::connect(shownBanner, &OfflineBanner::retryRequested, engine, &SyncEngine::syncNow);
    QObject::connect(engine, &SyncEngine::stateChanged, statusBar, refresh);
    QObject::connect(engine, &SyncEngine::syncProgress, statusBar,
                     [statusBar, engine](const QString &label, int current, int total) {
                         if (engine->state() == SyncEngine::Syncing)
                             statusBar->setStatusText(syncProgressText(label, current, total));
                     });
    QObject::connect(engine, &SyncEngine::syncFailed, statusBar, [statusBar, refresh] {
        refresh();
        statusBar->announce(statusBar->statusText());
    });
    QObject::connect(engine, &SyncEngine::syncCompleted, statusBar, [reason, refresh] {
        reason->clear();
        refresh();
    });
    QObject::connect(engine, &SyncEngine::accountChoiceChanged, statusBar, refresh);
    // A resync marks in the cycle, in slices: its count comes when marking is done.
    QObject::connect(engine, &SyncEngine::resyncMarked, statusBar, [statusBar](int marked) {
        statusBar->showTemporaryMessage(
            QCoreApplication::translate("MainWindow", "Marked %n note(s) for re-sync.", nullptr, marked), 4000);
    });
}

QString syncProgressText(const QString &label, int current, int total)
{
    return total > 0 ? QStringLiteral("%1 %2/%3").arg(label).arg(current).arg(total) : label;
}

void confirmFullResync(AppState *state, QWidget *parent)
{
    if (!state->syncEngine() || !state->isSignedIn())
        return;
    const auto answer = QMessageBox::question(
        parent, QCoreApplication::translate("MainWindow", "Force Full Resync"),
        QCoreApplication::translate(
            "MainWindow",
            "Re-upload every local note and notebook to the server, and re-download everything the server has?\n\n"
            "This is safe \u2014 no data is lost \u2014 but it can take a while if you have a lot of notes or "
            "attachments. Use this only if your local copy and the server seem out of sync."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    state->syncEngine()->forceFullResync();
}
