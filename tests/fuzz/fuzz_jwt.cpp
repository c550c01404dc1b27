// Access tokens as the account client reads them without checking a signature.

#include "fuzzsupport.h"
#include "vlmclaims.h"

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString token = VelmFuzz::text(data, size);
    VelmAccount::jwtPayload(token);
    const qint64 expiry = VelmAccount::jwtExpiry(token);
    const qint64 now = 1'800'000'000;
    FUZZ_CHECK(VelmAccount::tokenIsFresh(token, now) == (expiry != 0 && expiry > now + 30), token);
    VelmAccount::VlmClaims::fromToken(token);
    return 0;
}
