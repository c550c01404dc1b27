#include "grouppage.h"

#include "accountclient.h"
#include "accountpageparts.h"
#include "client.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace VelmAccount {

using namespace AccountParts;

GroupPage::GroupPage(Client *client, QWidget *parent)
    : AccountPage(client, parent)
{
    // Joining, leaving, inviting and removing all end here, with the token's
    // claims (the owner role) already renewed.
    if (client)
        connect(client->accountClient(), &AccountClient::groupChanged, this, &GroupPage::refresh);
    rebuild({});
}

void GroupPage::refresh()
{
    if (!client())
        return;
    client()->accountClient()->getGroup([guard = QPointer<GroupPage>(this)](const Group &group) {
        if (guard)
            guard->rebuild(group);
    });
}

void GroupPage::addInviteButtons(QVBoxLayout *layout)
{
    auto *row = new QHBoxLayout;
    row->addWidget(button(tr("Invite by Email"), [this] { inviteByEmail(); }));
    row->addWidget(button(tr("Generate Invite Code"), [this] { generateInviteCode(); }));
    row->addStretch(1);
    layout->addLayout(row);
}

void GroupPage::rebuild(const Group &group)
{
    QVBoxLayout *layout = reset(tr("Group"));
    if (group.id.isEmpty()) {
        // Anyone may start a group: the first invitation founds it.
        addSection(layout, tr("Start a Group"),
                   tr("Share notes and notebooks with the people in your group. Invite someone by e-mail or give "
                      "them an invite code; your group is created with the first invitation."));
        addInviteButtons(layout);
        addSection(layout, tr("Join a Group"), tr("Someone invited you? Enter the invite code they gave you."));
        layout->addWidget(button(tr("Join with Invite Code"), [this] { joinGroup(); }), 0, Qt::AlignLeft);
        finish(layout);
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
        addInviteButtons(layout);
    } else {
        layout->addSpacing(12);
        layout->addWidget(button(tr("Leave Group"), [this] { leaveGroup(); }), 0, Qt::AlignLeft);
    }
    finish(layout);
}

void GroupPage::joinGroup()
{
    const auto answer = prompts().text(tr("Join Group"), tr("Enter invite code:"), QString());
    const QString code = answer ? answer->trimmed() : QString();
    if (code.isEmpty() || !client())
        return;
    client()->accountClient()->joinGroup(code, [guard = QPointer<GroupPage>(this)](const Outcome &outcome) {
        if (!guard)
            return;
        // An unknown code is the common case; a full group or a group still
        // to leave takes the server's own words.
        if (outcome.status == 404)
            guard->reportError(tr("Invalid or expired invite code."));
        else
            guard->reportOutcome(outcome, tr("Joined group."), tr("Failed to join the group."));
    });
}

void GroupPage::inviteByEmail()
{
    const auto answer = prompts().text(tr("Invite by Email"), tr("Email address:"), QString());
    const QString email = answer ? answer->trimmed() : QString();
    if (email.isEmpty() || !client())
        return;
    client()->accountClient()->inviteByEmail(email, [guard = QPointer<GroupPage>(this)](const GroupInvitation &,
                                                                                        const Outcome &outcome) {
        if (guard)
            guard->reportOutcome(outcome, tr("Invitation sent."), tr("Failed to send invitation."));
    });
}

void GroupPage::generateInviteCode()
{
    if (!client())
        return;
    client()->accountClient()->generateInviteCode([guard = QPointer<GroupPage>(this)](const GroupInvitation &made,
                                                                                      const Outcome &outcome) {
        if (!guard)
            return;
        if (!outcome.ok || made.inviteCode.isEmpty()) {
            // A reply without a code is a failure too, whatever its status.
            if (outcome.ok)
                guard->reportError(tr("Failed to generate code."));
            else
                guard->reportOutcome(outcome, QString(), tr("Failed to generate code."));
            return;
        }
        guard->prompts().inform(tr("Invite Code"),
                                tr("Share this code with the person you want to invite:\n\n%1").arg(made.inviteCode));
    });
}

void GroupPage::leaveGroup()
{
    if (!client() || !prompts().confirm(tr("Leave Group"), tr("Leave this group? You will lose access to shared data.")))
        return;
    client()->accountClient()->leaveGroup([guard = QPointer<GroupPage>(this)](const Outcome &outcome) {
        if (guard)
            guard->reportOutcome(outcome, tr("Left group."), tr("Failed to leave the group."));
    });
}

void GroupPage::removeMember(const GroupMember &member)
{
    const QString shown = member.displayName.isEmpty() ? member.email : member.displayName;
    if (!client() || !prompts().confirm(tr("Remove Member"), tr("Remove %1 from the group?").arg(shown)))
        return;
    client()->accountClient()->removeMember(member.accountId,
                                            [guard = QPointer<GroupPage>(this), shown](const Outcome &outcome) {
        if (guard)
            guard->reportOutcome(outcome, tr("%1 removed.").arg(shown), tr("Failed to remove %1.").arg(shown));
    });
}

void GroupPage::revokeInvitation(const QString &id)
{
    if (!client())
        return;
    client()->accountClient()->revokeInvitation(id, [guard = QPointer<GroupPage>(this)](const Outcome &outcome) {
        if (guard && guard->reportOutcome(outcome, tr("Invitation revoked."), tr("Failed to revoke the invitation.")))
            guard->refresh();
    });
}

} // namespace VelmAccount
