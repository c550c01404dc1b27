#pragma once

#include "updateconfig.h"

#include <QString>
#include <QUrl>

#include <functional>

class QMenu;
class QWidget;

namespace VelmUpdate {

// Short texts for the caller's status line.
using StatusReport = std::function<void(const QString &text)>;

// Opens a download in the browser when it is safe; logs why not otherwise.
bool openDownloadUrl(const QUrl &url);

// Checks now: an available update opens the update dialog over parent, every
// other outcome goes to status.
void checkForUpdates(const UpdateConfig &config, const QString &displayName, QWidget *parent,
                     const StatusReport &status);

// Fetches the notes of the running version and shows them. Without status the
// fetch is silent and missing notes show nothing.
void showWhatsNew(const UpdateConfig &config, const QString &displayName, QWidget *parent,
                  const StatusReport &status = {});

// The feedback page for a product: the site's base with "?tags=<product>".
QUrl feedbackUrl(const QUrl &siteBase, const QString &product);

// Adds "What's New", "Check for Updates" and "Send Feedback" to a menu; their
// dialogs open over parent. config is asked each time: the server may change.
void addHelpActions(QMenu *menu, const std::function<UpdateConfig()> &config, const QUrl &feedbackSite, const QString &displayName,
                    QWidget *parent, const StatusReport &status);

} // namespace VelmUpdate
