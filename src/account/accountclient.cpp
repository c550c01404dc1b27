#include "accountclient.h"

#include "apiclient.h"
#include "authclient.h"

namespace VelmAccount {

AccountClient::AccountClient(ApiClient *api, AuthClient *auth, QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_auth(auth)
{
}

void AccountClient::getProfile(std::function<void(const Profile &)> callback)
{
    m_api->get(QStringLiteral("/profile"), [callback](bool ok, int, const QJsonObject &body) {
        if (callback)
            callback(ok ? Profile::fromJson(body) : Profile());
    });
}

void AccountClient::deleteAccount(std::function<void(bool ok)> callback)
{
    m_api->del(QStringLiteral("/profile"), [callback](bool ok, int, const QJsonObject &) {
        if (callback)
            callback(ok);
    });
}

void AccountClient::getDevices(std::function<void(const QList<Device> &)> callback)
{
    m_api->get(QStringLiteral("/devices"), [callback](bool ok, int, const QJsonObject &body) {
        if (callback)
            callback(ok ? devicesFrom(body) : QList<Device>());
    });
}

void AccountClient::removeDevice(const QString &id)
{
    m_api->del(QStringLiteral("/devices/%1").arg(id), nullptr);
}

void AccountClient::getGroup(std::function<void(const Group &)> callback)
{
    m_api->get(QStringLiteral("/group"), [callback](bool ok, int, const QJsonObject &body) {
        if (callback)
            callback(ok ? Group::fromJson(body) : Group());
    });
}

void AccountClient::invite(const QJsonObject &body, std::function<void(const GroupInvitation &)> callback)
{
    m_api->post(QStringLiteral("/group/invite"), body, [callback](bool ok, int, const QJsonObject &reply) {
        if (callback)
            callback(ok ? GroupInvitation::fromJson(reply) : GroupInvitation());
    });
}

void AccountClient::generateInviteCode(std::function<void(const GroupInvitation &)> callback)
{
    invite(QJsonObject(), std::move(callback));
}

void AccountClient::inviteByEmail(const QString &email, std::function<void(const GroupInvitation &)> callback)
{
    invite(QJsonObject{{QStringLiteral("email"), email}}, std::move(callback));
}

void AccountClient::joinGroup(const QString &code, std::function<void(bool ok)> callback)
{
    m_api->post(QStringLiteral("/group/join/%1").arg(code), QJsonObject(),
                [this, guard = QPointer<AccountClient>(this), callback](bool ok, int, const QJsonObject &) {
                    if (ok && guard)
                        refreshClaimsThenAnnounce();
                    if (callback)
                        callback(ok);
                });
}

void AccountClient::leaveGroup()
{
    m_api->post(QStringLiteral("/group/leave"), QJsonObject(),
                [this, guard = QPointer<AccountClient>(this)](bool ok, int, const QJsonObject &) {
                    if (ok && guard)
                        refreshClaimsThenAnnounce();
                });
}

void AccountClient::refreshClaimsThenAnnounce()
{
    if (!m_auth) {
        emit groupChanged();
        return;
    }
    m_auth->refreshToken([this, guard = QPointer<AccountClient>(this)](bool) {
        if (guard)
            emit groupChanged();
    });
}

void AccountClient::removeMember(const QString &accountId)
{
    m_api->del(QStringLiteral("/group/members/%1").arg(accountId), nullptr);
}

void AccountClient::revokeInvitation(const QString &id)
{
    m_api->del(QStringLiteral("/group/invitations/%1").arg(id), nullptr);
}

} // namespace VelmAccount
