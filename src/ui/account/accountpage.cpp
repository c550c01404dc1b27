#include "accountpage.h"

#include "accountpageparts.h"
#include "client.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QLabel>
#include <QVBoxLayout>

namespace VelmAccount {

using namespace AccountParts;

AccountPage::AccountPage(Client *client, QWidget *parent)
    : QWidget(parent)
    , m_client(client)
{
    m_prompts.text = [this](const QString &title, const QString &text, const QString &initial) -> std::optional<QString> {
        bool ok = false;
        const QString answer = QInputDialog::getText(this, title, text, QLineEdit::Normal, initial, &ok);
        return ok ? std::optional<QString>(answer) : std::nullopt;
    };
    m_prompts.password = [this](const QString &title, const QString &text) -> std::optional<QString> {
        bool ok = false;
        const QString answer = QInputDialog::getText(this, title, text, QLineEdit::Password, QString(), &ok);
        return ok ? std::optional<QString>(answer) : std::nullopt;
    };
    m_prompts.confirm = [this](const QString &title, const QString &text) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    };
    m_prompts.inform = [this](const QString &title, const QString &text) {
        QMessageBox::information(this, title, text);
    };
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
}

Client *AccountPage::client() const
{
    return m_client;
}

bool AccountPage::isOwner() const
{
    return m_client && m_client->claims().role == QLatin1String("owner");
}

bool AccountPage::reportOutcome(const Outcome &outcome, const QString &success, const QString &failure)
{
    if (outcome.ok) {
        reportSuccess(success);
        return true;
    }
    // The server's own words say why (a 403, a full group); with none, the network failed.
    const QString lead = failure.endsWith(QLatin1Char('.')) ? failure.chopped(1) : failure;
    reportError(outcome.message.isEmpty() ? failure : tr("%1: %2.").arg(lead, outcome.message));
    return false;
}

QVBoxLayout *AccountPage::reset(const QString &title, const QString &description)
{
    auto *layout = static_cast<QVBoxLayout *>(this->layout());
    clearLayout(layout);
    layout->addWidget(label(title, 6, 600));
    if (!description.isEmpty())
        layout->addWidget(muted(description));
    layout->addSpacing(8);
    return layout;
}

void AccountPage::finish(QVBoxLayout *layout)
{
    layout->addStretch(1);
    emit rebuilt();
}

} // namespace VelmAccount
