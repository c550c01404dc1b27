#include "velmtest.h"

#include "releaseserver.h"

#include "application.h"
#include "appstate.h"
#include "mainwindow.h"
#include "manifest.h"
#include "preferencesrepository.h"
#include "updatedialog.h"
#include "whatsnewdialog.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTextBrowser>

// Start-up against a real release folder: the notes after an upgrade and the
// silent check a moment later.
class TestUpdateStartup : public QObject
{
    Q_OBJECT

private:
    ReleaseServer m_server;

    bool publish(int schema)
    {
        const QJsonObject artifact{{"version", "1.1.0"},
                                   {"released_at", "2026-12-01T08:00:00Z"},
                                   {"url", "https://downloads.example/velmora-notes_1.1.0_amd64.deb"},
                                   {"size", 4096},
                                   {"sha256", QString(64, 'f')},
                                   {"release_notes_url", m_server.releasesUrl().toString()
                                                             + "/notes/1.1.0/release-notes.md"}};
        const QJsonObject root{{"schema", schema},
                               {"app", "notes"},
                               {"channel", "stable"},
                               {"artifacts", QJsonObject{{VelmUpdate::currentPlatformKey(), artifact}}}};
        return m_server.put("notes/stable/latest.json", QJsonDocument(root).toJson());
    }

    void whileRunning(Application *app)
    {
        MainWindow *window = app->mainWindow();
        PreferencesRepository *preferences = app->appState()->preferences();
        // A fresh install has nothing new to tell: the silent check's offer comes alone.
        QTRY_VERIFY(window->findChild<VelmUpdate::UpdateDialog *>());
        QVERIFY(!window->findChild<VelmUpdate::WhatsNewDialog *>());
        QCOMPARE(preferences->get("last_whats_new_version"), std::optional<QString>("1.0.4"));
        QVERIFY(!app->showWhatsNewAfterUpgrade());
        auto *update = window->findChild<VelmUpdate::UpdateDialog *>();
        QTRY_VERIFY(update->notesView()->toPlainText().contains("Shared notebooks."));

        // Skipped, that version is not offered again; a later one is.
        const auto buttons = update->findChildren<QPushButton *>();
        const auto skip = std::find_if(buttons.cbegin(), buttons.cend(),
                                       [](QPushButton *b) { return b->text() == "Skip This Version"; });
        QVERIFY(skip != buttons.cend());
        (*skip)->click();
        QTRY_VERIFY(!window->findChild<VelmUpdate::UpdateDialog *>());
        VelmUpdate::Artifact artifact;
        artifact.version = "1.1.0";
        app->showUpdateDialog(artifact);
        QVERIFY(!window->findChild<VelmUpdate::UpdateDialog *>());

        // An upgrade shows the notes once; an offer made meanwhile waits for them to close.
        preferences->set("last_whats_new_version", "1.0.3");
        QVERIFY(app->showWhatsNewAfterUpgrade());
        QTRY_VERIFY(window->findChild<VelmUpdate::WhatsNewDialog *>());
        artifact.version = "1.2.0";
        app->showUpdateDialog(artifact);
        QVERIFY(!window->findChild<VelmUpdate::UpdateDialog *>());
        window->findChild<VelmUpdate::WhatsNewDialog *>()->close();
        QTRY_VERIFY(window->findChild<VelmUpdate::UpdateDialog *>());

        // A later launch brings the window back from the tray or the taskbar.
        for (const auto away : {&QWidget::hide, &QWidget::showMinimized}) {
            (window->*away)();
            app->onInstanceMessage(QString());
            QVERIFY(window->isVisible() && !window->isMinimized());
        }
    }

private slots:
    void initTestCase()
    {
        QString log;
        QVERIFY2(m_server.start(&log), qPrintable(log));
        QVERIFY(m_server.put("notes/1.0.4/release-notes.md", "Notebooks can be nested."));
        QVERIFY(m_server.put("notes/1.1.0/release-notes.md", "Shared notebooks."));
        qputenv("UPDATE_BASE_URL", m_server.releasesUrl().toString().toUtf8());
    }

    void failedSilentCheckIsOnlyLogged()
    {
        QVERIFY(publish(2));
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *sub : {"data", "runtime"}) {
            QDir().mkpath(home.path() + '/' + sub);
            QFile::setPermissions(home.path() + '/' + sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        env.insert("NOTES_DATA_DIR", home.path() + "/data");
        env.insert("XDG_RUNTIME_DIR", home.path() + "/runtime");
        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(QStringLiteral(VELM_APP_PATH));
        QByteArray output;
        const QDeadlineTimer deadline(20000);
        const QByteArray expected =
            "update check failed: manifest invalid: unsupported manifest schema: 2 (expected 1)";
        while (!output.contains(expected) && !deadline.hasExpired()
               && app.waitForReadyRead(int(deadline.remainingTime())))
            output += app.readAll();
        QVERIFY2(output.contains(expected), output.constData());
        QCOMPARE(app.state(), QProcess::Running);
        app.terminate();
        QVERIFY(app.waitForFinished(10000));
    }

    void upgradeShowsNotesOnceAndTheCheckOffersTheUpdate()
    {
        QVERIFY(publish(1));
        auto *app = qobject_cast<Application *>(QCoreApplication::instance());
        QTimer::singleShot(0, app, [this, app] {
            whileRunning(app);
            app->exit(0);
        });
        QCOMPARE(app->run(), 0);
    }
};

VELM_TEST_MAIN_IMPL(Application, TestUpdateStartup)
#include "tst_updatestartup.moc"
