// Bytes imported as a ".nsx" archive.

#include "archivefuzz.h"
#include "notestationimporter.h"

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    VelmFuzz::withArchive(data, size, "in.nsx", {"notes"}, [](const QString &path, const IoRepositories &repositories) {
        return importNoteStation(path, repositories).imported;
    });
    return 0;
}
