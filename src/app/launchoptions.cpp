#include "launchoptions.h"

LaunchOptions LaunchOptions::parse(const QStringList &arguments)
{
    LaunchOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--new-note"))
            options.newNote = true;
    }
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--note")) {
            options.noteId = arguments.at(i + 1);
            break;
        }
    }
    return options;
}

QString LaunchOptions::instanceMessage() const
{
    if (newNote)
        return QStringLiteral("new-note");
    if (!noteId.isEmpty())
        return QStringLiteral("note:%1").arg(noteId);
    return QStringLiteral("focus");
}
