#include "settingsdialog.h"

#include "accountscreen.h"
#include "appstate.h"
#include "authclient.h"
#include "client.h"
#include "pagehost.h"
#include "preferencesrepository.h"
#include "syncengine.h"
#include "thememanager.h"
#include "windowplacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QApplication>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace {
const QString kServerUrl = QStringLiteral("server_url");

PreferencesRepository *prefs(AppState *state)
{
    return state ? state->preferences() : nullptr;
}
} // namespace

SettingsDialog::SettingsDialog(AppState *appState, QWidget *parent)
    : QDialog(parent)
    , m_state(appState)
{
    setWindowTitle(tr("Preferences"));
    setMinimumSize(720, 520);
    resize(780, 560);

    m_hooks.confirm = askYesNoBox;
    m_hooks.warn = [this](const QString &title, const QString &text) { QMessageBox::warning(this, title, text); };
    m_hooks.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    using Builder = void (SettingsDialog::*)(QVBoxLayout *);
    const std::pair<QString, Builder> pages[] = {
        {tr("Appearance"), &SettingsDialog::buildAppearancePage}, {tr("Editor"), &SettingsDialog::buildEditorPage},
        {tr("Window"), &SettingsDialog::buildWindowPage},         {tr("Sync"), &SettingsDialog::buildSyncPage},
        {tr("Account"), &SettingsDialog::buildAccountPage},
    };
    m_host = new PageHost(190, true, this);
    m_host->categories()->setIconSize(QSize(20, 20));
    for (const auto &[title, build] : pages) {
        auto *page = new QWidget;
        QVBoxLayout *pageLayout = newPage(page, title);
        (this->*build)(pageLayout);
        pageLayout->addStretch(1);
        m_host->addPage(title, page);
    }
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_host);
    connect(m_host, &PageHost::currentChanged, this, &SettingsDialog::onCategoryChanged);
    // The window opens with the keyboard on its categories.
    m_host->categories()->setFocus(Qt::OtherFocusReason);

    if (ThemeManager *theme = m_state ? m_state->themeManager() : nullptr) {
        connect(theme, &ThemeManager::themeChanged, this, &SettingsDialog::applyColours);
        connect(theme, &ThemeManager::fontScaleChanged, this, &SettingsDialog::applyFonts);
    }
    if (SyncEngine *engine = m_state ? m_state->syncEngine() : nullptr) {
        connect(engine, &SyncEngine::stateChanged, this, &SettingsDialog::refreshSyncStatus);
        connect(m_syncNow, &QPushButton::clicked, engine, &SyncEngine::syncNow);
    }
    if (VelmAccount::Client *client = m_state ? m_state->accountClient() : nullptr) {
        connect(client, &VelmAccount::Client::authStateChanged, this, [this] {
            refreshSyncStatus();
            refreshAccountPage();
        });
    }
    applyColours();
    applyFonts();
    refreshSyncStatus();
    refreshAccountPage();
    refreshTrayOptions();
}

void SettingsDialog::showEvent(QShowEvent *event)
{
    refreshTrayOptions();
    QDialog::showEvent(event);
}

void SettingsDialog::refreshTrayOptions()
{
    const bool tray = m_hooks.trayAvailable && m_hooks.trayAvailable();
    for (QWidget *option : std::as_const(m_trayOptions))
        option->setVisible(tray);
    m_noTray->setVisible(!tray);
}

void SettingsDialog::onCategoryChanged(int row)
{
    if (row == 4)
        refreshAccountPage();
}

bool SettingsDialog::signedIn() const
{
    return m_state && m_state->accountClient() && m_state->accountClient()->isAuthenticated();
}

// ---------------------------------------------------------------- page frame

QVBoxLayout *SettingsDialog::newPage(QWidget *page, const QString &title)
{
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(28, 24, 28, 24);
    layout->setSpacing(10);
    addHeading(layout, title, 22, 600);
    return layout;
}

QLabel *SettingsDialog::addHeading(QLayout *layout, const QString &text, int pixelSize, int weight)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    layout->addWidget(label);
    m_headings.append({label, pixelSize, weight});
    return label;
}

void SettingsDialog::addSection(QVBoxLayout *layout, const QString &title, const QString &description)
{
    auto *block = new QVBoxLayout;
    block->setContentsMargins(0, 0, 0, 6);
    block->setSpacing(2);
    addHeading(block, title, 14, 500);
    if (!description.isEmpty()) {
        QLabel *text = addHeading(block, description, 11, -1);
        m_descriptions << text;
    }
    layout->addLayout(block);
}

void SettingsDialog::addSeparator(QVBoxLayout *layout)
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::NoFrame);
    line->setFixedHeight(1);
    layout->addWidget(line);
    m_lines << line;
}

