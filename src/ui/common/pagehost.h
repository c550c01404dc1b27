#pragma once

#include <QWidget>

class QFrame;
class QListWidget;
class QStackedWidget;
class QVBoxLayout;

// The category column beside the stacked pages of Preferences and of the
// account window: one category per page, each page scrolling when a large
// font scale would squeeze it, the column's colours following the theme.
class PageHost final : public QWidget
{
    Q_OBJECT
public:
    // The column is listWidth wide unless a category needs more; divided
    // draws a line between the column and the pages.
    explicit PageHost(int listWidth, bool divided, QWidget *parent = nullptr);

    // Adds page (taking it) under title; returns its index.
    int addPage(const QString &title, QWidget *page);
    QWidget *page(int index) const;
    int count() const;
    int currentIndex() const;
    void setCurrentIndex(int index);
    // A line under the pages, such as a status line; taken.
    void setFooter(QWidget *footer);
    QListWidget *categories() const { return m_categories; }

    // Bakes the palette into the column's style sheet again.
    void restyle();

signals:
    void currentChanged(int index);

protected:
    void changeEvent(QEvent *event) override;

private:
    QListWidget *m_categories;
    QStackedWidget *m_pages;
    QVBoxLayout *m_right;
    QFrame *m_divider = nullptr;
    int m_listWidth;
    int m_widest = 0;
};
