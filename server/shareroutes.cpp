#include "feed.h"
#include "services.h"

#include <QJsonArray>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcServer)

namespace VelmServer {

namespace {

const std::string base = "/notes/v1";

struct Item
{
    QString ownerId, notebookId;
};

// kind 0: a note, kind 1: a notebook.
std::optional<Item> item(Db &db, int kind, const QString &id)
{
    QSqlQuery q = db.query();
    const bool found = kind == 0
        ? db.run(q, QStringLiteral("SELECT owner_id, notebook_id FROM notes WHERE id = ?"), {id}) && q.next()
        : db.run(q, QStringLiteral("SELECT owner_id, '' FROM notebooks WHERE id = ? AND deleted_at IS NULL"), {id}) && q.next();
    if (!found)
        return std::nullopt;
    return Item{q.value(0).toString(), q.value(1).toString()};
}

QString permissionOn(Db &db, int kind, const QString &userId, const QString &id, const Item &it)
{
    return kind == 0 ? notePermission(db, userId, it.ownerId, id, it.notebookId)
                     : notebookPermission(db, userId, it.ownerId, id);
}

// The notes whose readers change when a share of the item changes.
QStringList notesOf(Db &db, int kind, const QString &id)
{
    if (kind == 0)
        return {id};
    QStringList ids;
    QSqlQuery q = db.query();
    db.run(q, QStringLiteral("SELECT id FROM notes WHERE notebook_id = ?"), {id});
    while (q.next())
        ids.append(q.value(0).toString());
    return ids;
}

void listShares(Services &s, int kind, const Caller &c, const QString &id, httplib::Response &res)
{
    const auto it = item(*s.db, kind, id);
    if (!it || permissionOn(*s.db, kind, c.userId, id, *it).isEmpty())
        return replyError(res, 404, QStringLiteral("not found"));
    QSqlQuery q = s.db->query();
    s.db->run(q, QStringLiteral("SELECT sh.id, u.id, u.email, u.display_name, sh.permission, sh.created_at FROM shares sh"
                                " JOIN users u ON u.id = sh.user_id WHERE sh.kind = ? AND sh.item_id = ? ORDER BY sh.created_at"),
              {kind, id});
    QJsonArray shares;
    while (q.next())
        shares.append(QJsonObject{{"id", q.value(0).toString()},
                                  {"shared_with_account_id", q.value(1).toString()},
                                  {"shared_with_email", q.value(2).toString()},
                                  {"shared_with_display_name", q.value(3).toString()},
                                  {"permission", q.value(4).toString()},
                                  {"created_at", q.value(5).toLongLong()}});
    replyJson(res, 200, QJsonObject{{"shares", shares}});
}

// Adds (permission non-empty) or removes a share, then feeds the item's notes
// to the member so their next pull brings or withdraws them.
void changeShare(Services &s, int kind, const Caller &c, const QString &id, const QString &memberKey,
                 const QString &permission, httplib::Response &res)
{
    Tx tx(*s.db);
    const auto it = item(*s.db, kind, id);
    const QString mine = it ? permissionOn(*s.db, kind, c.userId, id, *it) : QString();
    if (mine.isEmpty())
        return replyError(res, 404, QStringLiteral("not found"));
    if (mine != QLatin1String("owner"))
        return replyError(res, 403, QStringLiteral("only the owner shares this"));
    QSqlQuery q = s.db->query();
    QString member = memberKey;
    if (permission.isEmpty()) {
        s.db->run(q, QStringLiteral("SELECT user_id FROM shares WHERE kind = ? AND item_id = ? AND (user_id = ? OR id = ?)"),
                  {kind, id, memberKey, memberKey});
        if (!q.next())
            return replyError(res, 404, QStringLiteral("not found"));
        member = q.value(0).toString();
        if (!s.db->run(q, QStringLiteral("DELETE FROM shares WHERE kind = ? AND item_id = ? AND user_id = ?"), {kind, id, member}))
            return replyError(res, 503, QStringLiteral("try again"));
    } else {
        s.db->run(q, QStringLiteral("SELECT 1 FROM users a JOIN users b ON a.group_id = b.group_id WHERE a.id = ? AND b.id = ?"),
                  {c.userId, member});
        if (member == c.userId || !q.next())
            return replyError(res, 400, QStringLiteral("you can share only with other members of your group"));
        const bool ok = s.db->run(q, QStringLiteral("INSERT INTO shares (id, kind, item_id, user_id, permission, created_at)"
                                                    " VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (kind, item_id, user_id)"
                                                    " DO UPDATE SET permission = excluded.permission"),
                                  {newId(), kind, id, member, permission, nowMs()});
        if (!ok)
            return replyError(res, 503, QStringLiteral("try again"));
    }
    // The owner's devices learn that the item is shared, or no longer.
    StampBook stamps(*s.db);
    for (const QString &noteId : notesOf(*s.db, kind, id))
        if (!stamps.feedNote({member, c.userId}, noteId))
            return replyError(res, 503, QStringLiteral("try again"));
    if (!stamps.save() || !tx.commit())
        return replyError(res, 503, QStringLiteral("try again"));
    replyJson(res, permission.isEmpty() ? 200 : 201, QJsonObject{{"ok", true}});
}

void addShare(Services &s, int kind, const Caller &c, const httplib::Request &req, httplib::Response &res)
{
    const auto body = jsonBody(req, res);
    if (!body)
        return;
    const QString member = body->value("account_id").toString(body->value("auth_user_id").toString());
    const QString permission = body->value("permission").toString();
    if (member.isEmpty() || (permission != QLatin1String("view") && permission != QLatin1String("edit")))
        return replyError(res, 400, QStringLiteral("account_id and a permission of view or edit are required"));
    changeShare(s, kind, c, pathArg(req, 1), member, permission, res);
}

} // namespace

bool dropShares(Services &s, const QString &userId)
{
    QSqlQuery q = s.db->query();
    if (!s.db->run(q, QStringLiteral("SELECT sh.kind, sh.item_id, sh.user_id FROM shares sh"
                                     " LEFT JOIN notes n ON sh.kind = 0 AND n.id = sh.item_id"
                                     " LEFT JOIN notebooks b ON sh.kind = 1 AND b.id = sh.item_id"
                                     " WHERE sh.user_id = ? OR n.owner_id = ? OR b.owner_id = ?"), {userId, userId, userId}))
        return false;
    struct Share { int kind; QString item, user; };
    QList<Share> shares;
    while (q.next())
        shares.append({q.value(0).toInt(), q.value(1).toString(), q.value(2).toString()});
    StampBook stamps(*s.db);
    for (const Share &sh : shares) {
        if (!s.db->run(q, QStringLiteral("DELETE FROM shares WHERE kind = ? AND item_id = ? AND user_id = ?"),
                       {sh.kind, sh.item, sh.user}))
            return false;
        for (const QString &noteId : notesOf(*s.db, sh.kind, sh.item))
            if (!stamps.feedNote({sh.user}, noteId))
                return false;
    }
    return stamps.save();
}

void addShareRoutes(httplib::Server &http, Services &s)
{
    const std::string id = "([A-Za-z0-9_-]{1,64})";
    const struct { int kind; std::string list, add, remove; } routes[] = {
        {0, "/shares/notes/" + id, "/shares/notes/" + id, "/shares/notes/" + id + "/" + id},
        {1, "/notebooks/" + id + "/shares", "/notebooks/" + id + "/share", "/notebooks/" + id + "/shares/" + id},
    };
    for (const auto &r : routes) {
        const int kind = r.kind;
        http.Get(base + r.list, authed(s, [&s, kind](const Caller &c, const httplib::Request &req, httplib::Response &res) {
            listShares(s, kind, c, pathArg(req, 1), res);
        }));
        http.Post(base + r.add, authed(s, [&s, kind](const Caller &c, const httplib::Request &req, httplib::Response &res) {
            addShare(s, kind, c, req, res);
        }));
        http.Delete(base + r.remove, authed(s, [&s, kind](const Caller &c, const httplib::Request &req, httplib::Response &res) {
            changeShare(s, kind, c, pathArg(req, 1), pathArg(req, 2), QString(), res);
        }));
    }
}

} // namespace VelmServer
