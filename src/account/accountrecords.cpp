#include "accountrecords.h"

#include "wireprotocol.h"

#include <QJsonArray>

namespace VelmAccount {

namespace {

QString text(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

QDateTime time(const QJsonObject &object, const char *key)
{
    return VelmWire::fromIsoTime(text(object, key));
}

template<typename Record>
QList<Record> listOf(const QJsonObject &object, const char *key)
{
    QList<Record> records;
    const QJsonArray array = object.value(QLatin1String(key)).toArray();
    records.reserve(array.size());
    for (const QJsonValue &value : array)
        records.append(Record::fromJson(value.toObject()));
    return records;
}

} // namespace

Outcome Outcome::from(bool ok, int status, const QJsonObject &reply)
{
    const QString error = text(reply, "error");
    return {ok && status >= 200 && status < 300, status, error.isEmpty() ? text(reply, "message") : error};
}

User User::fromJson(const QJsonObject &o)
{
    return {text(o, "id"), text(o, "email"), text(o, "display_name"), text(o, "username"), text(o, "avatar_url"),
            time(o, "created_at")};
}

Session Session::fromJson(const QJsonObject &o)
{
    return {text(o, "id"), text(o, "user_agent"), text(o, "ip_address"), time(o, "created_at"),
            time(o, "last_active_at"), o.value(QLatin1String("is_current")).toBool()};
}

Profile Profile::fromJson(const QJsonObject &o)
{
    Profile profile{text(o, "id"), text(o, "email"), text(o, "display_name"), text(o, "avatar_url"),
                    text(o, "language"), text(o, "timezone"), text(o, "status"), time(o, "created_at"), false, {}};
    const QJsonValue group = o.value(QLatin1String("group"));
    if (group.isObject()) {
        const QJsonObject g = group.toObject();
        profile.hasGroup = true;
        profile.group = {text(g, "id"), text(g, "name"), text(g, "role"),
                         g.value(QLatin1String("member_count")).toInt()};
    }
    return profile;
}

Device Device::fromJson(const QJsonObject &o)
{
    return {text(o, "id"), text(o, "device_name"), text(o, "platform"), text(o, "app_id"), text(o, "app_version"),
            time(o, "last_sync_at"), text(o, "device_fingerprint"), time(o, "created_at"),
            o.value(QLatin1String("is_current")).toBool()};
}

GroupMember GroupMember::fromJson(const QJsonObject &o)
{
    return {text(o, "account_id"), text(o, "auth_user_id"), text(o, "display_name"), text(o, "email"),
            text(o, "role"), time(o, "joined_at")};
}

GroupInvitation GroupInvitation::fromJson(const QJsonObject &o)
{
    return {text(o, "id"), text(o, "invited_email"), text(o, "invite_code"), text(o, "status"),
            time(o, "expires_at")};
}

Group Group::fromJson(const QJsonObject &o)
{
    return {text(o, "id"), text(o, "name"), o.value(QLatin1String("max_seats")).toInt(),
            listOf<GroupMember>(o, "members"), listOf<GroupInvitation>(o, "pending_invitations")};
}

QList<Device> devicesFrom(const QJsonObject &reply)
{
    return listOf<Device>(reply, "devices");
}

QList<Session> sessionsFrom(const QJsonObject &reply)
{
    return listOf<Session>(reply, "sessions");
}

} // namespace VelmAccount
