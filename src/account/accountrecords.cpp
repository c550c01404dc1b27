#include "accountrecords.h"

#include "wireprotocol.h"

#include <QJsonArray>

namespace VelmAccount {

namespace Field = VelmWire::Field;
namespace AccountField = VelmWire::AccountField;

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
    const QString error = text(reply, Field::error);
    return {ok && status >= 200 && status < 300, status, error.isEmpty() ? text(reply, Field::message) : error};
}

User User::fromJson(const QJsonObject &o)
{
    return {text(o, Field::id),          text(o, AccountField::email),     text(o, AccountField::displayName),
            text(o, AccountField::username), text(o, AccountField::avatarUrl), time(o, Field::createdAt)};
}

Session Session::fromJson(const QJsonObject &o)
{
    return {text(o, Field::id),
            text(o, AccountField::userAgent),
            text(o, AccountField::ipAddress),
            time(o, Field::createdAt),
            time(o, AccountField::lastActiveAt),
            o.value(QLatin1String(AccountField::isCurrent)).toBool()};
}

Profile Profile::fromJson(const QJsonObject &o)
{
    Profile profile{text(o, Field::id),
                    text(o, AccountField::email),
                    text(o, AccountField::displayName),
                    text(o, AccountField::avatarUrl),
                    text(o, AccountField::language),
                    text(o, AccountField::timezone),
                    text(o, AccountField::status),
                    time(o, Field::createdAt),
                    false,
                    {}};
    const QJsonValue group = o.value(QLatin1String(AccountField::group));
    if (group.isObject()) {
        const QJsonObject g = group.toObject();
        profile.hasGroup = true;
        profile.group = {text(g, Field::id), text(g, Field::name), text(g, AccountField::role),
                         g.value(QLatin1String(AccountField::memberCount)).toInt()};
    }
    return profile;
}

Device Device::fromJson(const QJsonObject &o)
{
    return {text(o, Field::id),
            text(o, AccountField::deviceName),
            text(o, AccountField::platform),
            text(o, AccountField::appId),
            text(o, AccountField::appVersion),
            time(o, AccountField::lastSyncAt),
            text(o, AccountField::deviceFingerprint),
            time(o, Field::createdAt),
            o.value(QLatin1String(AccountField::isCurrent)).toBool()};
}

GroupMember GroupMember::fromJson(const QJsonObject &o)
{
    return {text(o, Field::accountId),   text(o, AccountField::authUserId), text(o, AccountField::displayName),
            text(o, AccountField::email), text(o, AccountField::role),      time(o, AccountField::joinedAt)};
}

GroupInvitation GroupInvitation::fromJson(const QJsonObject &o)
{
    return {text(o, Field::id), text(o, AccountField::invitedEmail), text(o, AccountField::inviteCode),
            text(o, AccountField::status), time(o, AccountField::expiresAt)};
}

Group Group::fromJson(const QJsonObject &o)
{
    return {text(o, Field::id), text(o, Field::name), o.value(QLatin1String(AccountField::maxSeats)).toInt(),
            listOf<GroupMember>(o, AccountField::members),
            listOf<GroupInvitation>(o, AccountField::pendingInvitations)};
}

QList<Device> devicesFrom(const QJsonObject &reply)
{
    return listOf<Device>(reply, AccountField::devices);
}

QList<Session> sessionsFrom(const QJsonObject &reply)
{
    return listOf<Session>(reply, AccountField::sessions);
}

} // namespace VelmAccount
