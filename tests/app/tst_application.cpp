#include "velmtest.h"

#include "application.h"
#include "appstate.h"
#include "singleinstance.h"

#include <QLocalSocket>

class TestApplication : public QObject
{
    Q_OBJECT
private slots:
    void unopenableDatabaseShowsTheErrorAndExitsWithOne()
    {
        auto *app = qobject_cast<Application *>(QCoreApplication::instance());
        QVERIFY(app);
        // A file where the data directory should be: nothing can be created in it.
        QTemporaryDir dir;
        const QString blocked = dir.path() + "/blocked";
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        qputenv("NOTES_DATA_DIR", blocked.toUtf8());

        QString shownTitle, shownText;
        bool serverListening = false;
        app->setCriticalMessage([&](const QString &title, const QString &text) {
            shownTitle = title;
            shownText = text;
            QLocalSocket probe;
            probe.connectToServer(app->singleInstance()->serverName());
            serverListening = probe.waitForConnected(1000);
        });

        QCOMPARE(app->run(), 1);
        QCOMPARE(shownTitle, QString("Database Error"));
        QCOMPARE(shownText, QString("Failed to initialize the database.\n\nData directory: %1\n\n"
                                    "Please check file permissions and try again.")
                                .arg(blocked));
        QVERIFY(serverListening);
        QVERIFY(!app->mainWindow());
    }
};

VELM_TEST_MAIN_IMPL(Application, TestApplication)
#include "tst_application.moc"
