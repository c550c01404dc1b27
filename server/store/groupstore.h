#pragma once

#include "db.h"
#include "storeresult.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace VelmServer {

struct GroupRow
{
    QString id, name, ownerId;
    int maxSeats = 0;
    qint64 createdAt = 0;
};

struct InvitationRow
{
    QString id, groupId, invitedEmail, inviteCode, status;
    qint64 expiresAt = 0, createdAt = 0;
};

struct MemberRow
{
    QString id, displayName, email;
    qint64 createdAt = 0;
};

// Groups, their invitations and who belongs to which (users.group_id).
class GroupStore
{
public:
    explicit GroupStore(Db &db) : m_db(db) {}

    StoreResult<std::optional<GroupRow>> groupOf(const QString &userId);
    StoreResult<bool> sameGroup(const QString &a, const QString &b);
    // Oldest member first.
    StoreResult<QList<MemberRow>> members(const QString &groupId);
    // Founds the group with its owner as first member.
    StoreStatus create(const GroupRow &g);
    StoreStatus setGroup(const QString &userId, const QString &groupId);
    // Takes the member out of the group; false when they were not in it.
    StoreResult<bool> removeMember(const QString &userId, const QString &groupId);
    // Every member leaves, the invitations and the group go.
    StoreStatus dissolve(const QString &groupId);

    StoreResult<QList<InvitationRow>> pendingInvitations(const QString &groupId, qint64 now);
    StoreResult<std::optional<InvitationRow>> invitation(const QString &id);
    // A pending, unexpired invitation by its code, with its group's seat count.
    StoreResult<std::optional<std::pair<InvitationRow, int>>> openInvitation(const QString &code, qint64 now);
    StoreStatus addInvitation(const InvitationRow &i);
    // Sets the status of the group's invitation; false when there is none such.
    StoreResult<bool> setInvitationStatus(const QString &id, const QString &groupId, const QString &status);

private:
    Db &m_db;
};

} // namespace VelmServer
