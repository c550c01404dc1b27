#include "statusbar.h"

#include "thememanager.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace {

const QString kSeparator = QStringLiteral(" · ");
QString savedText()
{
    return StatusBar::tr("Saved");
}

QString savingText()
{
    return StatusBar::tr("Saving...");
}

QString notSavedText()
{
    return StatusBar::tr("Not saved — retrying");
}

QString withSuffix(const QString &current, const QString &suffix)
{
    QString text = current;
    for (const QString &state : {savedText(), savingText(), notSavedText()}) {
        if (text == state) {
            text.clear();
            break;
        }
        if (text.endsWith(kSeparator + state)) {
            text.chop(kSeparator.size() + state.size());
            break;
        }
    }
    if (!text.isEmpty())
        text += kSeparator;
    return text + suffix;
}

} // namespace

QString notebookInfoText(const QString &name, int count)
{
    if (count < 0)
        return name;
    return QStringLiteral("%1 (%2 %3)")
        .arg(name)
        .arg(count)
        .arg(count == 1 ? StatusBar::tr("note") : StatusBar::tr("notes"));
}

QString wordCountText(int words)
{
    return words < 0 ? QString() : StatusBar::tr("Words: %1").arg(words);
}

QString withSavedState(const QString &current, bool saved)
{
    return withSuffix(current, saved ? savedText() : savingText());
}

StatusBar::StatusBar(QWidget *parent)
    : QStatusBar(parent)
{
    m_notebookLabel = new QLabel(tr("All Notes"), this);
    addWidget(m_notebookLabel, 1);

    m_auxLabel = new QLabel(this);
    m_auxLabel->hide();
    addPermanentWidget(m_auxLabel);

    m_busyIndicator = new QProgressBar(this);
    m_busyIndicator->setRange(0, 0);
    m_busyIndicator->setMaximumSize(100, 14);
    m_busyIndicator->setTextVisible(false);
    m_busyIndicator->hide();
    addPermanentWidget(m_busyIndicator);

    m_wordCountLabel = new QLabel(this);
    addPermanentWidget(m_wordCountLabel);

    m_statusLabel = new QLabel(tr("Not signed in"), this);
    addPermanentWidget(m_statusLabel);

    setAccessibleName(tr("Status"));
    m_notebookLabel->setAccessibleDescription(tr("Notebook"));
    m_wordCountLabel->setAccessibleDescription(tr("Word count"));
    m_statusLabel->setAccessibleDescription(tr("Sync status"));
    refreshLook();
}

// No style sheet here: the labels under one would keep the palette and font
// they were polished with, and a theme switch or a new font size would pass
// them by.
void StatusBar::refreshLook()
{
    if (m_refreshingLook)
        return;
    m_refreshingLook = true;
    QPalette muted = palette();
    const QColor ink = ThemeManager::colour(ThemeManager::Colour::StatusText, muted);
    if (muted.color(QPalette::WindowText) != ink) {
        muted.setColor(QPalette::WindowText, ink);
        setPalette(muted);
    }
    QFont small = QApplication::font(this);
    small.setPointSize(std::max(7, small.pointSize() - 1));
    if (font() != small)
        setFont(small);
    m_refreshingLook = false;
}

bool StatusBar::event(QEvent *event)
{
    const bool handled = QStatusBar::event(event);
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::ApplicationFontChange:
        refreshLook();
        break;
    default:
        break;
    }
    return handled;
}

void StatusBar::setStatusDetails(const QString &details)
{
    m_statusLabel->setToolTip(details);
    m_statusLabel->setAccessibleDescription(details.isEmpty() ? tr("Sync status") : details);
}

void StatusBar::announce(const QString &text)
{
    if (text.isEmpty())
        return;
    // Setting the name sends the accessibility name-change event. The same
    // message twice in a row is told twice.
    if (accessibleName() == text)
        setAccessibleName(tr("Status"));
    setAccessibleName(text);
}

void StatusBar::setNotebookInfo(const QString &name, int count)
{
    m_notebookLabel->setText(notebookInfoText(name, count));
}

void StatusBar::setWordCount(int words)
{
    m_wordCountLabel->setText(wordCountText(words));
    if (m_saveFailing)
        setSaveFailing(true);
}

void StatusBar::setSavedState(bool saved)
{
    m_wordCountLabel->setText(m_saveFailing ? withSuffix(m_wordCountLabel->text(), notSavedText())
                                            : withSavedState(m_wordCountLabel->text(), saved));
}

void StatusBar::setSaveFailing(bool failing)
{
    m_saveFailing = failing;
    if (failing)
        m_wordCountLabel->setText(withSuffix(m_wordCountLabel->text(), notSavedText()));
}

void StatusBar::setStatusText(const QString &text)
{
    m_statusLabel->setText(text);
}

void StatusBar::showTemporaryMessage(const QString &text, int timeoutMs)
{
    m_auxLabel->hide();
    m_busyIndicator->hide();
    showMessage(text, timeoutMs);
    announce(text);
}

QString StatusBar::notebookText() const
{
    return m_notebookLabel->text();
}

QString StatusBar::wordCountLabelText() const
{
    return m_wordCountLabel->text();
}

QString StatusBar::statusDetails() const
{
    return m_statusLabel->toolTip();
}

QString StatusBar::statusText() const
{
    return m_statusLabel->text();
}
