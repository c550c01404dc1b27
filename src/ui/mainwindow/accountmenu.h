#pragma once

#include <QObject>
#include <QPointer>

class AccountChoiceBanner;
class BannerColumn;
class AppState;
class QMenu;
class QWidget;
class StatusBar;

// The main window's account: the File menu's sign-in, manage and sign-out
// entries (shown as the sign-in state allows), the prompt when the server
// ends the session, and the banner asking what becomes of the notes this
// computer holds that the signed-in account was never asked about.
class AccountMenu final : public QObject
{
    Q_OBJECT
public:
    // window parents the prompt and places the account screen; the banner goes
    // on top of column; messages go to statusBar. None is owned.
    AccountMenu(AppState *state, QWidget *window, BannerColumn *column, StatusBar *statusBar);

    // Adds the entries to menu (hidden without an account client) and starts
    // following the sign-in.
    void addTo(QMenu *menu);

private:
    // Shows or hides the banner about notes the signed-in account was never asked about.
    void updateChoice();
    void promptToSignInAgain();

    QPointer<AppState> m_state;
    QWidget *m_window;
    BannerColumn *m_column;
    StatusBar *m_statusBar;
    QPointer<AccountChoiceBanner> m_banner;
};
