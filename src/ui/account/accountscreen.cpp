#include "accountscreen.h"

#include "accountclient.h"
#include "accountpageparts.h"
#include "authclient.h"
#include "client.h"
#include "categorylist.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace VelmAccount {

using namespace AccountParts;

AccountScreen::AccountScreen(Client *client, QWidget *parent)
    : QWidget(parent)
    , m_client(client)
    , m_categories(new QListWidget(this))
    , m_pages(new QStackedWidget(this))
    , m_status(new QLabel(this))
    , m_statusTimer(new QTimer(this))
{
    m_prompts.text = [this](const QString &title, const QString &text, const QString &initial) -> std::optional<QString> {
        bool ok = false;
        const QString answer = QInputDialog::getText(this, title, text, QLineEdit::Normal, initial, &ok);
        return ok ? std::optional<QString>(answer) : std::nullopt;
    };
    m_prompts.password = [this](const QString &title, const QString &text) -> std::optional<QString> {
        bool ok = false;
        const QString answer = QInputDialog::getText(this, title, text, QLineEdit::Password, QString(), &ok);
        return ok ? std::optional<QString>(answer) : std::nullopt;
    };
    m_prompts.confirm = [this](const QString &title, const QString &text) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };
    m_prompts.inform = [this](const QString &title, const QString &text) {
        QMessageBox::information(this, title, text);
    };

    setUpCategoryList(m_categories, {tr("Profile"), tr("Group"), tr("Devices"), tr("Security"), tr("Data & Privacy")},
                      180);
    for (int i = 0; i < m_categories->count(); ++i) {
        auto *scroll = new QScrollArea(m_pages);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // The page's controls take the focus (and scroll into view), not the frame around them.
        scroll->setFocusPolicy(Qt::NoFocus);
        scroll->setAccessibleName(m_categories->item(i)->text());
        auto *content = new QWidget;
        auto *layout = new QVBoxLayout(content);
        layout->setContentsMargins(24, 20, 24, 20);
        scroll->setWidget(content);
        m_pages->addWidget(scroll);
    }
    connect(m_categories, &QListWidget::currentRowChanged, m_pages, &QStackedWidget::setCurrentIndex);
    m_categories->setCurrentRow(0);

    m_status->setFixedHeight(24);
    m_status->setMargin(4);
    QFont small = m_status->font();
    small.setPointSize(std::max(7, small.pointSize() - 1));
    m_status->setFont(small);
    m_statusTimer->setSingleShot(true);
    connect(m_statusTimer, &QTimer::timeout, m_status, &QLabel::clear);

    auto *right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    right->addWidget(m_pages, 1);
    right->addWidget(m_status);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_categories);
    layout->addLayout(right, 1);

    // Joining, leaving, inviting and removing all end here, with the token's
    // claims (the owner role) already renewed.
    if (m_client)
        connect(m_client->accountClient(), &AccountClient::groupChanged, this, &AccountScreen::refreshGroup);

    rebuildProfile();
    rebuildGroup({});
    rebuildDevices({});
    rebuildSessions({});
    rebuildDataPage();
}

AccountScreen *AccountScreen::openWindow(Client *client, const std::function<void(QWidget *)> &place)
{
    auto *screen = new AccountScreen(client);
    screen->setAttribute(Qt::WA_DeleteOnClose);
    screen->setWindowTitle(tr("Velmora Account"));
    screen->resize(720, 560);
    if (place)
        place(screen);
    screen->refreshAll();
    screen->show();
    return screen;
}

QWidget *AccountScreen::page(Page page) const
{
    return static_cast<QScrollArea *>(m_pages->widget(page))->widget();
}

QString AccountScreen::statusText() const
{
    return m_status->text();
}

void AccountScreen::showError(const QString &text)
{
    tint(m_status, Tint::Error);
    m_status->setText(text);
    m_statusTimer->start(4000);
}

