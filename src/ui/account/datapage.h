#pragma once

#include "accountpage.h"

namespace VelmAccount {

// Deleting the account, which a group's owner cannot do.
class DataPage final : public AccountPage
{
    Q_OBJECT
public:
    explicit DataPage(Client *client, QWidget *parent = nullptr);

    // Rebuilds from the token's claims: ask again after the group changed.
    void refresh() override;
    void deleteAccount();
};

} // namespace VelmAccount
