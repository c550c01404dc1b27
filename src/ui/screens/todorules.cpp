#include "todorules.h"

#include "noteedits.h"

#include <QJsonDocument>

#include <algorithm>

QList<Task> visibleTasks(const QList<Note> &notes, bool showCompleted, const QString &filter, TodoSort sort)
{
    QList<Task> all;
    for (const Note &note : notes)
        all += extractTasks(note.id, note.body, note.updatedAt);
    return visibleTasks(all, showCompleted, filter, sort);
}

bool todoShown(const Task &task, bool showCompleted, const QString &needle)
{
    return (showCompleted || !task.isCompleted) && (needle.isEmpty() || task.text.toLower().contains(needle));
}

bool todoBefore(const Task &a, const Task &b, TodoSort sort)
{
    if (sort == TodoSort::Alphabetical) {
        if (const int byText = a.text.compare(b.text, Qt::CaseInsensitive))
            return byText < 0;
    }
    if (a.noteUpdatedAt != b.noteUpdatedAt)
        return a.noteUpdatedAt > b.noteUpdatedAt;
    if (a.noteId != b.noteId)
        return a.noteId < b.noteId;
    return a.lineIndex < b.lineIndex;
}

QList<Task> visibleTasks(const QList<Task> &all, bool showCompleted, const QString &filter, TodoSort sort)
{
    const QString needle = filter.trimmed().toLower();
    QList<Task> tasks;
    for (const Task &task : all) {
        if (todoShown(task, showCompleted, needle))
            tasks.append(task);
    }
    std::sort(tasks.begin(), tasks.end(), [sort](const Task &a, const Task &b) { return todoBefore(a, b, sort); });
    return tasks;
}

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