void AccountScreen::showSuccess(const QString &text)
{
    tint(m_status, Tint::Success);
    m_status->setText(text);
    m_statusTimer->start(3000);
}

bool AccountScreen::showOutcome(const Outcome &outcome, const QString &success, const QString &failure)
{
    if (outcome.ok) {
        showSuccess(success);
        return true;
    }
    // The server's own words say why (a 403, a full group); with none, the network failed.
    const QString lead = failure.endsWith(QLatin1Char('.')) ? failure.chopped(1) : failure;
    showError(outcome.message.isEmpty() ? failure : tr("%1: %2.").arg(lead, outcome.message));
    return false;
}

bool AccountScreen::isOwner() const
{
    return m_client && m_client->claims().role == QLatin1String("owner");
}

void AccountScreen::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Colours are baked into style sheets: a theme change while the screen
    // is open must bake them again.
    if (event->type() == QEvent::PaletteChange) {
        styleCategoryList(m_categories);
        retint(this);
    }
}

QVBoxLayout *AccountScreen::resetPage(Page which, const QString &title, const QString &description)
{
    auto *layout = static_cast<QVBoxLayout *>(page(which)->layout());
    clearLayout(layout);
    layout->addWidget(label(title, 6, 600));
    if (!description.isEmpty())
        layout->addWidget(muted(description));
    layout->addSpacing(8);
    return layout;
}

void AccountScreen::refreshAll()
{
    refreshProfile();
    refreshGroup();
    refreshDevices();
    refreshSessions();
}

// ---------------------------------------------------------------- profile

void AccountScreen::refreshProfile()
{
    if (!m_client)
        return;
    m_client->authClient()->fetchCurrentUser([guard = QPointer<AccountScreen>(this)](const User &user) {
        if (!guard)
            return;
        guard->m_user = user;
        guard->rebuildProfile();
    });
}

void AccountScreen::rebuildProfile()
{
    QVBoxLayout *layout = resetPage(ProfilePage, tr("Profile"));
    addSection(layout, tr("Personal Information"));
    layout->addWidget(label(m_user.email));
    layout->addWidget(label(m_user.displayName.isEmpty() ? tr("(not set)") : m_user.displayName));
    m_editName = new QPushButton(tr("Edit Display Name"));
    connect(m_editName, &QPushButton::clicked, this, &AccountScreen::editDisplayName);
    layout->addWidget(m_editName, 0, Qt::AlignLeft);
    addSection(layout, tr("Password"), tr("Change your account password."));
    m_changePassword = new QPushButton(tr("Change Password"));
    connect(m_changePassword, &QPushButton::clicked, this, &AccountScreen::changePassword);
    layout->addWidget(m_changePassword, 0, Qt::AlignLeft);
    layout->addStretch(1);
    emit pageRebuilt(ProfilePage);
}

void AccountScreen::editDisplayName()
{
    const auto answer = m_prompts.text(tr("Edit Display Name"), tr("Display name:"), m_user.displayName);
    const QString name = answer ? answer->trimmed() : QString();
    if (name.isEmpty() || !m_client)
        return;
    QPointer<QPushButton> button = m_editName;
    button->setEnabled(false);
    m_client->authClient()->updateProfile(name, [guard = QPointer<AccountScreen>(this), button](const Outcome &outcome,
                                                                                               const User &user) {
        if (!guard)
            return;
        if (!outcome.ok || user.id.isEmpty()) {
            guard->showOutcome(Outcome{false, outcome.status, outcome.message}, QString(), tr("Failed to update profile."));
            if (button)
                button->setEnabled(true);
            return;
        }
        guard->m_user = user;
        guard->rebuildProfile();
        guard->showSuccess(tr("Display name updated."));
    });
}

