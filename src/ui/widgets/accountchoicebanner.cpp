#include "accountchoicebanner.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

AccountChoiceBanner::AccountChoiceBanner(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("accountChoiceBanner"));
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    m_text = new QLabel(this);
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::RichText);
    layout->addWidget(m_text, 1);
    m_keep = new QPushButton(tr("&Keep on This Computer Only"), this);
    m_keep->setToolTip(tr("The notes stay here and are never uploaded to this account. Notes of another account "
                          "sync with it again when it signs in on this computer."));
    m_upload = new QPushButton(tr("&Upload to This Account"), this);
    m_upload->setToolTip(tr("The notes are uploaded as new notes of this account. Copies in another account "
                            "stay there as they are."));
    layout->addWidget(m_keep);
    layout->addWidget(m_upload);
    connect(m_keep, &QPushButton::clicked, this, &AccountChoiceBanner::keepRequested);
    connect(m_upload, &QPushButton::clicked, this, &AccountChoiceBanner::uploadRequested);
    applyPalette();
}

void AccountChoiceBanner::setAccount(const QString &email, const QString &server, int notes)
{
    const QString who = email.isEmpty() ? tr("Signed in on %1.").arg(server.toHtmlEscaped())
                                        : tr("Signed in as %1 on %2.").arg(email.toHtmlEscaped(), server.toHtmlEscaped());
    const QString what = notes == 0
        ? tr("Notebooks on this computer were never synced with this account. Upload them to this account, or keep "
             "them on this computer only? Nothing is uploaded until you choose.")
        : notes == 1
        ? tr("1 note on this computer was never synced with this account. Upload it to this account, or keep it "
             "on this computer only? Nothing is uploaded until you choose.")
        : tr("%1 notes on this computer were never synced with this account. Upload them to this account, or keep "
             "them on this computer only? Nothing is uploaded until you choose.").arg(notes);
    m_text->setText(QStringLiteral("<b>%1</b> %2").arg(who, what));
    setAccessibleName(who + QLatin1Char(' ') + what);
}

void AccountChoiceBanner::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_applying)
        applyPalette();
}

void AccountChoiceBanner::applyPalette()
{
    // An information tint that reads on light and dark themes alike, following the theme.
    const QPalette theme = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    const bool dark = theme.color(QPalette::Window).lightness() < 128;
    QPalette tinted = theme;
    tinted.setColor(QPalette::Window, dark ? QColor(0x12, 0x34, 0x55) : QColor(0xdc, 0xec, 0xfb));
    tinted.setColor(QPalette::WindowText, dark ? QColor(0xd6, 0xe8, 0xfa) : QColor(0x0d, 0x2a, 0x45));
    m_applying = true;
    setPalette(tinted);
    m_applying = false;
}
