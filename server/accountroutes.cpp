#include "services.h"
#include "store/attachmentstore.h"
#include "store/groupstore.h"
#include "store/userstore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QSqlQuery>
#include <QUrl>

#include <sodium.h>

Q_DECLARE_LOGGING_CATEGORY(lcServer)

namespace VelmServer {

namespace Field = VelmWire::Field;
namespace AccountField = VelmWire::AccountField;
namespace AccountValue = VelmWire::AccountValue;

namespace {

constexpr int defaultSeats = 6;
constexpr int maxDeviceName = 100;
constexpr qint64 inviteLifetimeMs = 7LL * 24 * 3600 * 1000;

QString inviteCode()
{
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    QString code;
    for (int i = 0; i < 10; ++i)
        code += QLatin1Char(alphabet[randombytes_uniform(sizeof(alphabet) - 1)]);
    return code;
}

QJsonArray membersJson(const GroupRow &g, const QList<MemberRow> &members)
{
    QJsonArray list;
    for (const MemberRow &m : members)
        list.append(QJsonObject{{Field::accountId, m.id},
                                {AccountField::authUserId, m.id},
                                {AccountField::displayName, m.displayName},
                                {AccountField::email, m.email},
                                {AccountField::role, m.id == g.ownerId ? AccountValue::owner : AccountValue::member},
                                {AccountField::joinedAt, isoTime(m.createdAt)}});
    return list;
}

QJsonObject invitationJson(const InvitationRow &i)
{
    return QJsonObject{{Field::id, i.id},
                       {AccountField::invitedEmail, i.invitedEmail},
                       {AccountField::inviteCode, i.inviteCode},
                       {AccountField::status, i.status},
                       {AccountField::expiresAt, isoTime(i.expiresAt)}};
}

// The caller's group: replies 404 (not in one) or 500 and returns nothing when there is none to show.
std::optional<GroupRow> callerGroup(Services &s, const Caller &c, httplib::Response &res)
{
    const auto g = GroupStore(*s.db).groupOf(c.userId);
    if (!g) {
        replyStoreFailure(res);
        return std::nullopt;
    }
    if (!*g)
        replyError(res, 404, QStringLiteral("not in a group"));
    return *g;
}

void profile(Services &s, const Caller &c, httplib::Response &res)
{
    const auto user = UserStore(*s.db).byId(c.userId);
    GroupStore groups(*s.db);
    const auto g = groups.groupOf(c.userId);
    const auto members = g && *g ? groups.members((*g)->id) : StoreResult<QList<MemberRow>>(QList<MemberRow>());
    if (!user || !g || !members)
        return replyStoreFailure(res);
    if (!*user)
        return replyError(res, 404, QStringLiteral("not found"));
    const UserRow &u = **user;
    QJsonObject p{{Field::id, u.id},
                  {AccountField::email, u.email},
                  {AccountField::displayName, u.displayName},
                  {AccountField::avatarUrl, u.avatarUrl},
                  {AccountField::language, u.language},
                  {AccountField::timezone, u.timezone},
                  {AccountField::status, u.status},
                  {Field::createdAt, isoTime(u.createdAt)}};
    if (*g)
        p.insert(AccountField::group,
                 QJsonObject{{Field::id, (*g)->id},
                             {Field::name, (*g)->name},
                             {AccountField::role, (*g)->ownerId == c.userId ? AccountValue::owner : AccountValue::member},
                             {AccountField::memberCount, members->size()}});
    replyJson(res, 200, p);
}

void invite(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QString email = body->value(AccountField::email).toString().trimmed().toLower();
    if (body->contains(AccountField::email) && (!email.contains('@') || email.size() > maxEmailLength))
        return replyError(res, 400, QStringLiteral("email is not an e-mail address"));
    Tx tx(*s.db);
    GroupStore groups(*s.db);
    const auto found = groups.groupOf(c.userId);
    if (!found)
        return replyStoreFailure(res);
    std::optional<GroupRow> group = *found;
    if (!group) {
        // The first invitation founds the inviter's group.
        const auto user = UserStore(*s.db).byId(c.userId);
        if (!user)
            return replyStoreFailure(res);
        group = GroupRow{newId(), (*user ? (*user)->displayName : QString()) + QStringLiteral("'s group"), c.userId,
                         defaultSeats, nowMs()};
        if (!groups.create(*group))
            return replyStoreFailure(res);
    } else if (group->ownerId != c.userId) {
        return replyError(res, 403, QStringLiteral("only the group owner can invite"));
    }
    // A code invitation has no e-mail; the column takes "", never NULL.
    const InvitationRow invitation{newId(), group->id, email.isNull() ? QStringLiteral("") : email, inviteCode(),
                                   QStringLiteral("pending"), nowMs() + inviteLifetimeMs, nowMs()};
    if (!groups.addInvitation(invitation))
        return replyStoreFailure(res);
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 201, invitationJson(invitation));
}

void join(Services &s, const Caller &c, const QString &code, httplib::Response &res)
{
    Tx tx(*s.db);
    GroupStore groups(*s.db);
    const auto open = groups.openInvitation(code.toUpper(), nowMs());
    if (!open)
        return replyStoreFailure(res);
    if (!*open)
        return replyError(res, 404, QStringLiteral("no such invitation"));
    const auto &[invitation, seats] = **open;
    const auto user = UserStore(*s.db).byId(c.userId);
    if (!user)
        return replyStoreFailure(res);
    if (!*user)
        return replyError(res, 404, QStringLiteral("not found"));
    if (!invitation.invitedEmail.isEmpty() && invitation.invitedEmail != (*user)->email)
        return replyError(res, 404, QStringLiteral("no such invitation"));
    if (!(*user)->groupId.isEmpty())
        return replyError(res, 409, QStringLiteral("leave your current group first"));
    const auto members = groups.members(invitation.groupId);
    if (!members)
        return replyStoreFailure(res);
    if (members->size() >= seats)
        return replyError(res, 409, QStringLiteral("the group is full"));
    const auto accepted = groups.setInvitationStatus(invitation.id, invitation.groupId, QStringLiteral("accepted"));
    if (!groups.setGroup(c.userId, invitation.groupId) || !accepted)
        return replyStoreFailure(res);
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 200, QJsonObject{{AccountField::ok, true}, {AccountField::groupId, invitation.groupId}});
}

