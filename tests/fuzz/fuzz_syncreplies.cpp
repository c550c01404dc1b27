// Server replies taken in by a full sync cycle and by the share and account
// lists. The input holds one reply per route, split at lines "---": the push
// reply, the pull page, the notebook list, the attachment list, an attachment's
// bytes, then the reply to notebook writes and share lists. A section starting
// "!NNN " answers with that HTTP status. Beyond not crashing: the database
// stays sound, and the local edit waiting to be pushed is never lost unless
// the push reply acknowledged it.

#include "accountrecords.h"
#include "fakehttpserver.h"
#include "fuzzsupport.h"
#include "notesharingservice.h"
#include "pristine.h"
#include "syncdevice.h"

#include <QJsonArray>

namespace {

constexpr int kSections = 6;
const QString kEdit = QStringLiteral("kept edit");

struct Replies
{
    FakeReply section[kSections];
};

Replies split(const QByteArray &input)
{
    Replies replies;
    const QList<QByteArray> parts = input.split('\n');
    int at = 0;
    QByteArray current;
    const auto close = [&] {
        if (at >= kSections)
            return;
        FakeReply &reply = replies.section[at++];
        reply.body = current;
        if (current.size() >= 5 && current[0] == '!' && current[4] == ' ') {
            bool ok = false;
            const int status = current.mid(1, 3).toInt(&ok);
            if (ok && status >= 100) {
                reply.status = status;
                reply.body = current.mid(5);
            }
        }
        current.clear();
    };
    for (const QByteArray &line : parts) {
        if (line == "---")
            close();
        else
            current += (current.isEmpty() ? QByteArray() : QByteArray("\n")) + line;
    }
    close();
    return replies;
}

int sectionFor(const RecordedRequest &request)
{
    const QByteArray path = request.target.split('?').value(0);
    if (path.endsWith("/sync/push"))
        return 0;
    if (path.endsWith("/sync/pull"))
        return 1;
    if (request.method == "GET" && path.endsWith("/notebooks"))
        return 2;
    if (request.method == "GET" && path.endsWith("/attachments"))
        return 3;
    if (request.method == "GET" && path.contains("/attachments/"))
        return 4;
    return 5;
}

bool acknowledged(const FakeReply &push, const QString &id)
{
    if (push.status / 100 != 2)
        return false;
    for (const QJsonValue &value : QJsonDocument::fromJson(push.body).object().value("results").toArray()) {
        const QJsonObject result = value.toObject();
        if (result.value("entity_id").toString() == id && result.value("status").toString() == QLatin1String("ok"))
            return true;
    }
    return false;
}

struct World
{
    Replies replies;
    FakeHttpServer server{[this](const RecordedRequest &request) { return replies.section[sectionFor(request)]; }};
    const QString access = jwtExpiringIn(10 * 365 * 24 * 3600);
    VelmSyncTest::Device device{server.serverPort(), access, QStringLiteral("refresh")};
    VelmAccount::NoteSharingService shares{&device.api, VelmAccount::NoteSharingService::Notes};
    std::unique_ptr<VelmFuzz::Pristine> pristine;

    World()
    {
        // A reply that never ends fails after this; the default would run
        // past the input time limit.
        device.api.setTransferTimeout(200);
        // A synced notebook and note, a notebook and an edit waiting to be pushed.
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(1767225600000, Qt::UTC);
        for (const auto &[id, status] : {std::pair{"b1", SyncStatus::Synced}, std::pair{"b2", SyncStatus::Pending}}) {
            Notebook notebook;
            notebook.id = QLatin1String(id);
            notebook.name = notebook.id;
            notebook.createdAt = notebook.updatedAt = at;
            notebook.syncStatus = status;
            device.notebooks.insert(notebook);
        }
        for (const auto &[id, status] : {std::pair{"n1", SyncStatus::Pending}, std::pair{"n2", SyncStatus::Synced}}) {
            Note note;
            note.id = QLatin1String(id);
            note.notebookId = QStringLiteral("b1");
            note.body = VelmSyncTest::textBody(status == SyncStatus::Pending ? kEdit : QStringLiteral("synced"));
            note.createdAt = note.updatedAt = note.modifiedAt = at;
            note.version = 3;
            note.opVersion = 2;
            device.notes.insert(note);
            if (status == SyncStatus::Synced)
                device.notes.syncState().markSynced(note.id, 3);
        }
        pristine = std::make_unique<VelmFuzz::Pristine>(device.database.database());
    }
};

} // namespace

VELM_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 256 * 1024)
        return 0;
    static World *world = new World;
    // Nothing may pile up from input to input: an input that ends with more
    // allocations than it began with is run again under the leak checker.
    world->server.requests.clear();
    world->device.requests.clear();
    world->pristine->restore();
    QDir(Database::attachmentsDirectory()).removeRecursively();
    // A refused refresh drops the session; every input starts signed in.
    world->device.tokens.setTokens(world->access, QStringLiteral("refresh"));
    world->device.newEngine();
    world->replies = split(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

    world->device.sync();

    const QString check = world->pristine->quickCheck();
    FUZZ_CHECK(check == QLatin1String("ok"), check);
    if (!acknowledged(world->replies.section[0], QStringLiteral("n1"))) {
        const QStringList texts = world->device.liveTexts();
        const bool kept = std::any_of(texts.cbegin(), texts.cend(), [](const QString &t) { return t.contains(kEdit); });
        FUZZ_CHECK(kept, QStringLiteral("unacknowledged edit lost; notes: ") + texts.join(QLatin1Char('\n')));
    }

    // The share list, and the same reply read as each account record.
    QEventLoop loop;
    world->shares.listMembers(QStringLiteral("n1"), [&loop](const QList<VelmAccount::ShareMember> &) { loop.quit(); });
    loop.exec();
    const QJsonObject object = QJsonDocument::fromJson(world->replies.section[5].body).object();
    VelmAccount::Profile::fromJson(object);
    VelmAccount::Group::fromJson(object);
    VelmAccount::GroupInvitation::fromJson(object);
    VelmAccount::User::fromJson(object);
    VelmAccount::devicesFrom(object);
    VelmAccount::sessionsFrom(object);
    // Replies and sockets go with deleteLater: freed within this input, not the next.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
