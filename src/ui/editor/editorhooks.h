#pragma once

#include "yesnoprompt.h"

#include <QString>

#include <functional>
#include <optional>
#include <tuple>

class QMimeData;
class QUrl;
class QWidget;

// A link as the link dialog shows and returns it.
struct EditorLinkInput
{
    QString text;
    QString url;
};

// Everything of the editor that would block a test or reach outside the
// process. The defaults run the real dialogs, QDesktopServices and the clipboard.
struct EditorHooks
{
    // Runs the link dialog; nothing when cancelled or the URL is empty.
    std::function<std::optional<EditorLinkInput>(const QString &title, const EditorLinkInput &initial)> askLink;
    // The table size dialog; nothing when cancelled.
    std::function<std::optional<std::tuple<int, int, bool>>()> askTableSize;
    // A file to attach; empty when cancelled.
    std::function<QString()> askOpenFile;
    // Where to save an attachment, starting at suggestedPath; empty when cancelled.
    std::function<QString(const QString &suggestedPath)> askSaveFile;
    // Asks before a link or an attachment that may start a program is
    // opened (the questions of confirmOpenLink and confirmOpenAttachment);
    // true opens it.
    YesNoPrompt askYesNo;
    // Hands an address to the system.
    std::function<bool(const QUrl &url)> openUrl;
    // Takes ownership of data and puts it on the clipboard.
    std::function<void(QMimeData *data)> setClipboard;
};

// The real dialogs, parented to the editor.
EditorHooks defaultEditorHooks(QWidget *editor);

// Put the question through hooks.askYesNo; false when it is unset or declined.
bool confirmOpenLink(const EditorHooks &hooks, QWidget *parent, const QUrl &url);
bool confirmOpenAttachment(const EditorHooks &hooks, QWidget *parent, const QString &fileName, const QString &type);
