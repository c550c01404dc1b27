#include "notesharingservice.h"

#include "apiclient.h"
#include "wireprotocol.h"

#include <QDateTime>
#include <QJsonArray>

namespace VelmAccount {

NoteSharingService::NoteSharingService(ApiClient *api, Kind kind, QObject *parent)
    : SharingBackend(parent)
    , m_api(api)
    , m_kind(kind)
{
}

ShareMember NoteSharingService::memberFromJson(const QJsonObject &object)
{
    const qint64 created = object.value("created_at").toInteger();
    return {object.value("id").toString(),
            object.value("shared_with_account_id").toString(),
            object.value("shared_with_email").toString(),
            object.value("shared_with_display_name").toString(),
            object.value("permission").toString(),
            created > 0 ? QDateTime::fromMSecsSinceEpoch(created).toLocalTime().toString(Qt::ISODate) : QString()};
}

void NoteSharingService::listMembers(const QString &itemId, MembersCallback callback)
{
    const QString path = m_kind == Notes ? VelmWire::at(VelmWire::Path::noteShares, itemId)
                                         : VelmWire::at(VelmWire::Path::notebooks, itemId) + QLatin1StringView(VelmWire::Path::notebookShares);
    m_api->get(path, [callback](bool ok, int, const QJsonObject &body) {
        QList<ShareMember> members;
        if (ok) {
            for (const QJsonValue &value : body.value("shares").toArray())
                members.append(memberFromJson(value.toObject()));
        }
        if (callback)
            callback(members);
    });
}

void NoteSharingService::shareWith(const QString &itemId, const QString &accountId, const QString &permission,
                                   ShareCallback callback)
{
    const QString path = m_kind == Notes ? VelmWire::at(VelmWire::Path::noteShares, itemId)
                                         : VelmWire::at(VelmWire::Path::notebooks, itemId) + QLatin1StringView(VelmWire::Path::notebookShare);
    const QJsonObject body{{"account_id", accountId},
                           {"auth_user_id", accountId},
                           {"permission", permission == QLatin1String("view") ? "view" : "edit"}};
    m_api->post(path, body, [callback](bool ok, int status, const QJsonObject &reply) {
        if (!callback)
            return;
        QString error = ok ? QString() : reply.value("error").toString();
        if (!ok && error.isEmpty())
            error = tr("Share failed (HTTP %1)").arg(status);
        callback(ok, error);
    });
}

void NoteSharingService::removeShare(const QString &itemId, const QString &memberKey, RemoveCallback callback)
{
    const QString path = m_kind == Notes
        ? VelmWire::at(VelmWire::Path::noteShares, itemId)
        : VelmWire::at(VelmWire::Path::notebooks, itemId) + QLatin1StringView(VelmWire::Path::notebookShares);
    m_api->del(path + u'/' + memberKey, [callback](bool ok, int, const QJsonObject &) {
        if (callback)
            callback(ok);
    });
}

QString NoteSharingService::memberKey(const ShareMember &member) const
{
    return member.accountId.isEmpty() ? member.id : member.accountId;
}

} // namespace VelmAccount
