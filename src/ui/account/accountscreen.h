#pragma once

#include <QWidget>

#include <functional>

class PageHost;
class QLabel;
class QTimer;

namespace VelmAccount {

class AccountPage;
class Client;

// The window in which the user manages the account: a page each for the
// profile, the group, devices, sessions and deletion, and a status line that
// shows what the server answered to each action and clears itself.
class AccountScreen final : public QWidget
{
    Q_OBJECT
public:
    enum Page { ProfilePage, GroupPage, DevicesPage, SecurityPage, DataPage };

    // client is not owned and may go first.
    explicit AccountScreen(Client *client, QWidget *parent = nullptr);

    // A top-level "Velmora Account" window, deleted when closed, with every
    // page loading; place (may be empty) puts it on screen before it shows.
    static AccountScreen *openWindow(Client *client, const std::function<void(QWidget *)> &place = {});

    void refreshAll();
    AccountPage *page(Page page) const;
    QString statusText() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void showStatus(const QString &text, bool success);

    PageHost *m_host;
    QLabel *m_status;
    QTimer *m_statusTimer;
};

} // namespace VelmAccount