QCheckBox *SettingsDialog::addCheck(QVBoxLayout *layout, const QString &text, const QString &key, bool fallback)
{
    auto *box = new QCheckBox(text);
    if (PreferencesRepository *p = prefs(m_state))
        box->setChecked(p->getBool(key, fallback));
    else
        box->setChecked(fallback);
    connect(box, &QCheckBox::toggled, this, [this, key](bool on) {
        if (PreferencesRepository *p = prefs(m_state))
            p->setBool(key, on);
    });
    layout->addWidget(box);
    return box;
}

// ---------------------------------------------------------------- pages

void SettingsDialog::buildAppearancePage(QVBoxLayout *layout)
{
    addSection(layout,
               tr("Theme"),
               tr("Choose how Velmora Notes looks. System follows your desktop's light or dark mode automatically."));

    m_theme = new QComboBox;
    m_theme->addItem(tr("System"), QStringLiteral("system"));
    m_theme->addItem(tr("Light"), QStringLiteral("light"));
    m_theme->addItem(tr("Dark"), QStringLiteral("dark"));
    const QString stored = prefs(m_state) ? prefs(m_state)->getString(QStringLiteral("theme_mode"), QStringLiteral("system"))
                                          : QStringLiteral("system");
    m_theme->setCurrentIndex(std::max(0, m_theme->findData(stored)));
    connect(m_theme, &QComboBox::currentIndexChanged, this, [this] {
        if (PreferencesRepository *p = prefs(m_state))
            p->set(QStringLiteral("theme_mode"), m_theme->currentData().toString());
    });

    m_fontSize = new QComboBox;
    const std::pair<QString, int> sizes[] = {
        {tr("Small"), 85}, {tr("Default"), 100}, {tr("Medium"), 115}, {tr("Large"), 130}, {tr("Extra Large"), 150}};
    for (const auto &[text, percent] : sizes)
        m_fontSize->addItem(text, percent);
    const int current = m_fontSize->findData(ThemeManager::fontScale());
    m_fontSize->setCurrentIndex(current >= 0 ? current : m_fontSize->findData(100));
    connect(m_fontSize, &QComboBox::currentIndexChanged, this, [this] {
        if (ThemeManager *theme = m_state ? m_state->themeManager() : nullptr)
            theme->setFontScale(m_fontSize->currentData().toInt());
    });

    auto *form = new QFormLayout;
    form->addRow(tr("Theme"), m_theme);
    form->addRow(tr("Font size"), m_fontSize);
    layout->addLayout(form);
}

void SettingsDialog::buildEditorPage(QVBoxLayout *layout)
{
    addSection(layout, tr("Layout"),
               tr("Steno mode flips the note list so the oldest note is at the top and the search bar moves to "
                  "the bottom — a steno-pad feel for rapid capture."));
    addCheck(layout, tr("Enable Steno mode"), QStringLiteral("steno_mode"), false);
}

void SettingsDialog::buildWindowPage(QVBoxLayout *layout)
{
    addSection(layout, tr("System Tray"),
               tr("Keep Velmora Notes running in the background for instant capture without a cold start."));
    m_trayOptions << addCheck(layout, tr("Close to tray"), QStringLiteral("close_to_tray"), false);
    m_trayOptions << addHeading(
        layout, tr("When enabled, closing the window hides it to the system tray instead of quitting."), 11, -1);
    m_trayOptions << addCheck(layout, tr("Start minimized to tray"), QStringLiteral("start_minimized"), false);
    m_trayOptions << addHeading(
        layout, tr("Launch Velmora Notes directly to the tray — useful for autostart at login."), 11, -1);
    for (int i : {1, 3})
        m_descriptions << static_cast<QLabel *>(m_trayOptions.at(i));
    m_noTray = addHeading(layout, tr("Your desktop shows no system tray, so closing the window quits Velmora Notes. "
                                     "These options appear when a tray is available."), 11, -1);
    m_descriptions << m_noTray;
}

void SettingsDialog::buildSyncPage(QVBoxLayout *layout)
{
    addSection(layout, tr("Status"), tr("Current sync state and a quick manual trigger."));
    m_syncStatus = new QLabel;
    m_syncStatus->setWordWrap(true);
    m_syncNow = new QPushButton(tr("Sync now"));
    auto *row = new QHBoxLayout;
    row->addWidget(m_syncStatus, 1);
    row->addWidget(m_syncNow);
    layout->addLayout(row);

    addSeparator(layout);
    addSection(layout, tr("Automatic Sync"), tr("Push local changes and pull updates from the server in the background."));
    m_autoSync = addCheck(layout, tr("Enable automatic sync"), QStringLiteral("auto_sync"), true);
    m_interval = new QSpinBox;
    m_interval->setRange(1, 120);
    m_interval->setSuffix(tr(" min"));
    m_interval->setValue(prefs(m_state) ? prefs(m_state)->getInt(QStringLiteral("sync_interval_minutes"), 5) : 5);
    connect(m_interval, &QSpinBox::valueChanged, this, [this](int minutes) {
        if (PreferencesRepository *p = prefs(m_state))
            p->setInt(QStringLiteral("sync_interval_minutes"), minutes);
    });
    auto *form = new QFormLayout;
    form->addRow(tr("Interval:"), m_interval);
    layout->addLayout(form);

    addSeparator(layout);
    addSection(layout, tr("Notifications"), tr("Toast messages about sync state."));
    m_offlineBanner = addCheck(layout, tr("Show a banner when offline"), QStringLiteral("show_offline_notification"), true);
}

