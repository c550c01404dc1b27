#pragma once

#include "accountrecords.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace VelmAccount {

class ApiClient;
class AuthClient;

// Calls of the account API other than signing in: profile, devices, group.
// A failed request gives its callback an empty record, an empty list or false.
class AccountClient final : public QObject
{
    Q_OBJECT
public:
    // api and auth are not owned.
    AccountClient(ApiClient *api, AuthClient *auth, QObject *parent = nullptr);

    void getProfile(std::function<void(const Profile &)> callback);
    void deleteAccount(std::function<void(bool ok)> callback);
    void getDevices(std::function<void(const QList<Device> &)> callback);
    void removeDevice(const QString &id);
    void getGroup(std::function<void(const Group &)> callback);
    void generateInviteCode(std::function<void(const GroupInvitation &)> callback);
    void inviteByEmail(const QString &email, std::function<void(const GroupInvitation &)> callback);
    void joinGroup(const QString &code, std::function<void(bool ok)> callback);
    void leaveGroup();
    void removeMember(const QString &accountId);
    void revokeInvitation(const QString &id);

signals:
    // After joining or leaving, once the token carries the new group claims.
    void groupChanged();

private:
    void invite(const QJsonObject &body, std::function<void(const GroupInvitation &)> callback);
    void refreshClaimsThenAnnounce();

    QPointer<ApiClient> m_api;
    QPointer<AuthClient> m_auth;
};

} // namespace VelmAccount
