#pragma once

#include "accountpage.h"

namespace VelmAccount {

// The sessions signed in to the account; any but this one may be revoked.
class SecurityPage final : public AccountPage
{
    Q_OBJECT
public:
    explicit SecurityPage(Client *client, QWidget *parent = nullptr);

    void refresh() override;
    void revokeSession(const QString &id);

private:
    void rebuild(const QList<Session> &sessions);
};

} // namespace VelmAccount
