#include "feed.h"
#include "services.h"
#include "store/attachmentstore.h"

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

const std::string base = "/notes/v1";

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
    QCryptographicHash hash{QCryptographicHash::Sha256};
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
            in.hash.addData(QByteArrayView(data, qsizetype(length)));
        }
        return true;
    };
    return reader(header, content);
}

// Copies the uploaded file into the chunk rows a piece at a time.
bool storeInDatabase(AttachmentStore &store, const QString &id, QFile &file)
{
    if (!store.removeChunks(id) || !file.seek(0))
        return false;
    for (int seq = 0; !file.atEnd(); ++seq) {
        const QByteArray piece = file.read(AttachmentStore::chunkBytes);
        if (piece.isEmpty() || !store.writeChunk(id, seq, piece))
            return false;
    }
    return true;
}

void upload(Services &s, const Caller &c, IncomingUpload &in, httplib::Response &res)
{
    if (!in.hasId || !in.hasNoteId || !in.hasFile)
        return replyError(res, 400, QStringLiteral("multipart parts note_id, id and file are required"));
    const QString id = QString::fromStdString(in.id);
    const QString noteId = QString::fromStdString(in.noteId);
    if (!isPlainId(id) || !isPlainId(noteId))
        return replyError(res, 400, QStringLiteral("ids must be plain"));
    // Its own key space: the sign-in limits share the table on PostgreSQL.
    if (!s.uploads.allow(QStringLiteral("upload:") + c.userId)) {
        res.set_header("Retry-After", "60");
        return replyError(res, 429, QStringLiteral("too many uploads; try again in a minute"));
    }
    if (in.tooLarge)
        return replyError(res, 413, QStringLiteral("attachment too large"));
    AttachmentStore store(*s.db);
    const auto note = store.note(noteId);
    if (!note.ok)
        return replyError(res, 503, QStringLiteral("try again"));
    const QString permission = note.value ? notePermission(*s.db, c.userId, note.value->ownerId, noteId, note.value->notebookId)
                                          : QString();
    if (permission.isEmpty())
        return replyError(res, 404, QStringLiteral("not found"));
    if (permission == QLatin1String("view"))
        return replyError(res, 403, QStringLiteral("this note is shared read-only"));

    Tx tx(*s.db);
    const auto existing = store.find(id);
    if (!tx.ok() || !existing.ok)
        return replyError(res, 503, QStringLiteral("try again"));
    if (existing.value && existing.value->ownerId != c.userId)
        return replyError(res, 404, QStringLiteral("not found"));
    const bool inDatabase = s.config.attachmentsInDatabase;
    in.file->close();
    bool stored = !in.writeFailed && in.file->error() == QFileDevice::NoError;
    std::error_code renamed;
    if (stored && inDatabase) {
        stored = in.file->open() && storeInDatabase(store, id, *in.file);
    } else if (stored) {
        // The complete file takes the attachment's name in one step; a failed
        // request leaves the one before it in place.
        std::filesystem::rename(in.file->fileName().toStdString(), attachmentPath(s, id).toStdString(), renamed);
        stored = !renamed;
        if (stored)
            in.file->setAutoRemove(false);
    }
    if (!stored) {
        qCWarning(lcServer) << "attachment write failed:" << in.file->errorString() << renamed.message().c_str();
        return replyError(res, 507, QStringLiteral("could not store the file"));
    }
    AttachmentRow row;
    row.id = id;
    row.ownerId = c.userId;
    row.noteId = noteId;
    row.filename = QString::fromStdString(in.filename).left(255);
    row.mimeType = in.contentType.empty() ? QStringLiteral("application/octet-stream")
                                          : QString::fromStdString(in.contentType).left(200);
    row.sizeBytes = in.size;
    row.createdAt = nowMs();
    row.sha256 = QString::fromLatin1(in.hash.result().toBase64());
    row.inDatabase = inDatabase;
    StampBook stamps(*s.db);
    // Contents left in the database by an earlier upload kept there go with it.
    const bool ok = (inDatabase || store.removeChunks(id)) && store.replace(row)
        && stamps.feedAttachment(noteReaders(*s.db, note.value->ownerId, noteId, note.value->notebookId), id)
        && stamps.save();
    if (!ok || !tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    if (inDatabase && existing.value && !existing.value->inDatabase)
        QFile::remove(attachmentPath(s, id));
    replyJson(res, 201, QJsonObject{{"id", id}, {"note_id", noteId}, {"size_bytes", in.size}});
}

void listAttachments(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    const std::optional<qint64> sinceArg = sinceParam(req, res);
    if (!sinceArg)
        return;
    const qint64 since = *sinceArg;
    // Read the committed stamp first: every stamp up to it is already visible below.
    const qint64 committed = committedStamp(*s.db, c.userId);
    const auto page = AttachmentStore(*s.db).listSince(c.userId, since, pullPageSize);
    if (!page.ok)
        return replyError(res, 503, QStringLiteral("try again"));
    QJsonArray list;
    qint64 last = since;
    for (const AttachmentRow &a : page.value.rows) {
        last = a.stamp;
        if (notePermission(*s.db, c.userId, a.noteOwnerId, a.noteId, a.notebookId).isEmpty())
            continue;
        list.append(QJsonObject{{"id", a.id},           {"note_id", a.noteId},        {"filename", a.filename},
                                {"mime_type", a.mimeType}, {"size_bytes", a.sizeBytes}, {"created_at", a.createdAt}});
    }
    const bool more = page.value.hasMore;
    QJsonObject reply{{"attachments", list}, {"timestamp", more ? last : std::max({since, committed, last})}};
    if (more)
        reply.insert("has_more", true);
    replyJson(res, 200, reply);
}

// Contents kept in the database leave one chunk at a time.
void sendFromDatabase(Services &s, const AttachmentRow &a, httplib::Response &res)
{
    struct Reader
    {
        Db *db = nullptr;
        QString id;
        int seq = -1;
        QByteArray piece;
    };
    auto reader = std::make_shared<Reader>();
    reader->db = s.db.get();
    reader->id = a.id;
    if (!a.sha256.isEmpty())
        res.set_header("Digest", "sha-256=" + a.sha256.toStdString());
    res.status = 200;
    res.set_content_provider(size_t(a.sizeBytes), a.mimeType.toStdString(),
                             [reader](size_t offset, size_t length, httplib::DataSink &sink) {
                                 const int seq = int(qint64(offset) / AttachmentStore::chunkBytes);
                                 if (seq != reader->seq) {
                                     const auto piece = AttachmentStore(*reader->db).chunk(reader->id, seq);
                                     if (!piece.ok)
                                         return false;
                                     reader->piece = piece.value;
                                     reader->seq = seq;
                                 }
                                 const qint64 within = qint64(offset) - qint64(seq) * AttachmentStore::chunkBytes;
                                 if (within >= reader->piece.size())
                                     return false;
                                 const size_t n = std::min(length, size_t(reader->piece.size() - within));
                                 return sink.write(reader->piece.constData() + within, n);
                             });
}

void download(Services &s, const Caller &c, const QString &id, httplib::Response &res)
{
    const auto found = AttachmentStore(*s.db).find(id);
    if (!found.ok)
        return replyError(res, 503, QStringLiteral("try again"));
    const std::optional<AttachmentRow> &a = found.value;
    if (!a || a->noteOwnerId.isEmpty()
        || notePermission(*s.db, c.userId, a->noteOwnerId, a->noteId, a->notebookId).isEmpty())
        return replyError(res, 404, QStringLiteral("not found"));
    if (a->inDatabase)
        return sendFromDatabase(s, *a, res);
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
    res.set_content_provider(size, a->mimeType.toStdString(),
                             [file](size_t offset, size_t length, httplib::DataSink &sink) {
                                 if (!file->seek(qint64(offset)))
                                     return false;
                                 const QByteArray chunk = file->read(qint64(std::min<size_t>(length, 256 * 1024)));
                                 return !chunk.isEmpty() && sink.write(chunk.constData(), size_t(chunk.size()));
                             });
}

} // namespace

void removeAttachmentContents(Services &s, const QStringList &ids)
{
    AttachmentStore store(*s.db);
    for (const QString &id : ids) {
        QFile file(attachmentPath(s, id));
        if (file.exists() && !file.remove())
            qCWarning(lcServer) << "an attachment file of a removed row stays:" << file.fileName() << file.errorString();
        if (!store.removeChunks(id))
            qCWarning(lcServer) << "the stored contents of a removed attachment stay:" << id;
    }
}

void addAttachmentRoutes(httplib::Server &http, Services &s)
{
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
        upload(s, *caller, in, res);
    });
    http.Get(base + "/attachments", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        listAttachments(s, c, req, res);
    }));
    const std::string id = "([A-Za-z0-9_-]{1,64})";
    http.Get(base + "/attachments/" + id, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        download(s, c, pathArg(req, 1), res);
    }));
}

} // namespace VelmServer
