#pragma once

#include <QString>

class AppState;
class StatusBar;
class QWidget;

// The sign-in state, or the sync engine's state with its error when it failed.
QString syncStateText(AppState *state);
// That text, the sync progress and its changes in a window's status bar, from now on.
void showSyncState(AppState *state, StatusBar *statusBar);
// "label current/total", or the label alone while the total is unknown.
QString syncProgressText(const QString &label, int current, int total);
// The "Force Full Resync…" command: asks first, then reports how many notes go up again.
void confirmFullResync(AppState *state, StatusBar *statusBar, QWidget *parent);
