#pragma once

#include "notelistpane.h"
#include "notepane.h"
#include "panefocus.h"
#include "screenregistry.h"
#include "yesnoprompt.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class AccountMenu;
class AppState;
class BannerColumn;
class IoCommands;
class ListFeed;
class MainMenus;
class NoteCommands;
class NoteListWidget;
class NotebookCommands;
class NotebookListWidget;
class PaneLayout;
class QLineEdit;
class QMimeData;
class QPrinter;
class QSplitter;
class QStackedWidget;
class StatusBar;
class TrayController;
class WelcomePage;

// The application's main window: notebook sidebar, note list with its search
// field, and the note pane (header bar, formatting toolbar, editor) side by
// side in a splitter, with the menu bar, status bar and tray icon. It builds
// the widgets, hands each concern to its piece (menus, note and notebook
// commands, account, list feed, pane layout and focus, screens, tray) and
// drives what spans them: which note the editor shows, storing it, and
// leaving it.
//
// state is not owned and must outlive the window.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
public:
    // Everything that blocks or leaves the process. Defaults run the real
    // dialogs, clipboard and tray; tests replace them.
    struct Hooks
    {
        // A Yes/No question whose default is No; true for Yes.
        YesNoPrompt askYesNo;
        // Takes ownership of data.
        std::function<void(QMimeData *data)> setClipboard;
        // Runs the print dialog for printer; true when accepted.
        std::function<bool(QPrinter *printer)> runPrintDialog;
        std::function<bool()> systemTrayAvailable;
    };

    using Screen = ScreenRegistry::Screen;

    explicit MainWindow(AppState *state, QWidget *parent = nullptr);
    ~MainWindow() override;

    Hooks &hooks() { return m_hooks; }

    // Shows the note in the editor; an empty or trashed one clears it.
    void showNote(const QString &noteId, bool force);
    void saveCurrentNote();
    void saveSnapshot();
    // Stores the editor before it shows something else; false when its text
    // could not be stored and the user keeps it.
    bool leaveCurrentNote();
    void createNewNote();
    void refreshNoteList();
    void refreshNotebooks();
    // While held, note and notebook changes do not rebuild the lists: the
    // holder makes several writes and rebuilds them once.
    void holdListRefresh(bool hold) { m_holdRefresh = hold; }
    void applyStenoMode();
    void updateTray();
    // Shows the window in front, also when hidden to the tray or minimised.
    void bringToFront();
    // Whether the tray icon is up, so that starting hidden leaves a way back.
    bool inTray() const;
    void quitApplication();
    // Shows the banner of a damaged database opened read-only (details: what
    // the check found); repair runs when the user asks for it.
    void showDatabaseDamaged(const QString &details, const std::function<void()> &repair);
    // Refreshes, titles and brings up a secondary screen.
    void openScreen(Screen screen);
    // The screen's window once it was opened; null before.
    QWidget *screenWindow(Screen screen) const;

    IoCommands *ioCommands() const { return m_io; }
    NoteCommands *noteCommands() const { return m_notes; }
    NotebookCommands *notebookCommands() const { return m_notebooks; }
    AccountMenu *accountMenu() const { return m_account; }
    PaneLayout *paneLayout() const { return m_layout; }
    const PaneFocus *paneFocus() const { return m_paneFocus.get(); }

    NoteListWidget *noteList() const { return m_noteList; }
    NotebookListWidget *notebookList() const { return m_notebookList; }
    NotePane *pane() const { return m_pane; }
    NoteEditor *editor() const { return m_pane->editor(); }
    EditorToolbar *toolbar() const { return m_pane->toolbar(); }
    FindBar *findBar() const { return m_pane->findBar(); }
    NoteHeaderBar *headerBar() const { return m_pane->headerBar(); }
    NoteSession *session() const { return m_pane->session(); }
    StatusBar *statusBarWidget() const { return m_statusBar; }
    QLineEdit *searchField() const { return m_searchField; }
    QSplitter *splitter() const { return m_splitter; }
    QWidget *sidebarPane() const { return m_sidebar; }
    QWidget *middlePane() const { return m_middle; }
    bool isShowingWelcomePage() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void installDefaultHooks();
    void buildWidgets();
    void connectSignals();
    void registerScreens();

    void onNoteSelected(const QString &noteId);
    void onCurrentNoteChanged(const QString &noteId);
    void onPreferenceChanged(const QString &key);
    void onFontScaleChanged();
    // Notes moved to another account: their windows and the editor follow.
    void followMovedNotes(const QHash<QString, QString> &moved);
    void clearEditor();
    void updatePage();
    bool readBoolPreference(const QString &key, bool fallback) const;

    QPointer<AppState> m_state;
    Hooks m_hooks;

    QSplitter *m_splitter = nullptr;
    QWidget *m_sidebar = nullptr;
    NoteListPane *m_middle = nullptr;
    QLineEdit *m_searchField = nullptr;
    NotebookListWidget *m_notebookList = nullptr;
    NoteListWidget *m_noteList = nullptr;
    BannerColumn *m_column = nullptr;
    QStackedWidget *m_stack = nullptr;
    NotePane *m_pane = nullptr;
    WelcomePage *m_welcomePage = nullptr;
    StatusBar *m_statusBar = nullptr;

    IoCommands *m_io = nullptr;
    NoteCommands *m_notes = nullptr;
    NotebookCommands *m_notebooks = nullptr;
    AccountMenu *m_account = nullptr;
    MainMenus *m_menus = nullptr;
    ListFeed *m_feed = nullptr;
    PaneLayout *m_layout = nullptr;
    std::unique_ptr<PaneFocus> m_paneFocus;
    ScreenRegistry *m_screens = nullptr;
    TrayController *m_tray = nullptr;

    bool m_selectingNote = false;
    bool m_holdRefresh = false;
};
