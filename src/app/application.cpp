#include "application.h"

#include "applog.h"
#include "appstate.h"
#include "database.h"
#include "launchoptions.h"
#include "preferencesrepository.h"
#include "singleinstance.h"

#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QMainWindow>
#include <QMessageBox>

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    Q_INIT_RESOURCE(velmora);
    setOrganizationName(QStringLiteral("Velmora"));
    setOrganizationDomain(QStringLiteral("velmora.app"));
    setApplicationName(QStringLiteral("Notes"));
    setApplicationVersion(QStringLiteral("1.0.4"));
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
    QStringList missing;
    for (const char *font : fonts) {
        const QString path = QString::fromLatin1(font);
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

    m_appState = new AppState(this);
    if (!m_appState->initialize()) {
        m_criticalMessage(QStringLiteral("Database Error"),
                          QStringLiteral("Failed to initialize the database.\n\nData directory: %1\n\n"
                                         "Please check file permissions and try again.")
                              .arg(Database::dataDirectory()));
        return 1;
    }

    connect(m_singleInstance, &SingleInstance::messageReceived, this, &Application::onInstanceMessage);

    // Placeholder until the real main window lands.
    m_mainWindow = std::make_unique<QMainWindow>();
    m_mainWindow->setWindowTitle(QString::fromLatin1(displayName));
    m_mainWindow->resize(1100, 720);
    if (!m_appState->preferences()->getBool(QStringLiteral("start_minimized"), false))
        m_mainWindow->show();

    return exec();
}

void Application::onInstanceMessage(const QString &message)
{
    Q_UNUSED(message) // every message shows the main window until note windows exist
    if (!m_mainWindow)
        return;
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}
