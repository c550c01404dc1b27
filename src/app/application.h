#pragma once

#include <QApplication>
#include <QPointer>

#include <functional>
#include <optional>
#include <memory>

class QLockFile;

class AppState;
class MainWindow;
class SingleInstance;
namespace VelmUpdate {
struct Artifact;
}

class Application final : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    ~Application() override;

    static constexpr const char *displayName = "Velmora Notes";
    static constexpr const char *instanceKey = "velmora-notes-instance";

    // The start-up sequence; returns the process exit code: 0 when another
    // instance took the launch, 1 when the database cannot be initialised,
    // otherwise the event loop's result.
    int run();

    void onInstanceMessage(const QString &message);

    // The update dialog for a newer build, over the main window.
    void showUpdateDialog(const VelmUpdate::Artifact &artifact);
    // Once per upgrade (and on the first run): the running version's release
    // notes. True when they were asked for.
    bool showWhatsNewAfterUpgrade();

    AppState *appState() const { return m_appState; }
    SingleInstance *singleInstance() const { return m_singleInstance; }
    MainWindow *mainWindow() const { return m_mainWindow.get(); }

    // Seam for the blocking "Database Error" box: (title, text). Tests replace it.
    using CriticalMessage = std::function<void(const QString &title, const QString &text)>;
    void setCriticalMessage(CriticalMessage show) { m_criticalMessage = std::move(show); }

    // Seam for a question with two answers (recovered text, repair): true for
    // the first, false for the second, nothing when the question was closed
    // unanswered (the application quitting under it). Tests replace it.
    using Ask = std::function<std::optional<bool>(const QString &title, const QString &text, const QString &yes,
                                                  const QString &no)>;
    void setAsk(Ask ask) { m_ask = std::move(ask); }

    // Stores every open note, then quits without asking: the process is asked
    // to end. Text whose save fails goes to a recovery file (RecoveryStore).
    void quitOnSignal(int signal);
    // After the user agrees (through the Ask seam), rebuilds the damaged
    // database into a new file, keeps the damaged one, says so and quits.
    bool repairDatabase();
    // Offers the text kept in recovery files at the last exit; the number of
    // notes restored.
    int offerRecoveredText();

private:
    void registerFonts();
    void checkForUpdatesSilently();

    AppState *m_appState = nullptr;
    SingleInstance *m_singleInstance = nullptr;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<QLockFile> m_dataFolderLock;
    CriticalMessage m_criticalMessage;
    Ask m_ask;
};
