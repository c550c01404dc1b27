#include "feed.h"
#include "notehistory.h"
#include "services.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonValue>
#include <QSet>

namespace VelmServer {

namespace {

const std::string base = "/notes/v1";
const char idPattern[] = "([A-Za-z0-9_-]{1,64})";

QJsonValue msOrNull(const QVariant &v)
{
    return v.isNull() ? QJsonValue() : QJsonValue(v.toLongLong());
}

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

struct NotebookRow
{
    QString id, ownerId, name;
    bool isDefault = false, deleted = false;
    qint64 version = 0, createdAt = 0, updatedAt = 0;
};

std::optional<NotebookRow> notebookRow(Db &db, const QString &id)
{
    QSqlQuery q = db.query();
    if (!db.run(q, QStringLiteral("SELECT id, owner_id, name, is_default, version, created_at, updated_at, deleted_at"
                                  " FROM notebooks WHERE id = ?"), {id}) || !q.next())
        return std::nullopt;
    return NotebookRow{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toInt() != 0,
                       !q.value(7).isNull(), q.value(4).toLongLong(), q.value(5).toLongLong(), q.value(6).toLongLong()};
}

QJsonObject notebookJson(const NotebookRow &n, const QString &userId, const QString &permission)
{
    return QJsonObject{{"id", n.id},           {"name", n.name},
                       {"is_default", n.isDefault}, {"is_shared", n.ownerId != userId},
                       {"owner_id", n.ownerId},  {"permission", permission},
                       {"version", n.version},   {"created_at", n.createdAt},
                       {"updated_at", n.updatedAt}};
}

void listNotebooks(Services &s, const Caller &c, httplib::Response &res)
{
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT n.id, n.owner_id, n.name, n.is_default, n.version, n.created_at, n.updated_at,"
                                " COALESCE(sh.permission, 'owner') FROM notebooks n LEFT JOIN shares sh ON sh.kind = 1"
                                " AND sh.item_id = n.id AND sh.user_id = ? WHERE n.deleted_at IS NULL"
                                " AND (n.owner_id = ? OR sh.user_id IS NOT NULL) ORDER BY n.created_at, n.id"),
              {c.userId, c.userId});
    QJsonArray list;
    while (q.next()) {
        const NotebookRow n{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toInt() != 0,
                            false, q.value(4).toLongLong(), q.value(5).toLongLong(), q.value(6).toLongLong()};
        list.append(notebookJson(n, c.userId, q.value(7).toString()));
    }
    replyJson(res, 200, QJsonObject{{"notebooks", list}});
}

void createNotebook(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QString id = body->value("id").toString();
    const QString name = body->value("name").toString();
    if (!isPlainId(id) || name.isEmpty() || name.size() > maxNameLength)
        return replyError(res, 400, QStringLiteral("id and a name of at most %1 characters are required").arg(maxNameLength));
    if (!storable(name))
        return replyError(res, 400, QStringLiteral("name holds a NUL character"));
    Tx tx(*s.db);
    if (const auto existing = notebookRow(*s.db, id)) {
        // A repeated create of one's own notebook (a lost reply) answers as the first did.
        if (existing->ownerId != c.userId)
            return replyError(res, 404, QStringLiteral("not found"));
        return replyJson(res, 200, notebookJson(*existing, c.userId, QStringLiteral("owner")));
    }
    const qint64 now = nowMs();
    QSqlQuery q = s.db->query();
    const NotebookRow n{id, c.userId, name, body->value("is_default").toBool(), false, 1, now, now};
    if (!s.db->run(q, QStringLiteral("INSERT INTO notebooks (id, owner_id, name, is_default, version, created_at, updated_at)"
                                     " VALUES (?, ?, ?, ?, 1, ?, ?)"), {id, c.userId, name, n.isDefault ? 1 : 0, now, now})
        || !tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, 201, notebookJson(n, c.userId, QStringLiteral("owner")));
}

