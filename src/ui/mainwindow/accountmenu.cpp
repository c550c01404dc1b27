#include "accountmenu.h"

#include "accountchoicebanner.h"
#include "bannercolumn.h"
#include "accountrecords.h"
#include "accountscreen.h"
#include "apiclient.h"
#include "appstate.h"
#include "authclient.h"
#include "client.h"
#include "statusbar.h"
#include "syncengine.h"
#include "windowplacement.h"

#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

AccountMenu::AccountMenu(AppState *state, QWidget *window, BannerColumn *column, StatusBar *statusBar)
    : QObject(window)
    , m_state(state)
    , m_window(window)
    , m_column(column)
    , m_statusBar(statusBar)
{
}

void AccountMenu::addTo(QMenu *menu)
{
    VelmAccount::Client *client = m_state->accountClient();
    QAction *signIn = menu->addAction(tr("Sign In…"));
    QAction *manage = menu->addAction(tr("&Manage Account…"));
    QAction *signOut = menu->addAction(tr("Sign &Out"));
    if (!client) {
        for (QAction *action : {signIn, manage, signOut})
            action->setVisible(false);
        return;
    }
    connect(signIn, &QAction::triggered, client->authClient(), &VelmAccount::AuthClient::login);
    connect(signOut, &QAction::triggered, client->authClient(), &VelmAccount::AuthClient::logout);
    connect(manage, &QAction::triggered, this, [this, client] {
        VelmAccount::AccountScreen::openWindow(client, [this](QWidget *window) { placeOnScreen(window, m_window); });
    });
    const auto follow = [client, signIn, manage, signOut] {
        const bool in = client->isAuthenticated();
        signIn->setVisible(!in);
        manage->setVisible(in);
        signOut->setVisible(in);
    };
    connect(client, &VelmAccount::Client::authStateChanged, this, follow);
    follow();
    connect(client, &VelmAccount::Client::authStateChanged, this, &AccountMenu::updateChoice);
    if (SyncEngine *engine = m_state->syncEngine())
        connect(engine, &SyncEngine::accountChoiceChanged, this, &AccountMenu::updateChoice);
    updateChoice();
    // Once per ended session: signed out, the sync engine no longer asks.
    connect(client, &VelmAccount::Client::sessionEnded, this, &AccountMenu::promptToSignInAgain);
}

void AccountMenu::promptToSignInAgain()
{
    VelmAccount::Client *client = m_state ? m_state->accountClient() : nullptr;
    if (!client || m_window->findChild<QMessageBox *>(QStringLiteral("signInAgainPrompt")))
        return;
    auto *prompt = new QMessageBox(QMessageBox::Information, tr("Signed Out"),
                                   tr("The server ended this session, for example after a password change on "
                                      "another computer.\n\nYour notes stay on this computer; changes made "
                                      "since are uploaded after you sign in again."),
                                   QMessageBox::NoButton, m_window);
    prompt->setObjectName(QStringLiteral("signInAgainPrompt"));
    prompt->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *signInAgain = prompt->addButton(tr("Sign In…"), QMessageBox::AcceptRole);
    prompt->addButton(tr("Later"), QMessageBox::RejectRole);
    connect(signInAgain, &QPushButton::clicked, client->authClient(), &VelmAccount::AuthClient::login);
    prompt->open();
}

void AccountMenu::updateChoice()
{
    SyncEngine *engine = m_state ? m_state->syncEngine() : nullptr;
    VelmAccount::Client *client = m_state ? m_state->accountClient() : nullptr;
    if (!engine || !client || !client->isAuthenticated() || !engine->asksAccountChoice()) {
        if (m_banner)
            m_banner->hide();
        return;
    }
    if (!m_banner) {
        m_banner = new AccountChoiceBanner(m_column);
        m_column->addBanner(m_banner);
        const auto settle = [this, engine](bool upload) {
            if (upload ? engine->uploadOtherNotes() : engine->keepOtherNotesHere())
                return engine->syncNow();
            m_statusBar->showTemporaryMessage(tr("The notes could not be settled; nothing was changed or uploaded."),
                                              5000);
        };
        connect(m_banner, &AccountChoiceBanner::keepRequested, this, [settle] { settle(false); });
        connect(m_banner, &AccountChoiceBanner::uploadRequested, this, [settle] { settle(true); });
    }
    const QUrl url = client->syncApi()->baseUrl();
    const QString server = url.port() > 0 ? QStringLiteral("%1:%2").arg(url.host()).arg(url.port()) : url.host();
    m_banner->setAccount(client->authClient()->currentUser().email, server, engine->otherNotesCount());
    m_banner->show();
    if (client->authClient()->currentUser().email.isEmpty()) {
        const QPointer<AccountChoiceBanner> guard(m_banner);
        client->authClient()->fetchCurrentUser([guard, engine, server](const VelmAccount::User &user) {
            if (guard && !user.email.isEmpty())
                guard->setAccount(user.email, server, engine->otherNotesCount());
        });
    }
}
