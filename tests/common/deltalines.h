#pragma once

// Builders of Delta bodies line by line, for the editor tests.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace DeltaLines {

inline const QString kH1 = QStringLiteral(R"({"header":1})");
inline const QString kH2 = QStringLiteral(R"({"header":2})");
inline const QString kBullet = QStringLiteral(R"({"list":"bullet"})");
inline const QString kOrdered = QStringLiteral(R"({"list":"ordered"})");
inline const QString kChecked = QStringLiteral(R"({"list":"checked"})");
inline const QString kUnchecked = QStringLiteral(R"({"list":"unchecked"})");
inline const QString kQuote = QStringLiteral(R"({"blockquote":true})");
inline const QString kCode = QStringLiteral(R"({"code-block":true})");

// One line of a Delta: its text (if any) and the line end with its attributes.
inline QString line(const QString &text, const QString &attributes = {})
{
    QString out = text.isEmpty() ? QString() : QStringLiteral("{\"insert\":\"%1\"},").arg(text);
    if (attributes.isEmpty())
        return out + QStringLiteral("{\"insert\":\"\\n\"}");
    return out + QStringLiteral("{\"attributes\":%1,\"insert\":\"\\n\"}").arg(attributes);
}

// A linked run.
inline QString linked(const QString &text, const QString &href = QStringLiteral("https://x.example"))
{
    return QStringLiteral("{\"attributes\":{\"link\":\"%1\"},\"insert\":\"%2\"}").arg(href, text);
}

inline QString body(const QStringList &lines)
{
    return QLatin1Char('[') + lines.join(QLatin1Char(',')) + QLatin1Char(']');
}

// The line attributes of every line end of a Delta, in order.
inline QList<QJsonObject> lineAttributes(const QString &json)
{
    QList<QJsonObject> lines;
    for (const QJsonValue &op : QJsonDocument::fromJson(json.toUtf8()).array()) {
        if (op.toObject().value(QLatin1String("insert")).toString() == QLatin1String("\n"))
            lines.append(op.toObject().value(QLatin1String("attributes")).toObject());
    }
    return lines;
}

} // namespace DeltaLines
