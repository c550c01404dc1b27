#pragma once

#include "accountrecords.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace VelmAccount {

class ApiClient;
class AuthClient;

// Calls of the account API other than signing in: profile, devices, group.
// A failed request gives its callback an empty record, an empty list or a
// failed Outcome; actions report what the server answered.
class AccountClient final : public QObject
{
    Q_OBJECT
public:
    // api and auth are not owned.
    AccountClient(ApiClient *api, AuthClient *auth, QObject *parent = nullptr);

    void getProfile(std::function<void(const Profile &)> callback);
    using OutcomeCallback = std::function<void(const Outcome &)>;
    void deleteAccount(OutcomeCallback callback);
    void getDevices(std::function<void(const QList<Device> &)> callback);
    void removeDevice(const QString &id, OutcomeCallback callback = nullptr);
    void renameDevice(const QString &id, const QString &name, OutcomeCallback callback);
    void getGroup(std::function<void(const Group &)> callback);
    // The invitation made, empty when outcome says why not.
    using InviteCallback = std::function<void(const GroupInvitation &, const Outcome &)>;
    void generateInviteCode(InviteCallback callback);
    void inviteByEmail(const QString &email, InviteCallback callback);
    void joinGroup(const QString &code, OutcomeCallback callback);
    void leaveGroup(OutcomeCallback callback = nullptr);
    void removeMember(const QString &accountId, OutcomeCallback callback = nullptr);
    void revokeInvitation(const QString &id, OutcomeCallback callback = nullptr);

signals:
    // After joining, leaving or founding a group (once the token carries the
    // new group claims) and after a member was removed.
    void groupChanged();

private:
    void invite(const QJsonObject &body, InviteCallback callback);
    void refreshClaimsThenAnnounce();
    void act(const QByteArray &method, const QString &path, OutcomeCallback callback);

    QPointer<ApiClient> m_api;
    QPointer<AuthClient> m_auth;
};

} // namespace VelmAccount
