#include "application.h"

#include "applog.h"
#include "appstate.h"
#include "database.h"
#include "databasehealth.h"
#include "datafolderguard.h"
#include "launchoptions.h"
#include "mainwindow.h"
#include "notewindows.h"
#include "preferencesrepository.h"
#include "noteeditor.h"
#include "singleinstance.h"
#include "terminationsignals.h"
#include "unsavednotes.h"
#include "update/client.h"
#include "updatecommands.h"
#include "updatedialog.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QLockFile>
#include <QTimer>
#include <QMessageBox>
#include <QTimer>

namespace {
VelmUpdate::UpdateConfig updateConfig()
{
    return VelmUpdate::UpdateConfig::fromEnvironment(QStringLiteral("notes"), QStringLiteral("stable"),
                                                     QCoreApplication::applicationVersion());
}
} // namespace

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    Q_INIT_RESOURCE(velmora);
    setOrganizationName(QStringLiteral("Velmora"));
    setOrganizationDomain(QStringLiteral("velmora.app"));
    setApplicationName(QStringLiteral("Notes"));
    setApplicationVersion(QStringLiteral("1.0.4"));
    // The Wayland app id: shells match windows to app.velmora.notes.desktop by
    // it, which is also the AppStream id.
    setDesktopFileName(QStringLiteral("app.velmora.notes"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app-icon.png")));
    registerFonts();

    m_criticalMessage = [](const QString &title, const QString &text) {
        QMessageBox::critical(nullptr, title, text, QMessageBox::Ok);
    };
}

Application::~Application()
{
    // Windows go before the state they point into.
    m_mainWindow.reset();
}

void Application::registerFonts()
{
    static const char *const fonts[] = {
        ":/fonts/IBMPlexSans.ttf",
        ":/fonts/IBMPlexSans-Italic.ttf",
        ":/fonts/IBMPlexMono-Medium.ttf",
        ":/fonts/MaterialIcons-Regular.otf",
    };
    // Packages install the fonts beside the application's data, with their
    // licence, instead of compiling them in.
    const QDir installed(applicationDirPath() + QStringLiteral("/../share/velmora-notes/fonts"));
    if (installed.exists())
        qCInfo(lcApp).noquote() << "Fonts from" << installed.canonicalPath();
    QStringList missing;
    for (const char *font : fonts) {
        QString path = QString::fromLatin1(font);
        if (installed.exists())
            path = installed.filePath(path.section(QLatin1Char('/'), -1));
        if (!QFile::exists(path) || QFontDatabase::addApplicationFont(path) < 0)
            missing << path;
    }
    if (!missing.isEmpty())
        qCWarning(lcApp).noquote() << "Fonts not available, using system fonts instead:" << missing.join(", ");
}

int Application::run()
{
    m_singleInstance = new SingleInstance(QString::fromLatin1(instanceKey), this);
    const LaunchOptions options = LaunchOptions::parse(arguments());
    if (!m_singleInstance->tryRun(options.instanceMessage()))
        return 0;
    // Typing not yet stored must survive every way out of the process; a
    // signal that comes during start-up is answered once the event loop runs.
    if (TerminationSignals *watcher = TerminationSignals::install(this))
        connect(watcher, &TerminationSignals::terminationRequested, this, &Application::quitOnSignal);

    // Another user session or runtime folder may run a primary of its own;
    // two processes writing one database would overwrite each other.
    m_dataFolderLock = lockDataFolder(Database::dataDirectory());
    if (!m_dataFolderLock) {
        m_criticalMessage(tr("Data Folder In Use"),
                          tr("Another Velmora Notes process is using the data folder:\n\n%1\n\nClose it first.")
                              .arg(Database::dataDirectory()));
        return 1;
    }

    m_appState = new AppState(this);
    if (!m_appState->initialize()) {
        m_criticalMessage(tr("Database Error"),
                          tr("Failed to initialize the database.\n\nData directory: %1\n\n"
                             "Please check file permissions and try again.")
                              .arg(Database::dataDirectory()));
        return 1;
    }

    installNoteWindowFactory(m_appState);
    connect(m_singleInstance, &SingleInstance::messageReceived, this, &Application::onInstanceMessage);

    // A launch that asks for a note shows only that note's window.
    const bool noteWindowAsked = openLaunchNoteWindow(m_appState, options.newNote, options.noteId);

    m_mainWindow = std::make_unique<MainWindow>(m_appState);
    if (!noteWindowAsked && !m_appState->preferences()->getBool(QStringLiteral("start_minimized"), false))
        m_mainWindow->show();

    watchDatabaseHealth(m_appState, Database::defaultDatabasePath(), m_mainWindow.get(), m_criticalMessage,
                        [this](const QString &title, const QString &text) {
                            QMessageBox::warning(m_mainWindow.get(), title, text);
                        });
    QTimer::singleShot(0, m_mainWindow.get(), [this] {
        showReplacedDatabases(m_mainWindow.get(), Database::dataDirectory(), Database::replacedDatabases());
    });

    restoreNoteWindows(m_appState);
    if (takeRestoreTodosWindow(m_appState))
        m_mainWindow->openScreen(MainWindow::Screen::Todos);

    showWhatsNewAfterUpgrade();
    QTimer::singleShot(1500, this, &Application::checkForUpdatesSilently);

    connect(this, &QGuiApplication::commitDataRequest, this, [] { saveOpenNotes(); });
    connect(this, &QCoreApplication::aboutToQuit, this, [] { saveOpenNotes(); });
    return exec();
}

void Application::quitOnSignal(int signal)
{
    qCInfo(lcApp) << "Signal" << signal << "received: storing open notes and quitting";
    const QList<NoteEditor *> unsaved = saveOpenNotes();
    for (NoteEditor *editor : unsaved) {
        qCWarning(lcApp) << "Quitting on a signal: unsaved changes to the note" << editor->noteId() << "are lost";
        editor->abandonUnsavedChanges();
    }
    if (m_mainWindow)
        m_mainWindow->quitApplication();
    else
        quit();
}

void Application::onInstanceMessage(const QString &message)
{
    if (!handleNoteWindowMessage(m_appState, message) && m_mainWindow) {
        m_mainWindow->show();
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
    qCInfo(lcApp) << "Handled a later launch:" << (message.isEmpty() ? QStringLiteral("focus") : message);
}

bool Application::showWhatsNewAfterUpgrade()
{
    const QString key = QStringLiteral("last_whats_new_version");
    PreferencesRepository *preferences = m_appState->preferences();
    if (VelmUpdate::parseVersion(preferences->get(key).value_or(QString()))
        >= VelmUpdate::parseVersion(applicationVersion()))
        return false;
    // Stored first: notes that fail to load are not asked for again.
    preferences->set(key, applicationVersion());
    VelmUpdate::showWhatsNew(updateConfig(), QString::fromLatin1(displayName), m_mainWindow.get());
    return true;
}

void Application::checkForUpdatesSilently()
{
    auto *client = new VelmUpdate::Client(updateConfig(), this);
    connect(client, &VelmUpdate::Client::updateAvailable, m_mainWindow.get(),
            [this](const VelmUpdate::Artifact &artifact) { showUpdateDialog(artifact); });
    connect(client, &VelmUpdate::Client::checkFailed, this,
            [](const QString &reason) { qCWarning(lcApp).noquote() << "update check failed:" << reason; });
    connect(client, &VelmUpdate::Client::updateAvailable, client, &QObject::deleteLater);
    connect(client, &VelmUpdate::Client::upToDate, client, &QObject::deleteLater);
    connect(client, &VelmUpdate::Client::checkFailed, client, &QObject::deleteLater);
    client->check();
}

void Application::showUpdateDialog(const VelmUpdate::Artifact &artifact)
{
    auto *dialog = new VelmUpdate::UpdateDialog(artifact, applicationVersion(), QString::fromLatin1(displayName),
                                                m_mainWindow.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}
