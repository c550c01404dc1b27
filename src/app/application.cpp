#include "application.h"

#include "client.h"
#include "applog.h"
#include "appstate.h"
#include "database.h"
#include "databaserepair.h"
#include "databasehealth.h"
#include "delta.h"
#include "datafolderguard.h"
#include "launchoptions.h"
#include "mainwindow.h"
#include "notewindows.h"
#include "preferencesrepository.h"
#include "recoverystore.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "singleinstance.h"
#include "terminationsignals.h"
#include "themestyle.h"
#include "translations.h"
#include "unsavednotes.h"
#include "updateclient.h"
#include "updatecommands.h"
#include "updatedialog.h"
#include "whatsnewdialog.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {
// The version whose offer the user declined for good.
const QString kSkippedUpdate = QStringLiteral("skipped_update_version");

// Keeps the text of editors whose save failed; true when every one was kept.
bool keepForRecovery(const QList<NoteEditor *> &editors)
{
    const RecoveryStore store(Database::dataDirectory());
    bool all = true;
    for (NoteEditor *editor : editors) {
        if (store.write(editor->noteId(), editor->currentDelta())) {
            qCWarning(lcApp).noquote() << "Unsaved changes to the note" << editor->noteId()
                                       << "kept for the next start in" << store.folder();
        } else {
            qCWarning(lcApp).noquote() << "Unsaved changes to the note" << editor->noteId() << "are lost";
            all = false;
        }
    }
    return all;
}

VelmUpdate::UpdateConfig updateConfig(const AppState *state)
{
    const VelmAccount::Client *client = state ? state->accountClient() : nullptr;
    return VelmUpdate::UpdateConfig::fromEnvironment(QStringLiteral("notes"), QStringLiteral("stable"),
                                                     QCoreApplication::applicationVersion(),
                                                     client ? client->config().authBaseUrl : QString());
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
    installTranslations(this, QLocale());

    m_criticalMessage = [](const QString &title, const QString &text) {
        QMessageBox::critical(nullptr, title, text, QMessageBox::Ok);
    };
    m_ask = [this](const QString &title, const QString &text, const QString &yes,
                   const QString &no) -> std::optional<bool> {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, m_mainWindow.get());
        QPushButton *accept = box.addButton(yes, QMessageBox::AcceptRole);
        QPushButton *decline = box.addButton(no, QMessageBox::DestructiveRole);
        box.setDefaultButton(accept);
        box.exec();
        if (box.clickedButton() == accept)
            return true;
        if (box.clickedButton() == decline)
            return false;
        return std::nullopt;
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

    // Before anything is written: a damaged file is opened read-only.
    bool checked = false;
    const QStringList damage = checkBeforeFirstWrite(Database::defaultDatabasePath(), &checked);
    // Before the first theme: a style may bring its own palette along.
    QApplication::setStyle(new ThemeStyle);
    m_appState = new AppState(this);
    m_appState->setReadOnly(!damage.isEmpty());
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
    // Starting minimised needs a tray icon to come back from.
    if (!noteWindowAsked
        && !(m_appState->preferences()->getBool(QStringLiteral("start_minimized"), false) && m_mainWindow->inTray()))
        m_mainWindow->show();

    watchDatabaseHealth(m_appState, Database::defaultDatabasePath(), m_criticalMessage, checked);
    if (!damage.isEmpty()) {
        qCCritical(lcApp).noquote() << "The database is damaged; opened read-only:" << damage.mid(0, 5).join("; ");
        m_mainWindow->showDatabaseDamaged(damage.mid(0, 5).join(QLatin1Char('\n')), [this] { repairDatabase(); });
    }
    sweepOrphanAttachments(Database::defaultDatabasePath(), m_mainWindow.get());
    QTimer::singleShot(0, m_mainWindow.get(), [this] {
        showReplacedDatabases(m_mainWindow.get(), Database::dataDirectory(), Database::replacedDatabases());
        showEmptiedDatabase(m_mainWindow.get(), Database::emptiedDatabase());
        offerRecoveredText();
    });

    restoreNoteWindows(m_appState);
    if (takeRestoreTodosWindow(m_appState))
        m_mainWindow->openScreen(MainWindow::Screen::Todos);

    showWhatsNewAfterUpgrade();
    QTimer::singleShot(1500, this, &Application::checkForUpdatesSilently);

    // Logging out may end the process before a failing save succeeds: the text
    // is kept aside as well, and the editors keep it in case the logout is cancelled.
    connect(this, &QGuiApplication::commitDataRequest, this, [] { keepForRecovery(saveOpenNotes()); });
    connect(this, &QCoreApplication::aboutToQuit, this, [] { saveOpenNotes(); });
    return exec();
}

void Application::quitOnSignal(int signal)
{
    qCInfo(lcApp) << "Signal" << signal << "received: storing open notes and quitting";
    const QList<NoteEditor *> unsaved = saveOpenNotes();
    keepForRecovery(unsaved);
    for (NoteEditor *editor : unsaved)
        editor->abandonUnsavedChanges();
    if (m_mainWindow)
        m_mainWindow->quitApplication();
    else
        quit();
}

