// To-dos read out of a body, and each check-list line ticked or unticked.

#include "fuzzsupport.h"
#include "tasks.h"

#include <QJsonDocument>

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const QString body = VelmFuzz::text(data, size);
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    const QList<Task> tasks = extractTasks(QStringLiteral("n"), body, at);
    int lastLine = -1;
    for (const Task &task : tasks) {
        FUZZ_CHECK(!task.text.isEmpty() && task.text == task.text.trimmed(), task.text);
        FUZZ_CHECK(task.lineIndex > lastLine && task.charOffset >= 0, body);
        lastLine = task.lineIndex;
        if (task.source != TaskSource::Checklist)
            continue;
        const QString changed = setTaskCompleted(body, task.lineIndex, !task.isCompleted);
        if (changed.isEmpty())
            continue;
        bool seen = false;
        for (const Task &after : extractTasks(QStringLiteral("n"), changed, at)) {
            if (after.lineIndex != task.lineIndex)
                continue;
            seen = true;
            FUZZ_CHECK(after.isCompleted != task.isCompleted && after.text == task.text, changed);
        }
        FUZZ_CHECK(seen, changed);
    }
    // Any line index, also one before the first or past the last line.
    const QString any = setTaskCompleted(body, int(size % 97) - 1, size % 2);
    FUZZ_CHECK(any.isEmpty() || QJsonDocument::fromJson(any.toUtf8()).isArray(), any);
    return 0;
}
