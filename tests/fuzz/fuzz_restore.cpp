// Bytes restored as a backup archive, in every mode.

#include "archivefuzz.h"
#include "backup.h"

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto mode = RestoreMode(size % 3);
    VelmFuzz::withArchive(data, size, "in.zip", {"notes", "notebooks"},
                          [mode](const QString &path, const IoRepositories &repositories) {
                              return restoreBackup(path, repositories, mode).imported;
                          });
    return 0;
}
