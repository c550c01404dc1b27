// Request bodies sent to a running velmora-server by a signed-in user (the
// sign-in form by anyone). The first byte picks the route; the server must
// answer every one, and never with an internal error.

#include "fuzzsupport.h"
#include "serverharness.h"

namespace {

VelmServerTest::Harness *harness = nullptr;
QString token;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    VelmFuzz::init();
    harness = new VelmServerTest::Harness;
    VelmServerTest::Harness &server = *harness;
    QString error;
    if (!server.start(QString(), &error)) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(error));
        std::abort();
    }
    // Registered after the first query created Qt's connection registry, so
    // the server's threads end before that registry is destroyed at exit.
    std::atexit([] { delete harness; });
    token = server.signIn(QStringLiteral("fuzz@example.org"), true).access;
    if (token.isEmpty()) {
        std::fprintf(stderr, "sign-up failed\n");
        std::abort();
    }
    // A note and a notebook of the caller's own, for the share routes to find.
    const VelmServerTest::Api api(server.port(), token);
    const QJsonObject note{{"entity_type", "note"}, {"entity_id", "n1"}, {"action", "update"}, {"version", 1},
                           {"data", QJsonObject{{"body", "[]"}, {"created_at", 1}, {"updated_at", 1}, {"modified_at", 1}}}};
    if (api.call("POST", "/notes/v1/sync/push", QJsonObject{{"changes", QJsonArray{note}}}).status != 200
        || api.call("POST", "/notes/v1/notebooks", QJsonObject{{"id", "b1"}, {"name", "Shared"}}).status / 100 != 2) {
        std::fprintf(stderr, "seeding the server failed\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 256 * 1024)
        return 0;
    static const struct { const char *path, *type; } routes[] = {
        {"/notes/v1/sync/push", "application/json"},
        {"/notes/v1/notebooks", "application/json"},
        {"/notes/v1/shares/notes/n1", "application/json"},
        {"/notes/v1/notebooks/b1/share", "application/json"},
        {"/velmora/account/login", "application/x-www-form-urlencoded"},
    };
    const auto &route = routes[data[0] % std::size(routes)];
    const std::string body(reinterpret_cast<const char *>(data) + 1, size - 1);
    httplib::Headers headers{{"Authorization", "Bearer " + token.toStdString()}};
    const httplib::Result reply = harness->client()->Post(route.path, headers, body, route.type);
    FUZZ_CHECK(reply, QStringLiteral("no answer on %1").arg(QLatin1String(route.path)));
    FUZZ_CHECK(reply->status != 500, QString::fromStdString(route.path + std::string("\n") + body));
    return 0;
}
