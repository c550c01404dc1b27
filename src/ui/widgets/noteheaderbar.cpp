#include "noteheaderbar.h"

#include "lineicons.h"
#include "thememanager.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>

QString notebookChipText(const QString &notebookName)
{
    return notebookName.isEmpty() ? NoteHeaderBar::tr("Unorganized") : notebookName;
}

QString notebookChipStyleSheet(const QPalette &palette, int fontScale)
{
    return QStringLiteral("QPushButton {  background-color: %1;  color: %3;  border: none;  border-radius: 10px;"
                          "  padding: 3px 10px 3px 8px;  font-family: 'IBM Plex Sans';  font-size: %4px;"
                          "  font-weight: 500;  text-align: left;}QPushButton:hover { background-color: %2; }")
        .arg(ThemeManager::colour(ThemeManager::Colour::ChipBackground, palette).name().toUpper(),
             ThemeManager::colour(ThemeManager::Colour::ChipHover, palette).name().toUpper(),
             ThemeManager::colour(ThemeManager::Colour::ChipText, palette).name().toUpper())
        .arg(12 * fontScale / 100);
}

NoteHeaderBar::NoteHeaderBar(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(40);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 10, 6);

    m_focusToggle = new QToolButton(this);
    m_focusToggle->setObjectName(QStringLiteral("focusToggle"));
    m_focusToggle->setAutoRaise(true);
    m_focusToggle->setCursor(Qt::PointingHandCursor);
    // Tab and F6 reach the header's controls; a click leaves the focus in the editor.
    m_focusToggle->setFocusPolicy(Qt::TabFocus);
    m_focusToggle->setToolTip(tr("Toggle sidebars (Ctrl+\\)"));
    m_focusToggle->setAccessibleName(tr("Toggle sidebars"));
    connect(m_focusToggle, &QToolButton::clicked, this, &NoteHeaderBar::focusToggleClicked);
    layout->addWidget(m_focusToggle);

    m_notebookChip = new QPushButton(notebookChipText(QString()), this);
    m_notebookChip->setObjectName(QStringLiteral("notebookChip"));
    m_notebookChip->setFlat(true);
    m_notebookChip->setCursor(Qt::PointingHandCursor);
    m_notebookChip->setFocusPolicy(Qt::TabFocus);
    m_notebookChip->setToolTip(tr("Open this notebook"));
    m_notebookChip->setIconSize(QSize(14, 14));
    connect(m_notebookChip, &QPushButton::clicked, this, &NoteHeaderBar::notebookChipClicked);
    layout->addWidget(m_notebookChip);

    layout->addStretch(1);

    m_metaLabel = new QLabel(this);
    m_metaLabel->setObjectName(QStringLiteral("metaLabel"));
    m_metaLabel->setContentsMargins(0, 0, 10, 0);
    // A narrow window clips the meta text rather than widening the note pane.
    m_metaLabel->setMinimumWidth(1);
    layout->addWidget(m_metaLabel);

    m_copyButton = makeIconButton(QStringLiteral("copyButton"), tr("Copy…"));
    m_copyButton->setAccessibleName(tr("Copy"));
    auto *copyMenu = new QMenu(tr("Copy As"), m_copyButton);
    m_copyMenu = copyMenu;
    connect(copyMenu->addAction(tr("Copy as Plain Text")), &QAction::triggered, this,
            &NoteHeaderBar::copyAsPlainTextRequested);
    connect(copyMenu->addAction(tr("Copy as Markdown")), &QAction::triggered, this,
            &NoteHeaderBar::copyAsMarkdownRequested);
    connect(copyMenu->addAction(tr("Copy as HTML")), &QAction::triggered, this,
            &NoteHeaderBar::copyAsHtmlRequested);
    m_copyButton->setMenu(copyMenu);
    m_copyButton->setPopupMode(QToolButton::InstantPopup);
    layout->addWidget(m_copyButton);

    m_shareButton = makeIconButton(QStringLiteral("shareButton"), tr("Share note"));
    connect(m_shareButton, &QToolButton::clicked, this, &NoteHeaderBar::shareRequested);
    m_shareAction = new QAction(tr("Share Note…"), this);
    connect(m_shareAction, &QAction::triggered, this, &NoteHeaderBar::shareRequested);
    layout->addWidget(m_shareButton);

    m_historyButton = makeIconButton(QStringLiteral("historyButton"), tr("Version history"));
    connect(m_historyButton, &QToolButton::clicked, this, &NoteHeaderBar::historyRequested);
    layout->addWidget(m_historyButton);

    m_moreButton = makeIconButton(QStringLiteral("moreButton"), tr("More actions"));
    auto *moreMenu = new QMenu(m_moreButton);
    m_includeInTodosAction = moreMenu->addAction(tr("Include in To-Dos"));
    m_includeInTodosAction->setCheckable(true);
    connect(m_includeInTodosAction, &QAction::toggled, this, &NoteHeaderBar::includeInTodosToggled);
    moreMenu->addSeparator();
    connect(moreMenu->addAction(tr("Move to Notebook…")), &QAction::triggered, this,
            &NoteHeaderBar::moveToNotebookRequested);
    connect(moreMenu->addAction(tr("Export…")), &QAction::triggered, this,
            &NoteHeaderBar::exportRequested);
    connect(moreMenu->addAction(tr("Print…")), &QAction::triggered, this,
            &NoteHeaderBar::printRequested);
    moreMenu->addSeparator();
    connect(moreMenu->addAction(tr("Move to Trash")), &QAction::triggered, this,
            &NoteHeaderBar::deleteRequested);
    m_moreButton->setMenu(moreMenu);
    m_moreButton->setPopupMode(QToolButton::InstantPopup);
    layout->addWidget(m_moreButton);

    // A menu button draws its own arrow; the icon already says "menu" (refreshLook sets it).

    setEditable(false);
    updateShareButton();
    refreshLook();
}

