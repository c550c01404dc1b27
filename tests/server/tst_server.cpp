// Notes, notebooks, groups, shares and attachments through the sync and
// account APIs, over real HTTP against SQLite and then a throwaway PostgreSQL cluster.
#include "serversuite.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace VelmServerTest;

namespace {

QString uuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QJsonObject noteChange(const QString &id, qint64 version, const QString &body, const QJsonValue &base = {},
                       const QString &notebookId = {})
{
    QJsonObject data{{"body", body}, {"created_at", 1000}, {"updated_at", 2000}, {"modified_at", 3000}};
    if (!notebookId.isEmpty())
        data.insert("notebook_id", notebookId);
    QJsonObject change{{"entity_type", "note"}, {"entity_id", id}, {"action", "update"}, {"version", version}, {"data", data}};
    if (!base.isUndefined())
        change.insert("base_version", base);
    return change;
}

Api::Reply push(const Api &api, const QJsonArray &changes)
{
    return api.call("POST", "/notes/v1/sync/push", QJsonObject{{"changes", changes}});
}

// The first result of a push of one change.
QJsonObject pushOne(const Api &api, const QJsonObject &change)
{
    return push(api, {change}).json.value("results")[0].toObject();
}

// Pulls every page from since; returns the changes by id and moves since on.
QHash<QString, QJsonObject> pullAll(const Api &api, qint64 *since, int *pages = nullptr)
{
    QHash<QString, QJsonObject> seen;
    for (int page = 1;; ++page) {
        const auto r = api.call("GET", "/notes/v1/sync/pull?since=" + std::to_string(*since));
        if (r.status != 200)
            return {};
        for (const QJsonValue &v : r.json.value("changes").toArray())
            seen.insert(v.toObject().value("id").toString(), v.toObject());
        *since = r.json.value("timestamp").toInteger();
        if (pages)
            *pages = page;
        if (!r.json.value("has_more").toBool())
            return seen;
    }
}

QJsonObject pulled(const Api &api, const QString &id)
{
    qint64 since = 0;
    return pullAll(api, &since).value(id);
}

int listSize(const Api &api, const std::string &path, const char *key)
{
    return int(api.call("GET", path).json.value(QLatin1String(key)).toArray().size());
}

} // namespace

