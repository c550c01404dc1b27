#include "offlinebanner.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

OfflineBanner::OfflineBanner(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("offlineBanner"));
    setAutoFillBackground(true);
    setAccessibleName(tr("Offline"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 12, 6);
    m_text = new QLabel(this);
    m_text->setWordWrap(true);
    layout->addWidget(m_text, 1);
    auto *retry = new QPushButton(tr("Try Again"), this);
    layout->addWidget(retry);
    connect(retry, &QPushButton::clicked, this, &OfflineBanner::retryRequested);
    applyPalette();
}

void OfflineBanner::setDetails(const QString &details)
{
    m_text->setText(details);
}

QString OfflineBanner::text() const
{
    return m_text->text();
}

void OfflineBanner::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_applying)
        applyPalette();
}

void OfflineBanner::applyPalette()
{
    // A calm blue-grey notice, readable in both themes (over 7:1).
    const QPalette theme = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    const bool dark = theme.color(QPalette::Window).lightness() < 128;
    QPalette tinted = theme;
    tinted.setColor(QPalette::Window, dark ? QColor(0x26, 0x32, 0x38) : QColor(0xEC, 0xEF, 0xF1));
    tinted.setColor(QPalette::WindowText, dark ? QColor(0xEC, 0xEF, 0xF1) : QColor(0x26, 0x32, 0x38));
    m_applying = true;
    setPalette(tinted);
    m_applying = false;
}