void writeNotebook(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res, bool remove)
{
    const auto body = remove ? std::optional<QJsonObject>(QJsonObject()) : jsonBody(req, res);
    if (!body)
        return;
    Tx tx(*s.db);
    auto n = notebookRow(*s.db, pathArg(req, 1));
    const QString permission = n ? notebookPermission(*s.db, c.userId, n->ownerId, n->id) : QString();
    if (permission.isEmpty() || (remove && n->deleted))
        return replyError(res, 404, QStringLiteral("not found"));
    if (permission == QLatin1String("view") || (remove && permission != QLatin1String("owner")))
        return replyError(res, 403, QStringLiteral("this notebook is read-only for you"));
    const QString name = body->value("name").toString();
    if (!remove && (name.isEmpty() || name.size() > maxNameLength))
        return replyError(res, 400, QStringLiteral("a name of at most %1 characters is required").arg(maxNameLength));
    if (!storable(name))
        return replyError(res, 400, QStringLiteral("name holds a NUL character"));
    n->version += 1;
    n->updatedAt = nowMs();
    QSqlQuery q = s.db->query();
    const bool ok = remove
        ? s.db->run(q, QStringLiteral("UPDATE notebooks SET deleted_at = ?, version = ?, updated_at = ? WHERE id = ?"),
                    {n->updatedAt, n->version, n->updatedAt, n->id})
        : s.db->run(q, QStringLiteral("UPDATE notebooks SET name = ?, deleted_at = NULL, version = ?, updated_at = ? WHERE id = ?"),
                    {name, n->version, n->updatedAt, n->id});
    StampBook stamps(*s.db);
    if (remove && !(ok && releaseNotebookNotes(*s.db, stamps, n->id, n->updatedAt) && stamps.save()))
        return replyError(res, 503, QStringLiteral("try again"));
    if (!ok || !tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    n->name = remove ? n->name : name;
    replyJson(res, 200, notebookJson(*n, c.userId, permission));
}

struct StoredNote
{
    QString ownerId, notebookId, body;
    qint64 version = 0, createdAt = 0, modifiedAt = 0;
    std::optional<qint64> deletedAt;
    bool purged = false;
};

// The note and its attachments go; a tombstone stays for the devices that still hold it.
QJsonObject purgeOne(Services &s, const QString &id, const StoredNote &stored, StampBook &stamps,
                     QStringList *removedFiles, bool *storageFailed)
{
    QSqlQuery q = s.db->query();
    const qint64 now = nowMs();
    const QSet<QString> readers = noteReaders(*s.db, stored.ownerId, id, stored.notebookId);
    QStringList attachments;
    bool ok = s.db->run(q, QStringLiteral("SELECT id FROM attachments WHERE note_id = ?"), {id});
    while (ok && q.next())
        attachments << q.value(0).toString();
    ok = ok
        && s.db->run(q, QStringLiteral("UPDATE notes SET body = '', notebook_id = '', version = ?, updated_at = ?,"
                                       " modified_at = ?, deleted_at = ?, purged = 1 WHERE id = ?"),
                     {stored.version + 1, now, now, now, id})
        && s.db->run(q, QStringLiteral("DELETE FROM attachments WHERE note_id = ?"), {id})
        && forgetNoteVersions(*s.db, id) && stamps.feedNote(readers, id);
    if (!ok) {
        *storageFailed = true;
        return QJsonObject{{"entity_id", id}, {"status", "error"}, {"message", QStringLiteral("not stored")}};
    }
    *removedFiles << attachments;
    return QJsonObject{{"entity_id", id}, {"status", "ok"}, {"version", stored.version + 1}};
}

// A recipient trashing a note shared with them read-only leaves its share: the
// note goes from all their devices and stays with its owner.
QJsonObject leaveShare(Services &s, const Caller &c, const QString &id, const StoredNote &stored, StampBook &stamps,
                       bool *storageFailed)
{
    QSqlQuery q = s.db->query();
    if (!s.db->run(q, QStringLiteral("SELECT 1 FROM shares WHERE kind = 1 AND item_id = ? AND user_id = ?"),
                   {stored.notebookId, c.userId}))
        *storageFailed = true;
    else if (q.next())
        return QJsonObject{{"entity_id", id}, {"status", "error"}, {"code", 403},
                           {"message", QStringLiteral("this note is shared read-only through its notebook")}};
    if (!s.db->run(q, QStringLiteral("DELETE FROM shares WHERE kind = 0 AND item_id = ? AND user_id = ?"), {id, c.userId})
        || !stamps.feedNote({c.userId}, id))
        *storageFailed = true;
    if (*storageFailed)
        return QJsonObject{{"entity_id", id}, {"status", "error"}, {"code", 503}, {"message", QStringLiteral("not stored")}};
    return QJsonObject{{"entity_id", id}, {"status", "left"}};
}

QJsonObject pushOne(Services &s, const Caller &c, const QJsonObject &change, StampBook &stamps, QStringList *removedFiles,
                    bool *storageFailed)
{
    const QString id = change.value("entity_id").toString();
    // code: the HTTP status this row alone would have had; 4xx never changes on a retry.
    const auto fail = [&id](const char *status, const QString &message, int code) {
        return QJsonObject{{"entity_id", id}, {"status", QLatin1String(status)}, {"message", message}, {"code", code}};
    };
    if (!isPlainId(id) || change.value("entity_type").toString(QStringLiteral("note")) != QLatin1String("note"))
        return fail("error", QStringLiteral("unsupported change"), 400);
    const QString action = change.value("action").toString(QStringLiteral("update"));
    const bool purge = action == QLatin1String("purge");
    const QJsonObject data = change.value("data").toObject();
    if (!purge && !data.value("body").isString())
        return fail("error", QStringLiteral("data with a body is required"), 400);
    if (!storable(data.value("body").toString()) || !storable(data.value("notebook_id").toString()))
        return fail("error", QStringLiteral("text holds a NUL character"), 400);
    QSqlQuery q = s.db->query();
    // The row lock makes a concurrent editor of a shared note see this version, not overwrite it.
    const QString select = QStringLiteral("SELECT owner_id, notebook_id, version, created_at, body, modified_at, deleted_at,"
                                          " purged FROM notes WHERE id = ?");
    s.db->run(q, s.db->kind() == Db::Kind::Postgres ? select + QStringLiteral(" FOR UPDATE") : select, {id});
    std::optional<StoredNote> stored;
    if (q.next())
        stored = StoredNote{q.value(0).toString(), q.value(1).toString(), q.value(4).toString(), q.value(2).toLongLong(),
                            q.value(3).toLongLong(), q.value(5).toLongLong(),
                            q.value(6).isNull() ? std::nullopt : std::optional<qint64>(q.value(6).toLongLong()),
                            q.value(7).toInt() != 0};
    if (stored && stored->purged)
        return fail("purged", QStringLiteral("the note was purged"), 410);
    if (purge && !stored)
        return QJsonObject{{"entity_id", id}, {"status", "ok"}, {"version", 0}};

    QString notebookId = data.value("notebook_id").toString();
    QString body = data.value("body").toString();
    const qint64 now = nowMs();
    const bool remove = action == QLatin1String("delete");
    std::optional<qint64> deletedAt;
    if (remove || (data.contains("deleted_at") && !data.value("deleted_at").isNull()))
        deletedAt = msField(data, "deleted_at", now);
    qint64 modifiedAt = msField(data, "modified_at", now);
    const bool sentDeleted = deletedAt.has_value();
    bool merged = false;
    if (stored) {
        const QString permission = notePermission(*s.db, c.userId, stored->ownerId, id, stored->notebookId);
        if (permission.isEmpty())
            return fail("error", QStringLiteral("not found"), 404);
        if (permission == QLatin1String("view")) {
            if (remove)
                return leaveShare(s, c, id, *stored, stamps, storageFailed);
            return fail("error", QStringLiteral("this note is shared read-only"), 403);
        }
        if (purge && permission != QLatin1String("owner"))
            return fail("error", QStringLiteral("only the owner purges a note"), 403);
        const QJsonValue base = change.value("base_version");
        if (!base.isUndefined() && !base.isNull()) {
            const qint64 baseVersion = base.toInteger(-1);
            const auto baseFields = baseVersion != stored->version ? noteVersion(*s.db, id, baseVersion) : std::nullopt;
            // A purge over an edit made elsewhere is refused: the edit survives and comes back.
            if (baseVersion != stored->version && (purge || !baseFields))
                return fail("conflict", QStringLiteral("based on version %1 but the server has %2")
                                            .arg(baseVersion).arg(stored->version), 409);
            if (baseFields) {
                const NoteFields storedFields{bodyHash(stored->body), stored->notebookId, stored->deletedAt.has_value(),
                                              stored->modifiedAt, stored->deletedAt.value_or(0)};
                const NoteFields pushedFields{bodyHash(body), notebookId, deletedAt.has_value(), modifiedAt,
                                              deletedAt.value_or(0)};
                const FieldMerge m = mergeFields(*baseFields, storedFields, pushedFields);
                if (m.conflict)
                    return fail("conflict", QStringLiteral("the body changed on the server since version %1")
                                                .arg(baseVersion), 409);
                if (!m.takeBody) {
                    body = stored->body;
                    modifiedAt = stored->modifiedAt;
                }
                notebookId = m.notebookId;
                deletedAt = !m.deleted ? std::nullopt : deletedAt ? deletedAt : stored->deletedAt;
                merged = body != data.value("body").toString() || notebookId != data.value("notebook_id").toString()
                    || deletedAt.has_value() != sentDeleted;
            }
        } else if (change.value("version").toInteger() <= stored->version) {
            return fail("conflict", QStringLiteral("version %1 is not newer than the server's %2")
                                        .arg(change.value("version").toInteger()).arg(stored->version), 409);
        }
        if (purge)
            return purgeOne(s, id, *stored, stamps, removedFiles, storageFailed);
        if (permission != QLatin1String("owner"))
            notebookId = stored->notebookId; // only the owner files a note elsewhere
    }
    if (!notebookId.isEmpty() && notebookId != (stored ? stored->notebookId : QString())) {
        if (const auto nb = notebookRow(*s.db, notebookId)) {
            const QString p = notebookPermission(*s.db, c.userId, nb->ownerId, notebookId);
            if (p != QLatin1String("owner") && p != QLatin1String("edit"))
                return fail("error", QStringLiteral("notebook not found"), 404);
        }
    }
    // One rule for every device: a note filed in a deleted notebook is in none.
    if (!notebookId.isEmpty()) {
        if (const auto nb = notebookRow(*s.db, notebookId); nb && nb->deleted) {
            notebookId.clear();
            merged = true;
        }
    }
    const QVariant deletedValue = deletedAt ? QVariant(*deletedAt) : QVariant(QMetaType(QMetaType::LongLong));
    const qint64 version = (stored ? stored->version : 0) + 1;
    const QString ownerId = stored ? stored->ownerId : c.userId;
    const qint64 createdAt = stored ? stored->createdAt : msField(data, "created_at", now);
    const bool written = stored
        ? s.db->run(q, QStringLiteral("UPDATE notes SET notebook_id = ?, body = ?, version = ?, updated_at = ?, modified_at = ?,"
                                      " deleted_at = ? WHERE id = ?"),
                    {notebookId, body, version, msField(data, "updated_at", now), modifiedAt, deletedValue, id})
        : s.db->run(q, QStringLiteral("INSERT INTO notes (id, owner_id, notebook_id, body, version, created_at, updated_at,"
                                      " modified_at, deleted_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                    {id, ownerId, notebookId, body, version, createdAt, msField(data, "updated_at", now), modifiedAt,
                     deletedValue});
    // Readers of the old notebook learn that the note left it.
    QSet<QString> readers = noteReaders(*s.db, ownerId, id, notebookId);
    if (stored && stored->notebookId != notebookId)
        readers.unite(noteReaders(*s.db, ownerId, id, stored->notebookId));
    if (!written || !recordNoteVersion(*s.db, id, version, {bodyHash(body), notebookId, deletedAt.has_value()})
        || !stamps.feedNote(readers, id)) {
        *storageFailed = true;
        return fail("error", QStringLiteral("not stored"), 503);
    }
    QJsonObject result{{"entity_id", id}, {"status", "ok"}, {"version", version}};
    // The stored row differs from the one sent: the device takes it from its next pull.
    if (merged)
        result.insert("merged", true);
    return result;
}

void push(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    if (req.body.size() > size_t(pushMaxBytes))
        return replyError(res, 413, QStringLiteral("a push carries at most 32 MB"));
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QJsonValue changes = body->value("changes");
    if (!changes.isArray())
        return replyError(res, 400, QStringLiteral("changes must be an array"));
    const QJsonArray list = changes.toArray();
    if (list.size() > pushMaxChanges)
        return replyError(res, 413, QStringLiteral("a push carries at most 1000 changes"));
    for (const QJsonValue &v : list)
        if (!v.isObject())
            return replyError(res, 400, QStringLiteral("every change must be an object"));

    Tx tx(*s.db);
    StampBook stamps(*s.db);
    if (!tx.ok() || !stamps.lock({c.userId}))
        return replyError(res, 503, QStringLiteral("try again"));
    QJsonArray results;
    QStringList removedFiles;
    bool storageFailed = false;
    for (const QJsonValue &v : list)
        results.append(pushOne(s, c, v.toObject(), stamps, &removedFiles, &storageFailed));
    // All or nothing: a half-written push would leave versions the client never learns.
    if (storageFailed || !stamps.save() || !tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    removeAttachmentContents(s, removedFiles);
    recordDevice(s, c, req);
    replyJson(res, 200, QJsonObject{{"results", results}});
}

// Access to every note the caller does not own, from their shares and notebooks.
struct AccessMap
{
    QHash<QString, QString> notes, notebooks;
    QString of(const QString &noteId, const QString &notebookId) const
    {
        const QString a = notes.value(noteId), b = notebooks.value(notebookId);
        if (a == QLatin1String("edit") || b.isEmpty())
            return a;
        return b == QLatin1String("edit") || a.isEmpty() ? b : a;
    }
};

AccessMap accessMap(Db &db, const QString &userId)
{
    AccessMap map;
    QSqlQuery q = db.query();
    db.run(q, QStringLiteral("SELECT kind, item_id, permission FROM shares WHERE user_id = ?"), {userId});
    while (q.next())
        (q.value(0).toInt() == 0 ? map.notes : map.notebooks).insert(q.value(1).toString(), q.value(2).toString());
    db.run(q, QStringLiteral("SELECT id FROM notebooks WHERE owner_id = ?"), {userId});
    while (q.next())
        map.notebooks.insert(q.value(0).toString(), QStringLiteral("edit"));
    return map;
}

// The caller's notes and notebooks that someone else may read.
QSet<QString> sharedByCaller(Db &db, const QString &userId)
{
    QSet<QString> ids;
    QSqlQuery q = db.query();
    // Driven by the shares, each looked up by key: listing the caller's notes
    // first made every pull with a change of theirs read all of them.
    db.run(q, QStringLiteral("SELECT s.item_id FROM shares s JOIN notes n ON n.id = s.item_id "
                             "WHERE s.kind = 0 AND n.owner_id = ? UNION ALL "
                             "SELECT s.item_id FROM shares s JOIN notebooks b ON b.id = s.item_id "
                             "WHERE s.kind = 1 AND b.owner_id = ?"),
           {userId, userId});
    while (q.next())
        ids.insert(q.value(0).toString());
    return ids;
}

void pull(Services &s, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    const std::optional<qint64> sinceArg = sinceParam(req, res);
    if (!sinceArg)
        return;
    const qint64 since = *sinceArg;
    // Read the committed stamp first: every stamp up to it is already visible below.
    const qint64 committed = committedStamp(*s.db, c.userId);
    QSqlQuery q = s.db->query();
    if (!s.db->run(q, QStringLiteral("SELECT f.stamp, n.id, n.notebook_id, n.body, n.version, n.created_at, n.updated_at,"
                                     " n.modified_at, n.deleted_at, n.owner_id, n.purged FROM feed f JOIN notes n ON n.id = f.note_id"
                                     " WHERE f.user_id = ? AND f.stamp > ? ORDER BY f.stamp LIMIT %1")
                                         .arg(pullPageSize + 1), {c.userId, since}))
        return replyError(res, 503, QStringLiteral("try again"));
    std::optional<AccessMap> access;
    std::optional<QSet<QString>> ownShared;
    QJsonArray changes;
    qint64 last = since;
    bool more = false;
    while (q.next()) {
        if (changes.size() == pullPageSize) {
            more = true;
            break;
        }
        last = q.value(0).toLongLong();
        const QString owner = q.value(9).toString();
        QString permission = QStringLiteral("owner");
        if (owner != c.userId) {
            if (!access)
                access = accessMap(*s.db, c.userId);
            permission = access->of(q.value(1).toString(), q.value(2).toString());
        }
        QJsonObject change{{"id", q.value(1).toString()},        {"notebook_id", q.value(2).toString()},
                           {"body", q.value(3).toString()},      {"version", q.value(4).toLongLong()},
                           {"created_at", q.value(5).toLongLong()}, {"updated_at", q.value(6).toLongLong()},
                           {"modified_at", q.value(7).toLongLong()}, {"deleted_at", msOrNull(q.value(8))},
                           {"owner_id", owner},                  {"is_shared", owner != c.userId},
                           {"permission", permission}};
        if (owner == c.userId) {
            if (!ownShared)
                ownShared = sharedByCaller(*s.db, c.userId);
            if (ownShared->contains(q.value(1).toString()) || ownShared->contains(q.value(2).toString()))
                change.insert("shared_by_me", true);
        }
        if (q.value(10).toInt() != 0)
            change.insert("purged", true);
        if (permission.isEmpty()) {
            // No longer shared with the caller: it leaves their devices as a deletion.
            change.insert("body", QStringLiteral("[]"));
            change.insert("deleted_at", last);
        }
        changes.append(change);
    }
    recordDevice(s, c, req);
    QJsonObject reply{{"changes", changes}, {"timestamp", more ? last : std::max({since, committed, last})}};
    if (more)
        reply.insert("has_more", true);
    replyJson(res, 200, reply);
}

} // namespace

void addSyncRoutes(httplib::Server &http, Services &s)
{
    http.Get(base + "/notebooks", authed(s, [&s](const Caller &c, const httplib::Request &, httplib::Response &res) {
        listNotebooks(s, c, res);
    }));
    http.Post(base + "/notebooks", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        createNotebook(s, c, req, res);
    }));
    http.Put(base + "/notebooks/" + idPattern, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        writeNotebook(s, c, req, res, false);
    }));
    http.Delete(base + "/notebooks/" + idPattern, authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        writeNotebook(s, c, req, res, true);
    }));
    http.Post(base + "/sync/push", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        push(s, c, req, res);
    }));
    http.Get(base + "/sync/pull", authed(s, [&s](const Caller &c, const httplib::Request &req, httplib::Response &res) {
        pull(s, c, req, res);
    }));
}

} // namespace VelmServer
