#include "feed.h"
#include "pushbatch.h"
#include "notehistory.h"
#include "services.h"
#include "store/attachmentstore.h"
#include "store/notebookstore.h"
#include "store/notestore.h"
#include "store/sharestore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonValue>
#include <QSqlQuery>
#include <QSet>

namespace VelmServer {

namespace {

const std::string base = VelmWire::syncBase;
const char idPattern[] = "([A-Za-z0-9_-]{1,64})";

// Millisecond values may arrive as numbers or numeric strings.
qint64 msField(const QJsonObject &data, const char *key, qint64 fallback)
{
    const QJsonValue v = data.value(QLatin1String(key));
    if (v.isDouble())
        return v.toInteger();
    bool ok = false;
    const qint64 parsed = v.toString().toLongLong(&ok);
    return ok ? parsed : fallback;
}

// PostgreSQL text cannot hold NUL; refusing it on both back ends keeps them alike.
bool storable(const QString &text)
{
    return !text.contains(QChar(0));
}

QJsonObject notebookJson(const NotebookRow &n, const QString &userId, Permission permission)
{
    using namespace VelmWire::Field;
    return QJsonObject{{id, n.id},           {name, n.name},
                       {isDefault, n.isDefault}, {isShared, n.ownerId != userId},
                       {ownerId, n.ownerId},  {VelmWire::Field::permission, VelmWire::permissionName(permission)},
                       {version, n.version},   {createdAt, n.createdAt},
                       {updatedAt, n.updatedAt}};
}

void listNotebooks(Services &s, const Caller &c, httplib::Response &res)
{
    const auto visible = NotebookStore(*s.db).visibleTo(c.userId);
    if (!visible)
        return replyStoreFailure(res);
    QJsonArray list;
    for (const VisibleNotebook &n : *visible)
        list.append(notebookJson(n.notebook, c.userId, n.permission));
    replyJson(res, 200, QJsonObject{{VelmWire::Field::notebooks, list}});
}

void createNotebook(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QString id = body->value(VelmWire::Field::id).toString();
    const QString name = body->value(VelmWire::Field::name).toString();
    if (!isPlainId(id) || name.isEmpty() || name.size() > maxNameLength)
        return replyError(res, 400, QStringLiteral("id and a name of at most %1 characters are required").arg(maxNameLength));
    if (!storable(name))
        return replyError(res, 400, QStringLiteral("name holds a NUL character"));
    Tx tx(*s.db);
    NotebookStore notebooks(*s.db);
    const auto existing = notebooks.byId(id);
    if (!existing)
        return replyStoreFailure(res);
    if (*existing) {
        // A repeated create of one's own notebook (a lost reply) answers as the first did.
        if ((*existing)->ownerId != c.userId)
            return replyError(res, 404, QStringLiteral("not found"));
        return replyJson(res, 200, notebookJson(**existing, c.userId, Permission::Owner));
    }
    const qint64 now = nowMs();
    const NotebookRow n{id, c.userId, name, body->value(VelmWire::Field::isDefault).toBool(), 1, now, now, std::nullopt};
    StampBook stamps(*s.db);
    if (!notebooks.insert(n) || !stamps.touch({c.userId}) || !stamps.save())
        return replyStoreFailure(res);
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 201, notebookJson(n, c.userId, Permission::Owner));
}

void writeNotebook(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res, bool remove)
{
    const auto body = remove ? std::optional<QJsonObject>(QJsonObject()) : jsonBody(req, res);
    if (!body)
        return;
    Tx tx(*s.db);
    NotebookStore notebooks(*s.db);
    const auto found = notebooks.byId(pathArg(req, 1));
    if (!found)
        return replyStoreFailure(res);
    std::optional<NotebookRow> n = *found;
    const auto permission = n ? ShareStore(*s.db).notebookPermission(c.userId, n->ownerId, n->id)
                              : StoreResult<Permission>(Permission::None);
    if (!permission)
        return replyStoreFailure(res);
    if (*permission == Permission::None || (remove && n->deleted()))
        return replyError(res, 404, QStringLiteral("not found"));
    if (*permission == Permission::View || (remove && *permission != Permission::Owner))
        return replyError(res, 403, QStringLiteral("this notebook is read-only for you"));
    const QString name = body->value(VelmWire::Field::name).toString();
    if (!remove && (name.isEmpty() || name.size() > maxNameLength))
        return replyError(res, 400, QStringLiteral("a name of at most %1 characters is required").arg(maxNameLength));
    if (!storable(name))
        return replyError(res, 400, QStringLiteral("name holds a NUL character"));
    n->version += 1;
    n->updatedAt = nowMs();
    if (remove) {
        n->deletedAt = n->updatedAt;
    } else {
        n->name = name;
        n->deletedAt.reset();
    }
    // Everyone who lists the notebook hears of it, before a delete ends their shares.
    const auto readers = ShareStore(*s.db).noteReaders(n->ownerId, QString(), n->id);
    StampBook stamps(*s.db);
    if (!readers || !notebooks.update(*n) || !stamps.touch(*readers)
        || (remove && !releaseNotebookNotes(*s.db, stamps, n->id, n->updatedAt)) || !stamps.save())
        return replyStoreFailure(res);
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 200, notebookJson(*n, c.userId, *permission));
}

