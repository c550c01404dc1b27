#pragma once

#include <QString>

#include <functional>

class QWidget;

// A yes/no question put to the user; true for Yes. Windows and dialogs keep
// one in their hooks so that tests can answer for the user.
using YesNoPrompt = std::function<bool(QWidget *parent, const QString &title, const QString &text)>;

// The real question box: Yes and No, with No as the default so that a stray
// Return never confirms something destructive.
bool askYesNoBox(QWidget *parent, const QString &title, const QString &text);
