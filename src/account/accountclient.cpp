#include "accountclient.h"

#include "apiclient.h"
#include "authclient.h"
#include "wireprotocol.h"

namespace VelmAccount {

namespace Field = VelmWire::Field;
namespace AccountField = VelmWire::AccountField;

AccountClient::AccountClient(ApiClient *api, AuthClient *auth, QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_auth(auth)
{
}

void AccountClient::getProfile(std::function<void(const Profile &)> callback)
{
    m_api->get(QLatin1StringView(VelmWire::Path::profile), [callback](bool ok, int, const QJsonObject &body) {
        if (callback)
            callback(ok ? Profile::fromJson(body) : Profile());
    });
}

void AccountClient::act(const QByteArray &method, const QString &path, OutcomeCallback callback)
{
    const auto answer = [callback](bool ok, int status, const QJsonObject &reply) {
        if (callback)
            callback(Outcome::from(ok, status, reply));
    };
    if (method == "DELETE")
        m_api->del(path, answer);
    else
        m_api->post(path, QJsonObject(), answer);
}

void AccountClient::deleteAccount(OutcomeCallback callback)
{
    act("DELETE", QLatin1StringView(VelmWire::Path::profile), std::move(callback));
}

void AccountClient::getDevices(std::function<void(const QList<Device> &)> callback)
{
    m_api->get(QLatin1StringView(VelmWire::Path::devices), [callback](bool ok, int, const QJsonObject &body) {
        if (callback)
            callback(ok ? devicesFrom(body) : QList<Device>());
    });
}

void AccountClient::removeDevice(const QString &id, OutcomeCallback callback)
{
    act("DELETE", VelmWire::at(VelmWire::Path::devices, id), std::move(callback));
}

void AccountClient::renameDevice(const QString &id, const QString &name, OutcomeCallback callback)
{
    m_api->patch(VelmWire::at(VelmWire::Path::devices, id), QJsonObject{{AccountField::deviceName, name}},
                 [callback](bool ok, int status, const QJsonObject &reply) {
                     if (callback)
                         callback(Outcome::from(ok, status, reply));
                 });
}

void AccountClient::getGroup(std::function<void(const Group &)> callback)
{
    m_api->get(QLatin1StringView(VelmWire::Path::group), [callback](bool ok, int, const QJsonObject &body) {
        if (callback)
            callback(ok ? Group::fromJson(body) : Group());
    });
}

void AccountClient::invite(const QJsonObject &body, InviteCallback callback)
{
    m_api->post(QLatin1StringView(VelmWire::Path::groupInvite), body,
                [this, guard = QPointer<AccountClient>(this), callback](bool ok, int status, const QJsonObject &reply) {
                    const Outcome outcome = Outcome::from(ok, status, reply);
                    // The first invitation founds the inviter's group: the
                    // token must learn the new group and the owner role.
                    if (outcome.ok && guard)
                        refreshClaimsThenAnnounce();
                    if (callback)
                        callback(outcome.ok ? GroupInvitation::fromJson(reply) : GroupInvitation(), outcome);
                });
}

void AccountClient::generateInviteCode(InviteCallback callback)
{
    invite(QJsonObject(), std::move(callback));
}

void AccountClient::inviteByEmail(const QString &email, InviteCallback callback)
{
    invite(QJsonObject{{AccountField::email, email}}, std::move(callback));
}

void AccountClient::joinGroup(const QString &code, OutcomeCallback callback)
{
    m_api->post(VelmWire::at(VelmWire::Path::groupJoin, code), QJsonObject(),
                [this, guard = QPointer<AccountClient>(this), callback](bool ok, int status, const QJsonObject &reply) {
                    if (ok && guard)
                        refreshClaimsThenAnnounce();
                    if (callback)
                        callback(Outcome::from(ok, status, reply));
                });
}

void AccountClient::leaveGroup(OutcomeCallback callback)
{
    act("POST", QLatin1StringView(VelmWire::Path::groupLeave),
        [this, guard = QPointer<AccountClient>(this), callback](const Outcome &outcome) {
            if (outcome.ok && guard)
                refreshClaimsThenAnnounce();
            if (callback)
                callback(outcome);
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

void AccountClient::removeMember(const QString &accountId, OutcomeCallback callback)
{
    act("DELETE", VelmWire::at(VelmWire::Path::groupMembers, accountId),
        [guard = QPointer<AccountClient>(this), callback](const Outcome &outcome) {
            if (outcome.ok && guard)
                emit guard->groupChanged();
            if (callback)
                callback(outcome);
        });
}

void AccountClient::revokeInvitation(const QString &id, OutcomeCallback callback)
{
    act("DELETE", VelmWire::at(VelmWire::Path::groupInvitations, id), std::move(callback));
}

} // namespace VelmAccount
