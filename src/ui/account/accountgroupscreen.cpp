// The account window's Group page: members, invitations and leaving.
#include "accountscreen.h"

#include "accountclient.h"
#include "accountpageparts.h"
#include "authclient.h"
#include "client.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace VelmAccount {

using namespace AccountParts;

void AccountScreen::refreshGroup()
{
    if (!m_client)
        return;
    m_client->accountClient()->getGroup([guard = QPointer<AccountScreen>(this)](const Group &group) {
        if (guard) {
            guard->rebuildGroup(group);
            // Ownership decides what the deletion page allows.
            guard->rebuildDataPage();
        }
    });
}

void AccountScreen::rebuildGroup(const Group &group)
{
    QVBoxLayout *layout = resetPage(GroupPage, tr("Group"));
    const auto button = [this](const QString &text, auto slot) {
        auto *result = new QPushButton(text);
        connect(result, &QPushButton::clicked, this, slot);
        return result;
    };
    const auto addInviteButtons = [&] {
        auto *row = new QHBoxLayout;
        row->addWidget(button(tr("Invite by Email"), [this] { inviteByEmail(); }));
        row->addWidget(button(tr("Generate Invite Code"), [this] { generateInviteCode(); }));
        row->addStretch(1);
        layout->addLayout(row);
    };
    if (group.id.isEmpty()) {
        // Anyone may start a group: the first invitation founds it.
        addSection(layout, tr("Start a Group"),
                   tr("Share notes and notebooks with the people in your group. Invite someone by e-mail or give "
                      "them an invite code; your group is created with the first invitation."));
        addInviteButtons();
        addSection(layout, tr("Join a Group"), tr("Someone invited you? Enter the invite code they gave you."));
        layout->addWidget(button(tr("Join with Invite Code"), [this] { joinGroup(); }), 0, Qt::AlignLeft);
        layout->addStretch(1);
        emit pageRebuilt(GroupPage);
        return;
    }
    const bool owner = isOwner();
    addSection(layout, tr("Members"));
    for (const GroupMember &member : group.members) {
        const QString shown = member.displayName.isEmpty() ? member.email : member.displayName;
        QList<QWidget *> trailing;
        if (member.role == QLatin1String("owner")) {
            QLabel *ownerBadge = badge(tr("Owner"), -2);
            tint(ownerBadge, Tint::Accent);
            trailing << ownerBadge;
        } else if (owner) {
            trailing << button(tr("Remove"), [this, member] { removeMember(member); });
        }
        QVBoxLayout *lines = addRow(layout, trailing);
        lines->addWidget(label(shown, 0, 500));
        if (member.email != shown)
            lines->addWidget(muted(member.email, -1));
    }
    if (owner && !group.pendingInvitations.isEmpty()) {
        addSection(layout, tr("Pending Invitations"));
        for (const GroupInvitation &invitation : group.pendingInvitations) {
            const QString id = invitation.id;
            QVBoxLayout *lines = addRow(layout, {button(tr("Revoke"), [this, id] { revokeInvitation(id); })});
            lines->addWidget(label(invitation.invitedEmail.isEmpty()
                                       ? tr("Invite code: %1").arg(invitation.inviteCode)
                                       : invitation.invitedEmail));
        }
    }
    if (owner) {
        addSection(layout, tr("Invite Members"));
        addInviteButtons();
    } else {
        layout->addSpacing(12);
        layout->addWidget(button(tr("Leave Group"), [this] { leaveGroup(); }), 0, Qt::AlignLeft);
    }
    layout->addStretch(1);
    emit pageRebuilt(GroupPage);
}

void AccountScreen::joinGroup()
{
    const auto answer = m_prompts.text(tr("Join Group"), tr("Enter invite code:"), QString());
    const QString code = answer ? answer->trimmed() : QString();
    if (code.isEmpty() || !m_client)
        return;
    m_client->accountClient()->joinGroup(code, [guard = QPointer<AccountScreen>(this)](bool ok) {
        if (!guard)
            return;
        if (!ok) {
            guard->showError(tr("Invalid or expired invite code."));
            return;
        }
        guard->showSuccess(tr("Joined group."));
    });
}

void AccountScreen::inviteByEmail()
{
    const auto answer = m_prompts.text(tr("Invite by Email"), tr("Email address:"), QString());
    const QString email = answer ? answer->trimmed() : QString();
    if (email.isEmpty() || !m_client)
        return;
    m_client->accountClient()->inviteByEmail(email, [guard = QPointer<AccountScreen>(this)](const GroupInvitation &sent) {
        if (!guard)
            return;
        if (sent.id.isEmpty()) {
            guard->showError(tr("Failed to send invitation."));
            return;
        }
        guard->showSuccess(tr("Invitation sent."));
    });
}

void AccountScreen::generateInviteCode()
{
    if (!m_client)
        return;
    m_client->accountClient()->generateInviteCode([guard = QPointer<AccountScreen>(this)](const GroupInvitation &made) {
        if (!guard)
            return;
        if (made.inviteCode.isEmpty()) {
            guard->showError(tr("Failed to generate code."));
            return;
        }
        guard->m_prompts.inform(tr("Invite Code"),
                                tr("Share this code with the person you want to invite:\n\n%1").arg(made.inviteCode));
    });
}

void AccountScreen::leaveGroup()
{
    if (!m_client
        || !m_prompts.confirm(tr("Leave Group"), tr("Leave this group? You will lose access to shared data.")))
        return;
    m_client->accountClient()->leaveGroup([guard = QPointer<AccountScreen>(this)](const Outcome &outcome) {
        if (guard)
            guard->showOutcome(outcome, tr("Left group."), tr("Failed to leave the group."));
    });
}

void AccountScreen::removeMember(const GroupMember &member)
{
    const QString shown = member.displayName.isEmpty() ? member.email : member.displayName;
    if (!m_client || !m_prompts.confirm(tr("Remove Member"), tr("Remove %1 from the group?").arg(shown)))
        return;
    m_client->accountClient()->removeMember(member.accountId, [guard = QPointer<AccountScreen>(this),
                                                               shown](const Outcome &outcome) {
        if (guard)
            guard->showOutcome(outcome, tr("%1 removed.").arg(shown), tr("Failed to remove %1.").arg(shown));
    });
}

void AccountScreen::revokeInvitation(const QString &id)
{
    if (!m_client)
        return;
    m_client->accountClient()->revokeInvitation(id, [guard = QPointer<AccountScreen>(this)](const Outcome &outcome) {
        if (guard && guard->showOutcome(outcome, tr("Invitation revoked."), tr("Failed to revoke the invitation.")))
            guard->refreshGroup();
    });
}

} // namespace VelmAccount
