#include "todorules.h"

#include "noteedits.h"
#include "tasks.h"

#include <QJsonDocument>


QString todoRowText(const QString &taskText, const QString &noteTitle)
{
    if (noteTitle.isEmpty())
        return taskText;
    return taskText + QStringLiteral("  — ") + noteTitle;
}

std::optional<Note> noteWithTaskCompleted(const Note &note, int lineIndex, bool completed, const QDateTime &now)
{
    const QString body = setTaskCompleted(note.body, lineIndex, completed);
    // The rewrite re-serialises the body, so compare content, not text.
    if (body.isEmpty() || QJsonDocument::fromJson(body.toUtf8()) == QJsonDocument::fromJson(note.body.toUtf8()))
        return std::nullopt;
    return noteWithEditedBody(note, body, now);
}
