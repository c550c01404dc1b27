#include "syncstatus.h"

#include "account/client.h"
#include "appstate.h"
#include "statusbar.h"
#include "syncengine.h"

#include <QCoreApplication>
#include <QMessageBox>

void showSyncState(AppState *state, StatusBar *statusBar)
{
    // Signed in only until quitting: the user must know to sign in again.
    if (VelmAccount::Client *client = state->accountClient())
        QObject::connect(client, &VelmAccount::Client::tokenStorageFailed, statusBar,
                         [statusBar](const QString &message) { statusBar->showTemporaryMessage(message, 30000); });
    SyncEngine *engine = state->syncEngine();
    if (!engine)
        return;
    QObject::connect(engine, &SyncEngine::stateChanged, statusBar, [statusBar](SyncEngine::SyncState s) {
        statusBar->setStatusText(SyncEngine::stateText(s));
    });
    QObject::connect(engine, &SyncEngine::syncProgress, statusBar,
                     [statusBar](const QString &label, int current, int total) {
                         statusBar->setStatusText(syncProgressText(label, current, total));
                     });
    QObject::connect(engine, &SyncEngine::syncFailed, statusBar, [statusBar, engine](const QString &error) {
        statusBar->setStatusText(engine->state() == SyncEngine::Offline
                                     ? SyncEngine::stateText(SyncEngine::Offline)
                                     : QStringLiteral("%1: %2").arg(SyncEngine::stateText(SyncEngine::Error), error));
        statusBar->announce(statusBar->statusText());
    });
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
