#pragma once

#include "accountpage.h"

namespace VelmAccount {

// The devices that have synced with the account: renaming and removing them.
class DevicesPage final : public AccountPage
{
    Q_OBJECT
public:
    explicit DevicesPage(Client *client, QWidget *parent = nullptr);

    void refresh() override;
    void removeDevice(const Device &device);
    void renameDevice(const Device &device);

private:
    void rebuild(const QList<Device> &devices);
};

} // namespace VelmAccount
