// The main window's menus and the commands only they reach: account,
// preferences and printing.
#include "mainwindow.h"

#include "accountchoicebanner.h"
#include "accountrecords.h"
#include "findbar.h"
#include "accountscreen.h"
#include "client.h"
#include "apiclient.h"
#include "authclient.h"
#include "builtinnotes.h"
#include "appstate.h"
#include "editoractions.h"
#include "iocommands.h"
#include "notebookcommands.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "notewindowregistry.h"
#include "notesession.h"
#include "settingsdialog.h"
#include "statusbar.h"
#include "syncengine.h"
#include "syncstatedisplay.h"
#include "updatecommands.h"
#include "windowplacement.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStackedWidget>

void MainWindow::buildMenus()
{
    const auto add = [this](QMenu *menu, const QString &text, const QKeySequence &key, auto slot,
                            Qt::ShortcutContext context = Qt::WindowShortcut) {
        QAction *action = menu->addAction(text);
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setShortcutContext(context);
        }
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu *file = menuBar()->addMenu(tr("&File"));
    add(file, tr("New Note"), QKeySequence(Qt::CTRL | Qt::Key_N), [this] { createNewNote(); },
        Qt::ApplicationShortcut);
    add(file, tr("New Note in Window"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
        [this] { NoteWindowRegistry::of(m_state)->newNoteInWindow(); }, Qt::ApplicationShortcut);
    add(file, tr("Save Snapshot"), QKeySequence::Save, [this] {
        saveCurrentNote();
        if (!m_pane->snapshotNow())
            m_statusBar->showTemporaryMessage(tr("The snapshot could not be saved"), 5000);
    });
    add(file, tr("New Notebook…"), QKeySequence(), [this] { m_notebooks->create(); });
    file->addSeparator();
    // Ctrl+I stays with Italic.
    add(file, tr("Import..."), QKeySequence(), [this] { m_io->importNotes(); });
    // Exports the note as last stored, without saving the editor first.
    add(file, tr("Export..."), QKeySequence(Qt::CTRL | Qt::Key_E),
        [this] { m_io->exportNote(m_pane->editor()->noteId()); });
    add(file, tr("Export All Notes as Markdown..."), QKeySequence(), [this] {
        saveCurrentNote();
        m_io->exportMarkdown(std::nullopt);
    });
    file->addSeparator();
    add(file, tr("Print..."), QKeySequence::Print, [this] { print(); });
    add(file, tr("Print Preview..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P),
        [this] { printPreview(); });
    file->addSeparator();
    add(file, tr("Backup Database..."), QKeySequence(), [this] {
        saveCurrentNote();
        m_io->backupDatabase();
    });
    add(file, tr("Restore Database..."), QKeySequence(), [this] {
        saveCurrentNote();
        m_io->restoreDatabase();
    });
    file->addSeparator();
    addAccountAndPreferenceActions(file);
    file->addSeparator();
    QAction *quit = add(file, tr("Quit"), QKeySequence::Quit, [this] { quitApplication(); });
    quit->setMenuRole(QAction::QuitRole);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, tr("Undo"), QKeySequence::Undo, [this] { m_pane->editor()->undo(); });
    add(edit, tr("Redo"), QKeySequence::Redo, [this] { m_pane->editor()->redo(); });
    edit->addSeparator();
    m_pane->actions()->addClipboardMenu(edit);
    edit->addSeparator();
    m_pane->findBar()->addMenuCommands(edit);
    // A note opened from a search shows where the searched words are.
    connect(m_pane->editor(), &NoteEditor::noteSwitched, this, [this] {
        if (const QString query = m_searchField->text().trimmed(); !query.isEmpty())
            m_pane->findBar()->showSearchTerms(query);
    });
    edit->addSeparator();
    connect(edit->addAction(tr("Preferences…")), &QAction::triggered, this, &MainWindow::showPreferences);
    edit->actions().constLast()->setMenuRole(QAction::PreferencesRole);

    m_pane->actions()->addFormatMenu(menuBar()->addMenu(tr("F&ormat")));

    QMenu *note = menuBar()->addMenu(tr("&Note"));
    add(note, tr("Move to Notebook..."), QKeySequence(Qt::CTRL | Qt::Key_M), [this] { m_notebooks->moveCurrentNote(); });
    add(note, tr("Version History..."), QKeySequence(Qt::CTRL | Qt::Key_H), [this] { showVersionHistory(); });
    add(note, tr("Open in New Window"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
        [this] { openCurrentNoteInWindow(); });
    add(note, tr("Show Its Notebook"), QKeySequence(), [this] { m_notebooks->showCurrentNotebook(); });
    note->addSeparator();
    m_pane->headerBar()->addMenuCommands(note);
    note->addSeparator();
    add(note, tr("Move to Trash…"), QKeySequence(Qt::CTRL | Qt::Key_D), [this] { deleteCurrentNote(true); },
        Qt::ApplicationShortcut);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    add(view, tr("To-Dos"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T), [this] { openScreen(Screen::Todos); });
    add(view, tr("Find"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), [this] {
        m_searchField->setFocus(Qt::ShortcutFocusReason);
        m_searchField->selectAll();
    });
    add(view, tr("Search All Notes..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
        [this] { openScreen(Screen::Search); });
    add(view, tr("Trash"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D), [this] { openScreen(Screen::Trash); });
    add(view, tr("Shared with Me"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S),
        [this] { openScreen(Screen::SharedWithMe); });
    add(view, tr("Shared by Me"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_S),
        [this] { openScreen(Screen::SharedByMe); });
    view->addSeparator();
    add(view, tr("Next Pane"), QKeySequence(Qt::Key_F6), [this] { focusNextPane(true); });
    add(view, tr("Previous Pane"), QKeySequence(Qt::SHIFT | Qt::Key_F6), [this] { focusNextPane(false); });
    view->addSeparator();
    m_focusModeAction = view->addAction(tr("Focus Mode"));
    m_focusModeAction->setCheckable(true);
    m_focusModeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backslash));
    m_focusModeAction->setStatusTip(tr("Hide the notebook and note lists to write without distractions"));
    connect(m_focusModeAction, &QAction::toggled, this, &MainWindow::setFocusMode);
    m_sidebarAction = view->addAction(tr("Show Notebook Sidebar"));
    m_sidebarAction->setCheckable(true);
    m_sidebarAction->setChecked(true);
    m_sidebarAction->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_B));
    connect(m_sidebarAction, &QAction::toggled, this, &MainWindow::setSidebarVisible);
    view->addSeparator();
    add(view, tr("Sync Now"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R), [this] {
        if (m_state && m_state->syncEngine() && m_state->isSignedIn())
            m_state->syncEngine()->syncNow();
    });
    add(view, tr("Force Full Resync…"), QKeySequence(), [this] {
        if (m_state)
            confirmFullResync(m_state, m_statusBar, this);
    });

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    add(help, tr("About Velmora Notes"), QKeySequence(), [this] {
        QMessageBox::about(this, tr("About Velmora Notes"),
                           tr("Velmora Notes %1\n\nSearch-first, zero-friction note-taking.\n\n%2")
                               .arg(QCoreApplication::applicationVersion(), QStringLiteral("https://velmora.app")));
    });
    help->addSeparator();
    VelmUpdate::addHelpActions(
        help,
        [this] {
            // The releases of the server set in Preferences, like every other service.
            const VelmAccount::Client *client = m_state ? m_state->accountClient() : nullptr;
            return VelmUpdate::UpdateConfig::fromEnvironment(QStringLiteral("notes"), QStringLiteral("stable"),
                                                             QCoreApplication::applicationVersion(),
                                                             client ? client->config().authBaseUrl : QString());
        },
        QUrl(QStringLiteral("https://velmora.app/feedback")), tr("Velmora Notes"), this,
        [this](const QString &text) { m_statusBar->showTemporaryMessage(text, 5000); });
    if (qgetenv("NOTES_DEV") == "1") {
        help->addSeparator();
        add(help, tr("Load &Sample Notes"), QKeySequence(), [this] {
            if (!m_hooks.askYesNo(this, tr("Load Sample Notes"),
                                  tr("Insert 7 sample notes into this database?\n\nThey'll appear in the "
                                                 "unorganized pool with staggered dates from today to 28 days ago. "
                                                 "Existing notes are not modified.")))
                return;
            const int inserted = createSampleNotes(m_state->notes());
            m_statusBar->showTemporaryMessage(tr("Loaded %1 sample note(s).").arg(inserted), 3000);
        });
    }
    help->addSeparator();
    add(help, tr("About Qt"), QKeySequence(), [this] { QMessageBox::aboutQt(this); });

    // Trashes without asking; no menu entry.
    auto *quickDelete = new QAction(this);
    quickDelete->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace));
    quickDelete->setShortcutContext(Qt::ApplicationShortcut);
    connect(quickDelete, &QAction::triggered, this, [this] { deleteCurrentNote(false); });
    addAction(quickDelete);
}

// ---------------------------------------------------------------- account and preferences

void MainWindow::addAccountAndPreferenceActions(QMenu *file)
{
    VelmAccount::Client *client = m_state->accountClient();
    QAction *signIn = file->addAction(tr("Sign In…"));
    QAction *manage = file->addAction(tr("&Manage Account…"));
    QAction *signOut = file->addAction(tr("Sign &Out"));
    file->addSeparator();
    QAction *preferences = file->addAction(tr("Preferences…"));
    preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferences->setShortcutContext(Qt::ApplicationShortcut);
    connect(preferences, &QAction::triggered, this, &MainWindow::showPreferences);
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

void MainWindow::showPreferences()
{
    auto *dialog = new SettingsDialog(m_state, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
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
