#pragma once

#include <QWidget>

class QLabel;

// The calm page the note pane shows when there is no note: the application's
// name, what it is for, and a way to start writing.
class WelcomePage final : public QWidget
{
    Q_OBJECT
public:
    explicit WelcomePage(QWidget *parent = nullptr);

signals:
    void newNoteRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    void updateIcon();

    QLabel *m_icon = nullptr;
};
