#include "velmtest.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include <csignal>

// The real executable, started the way a user starts it, in folders of its own.
class TestStartup : public QObject
{
    Q_OBJECT

private:
    // The test's own isolated folders (velmtest.h), which the processes inherit.
    static QString dataDir() { return qEnvironmentVariable("NOTES_DATA_DIR"); }
    static QString socketPath() { return qEnvironmentVariable("XDG_RUNTIME_DIR") + "/velmora-notes-instance"; }

    static void start(QProcess &process, const QStringList &arguments,
                      QProcess::ProcessChannelMode mode = QProcess::ForwardedErrorChannel)
    {
        process.setProcessChannelMode(mode);
        process.start(QStringLiteral(VELM_APP_PATH), arguments);
    }

    // Notes the user made (the welcome notes are samples).
    static int ownNotes()
    {
        const QStringList files = QDir(dataDir()).entryList({"velmora_notes_*.db"}, QDir::Files);
        if (files.isEmpty())
            return -1;
        const QString name = QUuid::createUuid().toString();
        int count = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(dataDir() + '/' + files.first());
            if (db.open()) {
                QSqlQuery q(db);
                if (q.exec("SELECT COUNT(*) FROM notes WHERE is_sample = 0") && q.next())
                    count = q.value(0).toInt();
            }
        }
        QSqlDatabase::removeDatabase(name);
        return count;
    }

    // Runs each statement on the database file; the first value of the last row that gave one.
    static QVariant onDatabase(const QStringList &statements)
    {
        const QStringList files = QDir(dataDir()).entryList({"velmora_notes_*.db"}, QDir::Files);
        const QString name = QUuid::createUuid().toString();
        QVariant value;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(dataDir() + '/' + files.value(0));
            if (db.open()) {
                QSqlQuery q(db);
                for (const QString &sql : statements) {
                    if (q.exec(sql) && q.next())
                        value = q.value(0);
                }
            }
        }
        QSqlDatabase::removeDatabase(name);
        return value;
    }

private slots:
    // Found damaged by the check before the first write: opened read-only,
    // the file is not touched, and the process still ends cleanly.
    void aDamagedDatabaseOpensReadOnlyAndIsNeverWritten()
    {
        QProcess first;
        start(first, {"--new-note"});
        QVERIFY(first.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(ownNotes() >= 1, 20000);
        ::kill(first.processId(), SIGTERM);
        QVERIFY(first.waitForFinished(20000));
        // The check of the day is due again, and an index of the notes is damaged.
        const int page = onDatabase({"UPDATE preferences SET value = '2000-01-01' WHERE key = 'last_quick_check'",
                                     "PRAGMA wal_checkpoint(TRUNCATE)",
                                     "SELECT rootpage FROM sqlite_master WHERE type = 'index' AND tbl_name = 'notes'"})
                             .toInt();
        QVERIFY(page > 1);
        const QString path = dataDir() + '/' + QDir(dataDir()).entryList({"velmora_notes_*.db"}, QDir::Files).first();
        QFile::remove(path + "-wal");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(qint64(page - 1) * 4096);
        file.write(QByteArray(64, '\x7f'));
        file.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        QProcess damaged;
        start(damaged, {"--new-note"}, QProcess::MergedChannels);
        QVERIFY(damaged.waitForStarted(10000));
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += damaged.readAllStandardOutput()).contains("opened read-only"), 20000);
        // Start-up has written nothing, not even into the log.
        QCOMPARE(QFileInfo(path + "-wal").size(), 0);
        ::kill(damaged.processId(), SIGTERM);
        QVERIFY(damaged.waitForFinished(20000));
        QCOMPARE(damaged.exitStatus(), QProcess::NormalExit);
        QCOMPARE(damaged.exitCode(), 0);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == before);
        QCOMPARE(QFileInfo(path + "-wal").size(), 0);
        // The later launches start on a fresh database.
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(path + suffix);
    }

    void launchesMeetTheRunningInstance()
    {
        QProcess primary;
        start(primary, {"--new-note"}, QProcess::MergedChannels);
        QVERIFY(primary.waitForStarted(10000));
        QByteArray log;
        const auto handledLaunches = [&] {
            log += primary.readAllStandardOutput();
            return log.count("Handled a later launch");
        };
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socketPath()), 20000);
        // The first launch made a note in its own window.
        QTRY_COMPARE_WITH_TIMEOUT(ownNotes(), 1, 20000);

        // A second launch hands "new-note" over and leaves at once.
        QProcess second;
        start(second, {"--new-note"});
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ownNotes(), 2, 20000);

        // A plain launch only brings the running window forward.
        QProcess third;
        start(third, {});
        QVERIFY(third.waitForFinished(15000));
        QCOMPARE(third.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(handledLaunches(), 2, 20000);
        QCOMPARE(ownNotes(), 2);
        QCOMPARE(primary.state(), QProcess::Running);

        primary.terminate();
        if (!primary.waitForFinished(10000))
            primary.kill();
    }

    void simultaneousLaunchesMakeExactlyOnePrimary()
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            QProcess first, second;
            start(first, {});
            start(second, {});
            QVERIFY(first.waitForStarted(10000) && second.waitForStarted(10000));
            // The one that is not primary hands over and leaves; the primary stays.
            QTRY_VERIFY_WITH_TIMEOUT(first.state() == QProcess::NotRunning || second.state() == QProcess::NotRunning,
                                     30000);
            QProcess &left = first.state() == QProcess::NotRunning ? first : second;
            QProcess &stayed = &left == &first ? second : first;
            QCOMPARE(left.exitStatus(), QProcess::NormalExit);
            QCOMPARE(left.exitCode(), 0);
            QVERIFY2(!stayed.waitForFinished(300), qPrintable(QString("attempt %1").arg(attempt)));
            stayed.terminate();
            if (!stayed.waitForFinished(10000))
                stayed.kill();
        }
        QCOMPARE(QDir(dataDir()).entryList({"velmora_notes_*.db"}, QDir::Files).size(), 1);
    }

    void aSecondPrimaryOnTheSameDataFolderSaysSoAndLeaves()
    {
        // The new note shows that the primary is past its start-up.
        const int before = qMax(ownNotes(), 0);
        QProcess primary;
        start(primary, {"--new-note"});
        QVERIFY(primary.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(ownNotes(), before + 1, 20000);

        // Another runtime folder, as in a second session: it becomes a primary of its own.
        QTemporaryDir otherRuntime;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", otherRuntime.path());
        QProcess other;
        other.setProcessEnvironment(env);
        other.start(QStringLiteral(VELM_APP_PATH), {});
        QVERIFY(other.waitForStarted(10000));
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += other.readAllStandardError()).contains("data folder is in use"), 20000);
        // Its message box stands in the way of an exit here.
        other.kill();
        other.waitForFinished(10000);
        QCOMPARE(primary.state(), QProcess::Running);
        primary.terminate();
        if (!primary.waitForFinished(10000))
            primary.kill();
    }

    void terminationSignalsEndTheProcessCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void terminationSignalsEndTheProcessCleanly()
    {
        QFETCH(int, signal);
        const int before = qMax(ownNotes(), 0);
        QProcess primary;
        start(primary, {"--new-note"});
        QVERIFY(primary.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(ownNotes(), before + 1, 20000);
        ::kill(primary.processId(), signal);
        QVERIFY(primary.waitForFinished(20000));
        QCOMPARE(primary.exitStatus(), QProcess::NormalExit);
        QCOMPARE(primary.exitCode(), 0);
        // Its window closed as on quit: the untouched new note is gone again.
        QCOMPARE(ownNotes(), before);
    }
};

VELM_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
