#include "delta.h"


#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr qsizetype kPreviewLength = 120;

// The body as an array, or nothing when it is empty, not JSON or not an array.
std::optional<QJsonArray> bodyArray(const QString &body)
{
    if (body.isEmpty())
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = parseJsonText(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    return doc.array();
}

constexpr QChar kZeroWidthNoBreakSpace(0xFEFF);

QString escapedZeroWidthNoBreakSpaces(const QByteArray &json)
{
    QString text = QString::fromUtf8(json);
    text.replace(kZeroWidthNoBreakSpace, QLatin1String("\\ufeff"));
    return text;
}

int lengthOf(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (std::isnan(d))
        return 0;
    if (d >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (d <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(d);
}

} // namespace

QString DeltaOp::embedKind() const
{
    if (type != InsertEmbed || embed.isEmpty())
        return {};
    return embed.constBegin().key(); // QJsonObject keeps its keys sorted
}

QString DeltaOp::embedValue() const
{
    if (type != InsertEmbed || embed.isEmpty())
        return {};
    return embed.constBegin().value().toString();
}

DeltaOp parseDeltaOp(const QJsonObject &object)
{
    DeltaOp op;
    const QJsonValue insert = object.value(QLatin1String("insert"));
    if (insert.isString()) {
        op.type = DeltaOp::InsertText;
        op.text = insert.toString();
    } else if (insert.isObject()) {
        op.type = DeltaOp::InsertEmbed;
        op.embed = insert.toObject();
    } else if (object.contains(QLatin1String("retain"))) {
        op.type = DeltaOp::Retain;
        op.length = lengthOf(object.value(QLatin1String("retain")));
    } else if (object.contains(QLatin1String("delete"))) {
        op.type = DeltaOp::Delete;
        op.length = lengthOf(object.value(QLatin1String("delete")));
    }
    if (object.contains(QLatin1String("attributes")))
        op.attributes = object.value(QLatin1String("attributes")).toObject();
    return op;
}

QList<DeltaOp> parseDelta(const QJsonArray &array)
{
    QList<DeltaOp> ops;
    ops.reserve(array.size());
    for (const QJsonValue &value : array) {
        if (value.isObject())
            ops.append(parseDeltaOp(value.toObject()));
    }
    return ops;
}

QList<DeltaOp> parseDeltaJson(const QString &json)
{
    const std::optional<QJsonArray> array = bodyArray(json);
    return array ? parseDelta(*array) : QList<DeltaOp>();
}

// A raw U+FEFF can only stand inside a JSON string here, where its escape means the same.
QString deltaToJson(const QJsonArray &array)
{
    return escapedZeroWidthNoBreakSpaces(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QString compactJson(const QJsonObject &object)
{
    return escapedZeroWidthNoBreakSpaces(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonDocument parseJsonText(const QString &json, QJsonParseError *error)
{
    if (!json.contains(kZeroWidthNoBreakSpace))
        return QJsonDocument::fromJson(json.toUtf8(), error);
    QString text = json.startsWith(kZeroWidthNoBreakSpace) ? json.mid(1) : json;
    text.replace(kZeroWidthNoBreakSpace, QLatin1String("\\ufeff"));
    return QJsonDocument::fromJson(text.toUtf8(), error);
}

QString deltaPlainText(const QString &body)
{
    if (body.isEmpty())
        return {};
    const std::optional<QJsonArray> array = bodyArray(body);
    if (!array)
        return body;
    QString text;
    for (const QJsonValue &value : *array) {
        const QJsonValue insert = value.toObject().value(QLatin1String("insert"));
        if (insert.isString())
            text += insert.toString();
    }
    return text;
}

namespace {

// A cell is a Delta of runs, or plain text in tables written by older builds.
void appendCellText(const QJsonValue &cell, QString *out)
{
    if (cell.isString()) {
        *out += cell.toString();
    } else {
        for (const QJsonValue &run : cell.toArray()) {
            const QJsonValue insert = run.toObject().value(QLatin1String("insert"));
            if (insert.isString())
                *out += insert.toString();
        }
    }
    *out += QLatin1Char('\n');
}

} // namespace

DeltaTexts deltaTexts(const QString &body)
{
    const std::optional<QJsonArray> array = bodyArray(body);
    if (!array)
        return {body, QString()};
    return deltaTexts(*array);
}

std::optional<QJsonArray> deltaArray(const QString &body)
{
    return bodyArray(body);
}

DeltaTexts deltaTexts(const QJsonArray &array)
{
    DeltaTexts texts;
    for (const QJsonValue &value : array) {
        const QJsonValue insert = value.toObject().value(QLatin1String("insert"));
        if (insert.isString()) {
            texts.plain += insert.toString();
            continue;
        }
        const QJsonValue table = insert.toObject().value(QLatin1String(kTableEmbedKind));
        if (!table.isString())
            continue;
        const QJsonObject object = parseJsonText(table.toString()).object();
        for (const QJsonValue &row : object.value(QLatin1String("cells")).toArray()) {
            for (const QJsonValue &cell : row.toArray())
                appendCellText(cell, &texts.tableCells);
        }
    }
    return texts;
}

QString plainTextTitle(const QString &text)
{
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return (newline < 0 ? text : text.left(newline)).trimmed();
}

QString plainTextPreview(const QString &text)
{
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    if (newline < 0)
        return {};
    QString rest = text.mid(newline + 1).trimmed();
    rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (rest.size() <= kPreviewLength)
        return rest;
    qsizetype cut = kPreviewLength;
    // Never leave half of a surrogate pair (emoji) dangling before the dots.
    if (rest.at(cut - 1).isHighSurrogate())
        --cut;
    return rest.left(cut) + QLatin1String("...");
}

QString deltaOpsTitle(const QList<DeltaOp> &ops)
{
    // Only the text up to the first line end matters.
    QString text;
    for (const DeltaOp &op : ops) {
        if (op.type != DeltaOp::InsertText)
            continue;
        text += op.text;
        if (op.text.contains(QLatin1Char('\n')))
            break;
    }
    return plainTextTitle(text);
}

QString noteTitle(const QString &body)
{
    return plainTextTitle(deltaPlainText(body));
}

QString notePreview(const QString &body)
{
    return plainTextPreview(deltaPlainText(body));
}

bool isNoteBodyEmpty(const QString &body)
{
    if (body.isEmpty())
        return true;
    const std::optional<QJsonArray> array = bodyArray(body);
    if (!array)
        return body.trimmed().isEmpty();
    for (const QJsonValue &value : *array) {
        if (!value.isObject())
            continue;
        const QJsonValue insert = value.toObject().value(QLatin1String("insert"));
        if (insert.isObject())
            return false;
        if (insert.isString() && !insert.toString().trimmed().isEmpty())
            return false;
    }
    return true;
}

QString attachmentUrl(const QString &attachmentId)
{
    return QLatin1String(kAttachmentUrlPrefix) + attachmentId;
}

QString attachmentIdFromUrl(const QString &url)
{
    const QLatin1String prefix(kAttachmentUrlPrefix);
    return url.startsWith(prefix) ? url.mid(prefix.size()) : url;
}
