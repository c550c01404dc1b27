#include "velmtest.h"

#include "singleinstance.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    // Runs the real executable as a second launch against our primary.
    static int launchSecond(const QStringList &arguments, const QString &dataDir)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NOTES_DATA_DIR", dataDir);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELM_APP_PATH), arguments);
        if (!process.waitForStarted(10000))
            return -1;
        // Keep our event loop turning so the primary can accept and read.
        QElapsedTimer timer;
        timer.start();
        while (process.state() != QProcess::NotRunning && timer.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            process.waitForFinished(20);
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

private slots:
    void secondLaunchHandsItsMessageToTheFirst_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("new note") << QStringList{"--note", "x", "--new-note"} << "new-note";
        QTest::newRow("note") << QStringList{"--note", "1234"} << "note:1234";
        QTest::newRow("focus") << QStringList{} << "focus";
        QTest::newRow("note last") << QStringList{"--note"} << "focus";
    }
    void secondLaunchHandsItsMessageToTheFirst()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);

        SingleInstance primary("velmora-notes-instance");
        QVERIFY(primary.tryRun("focus"));
        QVERIFY(primary.isListening());
        QSignalSpy received(&primary, &SingleInstance::messageReceived);

        QTemporaryDir dataDir;
        QCOMPARE(launchSecond(arguments, dataDir.path()), 0);
        QTRY_VERIFY(!received.isEmpty());
        QCOMPARE(received.first().first().toString(), message);
        // A delivered message is not followed by an empty one on disconnect.
        QTest::qWait(100);
        QCOMPARE(received.size(), 1);
        // The second process never touched the database.
        QVERIFY(QDir(dataDir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void serverLivesInTheUserRuntimeDirectory()
    {
        SingleInstance primary("velmora-notes-instance");
        QCOMPARE(primary.serverName(), qEnvironmentVariable("XDG_RUNTIME_DIR") + "/velmora-notes-instance");
        QVERIFY(primary.tryRun("focus"));
        QVERIFY(QFileInfo::exists(primary.serverName()));
        // Only the owner may connect.
        QCOMPARE(QFileInfo(primary.serverName()).permissions() & (QFile::ReadOther | QFile::WriteOther),
                 QFileDevice::Permissions());
    }

    void connectionWithoutMessageBringsUpTheWindow()
    {
        SingleInstance primary("velmora-notes-instance");
        QVERIFY(primary.tryRun("focus"));
        QSignalSpy received(&primary, &SingleInstance::messageReceived);

        QLocalSocket socket;
        socket.connectToServer(primary.serverName());
        QVERIFY(socket.waitForConnected(1000));
        socket.disconnectFromServer();
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received.first().first().toString(), QString());
    }

    void staleSocketFileIsReplaced()
    {
        SingleInstance probe("velmora-notes-instance");
        const QString path = probe.serverName();
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(probe.tryRun("focus"));
        QVERIFY(probe.isListening());
    }
};

VELM_TEST_CORE_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
