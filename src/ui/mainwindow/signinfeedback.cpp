#include "signinfeedback.h"

#include "client.h"
#include "authclient.h"
#include "statusbar.h"
#include "welcomepage.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

class Texts
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)
};

} // namespace

void showSignInFeedback(VelmAccount::Client *client, WelcomePage *welcome, StatusBar *statusBar)
{
    VelmAccount::AuthClient *auth = client->authClient();
    using SignIn = WelcomePage::SignIn;
    QObject::connect(welcome, &WelcomePage::signInRequested, auth, &VelmAccount::AuthClient::login);
    QObject::connect(welcome, &WelcomePage::signInCancelled, auth, &VelmAccount::AuthClient::cancelLogin);
    QObject::connect(auth, &VelmAccount::AuthClient::loginStarted, welcome, [welcome, statusBar] {
        welcome->setSignIn(SignIn::Waiting);
        statusBar->showTemporaryMessage(Texts::tr("Continue in your browser to sign in…"), 0);
    });
    QObject::connect(auth, &VelmAccount::AuthClient::loginCancelled, welcome, [welcome, statusBar] {
        welcome->setSignIn(SignIn::SignedOut);
        statusBar->showTemporaryMessage(Texts::tr("Sign-in cancelled."), 3000);
    });
    QObject::connect(auth, &VelmAccount::AuthClient::loginFailed, welcome, [welcome, statusBar](const QString &error) {
        welcome->setSignIn(SignIn::Failed, error);
        statusBar->showTemporaryMessage(Texts::tr("Sign-in failed: %1").arg(error), 10000);
    });
    QObject::connect(auth, &VelmAccount::AuthClient::loginSucceeded, welcome, [auth, welcome, statusBar] {
        statusBar->showTemporaryMessage(Texts::tr("Signed in."), 4000);
        auth->fetchCurrentUser([welcome = QPointer<WelcomePage>(welcome),
                                statusBar = QPointer<StatusBar>(statusBar)](const VelmAccount::User &user) {
            if (user.email.isEmpty())
                return;
            if (welcome)
                welcome->setSignIn(SignIn::SignedIn, user.email);
            if (statusBar)
                statusBar->showTemporaryMessage(Texts::tr("Signed in as %1.").arg(user.email), 4000);
        });
    });
    QObject::connect(auth, &VelmAccount::AuthClient::logoutCompleted, welcome, [welcome, statusBar] {
        welcome->setSignIn(SignIn::SignedOut);
        statusBar->showTemporaryMessage(Texts::tr("Signed out. Your notes stay on this computer."), 4000);
    });
    // Signed in at start-up: say who, once the server tells.
    const auto showWho = [auth, welcome = QPointer<WelcomePage>(welcome)] {
        if (!auth->isAuthenticated()) {
            if (welcome && welcome->signInState() == SignIn::SignedIn)
                welcome->setSignIn(SignIn::SignedOut);
            return;
        }
        auth->fetchCurrentUser([welcome](const VelmAccount::User &user) {
            if (welcome)
                welcome->setSignIn(SignIn::SignedIn, user.email);
        });
    };
    QObject::connect(client, &VelmAccount::Client::authStateChanged, welcome, showWho);
    showWho();
}
