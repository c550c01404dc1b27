#pragma once

#include "sharingbackend.h"

#include <QJsonObject>

namespace VelmAccount {

class ApiClient;

// Shares of notes (kind 0) or notebooks (kind 1) over the sync API.
class NoteSharingService final : public SharingBackend
{
    Q_OBJECT
public:
    enum Kind { Notes = 0, Notebooks = 1 };

    // api is not owned and must outlive the service.
    NoteSharingService(ApiClient *api, Kind kind, QObject *parent = nullptr);

    void listMembers(const QString &itemId, MembersCallback callback) override;
    void shareWith(const QString &itemId, const QString &accountId, const QString &permission,
                   ShareCallback callback) override;
    void removeShare(const QString &itemId, const QString &memberKey, RemoveCallback callback) override;
    QString memberKey(const ShareMember &member) const override;

    static ShareMember memberFromJson(const QJsonObject &object);

private:
    ApiClient *m_api;
    Kind m_kind;
};

} // namespace VelmAccount
