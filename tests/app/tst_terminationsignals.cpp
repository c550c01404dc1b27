#include "velmtest.h"

#include "appstatefixture.h"
#include "application.h"
#include "database.h"
#include "delta.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "notewindowregistry.h"
#include "noterepository.h"
#include "recoverystore.h"

#include <QSqlQuery>
#include <QTimer>

#include <csignal>

using namespace VelmTest;

// A termination signal that reaches the running application stores what was
// typed in every open editor, then ends the event loop normally.
class TestTerminationSignals : public QObject
{
    Q_OBJECT
private slots:
    void terminationStoresEveryOpenEditorAndQuits()
    {
        auto *app = qobject_cast<Application *>(QCoreApplication::instance());
        QVERIFY(app);
        QTimer::singleShot(0, app, [&] {
            AppState *state = app->appState();
            m_inMain = addNote(*state, "Main").id;
            m_inWindow = addNote(*state, "Window").id;
            m_failing = addNote(*state, "Failing").id;
            QWidget *window = NoteWindowRegistry::of(state)->open(m_inWindow);
            QWidget *failing = NoteWindowRegistry::of(state)->open(m_failing);
            app->mainWindow()->showNote(m_inMain, true);
            // Saves of one note fail, as on a disk that refuses its pages.
            QSqlQuery(state->database()->database())
                .exec(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE UPDATE ON notes WHEN NEW.id = '%1' "
                                     "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END")
                          .arg(m_failing));
            // Well inside the 1 s pause that would store them otherwise.
            typeAtEnd(app->mainWindow()->editor(), " typed");
            typeAtEnd(window->findChild<NoteEditor *>(), " typed");
            typeAtEnd(failing->findChild<NoteEditor *>(), " kept aside");
            std::raise(SIGTERM);
        });
        QCOMPARE(app->run(), 0);
        for (const QString &id : {m_inMain, m_inWindow})
            QVERIFY(deltaPlainText(app->appState()->notes()->noteById(id)->body).endsWith(" typed\n"));
        QCOMPARE(deltaPlainText(app->appState()->notes()->noteById(m_failing)->body), QString("Failing\n"));

        // The text that could not be stored waits in a private file.
        const QList<RecoveryStore::Entry> kept = RecoveryStore(Database::dataDirectory()).entries();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept.first().noteId, m_failing);
        QVERIFY(deltaPlainText(kept.first().body).endsWith(" kept aside\n"));
        QCOMPARE(QFile::permissions(kept.first().path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    void keptTextIsOfferedAndRestoredAtTheNextStart()
    {
        auto *app = qobject_cast<Application *>(QCoreApplication::instance());
        QSqlQuery(app->appState()->database()->database()).exec("DROP TRIGGER refuse");
        QString asked;
        std::optional<bool> answer;
        app->setAsk([&](const QString &, const QString &text, const QString &, const QString &) {
            asked = text;
            return answer;
        });
        // A question closed unanswered keeps the text for the next start.
        QCOMPARE(app->offerRecoveredText(), 0);
        QCOMPARE(RecoveryStore(Database::dataDirectory()).entries().size(), 1);
        answer = true;
        QCOMPARE(app->offerRecoveredText(), 1);
        QVERIFY(asked.contains("Failing"));
        QVERIFY(deltaPlainText(app->appState()->notes()->noteById(m_failing)->body).endsWith(" kept aside\n"));
        QVERIFY(RecoveryStore(Database::dataDirectory()).entries().isEmpty());
        QCOMPARE(app->offerRecoveredText(), 0);
    }

private:
    QString m_inMain, m_inWindow, m_failing;
};

VELM_TEST_MAIN_IMPL(Application, TestTerminationSignals)
#include "tst_terminationsignals.moc"
