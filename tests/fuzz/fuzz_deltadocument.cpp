// A body loaded into the editor's document and written back: the second
// write must give the text of the first.

#include "deltadocument.h"
#include "fuzzsupport.h"

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    DeltaDocument document;
    document.setJson(VelmFuzz::text(data, size));
    const QString first = document.toJson();
    document.toPlainText();
    document.setJson(first);
    const QString second = document.toJson();
    FUZZ_CHECK(second == first, first + QStringLiteral("\n--- became ---\n") + second);
    return 0;
}
