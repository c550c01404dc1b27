#pragma once

#include "accountpage.h"

namespace VelmAccount {

// The user's e-mail, display name and password.
class ProfilePage final : public AccountPage
{
    Q_OBJECT
public:
    explicit ProfilePage(Client *client, QWidget *parent = nullptr);

    void refresh() override;
    void editDisplayName();
    void changePassword();

private:
    void rebuild();

    User m_user;
    QPushButton *m_editName = nullptr;
    QPushButton *m_changePassword = nullptr;
};

} // namespace VelmAccount
