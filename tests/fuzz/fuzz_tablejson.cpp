// The text of a "table" embed: exported, and built into a document table whose
// JSON, built again, stays the same.

#include "converters.h"
#include "deltatable.h"
#include "fuzzsupport.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

VELM_FUZZ_INIT

namespace {

// The JSON of the first table built from json, empty when none was built.
QString rebuilt(const QString &json)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    insertTableFromJson(cursor, json);
    QTextCursor probe(&document);
    while (!probe.atEnd()) {
        if (QTextTable *table = probe.currentTable())
            return tableToJson(table);
        if (!probe.movePosition(QTextCursor::NextBlock))
            break;
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16 * 1024)
        return 0;
    const QString json = VelmFuzz::text(data, size);
    const QString html = tableToHtml(json);
    const QString markdown = tableToMarkdown(json);
    FUZZ_CHECK(html.isEmpty() || (html.startsWith("<table ") && html.endsWith("</table>\n")), html);
    FUZZ_CHECK(markdown.isEmpty() || (markdown.startsWith('|') && markdown.endsWith("|\n")), markdown);
    const QString first = rebuilt(json);
    if (!first.isEmpty()) {
        const QString second = rebuilt(first);
        FUZZ_CHECK(second == first, first + QStringLiteral("\n--- became ---\n") + second);
    }
    return 0;
}
