#include "welcomepage.h"

#include "lineicons.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WelcomePage::WelcomePage(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch(3);

    m_icon = new QLabel(this);
    m_icon->setAlignment(Qt::AlignCenter);
    updateIcon();
    layout->addWidget(m_icon);
    layout->addSpacing(12);

    auto *name = new QLabel(tr("Velmora Notes"), this);
    name->setObjectName(QStringLiteral("welcomeTitle"));
    name->setAlignment(Qt::AlignCenter);
    QFont nameFont(QStringLiteral("IBM Plex Sans"));
    nameFont.setPixelSize(26);
    nameFont.setWeight(QFont::DemiBold);
    name->setFont(nameFont);
    layout->addWidget(name);

    auto *line = new QLabel(tr("Write things down, file them in notebooks, find them again in a moment."),
                            this);
    line->setAlignment(Qt::AlignCenter);
    line->setWordWrap(true);
    line->setForegroundRole(QPalette::PlaceholderText);
    QFont lineFont(QStringLiteral("IBM Plex Sans"));
    lineFont.setPixelSize(14);
    line->setFont(lineFont);
    layout->addWidget(line);
    layout->addSpacing(20);

    auto *button = new QPushButton(tr("New Note"), this);
    button->setObjectName(QStringLiteral("welcomeNewNote"));
    button->setCursor(Qt::PointingHandCursor);
    button->setMinimumWidth(140);
    connect(button, &QPushButton::clicked, this, &WelcomePage::newNoteRequested);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    // F6 onto the page lands on the one thing it offers.
    setFocusProxy(button);

    layout->addStretch(4);
}

void WelcomePage::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_icon)
        updateIcon();
}

void WelcomePage::updateIcon()
{
    m_icon->setPixmap(lineIcon(LineIcon::AllNotes, palette().color(QPalette::PlaceholderText), QSize(48, 48))
                          .pixmap(QSize(48, 48), 2.0));
}