// The caller leaves g (the owner dissolves it), inside the caller's transaction.
StoreStatus leaveWithin(Services &s, const Caller &c, const GroupRow &g)
{
    GroupStore groups(*s.db);
    // Shares exist only inside a group; a dissolved group ends all of them.
    if (g.ownerId != c.userId)
        return StoreStatus::of(dropShares(s, c.userId) && groups.removeMember(c.userId, g.id));
    const auto members = groups.members(g.id);
    if (!members)
        return storeFailure;
    for (const MemberRow &member : *members)
        if (!dropShares(s, member.id))
            return storeFailure;
    // A group never stays without its owner: the owner leaving dissolves it.
    return groups.dissolve(g.id);
}

void leave(Services &s, const Caller &c, httplib::Response &res)
{
    const auto g = callerGroup(s, c, res);
    if (!g)
        return;
    Tx tx(*s.db);
    if (!tx.ok())
        return replyError(res, 503, QStringLiteral("try again"));
    if (!leaveWithin(s, c, *g))
        return replyStoreFailure(res);
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 200, QJsonObject{{AccountField::ok, true}});
}

// Removes the account and everything it owns in one transaction; the
// attachment files go once it has committed.
void deleteAccount(Services &s, const Caller &c, httplib::Response &res)
{
    const auto g = GroupStore(*s.db).groupOf(c.userId);
    if (!g)
        return replyStoreFailure(res);
    Tx tx(*s.db);
    if (!tx.ok())
        return replyError(res, 503, QStringLiteral("the account could not be deleted; try again"));
    QStringList files;
    if ((*g && !leaveWithin(s, c, **g)) || !AttachmentStore(*s.db).dropForAccount(c.userId, &files) || !UserStore(*s.db).removeAccount(c.userId))
        return replyStoreFailure(res);
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("the account could not be deleted; try again"));
    removeAttachmentContents(s, files);
    qCInfo(lcServer) << "account deleted";
    replyJson(res, 200, QJsonObject{{AccountField::ok, true}});
}

} // namespace

