// Bytes imported as a ".jex" archive.

#include "archivefuzz.h"
#include "joplinimporter.h"

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    VelmFuzz::withArchive(data, size, "in.jex", {"notes"}, [](const QString &path, const IoRepositories &repositories) {
        return importJoplin(path, repositories).imported;
    });
    // The item reader alone, on the same bytes as text.
    parseJoplinItem(VelmFuzz::text(data, size));
    return 0;
}
