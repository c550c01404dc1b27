#include "accountclient.h"
#include "accountpagetest.h"
#include "apiclient.h"
#include "devicespage.h"
#include "velmtest.h"

using namespace VelmAccount;
using namespace AccountPageTest;

class TestDevicesPage : public QObject
{
    Q_OBJECT
private slots:
    // Each action reports what the server answered, and only a success
    // changes the page.
    void actionsReportTheServersAnswer_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("known"); // this computer, or a device the server never saw
        QTest::addColumn<QString>("report");
        QTest::newRow("rename") << "rename" << true << "Device renamed.";
        QTest::newRow("rename unknown") << "rename" << false << "Failed to rename the device: not found.";
        QTest::newRow("remove") << "remove" << true << "Device removed.";
        QTest::newRow("remove unknown") << "remove" << false << "Failed to remove the device: not found.";
    }
    void actionsReportTheServersAnswer()
    {
        QFETCH(QString, action);
        QFETCH(bool, known);
        QFETCH(QString, report);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("dee@example.org"));
        // A sync request records this computer from the identity headers.
        client->syncApi()->setBaseUrl(QUrl(server.url(QStringLiteral("/notes/v1"))));
        QVERIFY(await<bool>([&](auto done) {
            client->syncApi()->get(QStringLiteral("/sync/pull"), [done](bool ok, int, const QJsonObject &) { done(ok); });
        }));
        DevicesPage page(client.get());
        answer(page, {"  Study "});
        QVERIFY(rebuiltAfter(page, [&] { page.refresh(); }));
        QCOMPARE(buttons(page, "Rename…").size(), 1);
        Device device = await<QList<Device>>([&](auto done) { client->accountClient()->getDevices(done); }).value(0);
        if (!known)
            device.id = QStringLiteral("no-such-device");
        QCOMPARE(reportAfter(page, [&] { action == "remove" ? page.removeDevice(device) : page.renameDevice(device); }),
                 report);
        if (known)
            QVERIFY(rebuiltAfter(page, [] {}));
        QCOMPARE(shows(page, "<b>Study</b>"), report == "Device renamed.");
        QCOMPARE(shows(page, "No devices registered."), report == "Device removed.");
    }
};

VELM_TEST_MAIN(TestDevicesPage)
#include "tst_devicespage.moc"
