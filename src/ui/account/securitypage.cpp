#include "securitypage.h"

#include "accountpageparts.h"
#include "authclient.h"
#include "client.h"

#include <QLabel>
#include <QVBoxLayout>

namespace VelmAccount {

using namespace AccountParts;

SecurityPage::SecurityPage(Client *client, QWidget *parent)
    : AccountPage(client, parent)
{
    rebuild({});
}

void SecurityPage::refresh()
{
    if (!client())
        return;
    client()->authClient()->listSessions([guard = QPointer<SecurityPage>(this)](const QList<Session> &sessions) {
        if (guard)
            guard->rebuild(sessions);
    });
}

void SecurityPage::rebuild(const QList<Session> &sessions)
{
    QVBoxLayout *layout = reset(tr("Security"), tr("Sessions currently signed in to your account."));
    addSection(layout, tr("Active Sessions"));
    if (sessions.isEmpty())
        layout->addWidget(muted(tr("No active sessions.")));
    for (const Session &session : sessions) {
        QWidget *trailing = nullptr;
        if (session.isCurrent) {
            QLabel *current = label(tr("Current"), -1, 500);
            tint(current, Tint::Success);
            trailing = current;
        } else {
            const QString id = session.id;
            trailing = button(tr("Revoke"), [this, id] { revokeSession(id); });
        }
        QVBoxLayout *lines = addRow(layout, {trailing});
        QLabel *name = label(sessionInWords(session.userAgent), 0, 500);
        name->setToolTip(session.userAgent);
        lines->addWidget(name);
        QString when = session.isCurrent ? tr("This session") : accountRelativeTime(session.lastActiveAt);
        if (!session.ipAddress.isEmpty())
            when += tr("  ·  %1").arg(session.ipAddress);
        lines->addWidget(muted(when, -1));
    }
    finish(layout);
}

void SecurityPage::revokeSession(const QString &id)
{
    if (!client())
        return;
    client()->authClient()->revokeSession(id, [guard = QPointer<SecurityPage>(this)](const Outcome &outcome) {
        if (guard && guard->reportOutcome(outcome, tr("Session revoked."), tr("Failed to revoke the session.")))
            guard->refresh();
    });
}

} // namespace VelmAccount
