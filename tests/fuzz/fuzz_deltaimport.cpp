// Markdown and HTML from outside becoming a body. The first byte picks the reader.

#include "converters.h"
#include "delta.h"
#include "deltaimport.h"
#include "fuzzsupport.h"

#include <QJsonDocument>

VELM_FUZZ_INIT

namespace {

// A Delta as the readers promise it: operation objects inserting text or an
// embed, the last one text ending a line.
bool isDeltaShape(const QJsonArray &delta)
{
    for (const QJsonValue &value : delta) {
        const QJsonValue insert = value.toObject().value("insert");
        if (!value.isObject() || !(insert.isString() || insert.isObject()))
            return false;
    }
    return !delta.isEmpty() && delta.last().toObject().value("insert").toString().endsWith('\n');
}

QString compact(const QJsonArray &delta)
{
    return QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 64 * 1024)
        return 0;
    const QString text = VelmFuzz::text(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0: {
        const QJsonArray delta = markdownToDelta(text);
        FUZZ_CHECK(isDeltaShape(delta), compact(delta));
        break;
    }
    case 1: {
        const QJsonArray delta = htmlToDelta(text);
        FUZZ_CHECK(isDeltaShape(delta), compact(delta));
        removeHiddenHtmlElements(text);
        break;
    }
    default: {
        const QJsonDocument json = QJsonDocument::fromJson(simpleMarkdownToDelta(text).toUtf8());
        FUZZ_CHECK(json.isArray() && isDeltaShape(json.array()), text);
        // One line of Delta for every line of text.
        const qsizetype lines = text.count('\n') + (text.endsWith('\n') || text.isEmpty() ? 0 : 1);
        FUZZ_CHECK(deltaToPlainText(json.array()).count('\n') == std::max<qsizetype>(lines, 1), text);
        break;
    }
    }
    return 0;
}
