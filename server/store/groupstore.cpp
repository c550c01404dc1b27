#include "groupstore.h"

#include <QSqlQuery>

namespace VelmServer {

namespace {

const QString groupColumns = QStringLiteral("g.id, g.name, g.owner_id, g.max_seats, g.created_at");

GroupRow groupFromRow(const QSqlQuery &q)
{
    return GroupRow{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toInt(),
                    q.value(4).toLongLong()};
}

const QString invitationColumns = QStringLiteral("i.id, i.group_id, i.invited_email, i.invite_code, i.status, i.expires_at,"
                                                 " i.created_at");
constexpr int invitationColumnCount = 7;

InvitationRow invitationFromRow(const QSqlQuery &q)
{
    return InvitationRow{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                         q.value(4).toString(), q.value(5).toLongLong(), q.value(6).toLongLong()};
}

} // namespace

StoreResult<std::optional<GroupRow>> GroupStore::groupOf(const QString &userId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM users u JOIN groups_ g ON g.id = u.group_id WHERE u.id = ?")
                         .arg(groupColumns), {userId}))
        return storeFailure;
    return q.next() ? std::optional<GroupRow>(groupFromRow(q)) : std::nullopt;
}

StoreResult<bool> GroupStore::sameGroup(const QString &a, const QString &b)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT 1 FROM users a JOIN users b ON a.group_id = b.group_id WHERE a.id = ? AND b.id = ?"),
                  {a, b}))
        return storeFailure;
    return q.next();
}

StoreResult<QList<MemberRow>> GroupStore::members(const QString &groupId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT id, display_name, email, created_at FROM users WHERE group_id = ? ORDER BY created_at"),
                  {groupId}))
        return storeFailure;
    QList<MemberRow> list;
    while (q.next())
        list.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toLongLong()});
    return list;
}

StoreStatus GroupStore::create(const GroupRow &g)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("INSERT INTO groups_ (id, name, owner_id, max_seats, created_at)"
                                                      " VALUES (?, ?, ?, ?, ?)"),
                                    {g.id, g.name, g.ownerId, g.maxSeats, g.createdAt})
                           && setGroup(g.ownerId, g.id));
}

StoreStatus GroupStore::setGroup(const QString &userId, const QString &groupId)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("UPDATE users SET group_id = ? WHERE id = ?"), {groupId, userId}));
}

StoreResult<bool> GroupStore::removeMember(const QString &userId, const QString &groupId)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("UPDATE users SET group_id = NULL WHERE id = ? AND group_id = ?"), {userId, groupId}))
        return storeFailure;
    return q.numRowsAffected() == 1;
}

StoreStatus GroupStore::dissolve(const QString &groupId)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("UPDATE users SET group_id = NULL WHERE group_id = ?"), {groupId})
                           && m_db.run(q, QStringLiteral("DELETE FROM invitations WHERE group_id = ?"), {groupId})
                           && m_db.run(q, QStringLiteral("DELETE FROM groups_ WHERE id = ?"), {groupId}));
}

StoreResult<QList<InvitationRow>> GroupStore::pendingInvitations(const QString &groupId, qint64 now)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM invitations i WHERE i.group_id = ? AND i.status = 'pending'"
                                    " AND i.expires_at > ? ORDER BY i.created_at").arg(invitationColumns),
                  {groupId, now}))
        return storeFailure;
    QList<InvitationRow> list;
    while (q.next())
        list.append(invitationFromRow(q));
    return list;
}

StoreResult<std::optional<InvitationRow>> GroupStore::invitation(const QString &id)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1 FROM invitations i WHERE i.id = ?").arg(invitationColumns), {id}))
        return storeFailure;
    return q.next() ? std::optional<InvitationRow>(invitationFromRow(q)) : std::nullopt;
}

StoreResult<std::optional<std::pair<InvitationRow, int>>> GroupStore::openInvitation(const QString &code, qint64 now)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("SELECT %1, g.max_seats FROM invitations i JOIN groups_ g ON g.id = i.group_id"
                                    " WHERE i.invite_code = ? AND i.status = 'pending' AND i.expires_at > ?")
                         .arg(invitationColumns),
                  {code, now}))
        return storeFailure;
    if (!q.next())
        return std::optional<std::pair<InvitationRow, int>>();
    return std::optional(std::make_pair(invitationFromRow(q), q.value(invitationColumnCount).toInt()));
}

StoreStatus GroupStore::addInvitation(const InvitationRow &i)
{
    QSqlQuery q = m_db.query();
    return StoreStatus::of(m_db.run(q, QStringLiteral("INSERT INTO invitations (id, group_id, invited_email, invite_code, status,"
                                                      " expires_at, created_at) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                                    {i.id, i.groupId, i.invitedEmail, i.inviteCode, i.status, i.expiresAt, i.createdAt}));
}

StoreResult<bool> GroupStore::setInvitationStatus(const QString &id, const QString &groupId, const QString &status)
{
    QSqlQuery q = m_db.query();
    if (!m_db.run(q, QStringLiteral("UPDATE invitations SET status = ? WHERE id = ? AND group_id = ?"), {status, id, groupId}))
        return storeFailure;
    return q.numRowsAffected() == 1;
}

} // namespace VelmServer
