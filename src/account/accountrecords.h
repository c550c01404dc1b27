#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace VelmAccount {

// Records read from the auth and account APIs. A missing key gives an empty
// value; times are ISO 8601 in the replies.

// What the server answered to an action: ok only on a 2xx; message is the
// server's own error text when it gave one.
struct Outcome
{
    bool ok = false;
    int status = 0;
    QString message;

    static Outcome from(bool ok, int status, const QJsonObject &reply);
};

struct User
{
    QString id;
    QString email;
    QString displayName;
    QString username;
    QString avatarUrl;
    QDateTime createdAt;

    static User fromJson(const QJsonObject &object);
};

struct Session
{
    QString id;
    QString userAgent;
    QString ipAddress;
    QDateTime createdAt;
    QDateTime lastActiveAt;
    bool isCurrent = false;

    static Session fromJson(const QJsonObject &object);
};

struct ProfileGroup
{
    QString id;
    QString name;
    QString role;
    int memberCount = 0;
};

struct Profile
{
    QString id;
    QString email;
    QString displayName;
    QString avatarUrl;
    QString language;
    QString timezone;
    QString status;
    QDateTime createdAt;
    bool hasGroup = false;
    ProfileGroup group;

    static Profile fromJson(const QJsonObject &object);
};

struct Device
{
    QString id;
    QString deviceName;
    QString platform;
    QString appId;
    QString appVersion;
    QDateTime lastSyncAt;
    QString deviceFingerprint;
    QDateTime createdAt;
    bool isCurrent = false; // the installation asking

    static Device fromJson(const QJsonObject &object);
};

struct GroupMember
{
    QString accountId;
    QString authUserId;
    QString displayName;
    QString email;
    QString role;
    QDateTime joinedAt;

    static GroupMember fromJson(const QJsonObject &object);
};

struct GroupInvitation
{
    QString id;
    QString invitedEmail;
    QString inviteCode;
    QString status;
    QDateTime expiresAt;

    static GroupInvitation fromJson(const QJsonObject &object);
};

struct Group
{
    QString id;
    QString name;
    int maxSeats = 0;
    QList<GroupMember> members;
    QList<GroupInvitation> pendingInvitations;

    static Group fromJson(const QJsonObject &object);
};

// The "devices" and "sessions" arrays of a reply; empty when absent.
QList<Device> devicesFrom(const QJsonObject &reply);
QList<Session> sessionsFrom(const QJsonObject &reply);

} // namespace VelmAccount
