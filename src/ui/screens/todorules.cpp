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

QList<Task> visibleTasks(const QList<Task> &all, bool showCompleted, const QString &filter, TodoSort sort)
{
    const QString needle = filter.trimmed().toLower();
    QList<Task> tasks;
    for (const Task &task : all) {
        if (!showCompleted && task.isCompleted)
            continue;
        if (!needle.isEmpty() && !task.text.toLower().contains(needle))
            continue;
        tasks.append(task);
    }
    // Stable: the tasks of one note keep their order in it.
    if (sort == TodoSort::Alphabetical) {
        std::stable_sort(tasks.begin(), tasks.end(), [](const Task &a, const Task &b) {
            return a.text.compare(b.text, Qt::CaseInsensitive) < 0;
        });
    } else {
        std::stable_sort(tasks.begin(), tasks.end(),
                  [](const Task &a, const Task &b) { return a.noteUpdatedAt > b.noteUpdatedAt; });
    }
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
