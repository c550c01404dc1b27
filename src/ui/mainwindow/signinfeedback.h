#pragma once

class StatusBar;
class WelcomePage;
namespace VelmAccount {
class Client;
}

// Tells the user how a sign-in goes, from now on: the welcome page waits with
// Cancel, shows why it failed or whom it signed in; the status bar says so
// too, and that a sign-out happened.
void showSignInFeedback(VelmAccount::Client *client, WelcomePage *welcome, StatusBar *statusBar);
