#pragma once

#include "delta.h"

#include <QJsonDocument>
#include <QStringList>

// Text runs of a body with their attributes, embeds as "[kind:value]".
inline QStringList deltaRuns(const QString &body)
{
    QStringList out;
    for (const DeltaOp &op : parseDeltaJson(body)) {
        QString run = op.type == DeltaOp::InsertEmbed ? QString("[%1:%2]").arg(op.embedKind(), op.embedValue()) : op.text;
        if (!op.attributes.isEmpty())
            run += " " + QString::fromUtf8(QJsonDocument(op.attributes).toJson(QJsonDocument::Compact));
        out << run;
    }
    return out;
}
