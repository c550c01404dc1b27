#pragma once

#include <QString>

class AppState;
class OfflineBanner;
class StatusBar;
class QWidget;

// The sign-in state, or the sync engine's state with its error when it failed.
QString syncStateText(AppState *state);
// What the state text leaves out, one line each: why sync is offline or
// failing (offlineReason: the network's words), when it last finished, and
// how many changes wait to be uploaded. Empty while signed out.
QString syncDetailsText(AppState *state, const QString &offlineReason);
// That text, the sync progress and its changes in a window's status bar, the
// details as its tool tip and, while offline and the preference asks for it,
// in banner; from now on. banner may be null.
void showSyncState(AppState *state, StatusBar *statusBar, OfflineBanner *banner = nullptr);
// "label current/total", or the label alone while the total is unknown.
QString syncProgressText(const QString &label, int current, int total);
// The "Force Full Resync…" command: asks first, then reports how many notes go up again.
void confirmFullResync(AppState *state, QWidget *parent);
