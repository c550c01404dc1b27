// The release manifest as the update check downloads it.

#include "fuzzsupport.h"
#include "manifest.h"

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<VelmUpdate::Manifest> manifest = VelmUpdate::parseManifest(json, &error);
    if (!manifest) {
        FUZZ_CHECK(!error.isEmpty(), QString::fromUtf8(json));
        return 0;
    }
    FUZZ_CHECK(!manifest->artifacts.isEmpty(), QString::fromUtf8(json));
    for (const VelmUpdate::Artifact &artifact : manifest->artifacts) {
        FUZZ_CHECK(artifact.url.isValid() && artifact.size > 0 && artifact.sha256.size() == 64, QString::fromUtf8(json));
        VelmUpdate::parseVersion(artifact.version);
    }
    return 0;
}
