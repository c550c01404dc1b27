#pragma once

#include "accountrecords.h"

#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <optional>

class QVBoxLayout;

namespace VelmAccount {

class Client;

// One page of the account window. A page is rebuilt from the server's
// answer, and each action reports the outcome only once the server has given
// it; the window shows the reports in its status line.
class AccountPage : public QWidget
{
    Q_OBJECT
public:
    // The questions a page asks; tests answer them.
    struct Prompts
    {
        std::function<std::optional<QString>(const QString &title, const QString &label, const QString &text)> text;
        std::function<std::optional<QString>(const QString &title, const QString &label)> password;
        std::function<bool(const QString &title, const QString &text)> confirm;
        std::function<void(const QString &title, const QString &text)> inform;
    };

    // client is not owned and may go first.
    explicit AccountPage(Client *client, QWidget *parent = nullptr);

    Prompts &prompts() { return m_prompts; }

    // Asks the server for the page's contents; the answer rebuilds the page.
    virtual void refresh() = 0;

signals:
    void reported(const QString &text, bool success);
    void rebuilt();

protected:
    Client *client() const;
    // Whether the token's claims make the user the group's owner.
    bool isOwner() const;
    void reportError(const QString &text) { emit reported(text, false); }
    void reportSuccess(const QString &text) { emit reported(text, true); }
    // Reports success, or failure followed by the server's message; true on success.
    bool reportOutcome(const Outcome &outcome, const QString &success, const QString &failure);
    // Empties the page and starts it again with a title and description.
    QVBoxLayout *reset(const QString &title, const QString &description = QString());
    // Closes a rebuild started by reset().
    void finish(QVBoxLayout *layout);

    // A button that runs slot (a lambda) when clicked.
    template<typename Slot>
    QPushButton *button(const QString &text, Slot slot)
    {
        auto *result = new QPushButton(text);
        connect(result, &QPushButton::clicked, this, slot);
        return result;
    }

private:
    QPointer<Client> m_client;
    Prompts m_prompts;
};

} // namespace VelmAccount
