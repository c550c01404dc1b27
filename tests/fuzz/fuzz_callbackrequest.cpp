// What a browser, or anything else on this machine, sends to the loopback
// sign-in listener.

#include "fuzzsupport.h"
#include "webauthhandler.h"

VELM_FUZZ_INIT

using VelmAccount::CallbackRequest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray received(reinterpret_cast<const char *>(data), qsizetype(size));
    const CallbackRequest request = VelmAccount::readCallbackRequest(received, 19876, "state-1");
    const bool headDone = received.contains("\r\n\r\n");
    FUZZ_CHECK(headDone == (request.state == CallbackRequest::State::Callback
                            || request.state == CallbackRequest::State::NotFound
                            || request.state == CallbackRequest::State::Refused),
               QString::fromLatin1(received));
    if (request.state == CallbackRequest::State::Callback) {
        FUZZ_CHECK(received.startsWith("GET /callback") && received.contains("state=state-1"), QString::fromLatin1(received));
        // The sign-in reads its tokens off this URL: it must stay on the loopback callback.
        FUZZ_CHECK(request.url.host() == QLatin1String("localhost") && request.url.port() == 19876
                       && request.url.path() == QLatin1String("/callback"),
                   request.url.toString());
    }
    return 0;
}