void SettingsDialog::buildAccountPage(QVBoxLayout *layout)
{
    addSection(layout, tr("Velmora Account"), tr("Your Velmora account unlocks cloud sync and sharing across devices."));
    m_accountStatus = new QLabel;
    m_accountStatus->setWordWrap(true);
    layout->addWidget(m_accountStatus);

    m_manageAccount = new QPushButton(tr("Manage Account…"));
    m_signIn = new QPushButton(tr("Sign In…"));
    m_signOut = new QPushButton(tr("Sign Out"));
    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : {m_manageAccount, m_signIn, m_signOut})
        buttons->addWidget(button);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    addSeparator(layout);
    addSection(layout, tr("Server"), tr("The Velmora server your account lives on, for example a server of your own."));
    m_server = new QLineEdit;
    m_server->setPlaceholderText(QStringLiteral("https://notes.example.org"));
    auto *form = new QFormLayout;
    form->addRow(tr("Server:"), m_server);
    layout->addLayout(form);
    m_serverNote = new QLabel;
    m_serverNote->setWordWrap(true);
    m_descriptions << m_serverNote;
    m_headings.append({m_serverNote, 11, -1});
    layout->addWidget(m_serverNote);
    showServerAddress();

    VelmAccount::Client *client = m_state ? m_state->accountClient() : nullptr;
    connect(m_signIn, &QPushButton::clicked, this, [client] {
        if (client && client->authClient()->isSigningIn())
            client->authClient()->cancelLogin();
        else if (client)
            client->authClient()->login();
    });
    if (client) {
        VelmAccount::AuthClient *auth = client->authClient();
        const auto tell = [this](const QString &message) {
            m_accountMessage = message;
            refreshAccountPage();
        };
        connect(auth, &VelmAccount::AuthClient::loginStarted, this, [tell] { tell(QString()); });
        connect(auth, &VelmAccount::AuthClient::loginCancelled, this, [tell] { tell(tr("Sign-in cancelled.")); });
        connect(auth, &VelmAccount::AuthClient::loginFailed, this,
                [tell](const QString &error) { tell(tr("Sign-in failed: %1").arg(error)); });
        connect(auth, &VelmAccount::AuthClient::logoutCompleted, this, [tell] { tell(tr("Signed out.")); });
        connect(auth, &VelmAccount::AuthClient::loginSucceeded, this, [tell] { tell(QString()); });
    }
    connect(m_signOut, &QPushButton::clicked, this, [client] {
        if (client)
            client->authClient()->logout();
    });
    connect(m_manageAccount, &QPushButton::clicked, this, [this, client] {
        if (client)
            VelmAccount::AccountScreen::openWindow(client, [this](QWidget *window) { placeOnScreen(window, this); });
    });
    connect(m_server, &QLineEdit::editingFinished, this, [this] {
        if (m_server->isModified())
            changeServerAddress(m_server->text());
    });
}

// ---------------------------------------------------------------- state

void SettingsDialog::refreshSyncStatus()
{
    const bool in = signedIn();
    SyncEngine *engine = m_state ? m_state->syncEngine() : nullptr;
    m_syncStatus->setText(!in ? tr("Not signed in")
                              : engine ? SyncEngine::stateText(engine->state())
                                       : tr("Sync is not available."));
    m_syncNow->setEnabled(in && engine);
    m_syncNow->setToolTip(in ? tr("Push pending changes and pull the latest from the server.")
                             : tr("Sign in to your Velmora account to sync."));
    for (QWidget *control : std::initializer_list<QWidget *>{m_autoSync, m_interval, m_offlineBanner})
        control->setEnabled(in);
}

