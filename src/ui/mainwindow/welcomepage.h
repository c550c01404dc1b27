#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The calm page the note pane shows when there is no note: the application's
// name, what it is for, a way to start writing and, signed out, a way to sign
// in that says how the sign-in is going.
class WelcomePage final : public QWidget
{
    Q_OBJECT
public:
    enum class SignIn { SignedOut, Waiting, Failed, SignedIn };

    explicit WelcomePage(QWidget *parent = nullptr);

    // detail: the error when Failed, the e-mail when SignedIn.
    void setSignIn(SignIn state, const QString &detail = QString());
    SignIn signInState() const { return m_signIn; }
    QString signInText() const;

signals:
    void newNoteRequested();
    void signInRequested();
    void signInCancelled();

protected:
    void changeEvent(QEvent *event) override;

private:
    void updateIcon();
    void updateErrorColour();

    QLabel *m_icon = nullptr;
    QLabel *m_signInText = nullptr;
    QPushButton *m_signInButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    SignIn m_signIn = SignIn::SignedOut;
};
