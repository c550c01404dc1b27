#include "feed.h"
#include "services.h"
#include "store/groupstore.h"
#include "store/notebookstore.h"
#include "store/notestore.h"
#include "store/sharestore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QTemporaryFile>

#include <filesystem>

Q_DECLARE_LOGGING_CATEGORY(lcServer)

namespace VelmServer {

namespace {

const std::string base = VelmWire::syncBase;

struct Item
{
    QString ownerId, notebookId;
};

// A note or a live notebook, as sharing and uploads see it.
StoreResult<std::optional<Item>> findItem(Db &db, ShareKind kind, const QString &id)
{
    if (kind == ShareKind::Note) {
        const auto note = NoteStore(db).byId(id);
        if (!note)
            return storeFailure;
        return *note ? std::optional<Item>(Item{(*note)->ownerId, (*note)->notebookId}) : std::nullopt;
    }
    const auto notebook = NotebookStore(db).byId(id);
    if (!notebook)
        return storeFailure;
    return *notebook && !(*notebook)->deleted() ? std::optional<Item>(Item{(*notebook)->ownerId, QString()}) : std::nullopt;
}

// kind 0: a note, kind 1: a notebook; nothing when it is not there or could not be read.
std::optional<Item> item(Db &db, int kind, const QString &id)
{
    auto found = findItem(db, ShareKind(kind), id);
    return found ? *found : std::nullopt;
}

StoreResult<Permission> permissionOn(Db &db, ShareKind kind, const QString &userId, const QString &id, const Item &it)
{
    ShareStore shares(db);
    return kind == ShareKind::Note ? shares.notePermission(userId, it.ownerId, id, it.notebookId)
                                   : shares.notebookPermission(userId, it.ownerId, id);
}

// The notes whose readers change when a share of the item changes.
StoreResult<QStringList> notesOf(Db &db, ShareKind kind, const QString &id)
{
    if (kind == ShareKind::Note)
        return QStringList{id};
    return NoteStore(db).idsInNotebook(id);
}

// The caller's permission on the item; None when it is not there.
StoreResult<Permission> callerPermission(Db &db, ShareKind kind, const Caller &c, const QString &id)
{
    const auto it = findItem(db, kind, id);
    if (!it)
        return storeFailure;
    return *it ? permissionOn(db, kind, c.userId, id, **it) : StoreResult<Permission>(Permission::None);
}

void listShares(Services &s, ShareKind kind, const Caller &c, const QString &id, httplib::Response &res)
{
    using namespace VelmWire::Field;
    const auto mine = callerPermission(*s.db, kind, c, id);
    if (!mine)
        return replyStoreFailure(res);
    if (*mine == Permission::None)
        return replyError(res, 404, QStringLiteral("not found"));
    const auto listed = ShareStore(*s.db).list(kind, id);
    if (!listed)
        return replyStoreFailure(res);
    QJsonArray list;
    for (const ListedShare &l : *listed)
        list.append(QJsonObject{{VelmWire::Field::id, l.share.id},
                                {"shared_with_account_id", l.share.userId},
                                {"shared_with_email", l.email},
                                {"shared_with_display_name", l.displayName},
                                {permission, VelmWire::permissionName(l.share.permission)},
                                {createdAt, l.share.createdAt}});
    replyJson(res, 200, QJsonObject{{shares, list}});
}

// Adds (permission not None) or removes a share, then feeds the item's notes
// to the member so their next pull brings or withdraws them.
void changeShare(Services &s, ShareKind kind, const Caller &c, const QString &id, const QString &memberKey,
                 Permission permission, httplib::Response &res)
{
    Tx tx(*s.db);
    const auto mine = callerPermission(*s.db, kind, c, id);
    if (!mine)
        return replyStoreFailure(res);
    if (*mine == Permission::None)
        return replyError(res, 404, QStringLiteral("not found"));
    if (*mine != Permission::Owner)
        return replyError(res, 403, QStringLiteral("only the owner shares this"));
    ShareStore shares(*s.db);
    QString member = memberKey;
    if (permission == Permission::None) {
        const auto found = shares.member(kind, id, memberKey);
        if (!found)
            return replyStoreFailure(res);
        if (!*found)
            return replyError(res, 404, QStringLiteral("not found"));
        member = **found;
        if (!shares.remove(kind, id, member))
            return replyStoreFailure(res);
    } else {
        const auto together = GroupStore(*s.db).sameGroup(c.userId, member);
        if (!together)
            return replyStoreFailure(res);
        if (member == c.userId || !*together)
            return replyError(res, 400, QStringLiteral("you can share only with other members of your group"));
        if (!shares.put(kind, id, member, permission, nowMs()))
            return replyStoreFailure(res);
    }
    // The owner's devices learn that the item is shared, or no longer.
    StampBook stamps(*s.db);
    const auto notes = notesOf(*s.db, kind, id);
    if (!notes)
        return replyStoreFailure(res);
    for (const QString &noteId : *notes)
        if (!stamps.feedNote({member, c.userId}, noteId))
            return replyStoreFailure(res);
    if (!stamps.save())
        return replyStoreFailure(res);
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, permission == Permission::None ? 200 : 201, QJsonObject{{"ok", true}});
}

void addShare(Services &s, ShareKind kind, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QString member = body->value(VelmWire::Field::accountId).toString(body->value("auth_user_id").toString());
    const Permission permission = VelmWire::permissionFromName(body->value(VelmWire::Field::permission).toString());
    if (member.isEmpty() || (permission != Permission::View && permission != Permission::Edit))
        return replyError(res, 400, QStringLiteral("account_id and a permission of view or edit are required"));
    changeShare(s, kind, c, pathArg(req, 1), member, permission, res);
}

QString attachmentPath(const Services &s, const QString &id)
{
    return QDir(s.config.dataDir).filePath(QStringLiteral("attachments/") + id);
}

// One multipart upload as it is read: the two ids, and the file part written
// to a temporary file beside the attachments, so a request of the largest
// allowed size is never held in memory.
struct IncomingUpload
{
    std::string id, noteId, filename, contentType;
    std::string part;
    bool hasId = false, hasNoteId = false, hasFile = false, tooLarge = false, writeFailed = false;
    std::unique_ptr<QTemporaryFile> file;
    qint64 size = 0;
};

// Reads the whole body (a refused one is read and dropped, so the connection
// stays usable) and keeps what upload needs.
bool readUpload(const Services &s, const httplib::ContentReader &reader, IncomingUpload &in)
{
    const qint64 limit = s.config.maxAttachmentMb * 1024 * 1024;
    const auto header = [&](const httplib::MultipartFormData &part) {
        in.part = part.name;
        if (part.name == "file") {
            in.hasFile = true;
            in.filename = part.filename;
            in.contentType = part.content_type;
            in.file = std::make_unique<QTemporaryFile>(attachmentPath(s, QStringLiteral(".upload-XXXXXX")));
            in.writeFailed = !in.file->open();
        }
        in.hasId = in.hasId || part.name == "id";
        in.hasNoteId = in.hasNoteId || part.name == "note_id";
        return true;
    };
    const auto content = [&](const char *data, size_t length) {
        if (in.part == "id" || in.part == "note_id") {
            std::string &value = in.part == "id" ? in.id : in.noteId;
            if (value.size() + length <= 256) // longer is no plain id anyway
                value.append(data, length);
        } else if (in.part == "file" && !in.tooLarge && !in.writeFailed) {
            in.size += qint64(length);
            in.tooLarge = in.size > limit;
            in.writeFailed = !in.tooLarge && in.file->write(data, qint64(length)) != qint64(length);
        }
        return true;
    };
    return reader(header, content);
}

void upload(Services &s, const Caller &c, IncomingUpload &in, httplib::Response &res)
{
    if (!in.hasId || !in.hasNoteId || !in.hasFile)
        return replyError(res, 400, QStringLiteral("multipart parts note_id, id and file are required"));
    const QString id = QString::fromStdString(in.id);
    const QString noteId = QString::fromStdString(in.noteId);
    if (!isPlainId(id) || !isPlainId(noteId))
        return replyError(res, 400, QStringLiteral("ids must be plain"));
    if (!s.uploads.allow(c.userId)) {
        res.set_header("Retry-After", "60");
        return replyError(res, 429, QStringLiteral("too many uploads; try again in a minute"));
    }
    if (in.tooLarge)
        return replyError(res, 413, QStringLiteral("attachment too large"));
    const auto note = item(*s.db, 0, noteId);
    const QString permission = note ? notePermission(*s.db, c.userId, note->ownerId, noteId, note->notebookId) : QString();
    if (permission.isEmpty())
        return replyError(res, 404, QStringLiteral("not found"));
    if (permission == QLatin1String("view"))
        return replyError(res, 403, QStringLiteral("this note is shared read-only"));

    Tx tx(*s.db);
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT owner_id FROM attachments WHERE id = ?"), {id});
    if (q.next() && q.value(0).toString() != c.userId)
        return replyError(res, 404, QStringLiteral("not found"));
    // The complete file takes the attachment's name in one step; a failed
    // request leaves the one before it in place.
    std::error_code renamed;
    in.file->close();
    if (in.writeFailed || in.file->error() != QFileDevice::NoError
        || (std::filesystem::rename(in.file->fileName().toStdString(), attachmentPath(s, id).toStdString(), renamed),
            renamed)) {
        qCWarning(lcServer) << "attachment write failed:" << in.file->errorString() << renamed.message().c_str();
        return replyError(res, 507, QStringLiteral("could not store the file"));
    }
    in.file->setAutoRemove(false);
    const QString mime = in.contentType.empty() ? QStringLiteral("application/octet-stream")
                                                : QString::fromStdString(in.contentType).left(200);
    StampBook stamps(*s.db);
    const bool ok = s.db->run(q, QStringLiteral("DELETE FROM attachments WHERE id = ?"), {id})
        && s.db->run(q, QStringLiteral("INSERT INTO attachments (id, owner_id, note_id, filename, mime_type, size_bytes,"
                                       " created_at) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                     {id, c.userId, noteId, QString::fromStdString(in.filename).left(255), mime, in.size, nowMs()})
        && stamps.feedAttachment(noteReaders(*s.db, note->ownerId, noteId, note->notebookId), id) && stamps.save();
    if (!ok || !tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 201, QJsonObject{{"id", id}, {"note_id", noteId}, {"size_bytes", in.size}});
}

void listAttachments(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    const std::optional<qint64> sinceArg = sinceParam(req, res);
    if (!sinceArg)
        return;
    const qint64 since = *sinceArg;
    const qint64 committed = committedStamp(*s.db, c.userId);
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT f.stamp, a.id, a.note_id, a.filename, a.mime_type, a.size_bytes, a.created_at,"
                                " n.owner_id, n.notebook_id FROM attachment_feed f JOIN attachments a ON a.id = f.attachment_id"
                                " JOIN notes n ON n.id = a.note_id WHERE f.user_id = ? AND f.stamp > ? ORDER BY f.stamp"),
              {c.userId, since});
    QJsonArray list;
    qint64 last = since;
    while (q.next()) {
        last = q.value(0).toLongLong();
        if (notePermission(*s.db, c.userId, q.value(7).toString(), q.value(2).toString(), q.value(8).toString()).isEmpty())
            continue;
        list.append(QJsonObject{{"id", q.value(1).toString()},       {"note_id", q.value(2).toString()},
                                {"filename", q.value(3).toString()}, {"mime_type", q.value(4).toString()},
                                {"size_bytes", q.value(5).toLongLong()}, {"created_at", q.value(6).toLongLong()}});
    }
    replyJson(res, 200, QJsonObject{{"attachments", list}, {"timestamp", std::max({since, committed, last})}});
}

void download(Services &s, const Caller &c, const QString &id, httplib::Response &res)
{
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT a.mime_type, n.owner_id, n.id, n.notebook_id FROM attachments a"
                                " JOIN notes n ON n.id = a.note_id WHERE a.id = ?"), {id});
    if (!q.next() || notePermission(*s.db, c.userId, q.value(1).toString(), q.value(2).toString(), q.value(3).toString()).isEmpty())
        return replyError(res, 404, QStringLiteral("not found"));
    auto file = std::make_shared<QFile>(attachmentPath(s, id));
    if (!file->open(QIODevice::ReadOnly))
        return replyError(res, 404, QStringLiteral("not found"));
    // Lets the client check what it wrote before it replaces anything.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(file.get()) || !file->seek(0))
        return replyError(res, 503, QStringLiteral("try again"));
    res.set_header("Digest", "sha-256=" + hash.result().toBase64().toStdString());
    const size_t size = size_t(file->size());
    res.status = 200;
    res.set_content_provider(size, q.value(0).toString().toStdString(),
                             [file](size_t offset, size_t length, httplib::DataSink &sink) {
                                 if (!file->seek(qint64(offset)))
                                     return false;
                                 const QByteArray chunk = file->read(qint64(std::min<size_t>(length, 256 * 1024)));
                                 return !chunk.isEmpty() && sink.write(chunk.constData(), size_t(chunk.size()));
                             });
}

} // namespace

