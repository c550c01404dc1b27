#pragma once

#include "accountpage.h"

namespace VelmAccount {

// The group: its members, pending invitations, inviting, joining and leaving.
// The owner sees the invitations and may remove members; others may leave.
class GroupPage final : public AccountPage
{
    Q_OBJECT
public:
    explicit GroupPage(Client *client, QWidget *parent = nullptr);

    void refresh() override;
    void joinGroup();
    void inviteByEmail();
    void generateInviteCode();
    void leaveGroup();
    void removeMember(const GroupMember &member);
    void revokeInvitation(const QString &id);

private:
    void rebuild(const Group &group);
    void addInviteButtons(QVBoxLayout *layout);
};

} // namespace VelmAccount