void AccountScreen::changePassword()
{
    const QString title = tr("Change Password");
    const auto current = m_prompts.password(title, tr("Current password:"));
    if (!current || current->isEmpty())
        return;
    const auto replacement = m_prompts.password(title, tr("New password (min 8 characters):"));
    if (!replacement || replacement->isEmpty())
        return;
    if (replacement->size() < 8) {
        showError(tr("Password must be at least 8 characters."));
        return;
    }
    const auto confirmation = m_prompts.password(title, tr("Confirm new password:"));
    if (!confirmation)
        return;
    if (*confirmation != *replacement) {
        showError(tr("Passwords do not match."));
        return;
    }
    if (!m_client)
        return;
    QPointer<QPushButton> button = m_changePassword;
    button->setEnabled(false);
    m_client->authClient()->changePassword(*current, *replacement,
                                           [guard = QPointer<AccountScreen>(this), button](const Outcome &outcome) {
        if (!guard)
            return;
        guard->showOutcome(outcome, tr("Password changed."), tr("Failed to change password."));
        if (button)
            button->setEnabled(true);
    });
}

// ---------------------------------------------------------------- devices and sessions

void AccountScreen::refreshDevices()
{
    if (!m_client)
        return;
    m_client->accountClient()->getDevices([guard = QPointer<AccountScreen>(this)](const QList<Device> &devices) {
        if (guard)
            guard->rebuildDevices(devices);
    });
}

void AccountScreen::rebuildDevices(const QList<Device> &devices)
{
    QVBoxLayout *layout = resetPage(DevicesPage, tr("Devices"), tr("Devices that have synced with your account."));
    addSection(layout, tr("Registered Devices"));
    if (devices.isEmpty())
        layout->addWidget(muted(tr("No devices registered.")));
    for (const Device &device : devices) {
        auto *rename = new QPushButton(tr("Rename…"));
        connect(rename, &QPushButton::clicked, this, [this, device] { renameDevice(device); });
        QList<QWidget *> trailing{rename};
        if (device.isCurrent) {
            QLabel *current = badge(tr("This device"), -1);
            tint(current, Tint::Success);
            trailing.prepend(current);
        } else {
            auto *remove = new QPushButton(tr("Remove"));
            connect(remove, &QPushButton::clicked, this, [this, device] { removeDevice(device); });
            trailing << remove;
        }
        QVBoxLayout *lines = addRow(layout, trailing);
        QLabel *name = new QLabel(tr("<b>%1</b>").arg(
            (device.deviceName.isEmpty() ? tr("Unknown Device") : device.deviceName).toHtmlEscaped()));
        lines->addWidget(name);
        QString platform = platformInWords(device.platform);
        if (!device.appVersion.isEmpty())
            platform += tr("  ·  v%1").arg(device.appVersion);
        lines->addWidget(muted(platform, -1));
        lines->addWidget(muted(accountRelativeTime(device.lastSyncAt), -1));
    }
    layout->addStretch(1);
    emit pageRebuilt(DevicesPage);
}

void AccountScreen::removeDevice(const Device &device)
{
    const QString name = device.deviceName.isEmpty() ? tr("Unknown Device") : device.deviceName;
    if (!m_client || !m_prompts.confirm(tr("Remove Device"), tr("Remove %1?").arg(name)))
        return;
    m_client->accountClient()->removeDevice(device.id, [guard = QPointer<AccountScreen>(this)](const Outcome &outcome) {
        if (guard && guard->showOutcome(outcome, tr("Device removed."), tr("Failed to remove the device.")))
            guard->refreshDevices();
    });
}

void AccountScreen::renameDevice(const Device &device)
{
    const auto answer = m_prompts.text(tr("Rename Device"), tr("Device name:"), device.deviceName);
    const QString name = answer ? answer->simplified() : QString();
    if (name.isEmpty() || name == device.deviceName || !m_client)
        return;
    m_client->accountClient()->renameDevice(device.id, name, [guard = QPointer<AccountScreen>(this)](const Outcome &outcome) {
        if (guard && guard->showOutcome(outcome, tr("Device renamed."), tr("Failed to rename the device.")))
            guard->refreshDevices();
    });
}

