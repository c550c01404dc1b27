#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

// The strip above the note pane while this computer holds notes the signed-in
// account was never asked about (another account's, or never synced): who is
// signed in where, and the two ways on. Nothing is uploaded until one is
// chosen; the window stays usable meanwhile.
class AccountChoiceBanner final : public QFrame
{
    Q_OBJECT
public:
    explicit AccountChoiceBanner(QWidget *parent = nullptr);

    // email may be empty while it is being fetched.
    void setAccount(const QString &email, const QString &server, int notes);

signals:
    void keepRequested();
    void uploadRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyPalette();

    QLabel *m_text = nullptr;
    QPushButton *m_keep = nullptr;
    QPushButton *m_upload = nullptr;
    bool m_applying = false;
};