QToolButton *NoteHeaderBar::makeIconButton(const QString &objectName, const QString &toolTip)
{
    auto *button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::TabFocus);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip);
    return button;
}

void NoteHeaderBar::setFocusMode(bool focusMode)
{
    m_focusMode = focusMode;
    refreshLook();
}

void NoteHeaderBar::setCanShare(bool canShare)
{
    m_canShare = canShare;
    updateShareButton();
}

void NoteHeaderBar::setEditable(bool editable)
{
    m_editable = editable;
    for (QWidget *w : std::initializer_list<QWidget *>{m_notebookChip, m_copyButton, m_historyButton, m_moreButton})
        w->setEnabled(editable);
    m_copyMenu->menuAction()->setEnabled(editable);
    m_includeInTodosAction->setEnabled(editable);
    if (!editable)
        m_metaLabel->clear();
    updateShareButton();
}

void NoteHeaderBar::setShared(bool shared)
{
    if (m_shared == shared)
        return;
    m_shared = shared;
    m_shareButton->setToolTip(shared ? tr("Manage sharing") : tr("Share note"));
    m_shareButton->setAccessibleName(m_shareButton->toolTip());
    m_shareAction->setText(shared ? tr("Manage Sharing…") : tr("Share Note…"));
    refreshLook();
}

void NoteHeaderBar::setIncludeInTodos(bool include)
{
    const QSignalBlocker blocker(m_includeInTodosAction);
    m_includeInTodosAction->setChecked(include);
}

bool NoteHeaderBar::includeInTodos() const
{
    return m_includeInTodosAction->isChecked();
}

void NoteHeaderBar::setNotebookName(const QString &name)
{
    m_notebookChip->setText(notebookChipText(name));
}

void NoteHeaderBar::setMetaText(const QString &text)
{
    m_metaLabel->setText(text);
}

void NoteHeaderBar::setFocusToggleVisible(bool visible)
{
    m_focusToggle->setVisible(visible);
}

void NoteHeaderBar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Style sheets set below trigger further palette events; ignore those.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) && !m_refreshingLook)
        refreshLook();
}

void NoteHeaderBar::updateShareButton()
{
    m_shareButton->setVisible(m_canShare);
    m_shareButton->setEnabled(m_canShare && m_editable);
    m_shareAction->setVisible(m_canShare);
    m_shareAction->setEnabled(m_canShare && m_editable);
}

void NoteHeaderBar::addMenuCommands(QMenu *menu) const
{
    menu->addMenu(m_copyMenu);
    menu->addAction(m_includeInTodosAction);
    menu->addAction(m_shareAction);
}

void NoteHeaderBar::refreshLook()
{
    m_refreshingLook = true;
    const QPalette pal = palette();
    const QColor ink = pal.color(QPalette::Active, QPalette::WindowText);
    // Icons and their buttons grow with the text.
    const QSize iconSize(ThemeManager::scaledPixels(18), ThemeManager::scaledPixels(18));
    for (QToolButton *button : {m_focusToggle, m_copyButton, m_shareButton, m_historyButton, m_moreButton}) {
        const int width = button == m_focusToggle ? 28 : 32;
        button->setFixedSize(ThemeManager::scaledPixels(width), ThemeManager::scaledPixels(28));
        button->setIconSize(iconSize);
    }
    m_focusToggle->setIcon(
        lineIcon(m_focusMode ? LineIcon::SidebarHidden : LineIcon::SidebarShown, ink, iconSize));
    m_copyButton->setIcon(lineIcon(LineIcon::Copy, ink, iconSize));
    m_shareButton->setIcon(
        lineIcon(LineIcon::Share, m_shared ? pal.color(QPalette::Active, QPalette::Highlight) : ink, iconSize));
    m_historyButton->setIcon(lineIcon(LineIcon::History, ink, iconSize));
    m_moreButton->setIcon(lineIcon(LineIcon::More, ink, iconSize));
    // The buttons draw no focus of their own in every style: a frame in the text colour.
    const QString focusFrame = QStringLiteral("%1:focus { border: 2px solid %2; border-radius: 4px; }");
    const QString inkName = ink.name();
    for (QToolButton *button : {m_focusToggle, m_shareButton, m_historyButton})
        button->setStyleSheet(focusFrame.arg(QStringLiteral("QToolButton"), inkName));
    for (QToolButton *button : {m_copyButton, m_moreButton})
        button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }")
                              + focusFrame.arg(QStringLiteral("QToolButton"), inkName));
    const int scale = ThemeManager::fontScale();
    m_notebookChip->setStyleSheet(notebookChipStyleSheet(pal, scale)
                                  + focusFrame.arg(QStringLiteral("QPushButton"), inkName));
    QFont metaFont(QStringLiteral("IBM Plex Mono"));
    metaFont.setPixelSize(std::max(8, 11 * scale / 100));
    m_metaLabel->setFont(metaFont);
    setFixedHeight(std::max(40, 12 + 28 * scale / 100));
    const QColor chipText = ThemeManager::colour(ThemeManager::Colour::ChipText, pal);
    m_notebookChip->setIcon(lineIcon(LineIcon::Notebook, chipText, QSize(14, 14)));
    m_refreshingLook = false;
}

bool NoteHeaderBar::focusFirstControl()
{
    for (QWidget *w = nextInFocusChain(); w != this && isAncestorOf(w); w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled()) {
            w->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}
