#include "authclient.h"
#include "client.h"
#include "appstatefixture.h"
#include "database.h"
#include "mainwindow.h"
#include "notewindowregistry.h"
#include "notewindows.h"
#include "memorytokenstore.h"
#include "offlinebanner.h"
#include "preferencesrepository.h"
#include "serverfixture.h"
#include "stallprobe.h"
#include "statusbar.h"
#include "syncengine.h"
#include "syncstatedisplay.h"
#include "tokenmanager.h"
#include "velmtest.h"

#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>

class TestSyncStatus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Nothing listens there: every request fails without an HTTP status.
        qputenv("SYNC_API_URL", "http://127.0.0.1:1/notes/v1");
    }
    // Every test starts signed out.
    void init() { QFile::remove(Database::dataDirectory() + "/account-tokens.json"); }

    void progressText_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("expected");
        QTest::newRow("known total") << 2 << 5 << QStringLiteral("Uploading attachments 2/5");
        QTest::newRow("unknown total") << 0 << 0 << QStringLiteral("Uploading attachments");
    }
    void progressText()
    {
        QFETCH(int, current);
        QFETCH(int, total);
        QFETCH(QString, expected);
        QCOMPARE(syncProgressText(QStringLiteral("Uploading attachments"), current, total), expected);
    }

    void unreachableServerShowsOfflineAndKeepsTheNote()
    {
        auto state = VelmTest::emptyState();
        StatusBar bar;
        OfflineBanner banner;
        showSyncState(state.get(), &bar, &banner);
        VelmTest::addNote(*state, QStringLiteral("waits for the server"), SyncStatus::Pending);
        QSignalSpy failed(state->syncEngine(), &SyncEngine::syncFailed);
        signIn(*state);
        QVERIFY(failed.wait(30000));
        QCOMPARE(bar.statusText(), QStringLiteral("Offline"));
        QCOMPARE(state->notes()->syncState().pendingNotes().size(), 1);
        QVERIFY(!state->canShare());
        // Why, since when and what waits: in the tool tip and the banner.
        const QString details = bar.statusDetails();
        QVERIFY2(details.startsWith("Offline: 127.0.0.1 does not answer (") && details.contains("Not synced yet.")
                     && details.contains("1 change(s) waiting to be uploaded."),
                 qPrintable(details));
        QVERIFY(!banner.isHidden());
        QVERIFY(banner.text().contains("does not answer (") && banner.text().contains("1 change(s) waiting"));
        state->preferences()->setBool("show_offline_notification", false);
        QVERIFY(banner.isHidden());
    }

    // Signed out, the sync state once signed in, signed out again: in every window.
    void everyWindowShowsSignInAndSyncState()
    {
        auto state = VelmTest::emptyState();
        installNoteWindowFactory(state.get());
        const Note note = VelmTest::addNote(*state, QStringLiteral("open here"), SyncStatus::Pending);
        MainWindow main(state.get());
        QPointer<QWidget> window = NoteWindowRegistry::of(state.get())->open(note.id);
        const QList<StatusBar *> bars{main.findChild<StatusBar *>(), window->findChild<StatusBar *>()};
        for (StatusBar *bar : bars)
            QTRY_COMPARE(bar->statusText(), QStringLiteral("Not signed in"));
        signIn(*state);
        for (StatusBar *bar : bars)
            QTRY_COMPARE_WITH_TIMEOUT(bar->statusText(), QStringLiteral("Offline"), 30000);
        state->accountClient()->authClient()->logout();
        for (StatusBar *bar : bars)
            QCOMPARE(bar->statusText(), QStringLiteral("Not signed in"));
        window->close();
    }

    void tokenStorageFailureIsShown()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        // A folder where the token file belongs: every write of it fails.
        QVERIFY(QDir().mkpath(Database::dataDirectory() + "/account-tokens.json/blocked"));
        auto state = VelmTest::emptyState();
        StatusBar bar;
        showSyncState(state.get(), &bar);
        state->accountClient()->tokenManager()->setTokens("access", "refresh");
        QTRY_COMPARE(bar.currentMessage(),
                 QStringLiteral("Could not store your sign-in; you will need to sign in again next time."));
    }

    // A keyring that takes 5 s to answer: the window is painted and responsive
    // at once and reads "Checking sign-in…"; the tokens arrive afterwards and
    // the first sync then runs against the server.
    void slowKeyringNeverDelaysTheWindow()
    {
        ServerFixture server;
        QVERIFY(server.start());
        const auto [access, refresh] = server.signUp(QStringLiteral("slow-keyring@example.org"));
        auto store = std::make_unique<VelmAccount::MemoryTokenStore>();
        store->write(VelmAccount::TokenStore::accessTokenKey, access, nullptr);
        store->write(VelmAccount::TokenStore::refreshTokenKey, refresh, nullptr);
        store->setAnswerDelay(5000);

        StallProbe probe;
        probe.start();
        QElapsedTimer clock;
        clock.start();
        AppState state;
        state.setTokenStore(std::move(store));
        QVERIFY(state.initialize());
        state.accountClient()->setEndpoints(server.config(), server.url("/notes/v1"));
        QSignalSpy synced(state.syncEngine(), &SyncEngine::syncCompleted);
        MainWindow window(&state);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(100);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(window.statusBarWidget()->statusText(), QStringLiteral("Checking sign-in\u2026"));

        QVERIFY(synced.wait(20000));
        QVERIFY(clock.elapsed() >= 5000);
        QVERIFY(state.isSignedIn());
        QCOMPARE(state.accountClient()->tokenManager()->refreshToken(), refresh);
        probe.stop();
        // Loose for a busy machine; bench_stalls reports the figure itself.
        QVERIFY2(probe.longestMs() < 1000, qPrintable(QString::number(probe.longestMs())));
    }

    // A password change on another computer ends this session: the status bar
    // says so, Sign In is offered once, and the edits made meanwhile are
    // pushed after signing in again.
    void sessionEndedElsewhereIsShownOnceAndEditsWait()
    {
        ServerFixture server;
        QVERIFY(server.start());
        QDir(Database::dataDirectory() + "/account-tokens.json").removeRecursively(); // left blocked above
        auto state = VelmTest::emptyState();
        VelmAccount::Client *client = state->accountClient();
        client->setEndpoints(server.config(), server.url("/notes/v1"));
        MainWindow window(state.get());
        StatusBar *bar = window.statusBarWidget();
        const QString email = QStringLiteral("ended@example.org");
        const auto [access, refresh] = server.signUp(email);
        client->tokenManager()->setTokens(access, refresh);
        client->initialize();
        QVERIFY(client->isAuthenticated());

        const VelmServerTest::Tokens other = server.signIn(email, false);
        QCOMPARE(VelmServerTest::Api(server.port(), other.access)
                     .call("POST", "/api/v1/realms/velmora/users/me/password",
                           {{"current_password", "correct horse"}, {"new_password", "battery staple"}}).status, 200);
        const Note note = VelmTest::addNote(*state, QStringLiteral("written while the session ended"), SyncStatus::Pending);
        QSignalSpy ended(client, &VelmAccount::Client::sessionEnded);
        state->syncEngine()->syncNow();
        QVERIFY(ended.wait(20000));
        QTRY_COMPARE(bar->statusText(), QStringLiteral("Signed out \u2014 sign in again"));
        state->syncEngine()->syncNow();
        QTest::qWait(300);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(window.findChildren<QMessageBox *>(QStringLiteral("signInAgainPrompt")).size(), 1);
        QVERIFY(!client->isAuthenticated());
        QCOMPARE(state->notes()->syncState().pendingNotes().size(), 1);

        const VelmServerTest::Tokens again = server.signIn(email, false, nullptr, "battery staple");
        client->tokenManager()->setTokens(again.access, again.refresh);
        client->initialize();
        QTRY_VERIFY_WITH_TIMEOUT(state->notes()->syncState().pendingNotes().isEmpty(), 20000);
        const auto pulled = VelmServerTest::Api(server.port(), again.access).call("GET", "/notes/v1/sync/pull?since=0");
        QVERIFY(QJsonDocument(pulled.json).toJson().contains(note.id.toLatin1()));
        QVERIFY(bar->statusText() != QStringLiteral("Signed out \u2014 sign in again"));
    }

    // Another account signs in on a database holding the first one's note:
    // one question, uploads held until it is answered, then the answer holds.
    void anotherAccountIsAskedOnce_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("arrives");
        QTest::newRow("kept on this computer") << QStringLiteral("&Keep on This Computer Only") << false;
        QTest::newRow("uploaded") << QStringLiteral("&Upload to This Account") << true;
    }
    void anotherAccountIsAskedOnce()
    {
        QFETCH(QString, button);
        QFETCH(bool, arrives);
        ServerFixture server;
        QVERIFY(server.start());
        auto state = VelmTest::emptyState();
        VelmAccount::Client *client = state->accountClient();
        client->setEndpoints(server.config(), server.url("/notes/v1"));
        MainWindow window(state.get());
        const auto signIn = [&](const QString &email) {
            const auto [access, refresh] = server.signUp(email);
            client->tokenManager()->setTokens(access, refresh);
            client->initialize();
            return access;
        };
        VelmTest::addNote(*state, QStringLiteral("the first account's words"), SyncStatus::Pending);
        signIn(QStringLiteral("first@example.org"));
        QTRY_VERIFY_WITH_TIMEOUT(state->notes()->syncState().pendingNotes().isEmpty(), 20000);
        client->authClient()->logout();
        const QString second = signIn(QStringLiteral("second@example.org"));
        const auto banners = [&] { return window.findChildren<QFrame *>(QStringLiteral("accountChoiceBanner")); };
        QTRY_COMPARE_WITH_TIMEOUT(banners().size(), 1, 20000);
        QTRY_VERIFY(banners().first()->accessibleName().contains(QStringLiteral("second@example.org")));
        QTRY_COMPARE_WITH_TIMEOUT(window.statusBarWidget()->statusText(),
                                  QStringLiteral("Uploads paused until you choose in the main window"), 20000);
        QSignalSpy cycles(state->syncEngine(), &SyncEngine::syncCompleted);
        state->syncEngine()->syncNow();
        QVERIFY(cycles.wait(20000));
        QCOMPARE(banners().size(), 1); // the same question, not one per cycle
        for (QPushButton *choice : banners().first()->findChildren<QPushButton *>())
            if (choice->text() == button)
                choice->click();
        QVERIFY(banners().first()->isHidden());
        QTRY_COMPARE_WITH_TIMEOUT(window.statusBarWidget()->statusText(), QStringLiteral("Synced"), 20000);
        const auto pulled = VelmServerTest::Api(server.port(), second).call("GET", "/notes/v1/sync/pull?since=0");
        QCOMPARE(QJsonDocument(pulled.json).toJson().contains("the first account's words"), arrives);
    }

private:
    static void signIn(AppState &state)
    {
        state.accountClient()->tokenManager()->setTokens("access", "refresh");
        state.accountClient()->authClient()->initialize();
    }
};

VELM_TEST_MAIN(TestSyncStatus)
#include "tst_syncstatedisplay.moc"
