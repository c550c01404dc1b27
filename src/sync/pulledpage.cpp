#include "pulledpage.h"

#include "syncrecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

PulledPage PulledPage::read(const QByteArray &reply, const NoteTextExtractor &extract)
{
    PulledPage page;
    const QJsonDocument document = QJsonDocument::fromJson(reply);
    if (!document.isObject())
        return page;
    const QJsonObject body = document.object();
    page.valid = true;
    page.timestamp = body.value(QLatin1String("timestamp")).toInteger();
    page.hasMore = body.value(QLatin1String("has_more")).toBool();
    const QJsonArray changes = body.value(QLatin1String("changes")).toArray();
    page.rows.reserve(changes.size());
    for (const QJsonValue &value : changes) {
        Row row;
        row.note = VelmSync::noteFromPull(value.toObject(), &row.gone);
        // A tombstone's body is never stored.
        if (!row.note.id.isEmpty() && !row.gone)
            row.text = extract(row.note.body);
        page.rows.append(std::move(row));
    }
    return page;
}
