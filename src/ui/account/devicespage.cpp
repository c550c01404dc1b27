#include "devicespage.h"

#include "accountclient.h"
#include "accountpageparts.h"
#include "client.h"

#include <QLabel>
#include <QVBoxLayout>

namespace VelmAccount {

using namespace AccountParts;

DevicesPage::DevicesPage(Client *client, QWidget *parent)
    : AccountPage(client, parent)
{
    rebuild({});
}

void DevicesPage::refresh()
{
    if (!client())
        return;
    client()->accountClient()->getDevices([guard = QPointer<DevicesPage>(this)](const QList<Device> &devices) {
        if (guard)
            guard->rebuild(devices);
    });
}

void DevicesPage::rebuild(const QList<Device> &devices)
{
    QVBoxLayout *layout = reset(tr("Devices"), tr("Devices that have synced with your account."));
    addSection(layout, tr("Registered Devices"));
    if (devices.isEmpty())
        layout->addWidget(muted(tr("No devices registered.")));
    for (const Device &device : devices) {
        QList<QWidget *> trailing{button(tr("Rename…"), [this, device] { renameDevice(device); })};
        if (device.isCurrent) {
            QLabel *current = badge(tr("This device"), -1);
            tint(current, Tint::Success);
            trailing.prepend(current);
        } else {
            trailing << button(tr("Remove"), [this, device] { removeDevice(device); });
        }
        QVBoxLayout *lines = addRow(layout, trailing);
        lines->addWidget(new QLabel(tr("<b>%1</b>").arg(
            (device.deviceName.isEmpty() ? tr("Unknown Device") : device.deviceName).toHtmlEscaped())));
        QString platform = platformInWords(device.platform);
        if (!device.appVersion.isEmpty())
            platform += tr("  ·  v%1").arg(device.appVersion);
        lines->addWidget(muted(platform, -1));
        lines->addWidget(muted(accountRelativeTime(device.lastSyncAt), -1));
    }
    finish(layout);
}

void DevicesPage::removeDevice(const Device &device)
{
    const QString name = device.deviceName.isEmpty() ? tr("Unknown Device") : device.deviceName;
    if (!client() || !prompts().confirm(tr("Remove Device"), tr("Remove %1?").arg(name)))
        return;
    client()->accountClient()->removeDevice(device.id, [guard = QPointer<DevicesPage>(this)](const Outcome &outcome) {
        if (guard && guard->reportOutcome(outcome, tr("Device removed."), tr("Failed to remove the device.")))
            guard->refresh();
    });
}

void DevicesPage::renameDevice(const Device &device)
{
    const auto answer = prompts().text(tr("Rename Device"), tr("Device name:"), device.deviceName);
    const QString name = answer ? answer->simplified() : QString();
    if (name.isEmpty() || name == device.deviceName || !client())
        return;
    client()->accountClient()->renameDevice(device.id, name,
                                            [guard = QPointer<DevicesPage>(this)](const Outcome &outcome) {
        if (guard && guard->reportOutcome(outcome, tr("Device renamed."), tr("Failed to rename the device.")))
            guard->refresh();
    });
}

} // namespace VelmAccount
