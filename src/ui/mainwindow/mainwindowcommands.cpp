// The main window's account entries and banner, and printing.
#include "mainwindow.h"

#include "accountchoicebanner.h"
#include "accountrecords.h"
#include "accountscreen.h"
#include "client.h"
#include "apiclient.h"
#include "authclient.h"
#include "appstate.h"
#include "iocommands.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "noterepository.h"
#include "notewindowregistry.h"
#include "notesession.h"
#include "statusbar.h"
#include "syncengine.h"
#include "windowplacement.h"

#include <QBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStackedWidget>

// ---------------------------------------------------------------- account

void MainWindow::addAccountActions(QMenu *file)
{
    VelmAccount::Client *client = m_state->accountClient();
    QAction *signIn = file->addAction(tr("Sign In…"));
    QAction *manage = file->addAction(tr("&Manage Account…"));
    QAction *signOut = file->addAction(tr("Sign &Out"));
    if (!client) {
        for (QAction *action : {signIn, manage, signOut})
            action->setVisible(false);
        return;
    }
    connect(signIn, &QAction::triggered, client->authClient(), &VelmAccount::AuthClient::login);
    connect(signOut, &QAction::triggered, client->authClient(), &VelmAccount::AuthClient::logout);
    connect(manage, &QAction::triggered, this, [this, client] {
        VelmAccount::AccountScreen::openWindow(client, [this](QWidget *window) { placeOnScreen(window, this); });
    });
    const auto follow = [client, signIn, manage, signOut] {
        const bool in = client->isAuthenticated();
        signIn->setVisible(!in);
        manage->setVisible(in);
        signOut->setVisible(in);
    };
    connect(client, &VelmAccount::Client::authStateChanged, this, follow);
    follow();
    connect(client, &VelmAccount::Client::authStateChanged, this, &MainWindow::updateAccountChoice);
    if (SyncEngine *engine = m_state->syncEngine())
        connect(engine, &SyncEngine::accountChoiceChanged, this, &MainWindow::updateAccountChoice);
    connect(m_state, &AppState::notesMoved, this, &MainWindow::followMovedNotes);
    updateAccountChoice();
    // Once per ended session: signed out, the sync engine no longer asks.
    connect(client, &VelmAccount::Client::sessionEnded, this, [this, client] {
        if (findChild<QMessageBox *>(QStringLiteral("signInAgainPrompt")))
            return;
        auto *prompt = new QMessageBox(QMessageBox::Information, tr("Signed Out"),
                                       tr("The server ended this session, for example after a password change on "
                                          "another computer.\n\nYour notes stay on this computer; changes made "
                                          "since are uploaded after you sign in again."),
                                       QMessageBox::NoButton, this);
        prompt->setObjectName(QStringLiteral("signInAgainPrompt"));
        prompt->setAttribute(Qt::WA_DeleteOnClose);
        QPushButton *signInAgain = prompt->addButton(tr("Sign In…"), QMessageBox::AcceptRole);
        prompt->addButton(tr("Later"), QMessageBox::RejectRole);
        connect(signInAgain, &QPushButton::clicked, client->authClient(), &VelmAccount::AuthClient::login);
        prompt->open();
    });
}

void MainWindow::updateAccountChoice()
{
    SyncEngine *engine = m_state ? m_state->syncEngine() : nullptr;
    VelmAccount::Client *client = m_state ? m_state->accountClient() : nullptr;
    if (!engine || !client || !client->isAuthenticated() || !engine->asksAccountChoice()) {
        if (m_accountChoice)
            m_accountChoice->hide();
        return;
    }
    auto *banner = qobject_cast<AccountChoiceBanner *>(m_accountChoice.data());
    if (!banner) {
        banner = new AccountChoiceBanner(m_stack->parentWidget());
        m_accountChoice = banner;
        if (auto *layout = qobject_cast<QBoxLayout *>(m_stack->parentWidget()->layout()))
            layout->insertWidget(0, banner);
        const auto settle = [this, engine](bool upload) {
            if (upload ? engine->uploadOtherNotes() : engine->keepOtherNotesHere())
                return engine->syncNow();
            m_statusBar->showTemporaryMessage(tr("The notes could not be settled; nothing was changed or uploaded."),
                                              5000);
        };
        connect(banner, &AccountChoiceBanner::keepRequested, this, [settle] { settle(false); });
        connect(banner, &AccountChoiceBanner::uploadRequested, this, [settle] { settle(true); });
    }
    const QUrl url = client->syncApi()->baseUrl();
    const QString server = url.port() > 0 ? QStringLiteral("%1:%2").arg(url.host()).arg(url.port()) : url.host();
    banner->setAccount(client->authClient()->currentUser().email, server, engine->otherNotesCount());
    banner->show();
    if (client->authClient()->currentUser().email.isEmpty()) {
        const QPointer<AccountChoiceBanner> guard(banner);
        client->authClient()->fetchCurrentUser([guard, engine, server](const VelmAccount::User &user) {
            if (guard && !user.email.isEmpty())
                guard->setAccount(user.email, server, engine->otherNotesCount());
        });
    }
}

void MainWindow::followMovedNotes(const QHash<QString, QString> &moved)
{
    NoteWindowRegistry *windows = NoteWindowRegistry::of(m_state);
    for (auto it = moved.cbegin(); it != moved.cend(); ++it) {
        if (QWidget *window = windows->window(it.key())) {
            window->close();
            windows->open(it.value());
        }
    }
    if (moved.contains(m_pane->editor()->noteId()))
        clearEditor();
    refreshNoteList();
}

// ---------------------------------------------------------------- printing

bool MainWindow::prepareToPrint()
{
    if (m_pane->editor()->noteId().isEmpty()) {
        m_statusBar->showTemporaryMessage(tr("No note selected"), 3000);
        return false;
    }
    saveCurrentNote();
    return true;
}

void MainWindow::print()
{
    if (!prepareToPrint())
        return;
    const QString title = m_pane->session()->displayTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    if (!m_hooks.runPrintDialog(&printer))
        return;
    m_pane->print(&printer);
    m_statusBar->showTemporaryMessage(tr("Printed %1").arg(title), 3000);
}

void MainWindow::printPreview()
{
    if (!prepareToPrint())
        return;
    const QString title = m_pane->session()->displayTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintPreviewDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Print Preview — %1").arg(title));
    dialog.resize(900, 700);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *p) { m_pane->print(p); });
    dialog.exec();
}

void MainWindow::copyNote(int format)
{
    if (ExportFormat(format) != ExportFormat::PlainText)
        saveCurrentNote();
    m_hooks.setClipboard(m_pane->copyAs(ExportFormat(format)));
}
