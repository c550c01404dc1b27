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
        QTest::newRow("note") << QStringList{"--note", "1234"} << "note:1234";
        QTest::newRow("focus") << QStringList{} << "focus";
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
        // A delivered message is not followed by an empty one on disconnect:
        // that one would arrive before a later launch's message.
        QLocalSocket later;
        later.connectToServer(primary.serverName());
        QVERIFY(later.waitForConnected(1000));
        later.write("later");
        later.disconnectFromServer();
        QTRY_COMPARE(received.size(), 2);
        QCOMPARE(received.at(1).first().toString(), QStringLiteral("later"));
        // The second process never touched the database.
        QVERIFY(QDir(dataDir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void socketStaysOutOfRuntimeFoldersOthersCanEnter_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("used");
        QTest::newRow("private") << "0700" << true;
        QTest::newRow("open to others") << "0755" << false;
        QTest::newRow("link to a private folder") << "link" << false;
        QTest::newRow("missing") << "missing" << false;
    }
    void socketStaysOutOfRuntimeFoldersOthersCanEnter()
    {
        QFETCH(QString, kind);
        QFETCH(bool, used);
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        QTemporaryDir root;
        const QString runtime = root.path() + "/runtime";
        if (kind == "link") {
            QDir().mkpath(root.path() + "/real");
            QFile::setPermissions(root.path() + "/real", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QVERIFY(QFile::link(root.path() + "/real", runtime));
        } else if (kind != "missing") {
            QDir().mkpath(runtime);
            QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
            if (kind == "0755")
                mode |= QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
            QFile::setPermissions(runtime, mode);
        }
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
        SingleInstance primary("velmora-notes-instance");
        const QString folder = QFileInfo(primary.serverName()).absolutePath();
        QCOMPARE(folder == runtime, used);
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
            | QFile::WriteOther | QFile::ExeOther;
        QVERIFY(!QFileInfo(folder).isSymLink());
        QCOMPARE(QFileInfo(folder).permissions() & others, QFileDevice::Permissions());
        QVERIFY(primary.tryRun("focus"));
        QVERIFY(primary.isListening());
        qputenv("XDG_RUNTIME_DIR", saved);
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
