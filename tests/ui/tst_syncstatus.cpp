#include "account/client.h"
#include "appstatefixture.h"
#include "database.h"
#include "statusbar.h"
#include "syncengine.h"
#include "syncstatus.h"
#include "tokenmanager.h"
#include "velmtest.h"

#include <QDir>
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
        showSyncState(state.get(), &bar);
        VelmTest::addNote(*state, QStringLiteral("waits for the server"), SyncStatus::Pending);
        QSignalSpy failed(state->syncEngine(), &SyncEngine::syncFailed);
        state->syncEngine()->syncNow();
        QVERIFY(failed.wait(30000));
        QCOMPARE(bar.statusText(), QStringLiteral("Offline"));
        QCOMPARE(state->notes()->pendingNotes().size(), 1);
        QVERIFY(!state->canShare());
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
        QCOMPARE(bar.currentMessage(),
                 QStringLiteral("Could not store your sign-in; you will need to sign in again next time."));
    }
};

VELM_TEST_MAIN(TestSyncStatus)
#include "tst_syncstatus.moc"
