#include "accountscreen.h"

#include "accountpageparts.h"
#include "datapage.h"
#include "devicespage.h"
#include "grouppage.h"
#include "pagehost.h"
#include "profilepage.h"
#include "securitypage.h"

#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace VelmAccount {

AccountScreen::AccountScreen(Client *client, QWidget *parent)
    : QWidget(parent)
    , m_host(new PageHost(180, false, this))
    , m_status(new QLabel(this))
    , m_statusTimer(new QTimer(this))
{
    const std::pair<QString, AccountPage *> pages[] = {
        {tr("Profile"), new VelmAccount::ProfilePage(client)},   {tr("Group"), new VelmAccount::GroupPage(client)},
        {tr("Devices"), new VelmAccount::DevicesPage(client)},   {tr("Security"), new VelmAccount::SecurityPage(client)},
        {tr("Data & Privacy"), new VelmAccount::DataPage(client)},
    };
    for (const auto &[title, page] : pages) {
        m_host->addPage(title, page);
        connect(page, &AccountPage::reported, this, &AccountScreen::showStatus);
    }
    // Ownership, which the group's answer renews, decides what deletion allows.
    connect(page(GroupPage), &AccountPage::rebuilt, page(DataPage), &AccountPage::refresh);

    m_status->setFixedHeight(24);
    m_status->setMargin(4);
    QFont small = m_status->font();
    small.setPointSize(std::max(7, small.pointSize() - 1));
    m_status->setFont(small);
    m_statusTimer->setSingleShot(true);
    connect(m_statusTimer, &QTimer::timeout, m_status, &QLabel::clear);
    m_host->setFooter(m_status);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_host);
}

AccountScreen *AccountScreen::openWindow(Client *client, const std::function<void(QWidget *)> &place)
{
    auto *screen = new AccountScreen(client);
    screen->setAttribute(Qt::WA_DeleteOnClose);
    screen->setWindowTitle(tr("Velmora Account"));
    screen->resize(720, 560);
    if (place)
        place(screen);
    screen->refreshAll();
    screen->show();
    return screen;
}

AccountPage *AccountScreen::page(Page page) const
{
    return static_cast<AccountPage *>(m_host->page(page));
}

QString AccountScreen::statusText() const
{
    return m_status->text();
}

void AccountScreen::refreshAll()
{
    for (const Page each : {ProfilePage, GroupPage, DevicesPage, SecurityPage})
        page(each)->refresh();
}

void AccountScreen::showStatus(const QString &text, bool success)
{
    AccountParts::tint(m_status, success ? AccountParts::Tint::Success : AccountParts::Tint::Error);
    m_status->setText(text);
    m_statusTimer->start(success ? 3000 : 4000);
}

void AccountScreen::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Colours are baked into style sheets: a theme change while the screen
    // is open must bake them again.
    if (event->type() == QEvent::PaletteChange)
        AccountParts::retint(this);
}

} // namespace VelmAccount
