// A note open on this device while another device edits it: the server's
// change feed brings the edit within moments, merged with the typing here and
// with the cursor where it was, and again after the server restarted.
#include "velmtest.h"

#include "appstatefixture.h"
#include "changefeed.h"
#include "database.h"
#include "delta.h"
#include "filetokenstore.h"
#include "noteeditor.h"
#include "notewindow.h"
#include "notewindowregistry.h"
#include "notewindows.h"
#include "serverharness.h"
#include "syncengine.h"

#include <QElapsedTimer>

using namespace VelmTest;

class TestLiveMerge : public QObject
{
    Q_OBJECT
private slots:
    void anEditElsewhereArrivesInTheOpenNote()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        VelmServerTest::Harness server;
        QString error;
        QVERIFY2(server.start(QString(), &error), qPrintable(error));
        const QByteArray url = "http://127.0.0.1:" + QByteArray::number(server.port());
        qputenv("AUTH_BASE_URL", url);
        qputenv("ACCOUNT_API_URL", url + "/account/v1");
        qputenv("SYNC_API_URL", url + "/notes/v1");
        const auto other = server.signIn("live@example.org", true);
        const auto here = server.signIn("live@example.org", false);
        const VelmServerTest::Api elsewhere(server.port(), other.access);
        const QString id = newId();
        QCOMPARE(VelmServerTest::pushBody(elsewhere, id, textDelta("first line\nsecond line")).status, 200);

        VelmAccount::FileTokenStore stored(Database::dataDirectory() + "/account-tokens.json");
        QVERIFY(stored.setValue(VelmAccount::TokenStore::accessTokenKey, here.access));
        QVERIFY(stored.setValue(VelmAccount::TokenStore::refreshTokenKey, here.refresh));
        AppState state;
        QVERIFY(state.initialize());
        installNoteWindowFactory(&state);
        QTRY_VERIFY_WITH_TIMEOUT(state.notes()->noteById(id).has_value(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(state.changeFeed()->isLive(), 10000);
        // Live changes leave the periodic cycle as a safety net only.
        QVERIFY(state.syncEngine()->interval() >= 30 * 60 * 1000);

        auto *window = qobject_cast<NoteWindow *>(NoteWindowRegistry::of(&state)->open(id));
        QVERIFY(window);
        NoteEditor *editor = window->editor();
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(5); // after "first"
        editor->setTextCursor(cursor);
        const auto onServer = [&] {
            const QJsonArray notes = elsewhere.call("GET", "/notes/v1/sync/pull").json.value("changes").toArray();
            for (const QJsonValue &n : notes)
                if (n.toObject().value("id").toString() == id)
                    return n.toObject();
            return QJsonObject();
        };
        const auto saveElsewhere = [&](const QString &lines) {
            const qint64 version = onServer().value("version").toInteger();
            QCOMPARE(VelmServerTest::pushBody(elsewhere, id, textDelta(lines), version).status, 200);
        };

        // Nothing typed here, no cycle due, the periodic one half an hour away: only the feed brings it.
        const auto quiet = [&] { return state.syncEngine()->state() != SyncEngine::Syncing && !state.syncEngine()->isScheduled(); };
        QTRY_VERIFY_WITH_TIMEOUT(quiet(), 10000);
        QElapsedTimer clock;
        clock.start();
        saveElsewhere("first line\nsecond line\nfrom elsewhere");
        QTRY_COMPARE_WITH_TIMEOUT(editor->toPlainText(), QStringLiteral("first line\nsecond line\nfrom elsewhere"), 10000);
        qInfo("edit arrived in the open note after %lld ms", clock.elapsed());
        QCOMPARE(editor->textCursor().position(), 5);

        // Typing here meets the next edit: both stay, and the merge goes back out.
        QTest::keyClicks(editor, "!");
        saveElsewhere("first line\nsecond line\nfrom elsewhere\nagain");
        QTRY_COMPARE_WITH_TIMEOUT(editor->toPlainText(), QStringLiteral("first! line\nsecond line\nfrom elsewhere\nagain"),
                                  10000);
        QCOMPARE(editor->textCursor().position(), 6);
        QTRY_COMPARE_WITH_TIMEOUT(deltaPlainText(onServer().value("body").toString()),
                                  QStringLiteral("first! line\nsecond line\nfrom elsewhere\nagain\n"), 10000);

        // The feed comes back by itself after the server restarted.
        server.fixedPort = server.port();
        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!state.changeFeed()->isLive(), 10000);
        QVERIFY(state.syncEngine()->interval() <= 5 * 60 * 1000);
        QVERIFY2(server.start(QString(), &error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(state.changeFeed()->isLive(), 15000);
        saveElsewhere("first! line\nsecond line\nfrom elsewhere\nagain\nafter the restart");
        QTRY_COMPARE_WITH_TIMEOUT(editor->toPlainText(),
                                  QStringLiteral("first! line\nsecond line\nfrom elsewhere\nagain\nafter the restart"), 10000);
        QCOMPARE(editor->textCursor().position(), 6);
        window->close();
    }
};

VELM_TEST_MAIN(TestLiveMerge)

#include "tst_livemerge.moc"