StoreStatus dropShares(Services &s, const QString &userId)
{
    ShareStore shares(*s.db);
    const auto involved = shares.involving(userId);
    if (!involved)
        return storeFailure;
    StampBook stamps(*s.db);
    for (const ShareRow &sh : *involved) {
        const auto notes = notesOf(*s.db, sh.kind, sh.itemId);
        if (!notes || !shares.remove(sh.kind, sh.itemId, sh.userId))
            return storeFailure;
        for (const QString &noteId : *notes)
            if (!stamps.feedNote({sh.userId}, noteId))
                return storeFailure;
    }
    return StoreStatus::of(stamps.save());
}

void addShareRoutes(httplib::Server &http, Services &s)
{
    const std::string id = "([A-Za-z0-9_-]{1,64})";
    const struct { ShareKind kind; std::string list, add, remove; } routes[] = {
        {ShareKind::Note, VelmWire::Path::noteShares + ("/" + id), VelmWire::Path::noteShares + ("/" + id),
         VelmWire::Path::noteShares + ("/" + id + "/" + id)},
        {ShareKind::Notebook, VelmWire::Path::notebooks + ("/" + id + VelmWire::Path::notebookShares),
         VelmWire::Path::notebooks + ("/" + id + VelmWire::Path::notebookShare),
         VelmWire::Path::notebooks + ("/" + id + VelmWire::Path::notebookShares + "/" + id)},
    };
    for (const auto &r : routes) {
        const ShareKind kind = r.kind;
        http.Get(base + r.list, authed(s, [&s, kind](const Caller &c, const httplib::Request &req, httplib::Response &res) {
            listShares(s, kind, c, pathArg(req, 1), res);
        }));
        http.Post(base + r.add, authed(s, [&s, kind](const Caller &c, const httplib::Request &req, httplib::Response &res) {
            addShare(s, kind, c, req, res);
        }));
        http.Delete(base + r.remove, authed(s, [&s, kind](const Caller &c, const httplib::Request &req, httplib::Response &res) {
            changeShare(s, kind, c, pathArg(req, 1), pathArg(req, 2), Permission::None, res);
        }));
    }
    // Read as it arrives, after the caller is known.
    http.Post(base + "/attachments", [&s](const httplib::Request &req, httplib::Response &res,
                                          const httplib::ContentReader &reader) {
        IncomingUpload in;
        const std::optional<Caller> caller = requireUser(s, req, res);
        const auto drop = [](const char *, size_t) { return true; };
        if (!caller || !req.is_multipart_form_data()) {
            if (req.is_multipart_form_data())
                reader([](const httplib::MultipartFormData &) { return true; }, drop);
            else
                reader(drop);
            if (caller)
                replyError(res, 400, QStringLiteral("multipart parts note_id, id and file are required"));
            return;
        }
        if (!readUpload(s, reader, in))
            return replyError(res, 400, QStringLiteral("the request body ended early"));
        if (caller)
            upload(s, *caller, in, res);
    });
    http.Get(base + "/attachments", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        listAttachments(s, c, req, res);
    }));
    http.Get(base + "/attachments/" + id, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        download(s, c, pathArg(req, 1), res);
    }));
}

} // namespace VelmServer
