#include "importmarkers.h"

#include "delta.h"

#include <QJsonObject>
#include <QSet>

namespace ImportMarkers {

namespace {

constexpr char16_t kUnchecked = 0xE000;
constexpr char16_t kChecked = 0xE001;
constexpr char16_t kDivider = 0xE002;

bool isMarker(QChar c)
{
    return c.unicode() >= kUnchecked && c.unicode() <= kDivider;
}

QString withoutMarkers(QString text)
{
    text.removeIf(isMarker);
    return text;
}

} // namespace

QString todo(bool checked)
{
    return QString(QChar(checked ? kChecked : kUnchecked));
}

QString divider()
{
    return QString(QChar(kDivider));
}

QJsonArray applyLineMarkers(const QJsonArray &delta)
{
    QJsonArray out;
    QJsonArray line;       // ops of the current line, before its end
    char16_t mark = 0;     // the mark the line starts with
    QString lineText;
    const auto endLine = [&](QJsonObject end) {
        if (mark == kDivider && lineText.trimmed().isEmpty()) {
            out.append(QJsonObject{{QStringLiteral("insert"), QJsonObject{{QLatin1String(kDividerEmbedKind), true}}}});
            out.append(QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}});
        } else {
            for (const QJsonValue &op : std::as_const(line))
                out.append(op);
            if (mark == kChecked || mark == kUnchecked) {
                QJsonObject attributes = end.value(QStringLiteral("attributes")).toObject();
                attributes.insert(QStringLiteral("list"), mark == kChecked ? QStringLiteral("checked")
                                                                           : QStringLiteral("unchecked"));
                attributes.remove(QStringLiteral("header"));
                end.insert(QStringLiteral("attributes"), attributes);
            }
            out.append(end);
        }
        line = QJsonArray();
        mark = 0;
        lineText.clear();
    };
    for (const QJsonValue &value : delta) {
        QJsonObject op = value.toObject();
        const QJsonValue insert = op.value(QStringLiteral("insert"));
        if (!insert.isString()) {
            line.append(op);
            lineText += QChar::ObjectReplacementCharacter;
            continue;
        }
        const QString text = insert.toString();
        if (text == QLatin1String("\n")) {
            endLine(op);
            continue;
        }
        QString kept = text;
        if (lineText.trimmed().isEmpty()) {
            const QString trimmed = kept.trimmed();
            if (!trimmed.isEmpty() && isMarker(trimmed.at(0)) && mark == 0) {
                mark = trimmed.at(0).unicode();
                kept = trimmed.mid(1);
                // The blank Evernote puts between a check box and its text.
                if (mark != kDivider && kept.startsWith(QLatin1Char(' ')))
                    kept.remove(0, 1);
            }
        }
        kept = withoutMarkers(kept);
        if (kept.isEmpty())
            continue;
        lineText += kept;
        op.insert(QStringLiteral("insert"), kept);
        line.append(op);
    }
    if (!line.isEmpty())
        endLine(QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}});
    return out.isEmpty() ? QJsonArray{QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}}} : out;
}

QJsonArray appendUnshownAttachments(const QJsonArray &delta, const QStringList &urls)
{
    QSet<QString> shown;
    for (const QJsonValue &value : delta) {
        // A link to the file shows it too.
        shown.insert(value.toObject().value(QStringLiteral("attributes")).toObject().value(QStringLiteral("link")).toString());
        const QJsonObject embed = value.toObject().value(QStringLiteral("insert")).toObject();
        for (auto it = embed.constBegin(); it != embed.constEnd(); ++it) {
            if (it.value().isString())
                shown.insert(it.value().toString());
        }
    }
    QJsonArray out = delta;
    for (const QString &url : urls) {
        if (shown.contains(url))
            continue;
        shown.insert(url);
        out.append(QJsonObject{{QStringLiteral("insert"), QJsonObject{{QLatin1String(kAttachmentEmbedKind), url}}}});
        out.append(QJsonObject{{QStringLiteral("insert"), QStringLiteral("\n")}});
    }
    return out;
}

} // namespace ImportMarkers