class TestServer : public ServerSuite
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(startServer(&error), qPrintable(error));
    }
    void cleanupTestCase() { stopServer(); }

    void groupsInvitesAndDevices()
    {
        Api owner = newUser("owner"), member = newUser("member");
        QCOMPARE(owner.call("GET", "/account/v1/group").status, 404);
        const auto code = owner.call("POST", "/account/v1/group/invite");
        QCOMPARE(code.status, 201);
        const auto byMail = owner.call("POST", "/account/v1/group/invite", {{"email", "someone@example.org"}});
        QCOMPARE(byMail.json.value("invited_email"), QJsonValue("someone@example.org"));
        const auto join = [&member](const Api::Reply &invite) {
            return member.call("POST", "/account/v1/group/join/" + invite.json.value("invite_code").toString().toStdString());
        };
        QCOMPARE(join(byMail).status, 404);
        QCOMPARE(join(code).status, 200);
        QCOMPARE(member.call("POST", "/account/v1/group/invite").status, 403);

        const QJsonObject group = owner.call("GET", "/account/v1/group").json;
        QCOMPARE(group.value("members").toArray().size(), 2);
        QCOMPARE(group.value("pending_invitations").toArray().size(), 1);
        const QJsonObject profile = member.call("GET", "/account/v1/profile").json.value("group").toObject();
        QCOMPARE(profile.value("member_count").toInt(), 2);
        QCOMPARE(profile.value("role"), QJsonValue("member"));
        // Claims follow the group after a refresh.
        const QJsonObject vlm = jwtPayload(refresh(owner.refresh).json.value("access_token").toString())
                                    .value("custom").toObject().value("vlm").toObject();
        QCOMPARE(vlm.value("group_id"), group.value("id"));
        QCOMPARE(vlm.value("role"), QJsonValue("owner"));

        member.call("GET", "/notes/v1/sync/pull", {},
                    {{"X-App-Id", "org.velmora.notes"}, {"X-App-Version", "1.0.4"}, {"X-Platform", "linux"}});
        const QJsonObject device = member.call("GET", "/account/v1/devices").json.value("devices")[0].toObject();
        QCOMPARE(device.value("platform"), QJsonValue("linux"));
        QCOMPARE(device.value("app_version"), QJsonValue("1.0.4"));
        const std::string devicePath = "/account/v1/devices/" + device.value("id").toString().toStdString();
        QCOMPARE(owner.call("DELETE", devicePath).status, 404);
        QCOMPARE(member.call("DELETE", devicePath).status, 200);

        // One row per installation of the same system, named after its computer
        // until the user names it otherwise.
        const auto install = [](const std::string &id, const std::string &host) {
            return httplib::Headers{{"X-App-Id", "org.velmora.notes"}, {"X-Platform", "linux"},
                                    {"X-Device-Id", id}, {"X-Device-Name", host}};
        };
        for (const auto &[id, host] : {std::pair{"install-a", "desk%20one"}, {"install-b", "laptop"}, {"install-a", "x"}})
            member.call("GET", "/notes/v1/sync/pull", {}, install(id, host));
        const auto devices = [&] {
            return member.call("GET", "/account/v1/devices", {}, install("install-b", "laptop")).json.value("devices").toArray();
        };
        QCOMPARE(devices().size(), 2);
        QCOMPARE(devices()[0].toObject().value("device_name"), QJsonValue("desk one"));
        QCOMPARE(devices()[1].toObject().value("device_name"), QJsonValue("laptop"));
        QCOMPARE(devices()[1].toObject().value("is_current"), QJsonValue(true));
        QCOMPARE(devices()[0].toObject().value("is_current"), QJsonValue(false));
        const std::string desk = "/account/v1/devices/" + devices()[0].toObject().value("id").toString().toStdString();
        QCOMPARE(owner.call("PATCH", desk, {{"device_name", "Study"}}).status, 404);
        QCOMPARE(member.call("PATCH", desk, {{"device_name", " "}}).status, 400);
        QCOMPARE(member.call("PATCH", desk, {{"device_name", "Study"}}).status, 200);
        member.call("GET", "/notes/v1/sync/pull", {}, install("install-a", "desk%20one"));
        QCOMPARE(devices()[0].toObject().value("device_name"), QJsonValue("Study"));

        const std::string invitation = "/account/v1/group/invitations/" + byMail.json.value("id").toString().toStdString();
        QCOMPARE(owner.call("DELETE", invitation).status, 200);
        QCOMPARE(member.call("POST", "/account/v1/group/leave").status, 200);
        QCOMPARE(listSize(owner, "/account/v1/group", "members"), 1);
        QCOMPARE(member.call("DELETE", "/account/v1/profile").status, 200);
        QCOMPARE(member.call("GET", "/account/v1/profile").status, 401);
    }

    void notebooks()
    {
        Api a = newUser(), b = newUser();
        const QString id = uuid();
        const std::string path = "/notes/v1/notebooks/" + id.toStdString();
        const auto created = a.call("POST", "/notes/v1/notebooks", {{"id", id}, {"name", "Work"}});
        QCOMPARE(created.status, 201);
        QCOMPARE(created.json.value("version").toInt(), 1);
        QCOMPARE(a.call("POST", "/notes/v1/notebooks", {{"id", id}, {"name", "Work"}}).status, 200);
        QCOMPARE(a.call("PUT", path, {{"name", "Jobs"}, {"version", 1}}).json.value("version").toInt(), 2);
        QCOMPARE(a.call("PUT", "/notes/v1/notebooks/" + uuid().toStdString(), {{"name", "x"}}).status, 404);

        const QJsonObject nb = a.call("GET", "/notes/v1/notebooks").json.value("notebooks")[0].toObject();
        QCOMPARE(nb.value("name"), QJsonValue("Jobs"));
        QCOMPARE(nb.value("is_shared"), QJsonValue(false));
        QVERIFY(nb.value("created_at").isDouble());
        QCOMPARE(listSize(b, "/notes/v1/notebooks", "notebooks"), 0);
        QCOMPARE(a.call("DELETE", path).status, 200);
        QCOMPARE(listSize(a, "/notes/v1/notebooks", "notebooks"), 0);
        QCOMPARE(a.call("DELETE", path).status, 404);
    }

    void conflicts_data()
    {
        QTest::addColumn<QJsonValue>("base");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("status");
        QTest::newRow("base matches") << QJsonValue(1) << 1 << "ok";
        QTest::newRow("base is stale") << QJsonValue(0) << 9 << "conflict";
        QTest::newRow("base null, newer version") << QJsonValue() << 5 << "ok";
        QTest::newRow("no base, newer version") << QJsonValue(QJsonValue::Undefined) << 2 << "ok";
        QTest::newRow("no base, same version") << QJsonValue(QJsonValue::Undefined) << 1 << "conflict";
        QTest::newRow("no base, older version") << QJsonValue(QJsonValue::Undefined) << 0 << "conflict";
    }
    void conflicts()
    {
        QFETCH(QJsonValue, base);
        QFETCH(int, version);
        QFETCH(QString, status);
        const Api a = newUser();
        const QString id = uuid();
        QCOMPARE(pushOne(a, noteChange(id, 1, "[]")).value("version").toInt(), 1);
        const QJsonObject result = pushOne(a, noteChange(id, version, "second", base));
        QCOMPARE(result.value("entity_id").toString(), id);
        QCOMPARE(result.value("status").toString(), status);
        QCOMPARE(result.contains("message"), status == "conflict");
        const QJsonObject stored = pulled(a, id);
        QCOMPARE(stored.value("version").toInt(), status == "ok" ? 2 : 1);
        QCOMPARE(stored.value("body").toString(), status == "ok" ? QStringLiteral("second") : QStringLiteral("[]"));
    }

    // A push is read and written in batches: changes to one note later in the
    // same push must see what the earlier ones wrote.
    void oneNoteSeveralTimesInOnePush_data()
    {
        QTest::addColumn<bool>("storedFirst");
        QTest::addColumn<QJsonArray>("changes");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("trashed");
        QJsonObject purge{{"entity_type", "note"}, {"action", "purge"}, {"base_version", 1}};
        QJsonObject trashOnV1 = noteChange({}, 0, "a", 1);
        trashOnV1["data"] = QJsonObject{{"body", "a"}, {"created_at", 1000}, {"deleted_at", 4242}};
        QTest::newRow("new, then edited") << false << QJsonArray{noteChange({}, 1, "a"), noteChange({}, 0, "b", 1)}
                                          << QStringList{"ok", "ok"} << 2 << "b" << false;
        QTest::newRow("new, then purged") << false << QJsonArray{noteChange({}, 1, "a"), purge} << QStringList{"ok", "ok"}
                                          << 2 << "" << true;
        QTest::newRow("new, purged, then edited") << false
                                                  << QJsonArray{noteChange({}, 1, "a"), purge, noteChange({}, 0, "b", 2)}
                                                  << QStringList{"ok", "ok", "purged"} << 2 << "" << true;
        QTest::newRow("stored, edited twice") << true << QJsonArray{noteChange({}, 0, "b", 1), noteChange({}, 0, "c", 2)}
                                              << QStringList{"ok", "ok"} << 3 << "c" << false;
        QTest::newRow("stored, edited, then trashed on the older version")
            << true << QJsonArray{noteChange({}, 0, "b", 1), trashOnV1} << QStringList{"ok", "ok"} << 3 << "b" << true;
        QTest::newRow("new, edited, then trashed on the version this push made")
            << false << QJsonArray{noteChange({}, 1, "a"), noteChange({}, 0, "b", 1), trashOnV1}
            << QStringList{"ok", "ok", "ok"} << 3 << "b" << true;
        QTest::newRow("stale edit after an edit") << true
                                                  << QJsonArray{noteChange({}, 0, "b", 1), noteChange({}, 0, "c", 1)}
                                                  << QStringList{"ok", "conflict"} << 2 << "b" << false;
    }
    void oneNoteSeveralTimesInOnePush()
    {
        QFETCH(bool, storedFirst);
        QFETCH(QJsonArray, changes);
        QFETCH(QStringList, statuses);
        QFETCH(int, version);
        QFETCH(QString, body);
        QFETCH(bool, trashed);
        const Api a = newUser();
        const QString id = uuid();
        if (storedFirst)
            QCOMPARE(pushOne(a, noteChange(id, 1, "a")).value("status").toString(), QStringLiteral("ok"));
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            QJsonObject change = it->toObject();
            change["entity_id"] = id;
            *it = change;
        }
        const auto reply = push(a, changes);
        QCOMPARE(reply.status, 200);
        QStringList got;
        for (const QJsonValue &r : reply.json.value("results").toArray())
            got << r.toObject().value("status").toString();
        QCOMPARE(got, statuses);
        const QJsonObject stored = pulled(a, id);
        QCOMPARE(stored.value("version").toInt(), version);
        QCOMPARE(stored.value("body").toString(), body);
        QCOMPARE(!stored.value("deleted_at").isNull(), trashed);
        // The next push reads what this one left.
        const QJsonObject next = pushOne(a, noteChange(id, 0, "d", version));
        QCOMPARE(next.value("status").toString(), body.isEmpty() ? QStringLiteral("purged") : QStringLiteral("ok"));
    }

    // Right after a bulk upload PostgreSQL's statistics still describe the
    // empty tables and a feed page is planned as a sort of every row: the
    // server analyses them itself rather than waiting for autovacuum.
    void bulkUploadRefreshesPlannerStatistics()
    {
        if (!postgres)
            QSKIP("SQLite plans without statistics");
        QString error;
        const auto db = VelmServer::Db::open(m_h->dataDir(), databaseUrl(), &error);
        QVERIFY2(db, qPrintable(error));
        const auto analyses = [&db] {
            QSqlQuery q = db->query();
            return q.exec("SELECT analyze_count FROM pg_stat_user_tables WHERE relname = 'feed'") && q.next()
                ? q.value(0).toLongLong()
                : -1;
        };
        const qint64 before = analyses();
        QVERIFY(before >= 0);
        const Api a = newUser();
        QJsonArray changes;
        for (int i = 0; i < 1000; ++i)
            changes.append(noteChange(uuid(), 1, "bulk"));
        QCOMPARE(push(a, changes).status, 200);
        QTRY_VERIFY_WITH_TIMEOUT(analyses() > before, 10000);
    }

    // Lookups and writes go in chunks: a push longer than one chunk, of new
    // notes and edits mixed, keeps every row.
    void pushesLongerThanAChunkKeepEveryRow()
    {
        const Api a = newUser();
        QStringList ids;
        QJsonArray first;
        for (int i = 0; i < 150; ++i) {
            ids << uuid();
            first.append(noteChange(ids.last(), 1, QStringLiteral("first %1").arg(i)));
        }
        QCOMPARE(push(a, first).status, 200);
        QJsonArray second;
        for (int i = 0; i < 130; ++i)
            second.append(noteChange(ids.at(i * 150 / 130), 0, QStringLiteral("second %1").arg(i), 1));
        for (int i = 0; i < 70; ++i) {
            ids << uuid();
            second.append(noteChange(ids.last(), 1, "new"));
        }
        const auto reply = push(a, second);
        QCOMPARE(reply.status, 200);
        for (const QJsonValue &r : reply.json.value("results").toArray())
            QCOMPARE(r.toObject().value("status").toString(), QStringLiteral("ok"));
        qint64 since = 0;
        const auto all = pullAll(a, &since);
        QCOMPARE(all.size(), 220);
        for (int i = 0; i < 130; ++i) {
            const QJsonObject n = all.value(ids.at(i * 150 / 130));
            QCOMPARE(n.value("version").toInt(), 2);
            QCOMPARE(n.value("body").toString(), QStringLiteral("second %1").arg(i));
        }
        QCOMPARE(all.value(ids.last()).value("version").toInt(), 1);
    }

    // One row the database cannot hold is refused alone, with 400, on both back ends.
    void unstorableRowsAreRefusedAlone_data()
    {
        QTest::addColumn<QJsonObject>("data");
        QTest::newRow("NUL in the body") << QJsonObject{{"body", QStringLiteral("a") + QChar(0) + "b"}};
        QTest::newRow("NUL in the notebook") << QJsonObject{{"body", "[]"}, {"notebook_id", QString(QChar(0))}};
        QTest::newRow("no data") << QJsonObject();
        QTest::newRow("no body") << QJsonObject{{"created_at", 1000}};
    }
    void unstorableRowsAreRefusedAlone()
    {
        QFETCH(QJsonObject, data);
        const Api a = newUser();
        const QString bad = uuid(), good = uuid();
        QJsonObject refused = noteChange(bad, 1, "[]");
        refused["data"] = data;
        const auto reply = a.call("POST", "/notes/v1/sync/push",
                                  {{"changes", QJsonArray{refused, noteChange(good, 1, "kept")}}});
        QCOMPARE(reply.status, 200);
        const QJsonArray results = reply.json.value("results").toArray();
        QCOMPARE(results.at(0).toObject().value("code").toInt(), 400);
        QCOMPARE(results.at(1).toObject().value("status").toString(), QStringLiteral("ok"));
        QVERIFY(pulled(a, bad).isEmpty());
        const QString name = QStringLiteral("Na") + QChar(0) + "me";
        QCOMPARE(a.call("POST", "/notes/v1/notebooks", {{"id", uuid()}, {"name", name}}).status, 400);
    }

    void deletionsArePulledAsTombstones()
    {
        const Api a = newUser();
        const QString id = uuid();
        push(a, {noteChange(id, 1, "body")});
        qint64 since = 0;
        const QJsonObject live = pullAll(a, &since).value(id);
        QVERIFY(live.value("deleted_at").isNull());
        QCOMPARE(live.value("permission"), QJsonValue("owner"));
        QCOMPARE(live.value("created_at").toInteger(), 1000);

        QJsonObject del = noteChange(id, 2, "body", 1);
        del["action"] = "delete";
        del["data"] = QJsonObject{{"body", "body"}, {"created_at", 1000}, {"deleted_at", 4242}};
        QCOMPARE(pushOne(a, del).value("status"), QJsonValue("ok"));
        const auto changes = pullAll(a, &since);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.value(id).value("deleted_at").toInteger(), 4242);
        QCOMPARE(changes.value(id).value("version").toInt(), 2);
    }

    void sharesGiveViewAndEditAccess()
    {
        const Api owner = newUser("owner"), member = newUser("member"), stranger = newUser();
        const QString memberId = joinGroup(owner, member);
        const QString note = uuid();
        push(owner, {noteChange(note, 1, "mine")});
        const std::string shares = "/notes/v1/shares/notes/" + note.toStdString();
        const auto share = [&](const Api &by, const QString &with, const char *permission) {
            return by.call("POST", shares, {{"account_id", with}, {"permission", permission}}).status;
        };
        QCOMPARE(share(owner, idOf(stranger), "view"), 400);
        QCOMPARE(share(member, memberId, "edit"), 404);
        QCOMPARE(share(owner, memberId, "view"), 201);
        const QJsonObject listed = owner.call("GET", shares).json.value("shares")[0].toObject();
        QCOMPARE(listed.value("shared_with_account_id").toString(), memberId);
        QCOMPARE(listed.value("shared_with_email"), member.call("GET", "/account/v1/profile").json.value("email"));

        qint64 since = 0;
        QJsonObject seen = pullAll(member, &since).value(note);
        QCOMPARE(seen.value("is_shared"), QJsonValue(true));
        QCOMPARE(seen.value("permission"), QJsonValue("view"));
        QCOMPARE(seen.value("owner_id").toString(), idOf(owner));
        QCOMPARE(pushOne(member, noteChange(note, 2, "theirs", 1)).value("status"), QJsonValue("error"));
        share(owner, memberId, "edit");
        QCOMPARE(pushOne(member, noteChange(note, 2, "theirs", 1)).value("status"), QJsonValue("ok"));
        QCOMPARE(pulled(owner, note).value("body"), QJsonValue("theirs"));

        QCOMPARE(owner.call("DELETE", shares + "/" + memberId.toStdString()).status, 200);
        seen = pullAll(member, &since).value(note);
        QVERIFY(!seen.value("deleted_at").isNull());
        QCOMPARE(seen.value("body"), QJsonValue("[]"));

        // A shared notebook brings its notes and itself.
        const QString nb = uuid(), inside = uuid();
        owner.call("POST", "/notes/v1/notebooks", {{"id", nb}, {"name", "Team"}});
        push(owner, {noteChange(inside, 1, "team note", {}, nb)});
        const std::string nbPath = "/notes/v1/notebooks/" + nb.toStdString();
        QCOMPARE(owner.call("POST", nbPath + "/share", {{"account_id", memberId}, {"permission", "view"}}).status, 201);
        QCOMPARE(listSize(owner, nbPath + "/shares", "shares"), 1);
        QCOMPARE(member.call("GET", "/notes/v1/notebooks").json.value("notebooks")[0]["is_shared"], QJsonValue(true));
        QCOMPARE(pullAll(member, &since).value(inside).value("permission"), QJsonValue("view"));
        QCOMPARE(owner.call("DELETE", nbPath + "/shares/" + memberId.toStdString()).status, 200);
        QCOMPARE(listSize(member, "/notes/v1/notebooks", "notebooks"), 0);

        // Leaving the group ends the shares it allowed.
        share(owner, memberId, "edit");
        QVERIFY(pullAll(member, &since).value(note).value("deleted_at").isNull());
        QCOMPARE(member.call("POST", "/account/v1/group/leave").status, 200);
        QVERIFY(!pullAll(member, &since).value(note).value("deleted_at").isNull());
        QCOMPARE(listSize(owner, shares, "shares"), 0);
    }

    void otherUsersIdsAreNotFound()
    {
        const Api a = newUser(), b = newUser();
        const std::string note = uuid().toStdString(), nb = uuid().toStdString(), att = uuid().toStdString();
        push(a, {noteChange(QString::fromStdString(note), 1, "secret")});
        a.call("POST", "/notes/v1/notebooks", {{"id", QString::fromStdString(nb)}, {"name", "Private"}});
        const httplib::Headers auth{{"Authorization", "Bearer " + a.token.toStdString()}};
        const httplib::MultipartFormDataItems parts{{"note_id", note, "", ""}, {"id", att, "", ""},
                                                    {"file", "data", "a.txt", "text/plain"}};
        QCOMPARE(m_h->client()->Post("/notes/v1/attachments", auth, parts)->status, 201);

        const std::pair<const char *, std::string> requests[] = {
            {"PUT", "/notes/v1/notebooks/" + nb},       {"DELETE", "/notes/v1/notebooks/" + nb},
            {"GET", "/notes/v1/notebooks/" + nb + "/shares"}, {"GET", "/notes/v1/shares/notes/" + note},
            {"POST", "/notes/v1/shares/notes/" + note}, {"GET", "/notes/v1/attachments/" + att},
            {"POST", "/notes/v1/notebooks"},
        };
        for (const auto &[method, path] : requests) {
            const auto reply = b.call(method, path, {{"id", QString::fromStdString(nb)}, {"name", "mine now"},
                                                     {"account_id", idOf(b)}, {"permission", "edit"}});
            QVERIFY2(reply.status == 404 && reply.json.value("error").isString(), (method + (" " + path)).c_str());
        }
        QCOMPARE(pushOne(b, noteChange(QString::fromStdString(note), 9, "stolen")).value("status"), QJsonValue("error"));
        QVERIFY(pulled(b, QString::fromStdString(note)).isEmpty());
        QCOMPARE(listSize(b, "/notes/v1/attachments", "attachments"), 0);
        QCOMPARE(pulled(a, QString::fromStdString(note)).value("body"), QJsonValue("secret"));
    }

    void attachmentsUploadListDownload()
    {
        const Api a = newUser();
        const QString note = uuid(), att = uuid();
        push(a, {noteChange(note, 1, "with file")});
        const httplib::Headers auth{{"Authorization", "Bearer " + a.token.toStdString()}};
        const std::string bytes("\x00\x01binary\xff", 9);
        const auto upload = [&](const QString &id, const QString &noteId, const std::string &content) {
            const httplib::MultipartFormDataItems parts{{"note_id", noteId.toStdString(), "", ""},
                                                        {"id", id.toStdString(), "", ""},
                                                        {"file", content, "pic.png", "image/png"}};
            return m_h->client()->Post("/notes/v1/attachments", auth, parts)->status;
        };
        QCOMPARE(upload("../escape", note, bytes), 400);
        QCOMPARE(upload(att, uuid(), bytes), 404);
        QCOMPARE(upload(att, note, std::string(1536 * 1024, 'x')), 413);
        QCOMPARE(upload(att, note, bytes), 201);

        const auto list = a.call("GET", "/notes/v1/attachments?since=0");
        const QJsonObject item = list.json.value("attachments")[0].toObject();
        QCOMPARE(item.value("id").toString(), att);
        QCOMPARE(item.value("note_id").toString(), note);
        QCOMPARE(item.value("filename"), QJsonValue("pic.png"));
        QCOMPARE(item.value("mime_type"), QJsonValue("image/png"));
        QCOMPARE(item.value("size_bytes").toInt(), 9);
        const std::string later = "/notes/v1/attachments?since=" + std::to_string(list.json.value("timestamp").toInteger());
        QCOMPARE(listSize(a, later, "attachments"), 0);

        const auto raw = m_h->client()->Get("/notes/v1/attachments/" + att.toStdString(), auth);
        QCOMPARE(raw->status, 200);
        QVERIFY(raw->body == bytes);
        QCOMPARE(raw->get_header_value("Content-Type"), std::string("image/png"));
        const QByteArray sha256 = QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256);
        QCOMPARE(raw->get_header_value("Digest"), "sha-256=" + sha256.toBase64().toStdString());
        // A new upload replaces the file whole; refused ones leave nothing behind.
        QCOMPARE(upload(att, note, "second"), 201);
        QCOMPARE(m_h->client()->Get("/notes/v1/attachments/" + att.toStdString(), auth)->body, std::string("second"));
        QCOMPARE(QDir(m_h->dataDir() + "/attachments").entryList({".upload*"}, QDir::Files | QDir::Hidden), QStringList());
    }

    void pullPagesGzipAndPushLimits()
    {
        const Api a = newUser();
        for (int batch : {1000, 200}) {
            QJsonArray changes;
            for (int i = 0; i < batch; ++i)
                changes.append(noteChange(uuid(), 1, "n"));
            QCOMPARE(push(a, changes).status, 200);
        }
        qint64 since = 0;
        int pages = 0;
        QCOMPARE(pullAll(a, &since, &pages).size(), 1200);
        QCOMPARE(pages, 3);
        QCOMPARE(listSize(a, "/notes/v1/sync/pull?since=" + std::to_string(since), "changes"), 0);

        // Large JSON goes out gzipped to clients that take it, plain to others.
        auto client = m_h->client();
        client->set_decompress(false);
        for (const bool gzip : {true, false}) {
            httplib::Headers headers{{"Authorization", "Bearer " + a.token.toStdString()}};
            if (gzip)
                headers.emplace("Accept-Encoding", "gzip, deflate");
            const auto page = client->Get("/notes/v1/sync/pull", headers);
            QCOMPARE(page->get_header_value("Content-Encoding"), std::string(gzip ? "gzip" : ""));
            QCOMPARE(page->body.rfind("\x1f\x8b", 0) == 0, gzip);
        }

        QJsonArray tooMany;
        for (int i = 0; i < 1001; ++i)
            tooMany.append(noteChange(uuid(), 1, "n"));
        QCOMPARE(push(a, tooMany).status, 413);
    }

    void errorsAreJson_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("status");
        const QString push = "/notes/v1/sync/push";
        QTest::newRow("bad JSON") << "POST" << push << QByteArray("{\"changes\": [") << true << 400;
        QTest::newRow("array body") << "POST" << push << QByteArray("[]") << true << 400;
        QTest::newRow("changes not array") << "POST" << push << QByteArray("{\"changes\":1}") << true << 400;
        QTest::newRow("bad since") << "GET" << "/notes/v1/sync/pull?since=abc" << QByteArray() << true << 400;
        QTest::newRow("bad attachments since") << "GET" << "/notes/v1/attachments?since=1x" << QByteArray() << true << 400;
        QTest::newRow("unknown route") << "GET" << "/notes/v1/nothing" << QByteArray() << true << 404;
        QTest::newRow("no token") << "GET" << "/notes/v1/notebooks" << QByteArray() << false << 401;
    }
    void errorsAreJson()
    {
        QFETCH(QString, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(bool, signedIn);
        httplib::Headers headers;
        if (signedIn)
            headers.emplace("Authorization", "Bearer " + newUser().token.toStdString());
        auto client = m_h->client();
        const auto res = method == "GET" ? client->Get(path.toStdString(), headers)
                                         : client->Post(path.toStdString(), headers, body.toStdString(), "application/json");
        QVERIFY(res);
        QTEST(res->status, "status");
        QVERIFY(QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object().value("error").isString());
    }

    void concurrentPushesNeverHideRows()
    {
        const Api a = newUser();
        QSet<QString> pushedIds;
        std::vector<QJsonArray> batches(40);
        for (QJsonArray &changes : batches) {
            for (int i = 0; i < 10; ++i) {
                const QString id = uuid();
                pushedIds.insert(id);
                changes.append(noteChange(id, 1, "c"));
            }
        }
        std::atomic<int> writersLeft{2}, failures{0};
        const auto writer = [&](int first) {
            for (size_t b = size_t(first); b < batches.size(); b += 2)
                if (push(a, batches[b]).status != 200)
                    ++failures;
            --writersLeft;
        };
        QSet<QString> pulledIds;
        qint64 since = 0;
        std::thread w1(writer, 0), w2(writer, 1);
        std::thread reader([&] {
            for (bool last = false; !last;) {
                last = writersLeft == 0; // one more pull after both writers are done
                const auto page = pullAll(a, &since);
                for (auto it = page.cbegin(); it != page.cend(); ++it)
                    pulledIds.insert(it.key());
            }
        });
        w1.join();
        w2.join();
        reader.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(pulledIds, pushedIds);
    }

    void releasesAreServedWithoutEscaping()
    {
        QDir(m_h->releasesDir()).mkpath("notes/stable");
        QFile manifest(m_h->releasesDir() + "/notes/stable/latest.json");
        QVERIFY(manifest.open(QIODevice::WriteOnly) && manifest.write("{\"schema\":1}") > 0);
        manifest.close();
        auto client = m_h->client();
        QCOMPARE(client->Get("/releases/notes/stable/latest.json")->body, std::string("{\"schema\":1}"));
        QCOMPARE(client->Get("/releases/notes/stable/missing.json")->status, 404);
        QVERIFY(client->Get("/releases/../signing.key")->status != 200);
        QVERIFY(client->Get("/releases/%2e%2e/signing.key")->status != 200);
        QCOMPARE(client->Get("/healthz")->status, 200);
    }

    // A write the database refuses answers 500 and leaves what the caller sees as it was.
    void refusedWritesAnswer500_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<QString>("check");
        QTest::newRow("push: its feed rows") << "feed" << "INSERT" << "POST" << "/notes/v1/sync/push"
                                            << QJsonObject{{"changes", QJsonArray{noteChange(uuid(), 1, "n")}}}
                                            << "/notes/v1/sync/pull";
        QTest::newRow("new notebook") << "notebooks" << "INSERT" << "POST" << "/notes/v1/notebooks"
                                      << QJsonObject{{"id", uuid()}, {"name", "Work"}} << "/notes/v1/notebooks";
        QTest::newRow("display name") << "users" << "UPDATE" << "PATCH" << "/api/v1/realms/velmora/users/me"
                                      << QJsonObject{{"display_name", "Renamed"}} << "/api/v1/realms/velmora/users/me";
        QTest::newRow("first invitation founds a group") << "groups_" << "INSERT" << "POST" << "/account/v1/group/invite"
                                                         << QJsonObject() << "/account/v1/profile";
    }
    void refusedWritesAnswer500()
    {
        QFETCH(QString, table);
        QFETCH(QString, event);
        QFETCH(QString, method);
        QFETCH(QString, path);
        QFETCH(QJsonObject, body);
        QFETCH(QString, check);
        const Api a = newUser();
        const QJsonObject before = a.call("GET", check.toStdString()).json;
        QString error;
        const auto db = VelmServer::Db::open(m_h->dataDir(), databaseUrl(), &error);
        QVERIFY2(db, qPrintable(error));
        QSqlQuery q = db->query();
        const QStringList refuse = postgres
            ? QStringList{"CREATE OR REPLACE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql"
                          " AS $$BEGIN RAISE EXCEPTION 'refused'; END$$",
                          QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON %2 FOR EACH ROW EXECUTE FUNCTION refuse()")
                              .arg(event, table)}
            : QStringList{QStringLiteral("CREATE TRIGGER refuse BEFORE %1 ON %2 BEGIN SELECT RAISE(ABORT, 'refused'); END")
                              .arg(event, table)};
        for (const QString &sql : refuse)
            QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        const auto reply = a.call(method.toLatin1().constData(), path.toStdString(), body);
        QVERIFY2(q.exec(postgres ? "DROP TRIGGER refuse ON " + table : QStringLiteral("DROP TRIGGER refuse")),
                 qPrintable(q.lastError().text()));
        QCOMPARE(reply.status, 500);
        QCOMPARE(a.call("GET", check.toStdString()).json, before);
    }

    void restartKeepsEverything()
    {
        const Api a = newUser();
        const QString id = uuid();
        push(a, {noteChange(id, 1, "kept")});
        m_h->stop();
        QString error;
        QVERIFY2(m_h->start(databaseUrl(), &error), qPrintable(error));
        QCOMPARE(pulled(Api(m_h->port(), a.token), id).value("body"), QJsonValue("kept"));
    }
};

int main(int argc, char *argv[])
{
    return runOnBothBackends<TestServer>(argc, argv);
}

#include "tst_server.moc"
