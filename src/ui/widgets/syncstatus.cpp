#include "syncstatus.h"

#include "account/client.h"
#include "authclient.h"
#include "appstate.h"
#include "statusbar.h"
#include "syncengine.h"

#include <QCoreApplication>
#include <QMessageBox>

QString syncStateText(AppState *state)
{
    if (!state->isSignedIn()) {
        const VelmAccount::Client *client = state->accountClient();
        // The keyring has not answered yet: the user may or may not be signed in.
        if (client && client->authClient()->state() == VelmAccount::AuthState::Checking)
            return QCoreApplication::translate("StatusBar", "Checking sign-in\u2026");
        return client && client->wasSignedOutByServer()
                   ? QCoreApplication::translate("StatusBar", "Signed out \u2014 sign in again")
                   : QCoreApplication::translate("StatusBar", "Not signed in");
    }
    const SyncEngine *engine = state->syncEngine();
    if (!engine)
        return QCoreApplication::translate("StatusBar", "Signed in");
    if (engine->state() == SyncEngine::Error && !engine->lastError().isEmpty())
        return QStringLiteral("%1: %2").arg(SyncEngine::stateText(SyncEngine::Error), engine->lastError());
    // "Synced" would hide that edits are held back until the user answers.
    if (engine->state() == SyncEngine::Idle && engine->awaitsAccountChoice())
        return QCoreApplication::translate("StatusBar", "Uploads paused until you choose in the main window");
    return SyncEngine::stateText(engine->state());
}

void showSyncState(AppState *state, StatusBar *statusBar)
{
    const auto refresh = [state, statusBar] { statusBar->setStatusText(syncStateText(state)); };
    refresh();
    if (VelmAccount::Client *client = state->accountClient()) {
        // Signed in only until quitting: the user must know to sign in again.
        QObject::connect(client, &VelmAccount::Client::tokenStorageFailed, statusBar,
                         [statusBar](const QString &message) { statusBar->showTemporaryMessage(message, 30000); });
        QObject::connect(client, &VelmAccount::Client::authStateChanged, statusBar, refresh);
        QObject::connect(client, &VelmAccount::Client::sessionEnded, statusBar, refresh);
    }
    SyncEngine *engine = state->syncEngine();
    if (!engine)
        return;
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
    QObject::connect(engine, &SyncEngine::syncCompleted, statusBar, refresh);
    QObject::connect(engine, &SyncEngine::accountChoiceChanged, statusBar, refresh);
}

QString syncProgressText(const QString &label, int current, int total)
{
    return total > 0 ? QStringLiteral("%1 %2/%3").arg(label).arg(current).arg(total) : label;
}

void confirmFullResync(AppState *state, StatusBar *statusBar, QWidget *parent)
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
    const int marked = state->syncEngine()->forceFullResync();
    statusBar->showTemporaryMessage(
        QCoreApplication::translate("MainWindow", "Marked %n note(s) for re-sync.", nullptr, marked), 4000);
}
