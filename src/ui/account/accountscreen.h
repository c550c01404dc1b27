#pragma once

#include "accountpageparts.h"
#include "accountrecords.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTimer;
class QVBoxLayout;

namespace VelmAccount {

class Client;

// The window in which the user manages the account: profile and password,
// group, devices, sessions and deletion. Every page is rebuilt from the
// server's answer; results show in a status line that clears itself.
class AccountScreen final : public QWidget
{
    Q_OBJECT
public:
    enum Page { ProfilePage, GroupPage, DevicesPage, SecurityPage, DataPage };

    // The questions the screen asks; tests answer them.
    struct Prompts
    {
        std::function<std::optional<QString>(const QString &title, const QString &label, const QString &text)> text;
        std::function<std::optional<QString>(const QString &title, const QString &label)> password;
        std::function<bool(const QString &title, const QString &text)> confirm;
        std::function<void(const QString &title, const QString &text)> inform;
    };

    // client is not owned and must outlive the screen.
    explicit AccountScreen(Client *client, QWidget *parent = nullptr);

    // A top-level window of its own, deleted when closed, with every page loading.
    // A top-level "Velmora Account" window, deleted when closed, with every
    // page loading; place (may be empty) puts it on screen before it shows.
    static AccountScreen *openWindow(Client *client, const std::function<void(QWidget *)> &place = {});

    Prompts &prompts() { return m_prompts; }

    void refreshAll();
    void refreshProfile();
    void refreshGroup();
    void refreshDevices();
    void refreshSessions();

    void editDisplayName();
    void changePassword();
    void joinGroup();
    void inviteByEmail();
    void generateInviteCode();
    void leaveGroup();
    void removeMember(const GroupMember &member);
    void revokeInvitation(const QString &id);
    void removeDevice(const Device &device);
    void renameDevice(const Device &device);
    void revokeSession(const QString &id);
    void deleteAccount();

    QString statusText() const;
    QWidget *page(Page page) const;

signals:
    void pageRebuilt(VelmAccount::AccountScreen::Page page);

protected:
    void changeEvent(QEvent *event) override;

private:
    void showError(const QString &text);
    void showSuccess(const QString &text);
    // Shows success or failure followed by the server's message; true on success.
    bool showOutcome(const Outcome &outcome, const QString &success, const QString &failure);
    bool isOwner() const;
    // Empties a page and starts it again with a title and description.
    QVBoxLayout *resetPage(Page page, const QString &title, const QString &description = QString());
    void rebuildProfile();
    void rebuildGroup(const Group &group);
    void rebuildDevices(const QList<Device> &devices);
    void rebuildSessions(const QList<Session> &sessions);
    void rebuildDataPage();

    QPointer<Client> m_client;
    Prompts m_prompts;
    QListWidget *m_categories;
    QStackedWidget *m_pages;
    QLabel *m_status;
    QTimer *m_statusTimer;
    User m_user;
    QPushButton *m_editName = nullptr;
    QPushButton *m_changePassword = nullptr;
};

} // namespace VelmAccount
