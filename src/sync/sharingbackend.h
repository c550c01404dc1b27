#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace VelmAccount {

// One person an item is shared with.
struct ShareMember
{
    QString id;
    QString accountId;
    QString email;
    QString displayName;
    QString permission; // "view", "edit" or "owner"
    QString createdAt;  // ISO 8601 local time; empty when unknown
};

// A member of the user's group, as far as sharing needs it.
struct GroupPerson
{
    QString accountId;
    QString authUserId;
    QString displayName;
    QString email;
};

// Lists, adds and removes the shares of one kind of item.
class SharingBackend : public QObject
{
    Q_OBJECT
public:
    using MembersCallback = std::function<void(const QList<ShareMember> &members)>;
    using ShareCallback = std::function<void(bool ok, const QString &error)>;
    using RemoveCallback = std::function<void(bool ok)>;

    using QObject::QObject;

    virtual void listMembers(const QString &itemId, MembersCallback callback) = 0;
    virtual void shareWith(const QString &itemId, const QString &accountId, const QString &permission,
                           ShareCallback callback) = 0;
    virtual void removeShare(const QString &itemId, const QString &memberKey, RemoveCallback callback) = 0;
    // What removeShare expects to name the share.
    virtual QString memberKey(const ShareMember &member) const { return member.id; }
};

} // namespace VelmAccount
