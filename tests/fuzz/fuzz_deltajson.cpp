// A note body as stored: parsed, and turned into title, preview and every export text.

#include "converters.h"
#include "delta.h"
#include "fuzzsupport.h"

#include <QJsonDocument>

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString body = VelmFuzz::text(data, size);
    const QList<DeltaOp> ops = parseDeltaJson(body);
    const QString title = noteTitle(body);
    FUZZ_CHECK(!title.contains(QLatin1Char('\n')), title);
    FUZZ_CHECK(notePreview(body).size() <= 123, notePreview(body));
    isNoteBodyEmpty(body);
    const QString plain = deltaPlainText(body);
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    // A body that is no Delta is exported as it is.
    for (const ExportFormat format : {ExportFormat::Markdown, ExportFormat::Html, ExportFormat::PlainText}) {
        const QString out = convertBody(body, format);
        if (!doc.isArray())
            FUZZ_CHECK(out == body, out);
        else if (format == ExportFormat::Markdown)
            FUZZ_CHECK(out.isEmpty() || (out.endsWith('\n') && !out.endsWith("\n\n") && !out.endsWith(" \n")), out);
        else if (format == ExportFormat::Html)
            FUZZ_CHECK(out.startsWith("<html><body>\n") && out.endsWith("</body></html>"), out);
    }

    if (doc.isArray()) {
        FUZZ_CHECK(plain == deltaToPlainText(doc.array()), body);
        FUZZ_CHECK(deltaOpsTitle(ops) == title, body);
        // Writing the parsed array back and parsing again loses nothing more.
        FUZZ_CHECK(parseDeltaJson(deltaToJson(doc.array())) == ops, body);
    }
    return 0;
}