bool Application::repairDatabase()
{
    const QString path = Database::defaultDatabasePath();
    if (!m_ask(tr("Try Repair"),
               tr("Every note that can still be read is copied into a new database file; the damaged file "
                  "is kept beside it. Velmora Notes closes afterwards: start it again to use the repaired "
                  "database.\n\nRepair now?"),
               tr("Repair"), tr("Cancel"))
             .value_or(false))
        return false;
    // Nothing may hold the file while it is moved aside.
    m_appState->database()->database().close();
    const DatabaseRepair::Outcome outcome = DatabaseRepair::repair(path);
    const QString lost = outcome.lost.isEmpty() ? tr("Nothing was lost.")
                                                : tr("Not everything could be read:\n%1").arg(outcome.lost.mid(0, 8).join(QLatin1Char('\n')));
    if (outcome.ok)
        m_criticalMessage(tr("Database Repaired"),
                          tr("The database was repaired. %1\n\nThe damaged file is kept as:\n%2\n\n"
                             "Velmora Notes will now close; start it again.")
                              .arg(lost, QDir::toNativeSeparators(outcome.keptDamaged)));
    else
        m_criticalMessage(tr("Repair Failed"),
                          tr("The database could not be repaired and has not been changed:\n\n%1\n\n"
                             "Velmora Notes will now close.")
                              .arg(outcome.lost.mid(0, 8).join(QLatin1Char('\n'))));
    QCoreApplication::exit(outcome.ok ? 0 : 1);
    return outcome.ok;
}

int Application::offerRecoveredText()
{
    if (!m_appState)
        return 0;
    const RecoveryStore store(Database::dataDirectory());
    const QList<RecoveryStore::Entry> entries = store.entries();
    if (entries.isEmpty())
        return 0;
    QStringList titles;
    for (const RecoveryStore::Entry &entry : entries) {
        const QString title = noteTitle(entry.body);
        titles << (title.isEmpty() ? tr("Untitled") : title);
    }
    const QString text =
        tr("Velmora Notes ended while changes to these notes could not be saved. Their text was kept:\n\n%1\n\n"
           "Restore it into your notes? Text of a note that was deleted meanwhile comes back as a new note.")
            .arg(titles.join(QLatin1Char('\n')));
    const std::optional<bool> restore = m_ask(tr("Recover Unsaved Text"), text, tr("Restore"), tr("Discard"));
    // Closed unanswered: kept, and asked again at the next start.
    if (!restore)
        return 0;
    if (!*restore) {
        for (const RecoveryStore::Entry &entry : entries)
            store.discard(entry);
        qCInfo(lcApp) << "Recovered text discarded:" << entries.size() << "notes";
        return 0;
    }
    const int restored = store.restoreInto(m_appState->notes());
    if (restored < entries.size())
        m_criticalMessage(tr("Recover Unsaved Text"),
                          tr("Some of the kept text could not be stored; it stays kept and is offered again at the "
                             "next start. The log tells why."));
    return restored;
}

void Application::onInstanceMessage(const QString &message)
{
    if (!handleNoteWindowMessage(m_appState, message) && m_mainWindow)
        m_mainWindow->bringToFront();
    qCInfo(lcApp) << "Handled a later launch:" << (message.isEmpty() ? QStringLiteral("focus") : message);
}

bool Application::showWhatsNewAfterUpgrade()
{
    const QString key = QStringLiteral("last_whats_new_version");
    PreferencesRepository *preferences = m_appState->preferences();
    const std::optional<QString> seen = preferences->get(key);
    if (VelmUpdate::parseVersion(seen.value_or(QString())) >= VelmUpdate::parseVersion(applicationVersion()))
        return false;
    // Stored first: notes that fail to load are not asked for again.
    preferences->set(key, applicationVersion());
    // Nothing is new to someone who has never run an older version.
    if (!seen)
        return false;
    VelmUpdate::showWhatsNew(updateConfig(m_appState), QString::fromLatin1(displayName), m_mainWindow.get());
    return true;
}

void Application::checkForUpdatesSilently()
{
    auto *client = new VelmUpdate::UpdateClient(updateConfig(m_appState), this);
    connect(client, &VelmUpdate::UpdateClient::updateAvailable, m_mainWindow.get(),
            [this](const VelmUpdate::Artifact &artifact) { showUpdateDialog(artifact); });
    connect(client, &VelmUpdate::UpdateClient::checkFailed, this,
            [](const QString &reason) { qCWarning(lcApp).noquote() << "update check failed:" << reason; });
    connect(client, &VelmUpdate::UpdateClient::updateAvailable, client, &QObject::deleteLater);
    connect(client, &VelmUpdate::UpdateClient::upToDate, client, &QObject::deleteLater);
    connect(client, &VelmUpdate::UpdateClient::checkFailed, client, &QObject::deleteLater);
    client->check();
}

void Application::showUpdateDialog(const VelmUpdate::Artifact &artifact)
{
    PreferencesRepository *preferences = m_appState->preferences();
    if (!artifact.mandatory && preferences->get(kSkippedUpdate).value_or(QString()) == artifact.version)
        return;
    // One dialog at a time: the update waits for What's New to be closed.
    if (auto *whatsNew = m_mainWindow->findChild<VelmUpdate::WhatsNewDialog *>(); whatsNew && whatsNew->isVisible()) {
        connect(whatsNew, &QDialog::finished, this, [this, artifact] { showUpdateDialog(artifact); },
                Qt::QueuedConnection);
        return;
    }
    auto *dialog = new VelmUpdate::UpdateDialog(artifact, applicationVersion(), QString::fromLatin1(displayName),
                                                m_mainWindow.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &VelmUpdate::UpdateDialog::versionSkipped, this,
            [preferences](const QString &version) { preferences->set(kSkippedUpdate, version); });
    dialog->show();
}
