#include "databasedamagebanner.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

DatabaseDamageBanner::DatabaseDamageBanner(const QString &details, QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("databaseDamageBanner"));
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    m_text = new QLabel(tr("<b>The notes database is damaged.</b> It is open read-only: nothing can be changed "
                           "until it is repaired. Back up what can still be read first."),
                        this);
    m_text->setWordWrap(true);
    m_text->setToolTip(details);
    layout->addWidget(m_text, 1);
    auto *backUp = new QPushButton(tr("Back Up..."), this);
    auto *repair = new QPushButton(tr("Try Repair"), this);
    layout->addWidget(backUp);
    layout->addWidget(repair);
    connect(backUp, &QPushButton::clicked, this, &DatabaseDamageBanner::backUpRequested);
    connect(repair, &QPushButton::clicked, this, &DatabaseDamageBanner::repairRequested);
    applyPalette();
}

void DatabaseDamageBanner::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_applying)
        applyPalette();
}

void DatabaseDamageBanner::applyPalette()
{
    // A warning tint that reads on light and dark themes alike, following the theme.
    const QPalette theme = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    const bool dark = theme.color(QPalette::Window).lightness() < 128;
    QPalette tinted = theme;
    tinted.setColor(QPalette::Window, dark ? QColor(0x5c, 0x3b, 0x00) : QColor(0xff, 0xe8, 0xb3));
    tinted.setColor(QPalette::WindowText, dark ? QColor(0xff, 0xe0, 0xa0) : QColor(0x3d, 0x2b, 0x00));
    m_applying = true;
    setPalette(tinted);
    m_applying = false;
}
