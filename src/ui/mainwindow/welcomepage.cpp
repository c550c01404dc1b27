#include "welcomepage.h"

#include "lineicons.h"
#include "thememanager.h"

#include <QEvent>
#include <QHBoxLayout>
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
    layout->addSpacing(28);

    m_signInText = new QLabel(this);
    m_signInText->setObjectName(QStringLiteral("welcomeSignInText"));
    m_signInText->setAlignment(Qt::AlignCenter);
    m_signInText->setWordWrap(true);
    m_signInText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_signInText);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_signInButton = new QPushButton(tr("Sign In…"), this);
    m_signInButton->setObjectName(QStringLiteral("welcomeSignIn"));
    connect(m_signInButton, &QPushButton::clicked, this, &WelcomePage::signInRequested);
    buttons->addWidget(m_signInButton);
    m_cancelButton = new QPushButton(tr("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("welcomeCancelSignIn"));
    connect(m_cancelButton, &QPushButton::clicked, this, &WelcomePage::signInCancelled);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    layout->addStretch(4);
    setSignIn(SignIn::SignedOut);
}

void WelcomePage::setSignIn(SignIn state, const QString &detail)
{
    m_signIn = state;
    switch (state) {
    case SignIn::SignedOut:
        m_signInText->setText(tr("Sign in to sync your notes between your computers and share them."));
        break;
    case SignIn::Waiting:
        m_signInText->setText(tr("Continue in your browser… Velmora Notes is waiting for the sign-in to finish."));
        break;
    case SignIn::Failed:
        m_signInText->setText(tr("Sign-in failed: %1").arg(detail));
        break;
    case SignIn::SignedIn:
        m_signInText->setText(detail.isEmpty() ? tr("Signed in.") : tr("Signed in as %1.").arg(detail));
        break;
    }
    m_signInButton->setVisible(state == SignIn::SignedOut || state == SignIn::Failed);
    m_signInButton->setText(state == SignIn::Failed ? tr("Try Again") : tr("Sign In…"));
    m_cancelButton->setVisible(state == SignIn::Waiting);
    updateErrorColour();
}

QString WelcomePage::signInText() const
{
    return m_signInText->text();
}

void WelcomePage::updateErrorColour()
{
    QPalette colours = m_signInText->palette();
    colours.setColor(QPalette::WindowText,
                     m_signIn == SignIn::Failed ? ThemeManager::colour(ThemeManager::Colour::ErrorText, palette())
                                                : palette().color(QPalette::PlaceholderText));
    m_signInText->setPalette(colours);
}

void WelcomePage::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_icon) {
        updateIcon();
        updateErrorColour();
    }
}

void WelcomePage::updateIcon()
{
    m_icon->setPixmap(lineIcon(LineIcon::AllNotes, palette().color(QPalette::PlaceholderText), QSize(48, 48))
                          .pixmap(QSize(48, 48), 2.0));
}
