#pragma once

// The benchmarks' large note: about targetBytes of headings, paragraphs with
// inline formatting, lists, check lists, code blocks and a table.

#include "delta.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

inline QJsonObject op(const QString &text, const QJsonObject &attributes = {})
{
    QJsonObject object{{"insert", text}};
    if (!attributes.isEmpty())
        object["attributes"] = attributes;
    return object;
}

inline QString largeBody(int targetBytes)
{
    QJsonArray delta;
    int section = 0;
    QString body;
    while (true) {
        ++section;
        delta.append(op(QStringLiteral("Section %1").arg(section)));
        delta.append(op("\n", {{"header", 1 + section % 3}}));
        for (int p = 0; p < 3; ++p) {
            delta.append(op("Words, "));
            delta.append(op("bold", {{"bold", true}}));
            delta.append(op(", "));
            delta.append(op("a link", {{"link", "https://example.org/"}}));
            delta.append(op(" and "));
            delta.append(op("code()", {{"code", true}}));
            delta.append(op(" in paragraph " + QString::number(p) + "."));
            delta.append(op("\n"));
        }
        static const char *lists[] = {"bullet", "ordered", "checked", "unchecked"};
        for (int i = 0; i < 6; ++i) {
            delta.append(op(QStringLiteral("Item %1.%2").arg(i).arg(section)));
            delta.append(op("\n", {{"list", lists[(i + section) % 4]}}));
        }
        for (int i = 0; i < 4; ++i) {
            delta.append(op(QStringLiteral("  v%1 = f(%2);").arg(i).arg(section)));
            delta.append(op("\n", {{"code-block", true}}));
        }
        delta.append(op("A quoted remark", {{"italic", true}}));
        delta.append(op("\n", {{"blockquote", true}}));
        if (section == 5) {
            QJsonArray rows;
            for (int r = 0; r < 20; ++r) {
                QJsonArray row;
                for (int c = 0; c < 4; ++c)
                    row.append(QJsonArray{op(QStringLiteral("r%1c%2").arg(r).arg(c))});
                rows.append(row);
            }
            const QJsonObject table{{"cells", rows}, {"hasHeader", true}};
            delta.append(QJsonObject{
                {"insert", QJsonObject{{"table", QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact))}}}});
            delta.append(op("\n"));
        }
        if (section % 10 == 0) {
            body = deltaToJson(delta);
            if (body.toUtf8().size() >= targetBytes)
                return body;
        }
    }
}

