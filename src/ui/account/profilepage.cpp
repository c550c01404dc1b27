#include "profilepage.h"

#include "accountpageparts.h"
#include "authclient.h"
#include "client.h"

#include <QLabel>
#include <QVBoxLayout>

namespace VelmAccount {

using namespace AccountParts;

ProfilePage::ProfilePage(Client *client, QWidget *parent)
    : AccountPage(client, parent)
{
    rebuild();
}

void ProfilePage::refresh()
{
    if (!client())
        return;
    client()->authClient()->fetchCurrentUser([guard = QPointer<ProfilePage>(this)](const User &user) {
        if (!guard)
            return;
        guard->m_user = user;
        guard->rebuild();
    });
}

void ProfilePage::rebuild()
{
    QVBoxLayout *layout = reset(tr("Profile"));
    addSection(layout, tr("Personal Information"));
    layout->addWidget(label(m_user.email));
    layout->addWidget(label(m_user.displayName.isEmpty() ? tr("(not set)") : m_user.displayName));
    m_editName = button(tr("Edit Display Name"), [this] { editDisplayName(); });
    layout->addWidget(m_editName, 0, Qt::AlignLeft);
    addSection(layout, tr("Password"), tr("Change your account password."));
    m_changePassword = button(tr("Change Password"), [this] { changePassword(); });
    layout->addWidget(m_changePassword, 0, Qt::AlignLeft);
    finish(layout);
}

void ProfilePage::editDisplayName()
{
    const auto answer = prompts().text(tr("Edit Display Name"), tr("Display name:"), m_user.displayName);
    const QString name = answer ? answer->trimmed() : QString();
    if (name.isEmpty() || !client())
        return;
    QPointer<QPushButton> button = m_editName;
    button->setEnabled(false);
    client()->authClient()->updateProfile(name, [guard = QPointer<ProfilePage>(this), button](const Outcome &outcome,
                                                                                             const User &user) {
        if (!guard)
            return;
        if (!outcome.ok || user.id.isEmpty()) {
            guard->reportOutcome(Outcome{false, outcome.status, outcome.message}, QString(),
                                 tr("Failed to update profile."));
            if (button)
                button->setEnabled(true);
            return;
        }
        guard->m_user = user;
        guard->rebuild();
        guard->reportSuccess(tr("Display name updated."));
    });
}

void ProfilePage::changePassword()
{
    const QString title = tr("Change Password");
    const auto current = prompts().password(title, tr("Current password:"));
    if (!current || current->isEmpty())
        return;
    const auto replacement = prompts().password(title, tr("New password (min 8 characters):"));
    if (!replacement || replacement->isEmpty())
        return;
    if (replacement->size() < 8) {
        reportError(tr("Password must be at least 8 characters."));
        return;
    }
    const auto confirmation = prompts().password(title, tr("Confirm new password:"));
    if (!confirmation)
        return;
    if (*confirmation != *replacement) {
        reportError(tr("Passwords do not match."));
        return;
    }
    if (!client())
        return;
    QPointer<QPushButton> button = m_changePassword;
    button->setEnabled(false);
    client()->authClient()->changePassword(*current, *replacement,
                                           [guard = QPointer<ProfilePage>(this), button](const Outcome &outcome) {
        if (!guard)
            return;
        guard->reportOutcome(outcome, tr("Password changed."), tr("Failed to change password."));
        if (button)
            button->setEnabled(true);
    });
}

} // namespace VelmAccount
