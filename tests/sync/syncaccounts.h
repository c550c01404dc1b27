#pragma once

// New accounts on one test server, each used from two devices.

#include "serverharness.h"
#include "syncdevice.h"

#include <memory>
#include <tuple>
#include <utility>

namespace VelmSyncTest {

using DevicePair = std::pair<std::unique_ptr<Device>, std::unique_ptr<Device>>;
// Two members' devices and the second member's account id.
using GroupDevices = std::tuple<std::unique_ptr<Device>, std::unique_ptr<Device>, QString>;

class SyncAccounts
{
public:
    bool start(QString *error) { return m_server.start(QString(), error); }
    VelmServerTest::Harness &server() { return m_server; }
    // The address the latest account signed in with.
    QString lastEmail() const { return QStringLiteral("user%1@example.org").arg(m_users); }

    // Two devices signed in to one new account.
    DevicePair devices()
    {
        ++m_users;
        const auto first = m_server.signIn(lastEmail(), true);
        const auto second = m_server.signIn(lastEmail(), false);
        return {std::make_unique<Device>(m_server.port(), first.access, first.refresh),
                std::make_unique<Device>(m_server.port(), second.access, second.refresh)};
    }
    VelmServerTest::Api api(const Device &device) const { return {m_server.port(), device.tokens.accessToken()}; }
    QString accountId(const Device &device) const
    {
        return api(device).call("GET", "/account/v1/profile").json.value("id").toString();
    }
    // The devices of two members of one group.
    GroupDevices group()
    {
        auto owner = std::move(devices().first);
        auto member = std::move(devices().first);
        const QString memberId = VelmServerTest::joinGroup(api(*owner), api(*member));
        return {std::move(owner), std::move(member), memberId};
    }

private:
    VelmServerTest::Harness m_server;
    int m_users = 0;
};

} // namespace VelmSyncTest
