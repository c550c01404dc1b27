#pragma once

#include <QString>
#include <QStringList>

// What a launch asks for, read from the command line (argument 0 is the
// program). "--new-note" wins over "--note ID"; everything else is ignored.
struct LaunchOptions
{
    bool newNote = false;
    QString noteId;

    static LaunchOptions parse(const QStringList &arguments);

    // The text handed to a running instance: "new-note", "note:ID" or "focus".
    QString instanceMessage() const;
};
