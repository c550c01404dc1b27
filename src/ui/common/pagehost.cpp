#include "pagehost.h"

#include "textformat.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QListWidget>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

PageHost::PageHost(int listWidth, bool divided, QWidget *parent)
    : QWidget(parent)
    , m_categories(new QListWidget(this))
    , m_pages(new QStackedWidget(this))
    , m_right(new QVBoxLayout)
    , m_listWidth(listWidth)
{
    m_categories->setFrameShape(QFrame::NoFrame);
    // Tab reaches it and the arrow keys switch pages; a click still leaves
    // the focus where it was.
    m_categories->setFocusPolicy(Qt::TabFocus);
    m_categories->setAccessibleName(tr("Categories"));
    m_categories->setSpacing(2);
    m_categories->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_categories->setFixedWidth(listWidth);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_categories);
    if (divided) {
        m_divider = new QFrame(this);
        m_divider->setFrameShape(QFrame::VLine);
        layout->addWidget(m_divider);
    }
    m_right->setContentsMargins(0, 0, 0, 0);
    m_right->setSpacing(0);
    m_right->addWidget(m_pages, 1);
    layout->addLayout(m_right, 1);

    connect(m_categories, &QListWidget::currentRowChanged, this, [this](int row) {
        m_pages->setCurrentIndex(row);
        emit currentChanged(row);
    });
    restyle();
}

int PageHost::addPage(const QString &title, QWidget *page)
{
    auto *scroll = new QScrollArea(m_pages);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // The page's controls take the focus (and scroll into view), not the frame around them.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setAccessibleName(title);
    scroll->setWidget(page);
    const int index = m_pages->addWidget(scroll);
    m_categories->addItem(title);
    // Wider only when a large font scale would clip a category.
    m_widest = std::max(m_widest, m_categories->fontMetrics().horizontalAdvance(title));
    m_categories->setFixedWidth(std::max(m_listWidth, m_widest + 60));
    if (index == 0)
        m_categories->setCurrentRow(0);
    return index;
}

QWidget *PageHost::page(int index) const
{
    auto *scroll = qobject_cast<QScrollArea *>(m_pages->widget(index));
    return scroll ? scroll->widget() : nullptr;
}

int PageHost::count() const
{
    return m_pages->count();
}

int PageHost::currentIndex() const
{
    return m_pages->currentIndex();
}

void PageHost::setCurrentIndex(int index)
{
    m_categories->setCurrentRow(index);
}

void PageHost::setFooter(QWidget *footer)
{
    m_right->addWidget(footer);
}

void PageHost::restyle()
{
    const QPalette pal = QApplication::palette();
    const bool dark = isDarkPalette(pal);
    const QColor background = pal.color(QPalette::AlternateBase).lighter(dark ? 115 : 97);
    const QColor hover = dark ? background.lighter(135) : background.darker(105);
    m_categories->setStyleSheet(
        QStringLiteral("QListWidget { background: %1; border: none; padding: 12px 8px; }"
                       "QListWidget::item { padding: 8px 12px; border-radius: 6px; color: %5; }"
                       "QListWidget::item:hover { background: %2; }"
                       "QListWidget::item:selected { background: %3; color: %4; }"
                       // The keyboard's row (always the selected one): a ring in
                       // the highlight's text colour, readable on the highlight.
                       "QListWidget::item:focus { border: 2px solid %4; padding: 6px 10px; }")
            .arg(background.name(), hover.name(), pal.color(QPalette::Highlight).name(),
                 pal.color(QPalette::HighlightedText).name(), pal.color(QPalette::WindowText).name()));
    if (m_divider)
        m_divider->setStyleSheet(QStringLiteral("background: %1; border: none;").arg(pal.color(QPalette::Mid).name()));
}

void PageHost::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Colours are baked into style sheets: a theme change must bake them again.
    if (event->type() == QEvent::PaletteChange)
        restyle();
}
