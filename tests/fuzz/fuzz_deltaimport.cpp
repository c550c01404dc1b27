// Markdown and HTML from outside becoming a body. The first byte picks the reader.

#include "delta.h"
#include "deltaimport.h"
#include "fuzzsupport.h"

#include <QJsonDocument>

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 64 * 1024)
        return 0;
    const QString text = VelmFuzz::text(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0: {
        const QJsonArray delta = markdownToDelta(text);
        FUZZ_CHECK(!delta.isEmpty(), text);
        break;
    }
    case 1: {
        const QJsonArray delta = htmlToDelta(text);
        FUZZ_CHECK(!delta.isEmpty(), text);
        removeHiddenHtmlElements(text);
        break;
    }
    default: {
        const QString json = simpleMarkdownToDelta(text);
        FUZZ_CHECK(QJsonDocument::fromJson(json.toUtf8()).isArray(), json);
        break;
    }
    }
    return 0;
}
