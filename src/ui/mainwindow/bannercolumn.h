#pragma once

#include <QWidget>

class QStackedWidget;
class QVBoxLayout;

// The main window's right column: the note pane or the welcome page in a
// stack, with the banners that need the user's attention (offline, a damaged
// database, notes of another account) above it, newest on top.
class BannerColumn final : public QWidget
{
    Q_OBJECT
public:
    explicit BannerColumn(QWidget *parent = nullptr);

    QStackedWidget *stack() const { return m_stack; }
    // Takes banner into the column, above what is there.
    void addBanner(QWidget *banner);

private:
    QVBoxLayout *m_layout = nullptr;
    QStackedWidget *m_stack = nullptr;
};