void SettingsDialog::refreshAccountPage()
{
    const bool in = signedIn();
    VelmAccount::AuthClient *auth = m_state && m_state->accountClient() ? m_state->accountClient()->authClient() : nullptr;
    const bool waiting = auth && auth->isSigningIn();
    const QString email = in ? auth->currentUser().email : QString();
    if (in && email.isEmpty() && !m_askedForUser) {
        // Said once the server tells who it is.
        m_askedForUser = true;
        auth->fetchCurrentUser([guard = QPointer<SettingsDialog>(this)](const VelmAccount::User &) {
            if (guard)
                guard->refreshAccountPage();
        });
    }
    if (!in)
        m_askedForUser = false;
    m_accountStatus->setText(waiting ? tr("Continue in your browser… Velmora Notes waits for the sign-in to finish.")
                             : in    ? (email.isEmpty() ? tr("Signed in") : tr("Signed in as %1").arg(email))
                             : m_accountMessage.isEmpty() ? tr("Not signed in")
                                                          : m_accountMessage);
    m_manageAccount->setEnabled(in);
    m_signOut->setEnabled(in);
    m_signIn->setEnabled(auth && !in);
    m_signIn->setText(waiting ? tr("Cancel Sign-In") : tr("Sign In…"));
}

void SettingsDialog::showServerAddress()
{
    const bool fromEnvironment = VelmAccount::ClientConfig::serverFromEnvironment();
    const QString stored = prefs(m_state) ? prefs(m_state)->getString(kServerUrl, QString()) : QString();
    const QString inUse = m_state && m_state->accountClient() ? m_state->accountClient()->config().authBaseUrl
                                                              : VelmAccount::ClientConfig::defaultServerUrl();
    m_server->setText(fromEnvironment ? inUse : stored);
    m_server->setModified(false);
    m_server->setReadOnly(fromEnvironment);
    m_serverNote->setText(fromEnvironment ? tr("Set by the environment (AUTH_BASE_URL); it takes precedence.")
                                          : tr("Leave empty for the server on this computer."));
}

bool SettingsDialog::changeServerAddress(const QString &address)
{
    PreferencesRepository *p = prefs(m_state);
    VelmAccount::Client *client = m_state ? m_state->accountClient() : nullptr;
    const QString wanted = address.trimmed().isEmpty() ? QString()
                                                       : VelmAccount::ClientConfig::normalizedServerUrl(address);
    if (!p || VelmAccount::ClientConfig::serverFromEnvironment() || wanted == p->getString(kServerUrl, QString())) {
        showServerAddress();
        return false;
    }
    if (!address.trimmed().isEmpty() && wanted.isEmpty()) {
        m_hooks.warn(tr("Server"), tr("\"%1\" is not a server address. Use one like https://notes.example.org.")
                                       .arg(address.trimmed()));
        showServerAddress();
        return false;
    }
    if (VelmAccount::ClientConfig::sendsInClear(wanted)
        && !m_hooks.confirm(this, tr("Unencrypted Connection"),
                            tr("\"%1\" is an http:// address of another computer. Your sign-in, your notes and their "
                               "attachments would cross the network unencrypted, readable and changeable by anyone "
                               "on the way.\n\nUse an https:// address unless you trust every network in between. "
                               "Use this address anyway?").arg(wanted))) {
        showServerAddress();
        return false;
    }
    if (client && client->isAuthenticated()) {
        if (!m_hooks.confirm(this, tr("Change Server"),
                             tr("Changing the server signs you out of your Velmora account. Continue?"))) {
            showServerAddress();
            return false;
        }
        client->authClient()->logout();
    }
    p->set(kServerUrl, wanted);
    if (client) {
        const QString version = QCoreApplication::applicationVersion();
        client->setEndpoints(VelmAccount::ClientConfig::fromEnvironment(version, wanted),
                             VelmAccount::ClientConfig::syncApiUrlFromEnvironment(wanted));
    }
    showServerAddress();
    return true;
}

// ---------------------------------------------------------------- look

void SettingsDialog::applyColours()
{
    m_host->restyle();
    const QPalette pal = QApplication::palette(this);
    const QString muted = QStringLiteral("color: %1;").arg(pal.color(QPalette::PlaceholderText).name());
    for (const QPointer<QLabel> &label : std::as_const(m_descriptions)) {
        if (label)
            label->setStyleSheet(muted);
    }
    for (const QPointer<QFrame> &line : std::as_const(m_lines)) {
        if (line)
            line->setStyleSheet(QStringLiteral("background: %1; border: none;").arg(pal.color(QPalette::Mid).name()));
    }
}

void SettingsDialog::applyFonts()
{
    const int scale = ThemeManager::fontScale();
    for (const Heading &heading : std::as_const(m_headings)) {
        if (!heading.label)
            continue;
        QFont font(QStringLiteral("IBM Plex Sans"));
        font.setPixelSize(std::max(1, heading.pixelSize * scale / 100));
        if (heading.weight > 0)
            font.setWeight(QFont::Weight(heading.weight));
        heading.label->setFont(font);
    }
}
