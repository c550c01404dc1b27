#pragma once

#include <QString>

class AppState;
class StatusBar;
class QWidget;

// The sync engine's state, progress and failures in a window's status bar.
void showSyncState(AppState *state, StatusBar *statusBar);
// "label current/total", or the label alone while the total is unknown.
QString syncProgressText(const QString &label, int current, int total);
// The "Force Full Resync…" command: asks first, then reports how many notes go up again.
void confirmFullResync(AppState *state, StatusBar *statusBar, QWidget *parent);