// One pushed change's outcome; code is the HTTP status this row alone would have had.
QJsonObject rowResult(const QString &id, const char *status)
{
    return QJsonObject{{VelmWire::Field::entityId, id}, {VelmWire::Field::status, QLatin1String(status)}};
}

QJsonObject rowFailure(const QString &id, const char *status, const QString &message, int code)
{
    QJsonObject r = rowResult(id, status);
    r.insert(VelmWire::Field::message, message);
    r.insert(VelmWire::Field::code, code);
    return r;
}

QJsonObject notStored(const QString &id, bool *storageFailed)
{
    *storageFailed = true;
    return rowFailure(id, VelmWire::Value::failed, QStringLiteral("not stored"), 500);
}

// The note and its attachments go; a tombstone stays for the devices that still hold it.
QJsonObject purgeOne(Services &s, PushBatch &batch, const NoteRow &stored, StampBook &stamps, QStringList *removedFiles,
                     bool *storageFailed)
{
    const qint64 now = nowMs();
    NoteStore notes(*s.db);
    const auto readers = batch.noteReaders(stored.ownerId, stored.id, stored.notebookId);
    QStringList attachments;
    if (!readers || !batch.flush() || !AttachmentStore(*s.db).dropForNote(stored.id, &attachments)
        || !notes.purge(stored.id, stored.version + 1, now) || !notes.forgetVersions(stored.id)
        || !stamps.feedNote(*readers, stored.id))
        return notStored(stored.id, storageFailed);
    batch.forget(stored.id);
    *removedFiles << attachments;
    QJsonObject r = rowResult(stored.id, VelmWire::Value::ok);
    r.insert(VelmWire::Field::version, stored.version + 1);
    return r;
}

// A recipient trashing a note shared with them read-only leaves its share: the
// note goes from all their devices and stays with its owner.
QJsonObject leaveShare(Services &s, PushBatch &batch, const Caller &c, const NoteRow &stored, StampBook &stamps,
                       bool *storageFailed)
{
    ShareStore shares(*s.db);
    const auto throughNotebook = shares.exists(ShareKind::Notebook, stored.notebookId, c.userId);
    if (!throughNotebook)
        return notStored(stored.id, storageFailed);
    if (*throughNotebook)
        return rowFailure(stored.id, VelmWire::Value::failed,
                          QStringLiteral("this note is shared read-only through its notebook"), 403);
    if (!shares.remove(ShareKind::Note, stored.id, c.userId) || !stamps.feedNote({c.userId}, stored.id))
        return notStored(stored.id, storageFailed);
    batch.shareRemoved(ShareKind::Note, stored.id, c.userId);
    return rowResult(stored.id, VelmWire::Value::left);
}

