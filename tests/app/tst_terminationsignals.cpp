#include "velmtest.h"

#include "appstatefixture.h"
#include "application.h"
#include "delta.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "notewindowregistry.h"

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
        QString inMain, inWindow;
        QTimer::singleShot(0, app, [&] {
            AppState *state = app->appState();
            inMain = addNote(*state, "Main").id;
            inWindow = addNote(*state, "Window").id;
            QWidget *window = NoteWindowRegistry::of(state)->open(inWindow);
            app->mainWindow()->showNote(inMain, true);
            // Well inside the 1 s pause that would store them otherwise.
            typeAtEnd(app->mainWindow()->editor(), " typed");
            typeAtEnd(window->findChild<NoteEditor *>(), " typed");
            std::raise(SIGTERM);
        });
        QCOMPARE(app->run(), 0);
        for (const QString &id : {inMain, inWindow})
            QVERIFY(deltaPlainText(app->appState()->notes()->noteById(id)->body).endsWith(" typed\n"));
    }
};

VELM_TEST_MAIN_IMPL(Application, TestTerminationSignals)
#include "tst_terminationsignals.moc"
