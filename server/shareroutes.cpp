#include "feed.h"
#include "services.h"
#include "store/groupstore.h"
#include "store/notebookstore.h"
#include "store/notestore.h"
#include "store/sharestore.h"

#include <QJsonArray>
#include <QLoggingCategory>

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
    // The owner's devices learn that the item is shared, or no longer; the
    // member's, that a notebook came or went even when it holds no note.
    StampBook stamps(*s.db);
    const auto notes = notesOf(*s.db, kind, id);
    if (!notes || !stamps.touch({member, c.userId}))
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
        if (!notes || !shares.remove(sh.kind, sh.itemId, sh.userId) || !stamps.touch({sh.userId}))
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
}

} // namespace VelmServer