QJsonObject pushOne(Services &s, PushBatch &batch, const Caller &c, const QJsonObject &change, StampBook &stamps,
                    QStringList *removedFiles, bool *storageFailed)
{
    using namespace VelmWire;
    const QString id = change.value(Field::entityId).toString();
    // 4xx never changes on a retry.
    const auto fail = [&id](const char *status, const QString &message, int code) {
        return rowFailure(id, status, message, code);
    };
    if (!isPlainId(id) || change.value(Field::entityType).toString(QLatin1String(Value::note)) != QLatin1String(Value::note))
        return fail(Value::failed, QStringLiteral("unsupported change"), 400);
    const QString action = change.value(Field::action).toString(QLatin1String(Value::update));
    const bool purge = action == QLatin1String(Value::purge);
    const QJsonObject data = change.value(Field::data).toObject();
    if (!purge && !data.value(Field::body).isString())
        return fail(Value::failed, QStringLiteral("data with a body is required"), 400);
    if (!storable(data.value(Field::body).toString()) || !storable(data.value(Field::notebookId).toString()))
        return fail(Value::failed, QStringLiteral("text holds a NUL character"), 400);
    const auto found = batch.note(id);
    if (!found)
        return notStored(id, storageFailed);
    const std::optional<NoteRow> &stored = *found;
    if (stored && stored->purged)
        return fail(Value::purgedStatus, QStringLiteral("the note was purged"), 410);
    if (purge && !stored) {
        QJsonObject r = rowResult(id, Value::ok);
        r.insert(Field::version, 0);
        return r;
    }

    QString notebookId = data.value(Field::notebookId).toString();
    QString body = data.value(Field::body).toString();
    const qint64 now = nowMs();
    const bool remove = action == QLatin1String(Value::remove);
    std::optional<qint64> deletedAt;
    if (remove || (data.contains(Field::deletedAt) && !data.value(Field::deletedAt).isNull()))
        deletedAt = msField(data, Field::deletedAt, now);
    qint64 modifiedAt = msField(data, Field::modifiedAt, now);
    const bool sentDeleted = deletedAt.has_value();
    bool merged = false;
    if (stored) {
        const auto permission = batch.notePermission(c.userId, stored->ownerId, id, stored->notebookId);
        if (!permission)
            return notStored(id, storageFailed);
        if (*permission == Permission::None)
            return fail(Value::failed, QStringLiteral("not found"), 404);
        if (*permission == Permission::View) {
            if (remove)
                return leaveShare(s, batch, c, *stored, stamps, storageFailed);
            return fail(Value::failed, QStringLiteral("this note is shared read-only"), 403);
        }
        if (purge && *permission != Permission::Owner)
            return fail(Value::failed, QStringLiteral("only the owner purges a note"), 403);
        const QJsonValue base = change.value(Field::baseVersion);
        if (!base.isUndefined() && !base.isNull()) {
            const qint64 baseVersion = base.toInteger(-1);
            std::optional<NoteVersionRow> baseFields;
            if (baseVersion != stored->version) {
                // The versions this push recorded are asked for too.
                if (!batch.flush())
                    return notStored(id, storageFailed);
                auto kept = NoteStore(*s.db).version(id, baseVersion);
                if (!kept)
                    return notStored(id, storageFailed);
                baseFields = *kept;
            }
            // A purge over an edit made elsewhere is refused: the edit survives and comes back.
            if (baseVersion != stored->version && (purge || !baseFields))
                return fail(Value::conflict, QStringLiteral("based on version %1 but the server has %2")
                                                 .arg(baseVersion).arg(stored->version), 409);
            if (baseFields) {
                const NoteFields baseNote{baseFields->bodyHash, baseFields->notebookId, baseFields->deleted};
                const NoteFields storedFields{bodyHash(stored->body), stored->notebookId, stored->deletedAt.has_value(),
                                              stored->modifiedAt, stored->deletedAt.value_or(0)};
                const NoteFields pushedFields{bodyHash(body), notebookId, deletedAt.has_value(), modifiedAt,
                                              deletedAt.value_or(0)};
                const FieldMerge m = mergeFields(baseNote, storedFields, pushedFields);
                if (m.conflict)
                    return fail(Value::conflict, QStringLiteral("the body changed on the server since version %1")
                                                     .arg(baseVersion), 409);
                if (!m.takeBody) {
                    body = stored->body;
                    modifiedAt = stored->modifiedAt;
                }
                notebookId = m.notebookId;
                deletedAt = !m.deleted ? std::nullopt : deletedAt ? deletedAt : stored->deletedAt;
                merged = body != data.value(Field::body).toString() || notebookId != data.value(Field::notebookId).toString()
                    || deletedAt.has_value() != sentDeleted;
            }
        } else if (change.value(Field::version).toInteger() <= stored->version) {
            return fail(Value::conflict, QStringLiteral("version %1 is not newer than the server's %2")
                                             .arg(change.value(Field::version).toInteger()).arg(stored->version), 409);
        }
        if (purge)
            return purgeOne(s, batch, *stored, stamps, removedFiles, storageFailed);
        if (*permission != Permission::Owner)
            notebookId = stored->notebookId; // only the owner files a note elsewhere
    }
    std::optional<NotebookRow> notebook;
    if (!notebookId.isEmpty()) {
        const auto nb = batch.notebook(notebookId);
        if (!nb)
            return notStored(id, storageFailed);
        notebook = *nb;
    }
    if (notebook && notebookId != (stored ? stored->notebookId : QString())) {
        const auto p = batch.notebookPermission(c.userId, notebook->ownerId, notebookId);
        if (!p)
            return notStored(id, storageFailed);
        if (*p != Permission::Owner && *p != Permission::Edit)
            return fail(Value::failed, QStringLiteral("notebook not found"), 404);
    }
    // One rule for every device: a note filed in a deleted notebook is in none.
    if (notebook && notebook->deleted()) {
        notebookId.clear();
        merged = true;
    }
    const NoteRow row{id, stored ? stored->ownerId : c.userId, notebookId, body, (stored ? stored->version : 0) + 1,
                      stored ? stored->createdAt : msField(data, Field::createdAt, now), msField(data, Field::updatedAt, now),
                      modifiedAt, deletedAt, false};
    // Readers of the old notebook learn that the note left it.
    auto readers = batch.noteReaders(row.ownerId, id, notebookId);
    if (readers && stored && stored->notebookId != notebookId) {
        const auto former = batch.noteReaders(row.ownerId, id, stored->notebookId);
        readers = former ? StoreResult<QSet<QString>>(readers->unite(*former)) : storeFailure;
    }
    if (!readers || !stamps.feedNote(*readers, id))
        return notStored(id, storageFailed);
    batch.write(row, {bodyHash(body), notebookId, deletedAt.has_value()});
    QJsonObject result = rowResult(id, Value::ok);
    result.insert(Field::version, row.version);
    // The stored row differs from the one sent: the device takes it from its next pull.
    if (merged)
        result.insert(Field::merged, true);
    return result;
}

