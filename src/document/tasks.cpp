#include "tasks.h"

#include "delta.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QRegularExpression &tickedBoxPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^-\\s*\\[x\\]\\s*(.+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

const QRegularExpression &emptyBoxPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^-\\s*\\[\\s*\\]\\s*(.+)"));
    return pattern;
}

const QRegularExpression &todoPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^TODO:\\s*(.+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

struct LineTask
{
    QString text;
    bool completed = false;
    TaskSource source = TaskSource::Checklist;
};

std::optional<LineTask> examineLine(const QString &line, const QJsonObject &attributes)
{
    const QString list = attributes.value(QLatin1String("list")).toString();
    if (list == QLatin1String("checked") || list == QLatin1String("unchecked"))
        return LineTask{line.trimmed(), list == QLatin1String("checked"), TaskSource::Checklist};

    const QString trimmed = line.trimmed();
    // Every other kind starts with '-' or a "TODO:" in any case; most lines
    // are neither, and are read for every note written.
    const QChar first = trimmed.isEmpty() ? QChar() : trimmed.front();
    if (first != QLatin1Char('-') && first != QLatin1Char('t') && first != QLatin1Char('T'))
        return std::nullopt;
    const QRegularExpressionMatch ticked = tickedBoxPattern().match(trimmed);
    if (ticked.hasMatch())
        return LineTask{ticked.captured(1).trimmed(), true, TaskSource::MarkdownCheckbox};
    const QRegularExpressionMatch open = emptyBoxPattern().match(trimmed);
    if (open.hasMatch())
        return LineTask{open.captured(1).trimmed(), false, TaskSource::MarkdownCheckbox};
    const QRegularExpressionMatch todo = todoPattern().match(trimmed);
    if (todo.hasMatch())
        return LineTask{todo.captured(1).trimmed(), false, TaskSource::TodoPrefix};
    return std::nullopt;
}

} // namespace

QList<Task> extractTasks(const QString &noteId, const QString &body, const QDateTime &noteUpdatedAt)
{
    return extractTasks(noteId, parseDeltaJson(body), noteUpdatedAt);
}

QList<Task> extractTasks(const QString &noteId, const QList<DeltaOp> &ops, const QDateTime &noteUpdatedAt)
{
    QList<Task> tasks;
    const QDateTime extractedAt = QDateTime::currentDateTimeUtc();
    QString line;
    int lineIndex = 0;
    int position = 0;
    for (const DeltaOp &op : ops) {
        if (op.type == DeltaOp::InsertEmbed) {
            ++position;
            continue;
        }
        if (op.type != DeltaOp::InsertText)
            continue;
        qsizetype start = 0;
        for (;;) {
            const qsizetype newline = op.text.indexOf(QLatin1Char('\n'), start);
            const qsizetype end = newline < 0 ? op.text.size() : newline;
            line += QStringView(op.text).mid(start, end - start);
            position += int(end - start);
            if (newline < 0)
                break;
            if (std::optional<LineTask> found = examineLine(line, op.attributes); found && !found->text.isEmpty()) {
                Task task;
                task.id = taskId(noteId, lineIndex, found->text);
                task.noteId = noteId;
                task.text = found->text;
                task.isCompleted = found->completed;
                task.source = found->source;
                task.lineIndex = lineIndex;
                task.charOffset = position - int(line.size());
                task.extractedAt = extractedAt;
                task.noteUpdatedAt = noteUpdatedAt;
                tasks.append(task);
            }
            line.clear();
            ++lineIndex;
            ++position;
            start = newline + 1;
        }
    }
    return tasks;
}

QString setTaskCompleted(const QString &body, int lineIndex, bool completed)
{
    const QJsonDocument doc = parseJsonText(body);
    if (!doc.isArray())
        return {};
    QJsonArray array = doc.array();
    int line = 0;
    for (qsizetype i = 0; i < array.size(); ++i) {
        QJsonObject element = array.at(i).toObject();
        const QJsonValue insert = element.value(QLatin1String("insert"));
        if (!insert.isString())
            continue;
        const QString text = insert.toString();
        const qsizetype newlines = text.count(QLatin1Char('\n'));
        if (line + newlines <= lineIndex) {
            line += int(newlines);
            continue;
        }
        if (lineIndex < line)
            return {}; // negative index: never reached
        // The target newline is in this element; only a lone line end can be rewritten.
        if (text != QLatin1String("\n"))
            return {};
        QJsonObject attributes = element.value(QLatin1String("attributes")).toObject();
        attributes.insert(QLatin1String("list"),
                          completed ? QLatin1String("checked") : QLatin1String("unchecked"));
        element.insert(QLatin1String("attributes"), attributes);
        array.replace(i, element);
        return deltaToJson(array);
    }
    return {};
}

QString taskId(const QString &noteId, int lineIndex, const QString &text)
{
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex();
    return QStringLiteral("%1_%2_%3").arg(noteId, QString::number(lineIndex), QString::fromLatin1(digest.left(8)));
}

