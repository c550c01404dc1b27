#include "datapage.h"

#include "accountclient.h"
#include "accountpageparts.h"
#include "authclient.h"
#include "client.h"

#include <QLabel>
#include <QVBoxLayout>

namespace VelmAccount {

using namespace AccountParts;

DataPage::DataPage(Client *client, QWidget *parent)
    : AccountPage(client, parent)
{
    refresh();
}

void DataPage::refresh()
{
    QVBoxLayout *layout = reset(tr("Data & Privacy"));
    addSection(layout, tr("Danger Zone"),
               tr("Permanently delete your account and everything it holds on the server. This cannot be undone."));
    QPushButton *remove = button(tr("Delete Account"), [this] { deleteAccount(); });
    tint(remove, Tint::Destructive);
    if (isOwner()) {
        remove->setEnabled(false);
        layout->addWidget(muted(tr("You are the group owner. Transfer ownership or remove all members before "
                                   "deleting your account.")));
    }
    layout->addWidget(remove, 0, Qt::AlignLeft);
    finish(layout);
}

void DataPage::deleteAccount()
{
    if (!client() || isOwner())
        return;
    const auto answer = prompts().text(
        tr("Delete Account"),
        tr("This deletes your account and its notes, notebooks and attachments from the server at once. It cannot be "
           "undone; the notes on this computer stay.\n\nType DELETE to confirm:"),
        QString());
    if (!answer || *answer != QLatin1String("DELETE"))
        return;
    client()->accountClient()->deleteAccount([guard = QPointer<DataPage>(this)](const Outcome &outcome) {
        if (!guard)
            return;
        if (!outcome.ok) {
            guard->reportOutcome(outcome, QString(), tr("Failed to delete account."));
            return;
        }
        // The session went with the account: nothing is left to sign out of on the server.
        if (guard->client())
            guard->client()->authClient()->logout();
        guard->prompts().inform(tr("Account Deleted"),
                                tr("Your account and everything it held on the server have been deleted."));
    });
}

} // namespace VelmAccount