void AccountScreen::refreshSessions()
{
    if (!m_client)
        return;
    m_client->authClient()->listSessions([guard = QPointer<AccountScreen>(this)](const QList<Session> &sessions) {
        if (guard)
            guard->rebuildSessions(sessions);
    });
}

void AccountScreen::rebuildSessions(const QList<Session> &sessions)
{
    QVBoxLayout *layout = resetPage(SecurityPage, tr("Security"), tr("Sessions currently signed in to your account."));
    addSection(layout, tr("Active Sessions"));
    if (sessions.isEmpty())
        layout->addWidget(muted(tr("No active sessions.")));
    for (const Session &session : sessions) {
        QWidget *trailing = nullptr;
        if (session.isCurrent) {
            QLabel *badge = label(tr("Current"), -1, 500);
            tint(badge, Tint::Success);
            trailing = badge;
        } else {
            auto *revoke = new QPushButton(tr("Revoke"));
            const QString id = session.id;
            connect(revoke, &QPushButton::clicked, this, [this, id] { revokeSession(id); });
            trailing = revoke;
        }
        QVBoxLayout *lines = addRow(layout, {trailing});
        QLabel *name = label(sessionInWords(session.userAgent), 0, 500);
        name->setToolTip(session.userAgent);
        lines->addWidget(name);
        QString when = session.isCurrent ? tr("This session") : accountRelativeTime(session.lastActiveAt);
        if (!session.ipAddress.isEmpty())
            when += tr("  ·  %1").arg(session.ipAddress);
        lines->addWidget(muted(when, -1));
    }
    layout->addStretch(1);
    emit pageRebuilt(SecurityPage);
}

void AccountScreen::revokeSession(const QString &id)
{
    if (!m_client)
        return;
    m_client->authClient()->revokeSession(id, [guard = QPointer<AccountScreen>(this)](const Outcome &outcome) {
        if (guard && guard->showOutcome(outcome, tr("Session revoked."), tr("Failed to revoke the session.")))
            guard->refreshSessions();
    });
}

// ---------------------------------------------------------------- data and privacy

void AccountScreen::rebuildDataPage()
{
    QVBoxLayout *layout = resetPage(DataPage, tr("Data & Privacy"));
    addSection(layout, tr("Danger Zone"), tr("Permanently delete your account and everything it holds on the server. This cannot be undone."));
    auto *remove = new QPushButton(tr("Delete Account"));
    tint(remove, Tint::Destructive);
    connect(remove, &QPushButton::clicked, this, &AccountScreen::deleteAccount);
    if (isOwner()) {
        remove->setEnabled(false);
        layout->addWidget(muted(tr("You are the group owner. Transfer ownership or remove all members before "
                                   "deleting your account.")));
    }
    layout->addWidget(remove, 0, Qt::AlignLeft);
    layout->addStretch(1);
    emit pageRebuilt(DataPage);
}

void AccountScreen::deleteAccount()
{
    if (!m_client || isOwner())
        return;
    const auto answer = m_prompts.text(
        tr("Delete Account"),
        tr("This deletes your account and its notes, notebooks and attachments from the server at once. It cannot be "
           "undone; the notes on this computer stay.\n\nType DELETE to confirm:"),
        QString());
    if (!answer || *answer != QLatin1String("DELETE"))
        return;
    m_client->accountClient()->deleteAccount([guard = QPointer<AccountScreen>(this)](const Outcome &outcome) {
        if (!guard)
            return;
        if (outcome.ok) {
            // The session went with the account: nothing is left to sign out of on the server.
            if (guard->m_client)
                guard->m_client->authClient()->logout();
            guard->m_prompts.inform(tr("Account Deleted"),
                                    tr("Your account and everything it held on the server have been deleted."));
        } else
            guard->showOutcome(outcome, QString(), tr("Failed to delete account."));
    });
}

} // namespace VelmAccount