void push(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    if (req.body.size() > size_t(pushMaxBytes))
        return replyError(res, 413, QStringLiteral("a push carries at most 32 MB"));
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QJsonValue changes = body->value(VelmWire::Field::changes);
    if (!changes.isArray())
        return replyError(res, 400, QStringLiteral("changes must be an array"));
    const QJsonArray list = changes.toArray();
    if (list.size() > pushMaxChanges)
        return replyError(res, 413, QStringLiteral("a push carries at most %1 changes").arg(pushMaxChanges));
    for (const QJsonValue &v : list)
        if (!v.isObject())
            return replyError(res, 400, QStringLiteral("every change must be an object"));

    QStringList noteIds, notebookIds;
    for (const QJsonValue &v : list) {
        const QJsonObject change = v.toObject();
        const QString id = change.value(VelmWire::Field::entityId).toString();
        if (isPlainId(id))
            noteIds.append(id);
        const QString notebookId = change.value(VelmWire::Field::data).toObject().value(VelmWire::Field::notebookId).toString();
        if (!notebookId.isEmpty() && storable(notebookId))
            notebookIds.append(notebookId);
    }
    noteIds.removeDuplicates();
    notebookIds.removeDuplicates();

    Tx tx(*s.db);
    StampBook stamps(*s.db);
    PushBatch batch(*s.db);
    if (!tx.ok())
        return replyError(res, 503, QStringLiteral("try again"));
    // The user's row first: pushes of one account take it in turn, as before.
    if (!stamps.lock({c.userId}) || !batch.load(noteIds, notebookIds))
        return replyStoreFailure(res);
    QJsonArray results;
    QStringList removedFiles;
    bool storageFailed = false;
    for (const QJsonValue &v : list)
        results.append(pushOne(s, batch, c, v.toObject(), stamps, &removedFiles, &storageFailed));
    // All or nothing: a half-written push would leave versions the client never learns.
    if (storageFailed || !batch.flush() || !stamps.save())
        return replyStoreFailure(res);
    if (!tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    removeAttachmentContents(s, removedFiles);
    if (s.plannerStats)
        s.plannerStats->written(list.size());
    recordDevice(s, c, req);
    replyJson(res, 200, QJsonObject{{VelmWire::Field::results, results}});
}

void pull(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    using namespace VelmWire::Field;
    const std::optional<qint64> sinceArg = sinceParam(req, res);
    if (!sinceArg)
        return;
    const qint64 since = *sinceArg;
    ShareStore shares(*s.db);
    // Read the committed stamp first: every stamp up to it is already visible below.
    const auto committed = committedCursor(*s.db, c.userId);
    const auto fed = committed ? NoteStore(*s.db).fedTo(c.userId, since, pullPageSize + 1)
                               : StoreResult<QList<FedNote>>(storeFailure);
    if (!fed)
        return replyStoreFailure(res);
    std::optional<ReceivedAccess> access;
    std::optional<QSet<QString>> ownShared;
    QJsonArray list;
    qint64 last = since;
    const bool more = fed->size() > pullPageSize;
    for (const FedNote &f : *fed) {
        if (list.size() == pullPageSize)
            break;
        last = f.stamp;
        const NoteRow &n = f.note;
        if (n.id.isEmpty())
            continue;
        Permission p = Permission::Owner;
        if (n.ownerId != c.userId) {
            if (!access) {
                auto received = shares.received(c.userId);
                if (!received)
                    return replyStoreFailure(res);
                access = std::move(*received);
            }
            p = access->of(n.id, n.notebookId);
        }
        QJsonObject change{{id, n.id},
                           {notebookId, n.notebookId},
                           {body, n.body},
                           {version, n.version},
                           {createdAt, n.createdAt},
                           {updatedAt, n.updatedAt},
                           {modifiedAt, n.modifiedAt},
                           {deletedAt, n.deletedAt ? QJsonValue(*n.deletedAt) : QJsonValue()},
                           {ownerId, n.ownerId},
                           {isShared, n.ownerId != c.userId},
                           {permission, VelmWire::permissionName(p)}};
        if (n.ownerId == c.userId) {
            if (!ownShared) {
                auto mine = shares.sharedBy(c.userId);
                if (!mine)
                    return replyStoreFailure(res);
                ownShared = std::move(*mine);
            }
            if (ownShared->contains(n.id) || ownShared->contains(n.notebookId))
                change.insert(sharedByMe, true);
        }
        if (n.purged)
            change.insert(purged, true);
        if (p == Permission::None) {
            // No longer shared with the caller: it leaves their devices as a deletion.
            change.insert(body, QStringLiteral("[]"));
            change.insert(deletedAt, last);
        }
        list.append(change);
    }
    recordDevice(s, c, req);
    QJsonObject reply{{changes, list}, {timestamp, more ? last : std::max({since, *committed, last})}};
    if (more)
        reply.insert(hasMore, true);
    replyJson(res, 200, reply);
}

} // namespace

void addSyncRoutes(httplib::Server &http, Services &s)
{
    http.Get(base + VelmWire::Path::notebooks, authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        listNotebooks(s, c, res);
    }));
    http.Post(base + VelmWire::Path::notebooks, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        createNotebook(s, c, req, res);
    }));
    http.Put(base + VelmWire::Path::notebooks + "/" + idPattern, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        writeNotebook(s, c, req, res, false);
    }));
    http.Delete(base + VelmWire::Path::notebooks + "/" + idPattern, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        writeNotebook(s, c, req, res, true);
    }));
    http.Post(base + VelmWire::Path::push, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        push(s, c, req, res);
    }));
    http.Get(base + VelmWire::Path::pull, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        pull(s, c, req, res);
    }));
}

} // namespace VelmServer
