#include "categorylist.h"

#include "textformat.h"

#include <QApplication>
#include <QCoreApplication>
#include <QListWidget>

#include <algorithm>

void setUpCategoryList(QListWidget *list, const QStringList &categories, int minimumWidth)
{
    list->setFrameShape(QFrame::NoFrame);
    // Tab reaches it and the arrow keys switch pages; a click still leaves
    // the focus where it was.
    list->setFocusPolicy(Qt::TabFocus);
    list->setAccessibleName(QCoreApplication::translate("CategoryList", "Categories"));
    list->setSpacing(2);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->addItems(categories);
    int widest = 0;
    for (const QString &category : categories)
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(category));
    list->setFixedWidth(std::max(minimumWidth, widest + 60));
    styleCategoryList(list);
}

void styleCategoryList(QListWidget *list)
{
    const QPalette pal = QApplication::palette();
    const bool dark = isDarkPalette(pal);
    const QColor background = pal.color(QPalette::AlternateBase).lighter(dark ? 115 : 97);
    const QColor hover = dark ? background.lighter(135) : background.darker(105);
    list->setStyleSheet(
        QStringLiteral("QListWidget { background: %1; border: none; padding: 12px 8px; }"
                       "QListWidget::item { padding: 8px 12px; border-radius: 6px; color: %5; }"
                       "QListWidget::item:hover { background: %2; }"
                       "QListWidget::item:selected { background: %3; color: %4; }"
                       // The keyboard's row (always the selected one): a ring in
                       // the highlight's text colour, readable on the highlight.
                       "QListWidget::item:focus { border: 2px solid %4; padding: 6px 10px; }")
            .arg(background.name(), hover.name(), pal.color(QPalette::Highlight).name(),
                 pal.color(QPalette::HighlightedText).name(), pal.color(QPalette::WindowText).name()));
}