// The devices row a request comes from. One row per installation; clients
// that send no installation id fall back to what they do send, which cannot
// tell two installs of one system apart.
QString deviceFingerprint(const Caller &c, const httplib::Request &req)
{
    const QString appId = QString::fromStdString(req.get_header_value(VelmWire::Header::appId)).left(200);
    const QString installation = QString::fromStdString(req.get_header_value(VelmWire::Header::deviceId)).left(100);
    const QString identity = installation.isEmpty()
        ? c.userId + '\n' + appId + '\n' + QString::fromStdString(req.get_header_value(VelmWire::Header::platform)).left(50) + '\n'
              + QString::fromStdString(req.get_header_value("User-Agent")).left(300)
        : c.userId + QStringLiteral("\ninstallation\n") + installation;
    return QString::fromLatin1(QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

void recordDevice(Services &s, const Caller &c, const httplib::Request &req)
{
    const QString appId = QString::fromStdString(req.get_header_value(VelmWire::Header::appId)).left(200);
    if (appId.isEmpty())
        return;
    const QString platform = QString::fromStdString(req.get_header_value(VelmWire::Header::platform)).left(50);
    const QString version = QString::fromStdString(req.get_header_value(VelmWire::Header::appVersion)).left(50);
    const QString hostName = QUrl::fromPercentEncoding(QByteArray::fromStdString(req.get_header_value(VelmWire::Header::deviceName)))
                                 .simplified().left(maxDeviceName);
    const QString fingerprint = deviceFingerprint(c, req);
    const qint64 now = nowMs();
    UserStore users(*s.db);
    // The name is set once: the user may have renamed the device since.
    const auto known = users.touchDevice(c.userId, fingerprint, version, platform, now);
    if (known && !*known) {
        const QString name = !hostName.isEmpty() ? hostName : platform.isEmpty() ? appId : platform;
        if (users.addDevice({newId(), c.userId, name, platform, appId, version, fingerprint, now, now}))
            return;
    } else if (known) {
        return;
    }
    // The sync it came with stands; the device list is only late.
    qCWarning(lcServer) << "the device of a sync could not be recorded";
}

void addAccountRoutes(httplib::Server &http, Services &s)
{
    const std::string base = VelmWire::accountBase;
    http.Get(base + VelmWire::Path::profile, authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        profile(s, c, res);
    }));
    http.Delete(base + VelmWire::Path::profile, authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        deleteAccount(s, c, res);
    }));
    http.Get(base + VelmWire::Path::devices, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        const QString mine = deviceFingerprint(c, req);
        const auto found = UserStore(*s.db).devices(c.userId);
        if (!found)
            return replyStoreFailure(res);
        QJsonArray devices;
        for (const DeviceRow &d : *found)
            devices.append(QJsonObject{{Field::id, d.id},
                                       {AccountField::deviceName, d.deviceName},
                                       {AccountField::platform, d.platform},
                                       {AccountField::appId, d.appId},
                                       {AccountField::appVersion, d.appVersion},
                                       {AccountField::lastSyncAt, isoTime(d.lastSyncAt)},
                                       {AccountField::deviceFingerprint, d.fingerprint},
                                       {Field::createdAt, isoTime(d.createdAt)},
                                       {AccountField::isCurrent, d.fingerprint == mine}});
        replyJson(res, 200, QJsonObject{{AccountField::devices, devices}});
    }));
    http.Delete(base + VelmWire::Path::devices + R"(/([A-Za-z0-9-]+))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        const auto removed = UserStore(*s.db).removeDevice(c.userId, pathArg(req, 1));
        if (!removed)
            return replyStoreFailure(res);
        if (!*removed)
            return replyError(res, 404, QStringLiteral("not found"));
        replyJson(res, 200, QJsonObject{{AccountField::ok, true}});
    }));
    http.Patch(base + VelmWire::Path::devices + R"(/([A-Za-z0-9-]+))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        const auto body = jsonBody(req, res);
        if (!body)
            return;
        const QString name = body->value(AccountField::deviceName).toString().simplified();
        if (name.isEmpty() || name.size() > maxDeviceName)
            return replyError(res, 400, QStringLiteral("device_name must be 1 to %1 characters").arg(maxDeviceName));
        const auto renamed = UserStore(*s.db).renameDevice(c.userId, pathArg(req, 1), name);
        if (!renamed)
            return replyStoreFailure(res);
        if (!*renamed)
            return replyError(res, 404, QStringLiteral("not found"));
        replyJson(res, 200, QJsonObject{{AccountField::ok, true}, {AccountField::deviceName, name}});
    }));
    http.Get(base + VelmWire::Path::group, authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        const auto g = callerGroup(s, c, res);
        if (!g)
            return;
        GroupStore groups(*s.db);
        const auto members = groups.members(g->id);
        const auto invitations = groups.pendingInvitations(g->id, nowMs());
        if (!members || !invitations)
            return replyStoreFailure(res);
        QJsonArray pending;
        for (const InvitationRow &i : *invitations)
            pending.append(invitationJson(i));
        replyJson(res, 200, QJsonObject{{Field::id, g->id},
                                        {Field::name, g->name},
                                        {AccountField::maxSeats, g->maxSeats},
                                        {AccountField::members, membersJson(*g, *members)},
                                        {AccountField::pendingInvitations, pending}});
    }));
    http.Get(base + VelmWire::Path::groupMembers, authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        const auto g = callerGroup(s, c, res);
        if (!g)
            return;
        const auto members = GroupStore(*s.db).members(g->id);
        members ? replyJson(res, 200, QJsonObject{{AccountField::members, membersJson(*g, *members)}}) : replyStoreFailure(res);
    }));
    http.Get(base + VelmWire::Path::groupInvitations, authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        const auto g = callerGroup(s, c, res);
        if (!g)
            return;
        const auto invitations = GroupStore(*s.db).pendingInvitations(g->id, nowMs());
        if (!invitations)
            return replyStoreFailure(res);
        QJsonArray list;
        for (const InvitationRow &i : *invitations)
            list.append(invitationJson(i));
        replyJson(res, 200, QJsonObject{{AccountField::invitations, list}});
    }));
    http.Post(base + VelmWire::Path::groupInvite, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        invite(s, c, req, res);
    }));
    http.Post(base + VelmWire::Path::groupJoin + R"(/([A-Za-z0-9]{1,64}))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        join(s, c, pathArg(req, 1), res);
    }));
    http.Post(base + VelmWire::Path::groupLeave, authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        leave(s, c, res);
    }));
    http.Delete(base + VelmWire::Path::groupMembers + R"(/([A-Za-z0-9-]+))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        const auto g = GroupStore(*s.db).groupOf(c.userId);
        if (!g)
            return replyStoreFailure(res);
        const QString member = pathArg(req, 1);
        if (!*g || (*g)->ownerId != c.userId || member == c.userId)
            return replyError(res, 404, QStringLiteral("not found"));
        Tx tx(*s.db);
        const auto removed = GroupStore(*s.db).removeMember(member, (*g)->id);
        if (!removed)
            return replyStoreFailure(res);
        if (!*removed)
            return replyError(res, 404, QStringLiteral("not found"));
        if (!dropShares(s, member))
            return replyStoreFailure(res);
        if (!tx.commit())
            return replyError(res, 503, QStringLiteral("try again"));
        replyJson(res, 200, QJsonObject{{AccountField::ok, true}});
    }));
    http.Delete(base + VelmWire::Path::groupInvitations + R"(/([A-Za-z0-9-]+))", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        GroupStore groups(*s.db);
        const auto g = groups.groupOf(c.userId);
        if (!g)
            return replyStoreFailure(res);
        if (!*g || (*g)->ownerId != c.userId)
            return replyError(res, 404, QStringLiteral("not found"));
        const auto revoked = groups.setInvitationStatus(pathArg(req, 1), (*g)->id, QStringLiteral("revoked"));
        if (!revoked)
            return replyStoreFailure(res);
        if (!*revoked)
            return replyError(res, 404, QStringLiteral("not found"));
        replyJson(res, 200, QJsonObject{{AccountField::ok, true}});
    }));
}

} // namespace VelmServer
