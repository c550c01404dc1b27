#include "mainmenus.h"

#include "accountmenu.h"
#include "appstate.h"
#include "builtinnotes.h"
#include "client.h"
#include "editoractions.h"
#include "findbar.h"
#include "iocommands.h"
#include "mainwindow.h"
#include "notebookcommands.h"
#include "notecommands.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notewindowregistry.h"
#include "panelayout.h"
#include "settingsdialog.h"
#include "statusbar.h"
#include "syncengine.h"
#include "syncstatedisplay.h"
#include "updatecommands.h"

#include <QCoreApplication>
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include <functional>

namespace {

const char *const kFile = QT_TRANSLATE_NOOP("MainMenus", "&File");
const char *const kEdit = QT_TRANSLATE_NOOP("MainMenus", "&Edit");
const char *const kFormat = QT_TRANSLATE_NOOP("MainMenus", "F&ormat");
const char *const kNote = QT_TRANSLATE_NOOP("MainMenus", "&Note");
const char *const kView = QT_TRANSLATE_NOOP("MainMenus", "&View");
const char *const kHelp = QT_TRANSLATE_NOOP("MainMenus", "&Help");

QString translated(const char *text)
{
    return QCoreApplication::translate("MainMenus", text);
}

} // namespace

struct MainMenus::Entry
{
    enum class Kind { Command, Toggle, Separator, Part };
    Kind kind = Kind::Command;
    const char *menu = nullptr; // null: a key with no menu entry
    const char *text = nullptr;
    QKeySequence key = {};
    Qt::ShortcutContext context = Qt::WindowShortcut;
    std::function<void()> run = {};
    QAction::MenuRole role = QAction::TextHeuristicRole;
    // Toggles: what they switch, whether they start on, their tip and where they are kept.
    std::function<void(bool)> toggled = {};
    bool checked = false;
    const char *tip = nullptr;
    QAction *MainMenus::*keep = nullptr;
    // Parts: entries from a table of their own.
    std::function<void(QMenu *)> part = {};
    bool offered = true;
};

MainMenus::MainMenus(AppState *state, MainWindow *window)
    : QObject(window)
    , m_state(state)
    , m_window(window)
{
    QHash<const char *, QMenu *> menus;
    for (const Entry &e : table()) {
        if (!e.offered)
            continue;
        if (!e.menu) {
            auto *action = new QAction(window);
            action->setShortcut(e.key);
            action->setShortcutContext(e.context);
            connect(action, &QAction::triggered, this, e.run);
            window->addAction(action);
            continue;
        }
        QMenu *&menu = menus[e.menu];
        if (!menu)
            menu = window->menuBar()->addMenu(translated(e.menu));
        switch (e.kind) {
        case Entry::Kind::Separator:
            menu->addSeparator();
            break;
        case Entry::Kind::Part:
            e.part(menu);
            break;
        case Entry::Kind::Toggle: {
            QAction *action = menu->addAction(translated(e.text));
            action->setCheckable(true);
            action->setChecked(e.checked);
            action->setShortcut(e.key);
            if (e.tip)
                action->setStatusTip(translated(e.tip));
            connect(action, &QAction::toggled, this, e.toggled);
            this->*e.keep = action;
            break;
        }
        case Entry::Kind::Command: {
            QAction *action = menu->addAction(translated(e.text));
            if (!e.key.isEmpty()) {
                action->setShortcut(e.key);
                action->setShortcutContext(e.context);
            }
            action->setMenuRole(e.role);
            connect(action, &QAction::triggered, this, e.run);
            break;
        }
        }
    }
}

QList<MainMenus::Entry> MainMenus::table()
{
    using K = QKeySequence;
    const auto command = [](const char *menu, const char *text, const QKeySequence &key, std::function<void()> run,
                            Qt::ShortcutContext context = Qt::WindowShortcut) {
        Entry e;
        e.menu = menu;
        e.text = text;
        e.key = key;
        e.run = std::move(run);
        e.context = context;
        return e;
    };
    const auto withRole = [](Entry e, QAction::MenuRole role) {
        e.role = role;
        return e;
    };
    const auto toggle = [](const char *menu, const char *text, const QKeySequence &key, std::function<void(bool)> toggled,
                           bool checked, QAction *MainMenus::*keep, const char *tip = nullptr) {
        Entry e;
        e.kind = Entry::Kind::Toggle;
        e.menu = menu;
        e.text = text;
        e.key = key;
        e.toggled = std::move(toggled);
        e.checked = checked;
        e.keep = keep;
        e.tip = tip;
        return e;
    };
    const auto separator = [](const char *menu) {
        Entry e;
        e.kind = Entry::Kind::Separator;
        e.menu = menu;
        return e;
    };
    const auto part = [](const char *menu, std::function<void(QMenu *)> build) {
        Entry e;
        e.kind = Entry::Kind::Part;
        e.menu = menu;
        e.part = std::move(build);
        return e;
    };
    const bool developer = qgetenv("NOTES_DEV") == "1";
    const auto offeredIf = [](bool offered, Entry e) {
        e.offered = offered;
        return e;
    };
    MainWindow *w = m_window;
    NotePane *pane = w->pane();
    const auto saved = [w](void (IoCommands::*run)()) {
        return [w, run] {
            w->saveCurrentNote();
            (w->ioCommands()->*run)();
        };
    };
    const Qt::ShortcutContext app = Qt::ApplicationShortcut;
    return {
        command(kFile, QT_TR_NOOP("New Note"), K(Qt::CTRL | Qt::Key_N), [w] { w->createNewNote(); }, app),
        command(kFile, QT_TR_NOOP("New Note in Window"), K(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
                [this] { NoteWindowRegistry::of(m_state)->newNoteInWindow(); }, app),
        command(kFile, QT_TR_NOOP("Save Snapshot"), K::Save,
                [w, pane] {
                    w->saveCurrentNote();
                    if (!pane->snapshotNow())
                        w->statusBarWidget()->showTemporaryMessage(tr("The snapshot could not be saved"), 5000);
                }),
        command(kFile, QT_TR_NOOP("New Notebook…"), {}, [w] { w->notebookCommands()->create(); }),
        separator(kFile),
        // Ctrl+I stays with Italic.
        command(kFile, QT_TR_NOOP("Import..."), {}, [w] { w->ioCommands()->importNotes(); }),
        // Exports the note as last stored, without saving the editor first.
        command(kFile, QT_TR_NOOP("Export..."), K(Qt::CTRL | Qt::Key_E),
                [w, pane] { w->ioCommands()->exportNote(pane->noteId()); }),
        command(kFile, QT_TR_NOOP("Export All Notes as Markdown..."), {},
                [w] {
                    w->saveCurrentNote();
                    w->ioCommands()->exportMarkdown(std::nullopt);
                }),
        separator(kFile),
        command(kFile, QT_TR_NOOP("Print..."), K::Print, [w] { w->noteCommands()->print(); }),
        command(kFile, QT_TR_NOOP("Print Preview..."), K(Qt::CTRL | Qt::SHIFT | Qt::Key_P), [w] { w->noteCommands()->printPreview(); }),
        separator(kFile),
        command(kFile, QT_TR_NOOP("Backup Database..."), {}, saved(&IoCommands::backupDatabase)),
        command(kFile, QT_TR_NOOP("Restore Database..."), {}, saved(&IoCommands::restoreDatabase)),
        separator(kFile),
        part(kFile, [w](QMenu *menu) { w->accountMenu()->addTo(menu); }),
        separator(kFile),
        command(kFile, QT_TR_NOOP("Preferences…"), K(Qt::CTRL | Qt::Key_Comma), [this] { showPreferences(); }, app),
        separator(kFile),
        withRole(command(kFile, QT_TR_NOOP("Quit"), K::Quit, [w] { w->quitApplication(); }), QAction::QuitRole),

        command(kEdit, QT_TR_NOOP("Undo"), K::Undo, [pane] { pane->editor()->undo(); }),
        command(kEdit, QT_TR_NOOP("Redo"), K::Redo, [pane] { pane->editor()->redo(); }),
        separator(kEdit),
        part(kEdit, [pane](QMenu *menu) { pane->actions()->addClipboardMenu(menu); }),
        separator(kEdit),
        part(kEdit, [pane](QMenu *menu) { pane->findBar()->addMenuCommands(menu); }),
        separator(kEdit),
        withRole(command(kEdit, QT_TR_NOOP("Preferences…"), {}, [this] { showPreferences(); }),
                 QAction::PreferencesRole),

        part(kFormat, [pane](QMenu *menu) { pane->actions()->addFormatMenu(menu); }),

        command(kNote, QT_TR_NOOP("Move to Notebook..."), K(Qt::CTRL | Qt::Key_M),
                [w] { w->notebookCommands()->moveCurrentNote(); }),
        command(kNote, QT_TR_NOOP("Version History..."), K(Qt::CTRL | Qt::Key_H), [w] { w->noteCommands()->showHistory(); }),
        command(kNote, QT_TR_NOOP("Open in New Window"), K(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
                [w, pane] { w->noteCommands()->openInWindow(pane->noteId()); }),
        command(kNote, QT_TR_NOOP("Show Its Notebook"), {}, [w] { w->notebookCommands()->showCurrentNotebook(); }),
        separator(kNote),
        part(kNote, [pane](QMenu *menu) { pane->headerBar()->addMenuCommands(menu); }),
        separator(kNote),
        command(kNote, QT_TR_NOOP("Move to Trash…"), K(Qt::CTRL | Qt::Key_D), [w] { w->noteCommands()->trashSelected(true); }, app),

        command(kView, QT_TR_NOOP("To-Dos"), K(Qt::CTRL | Qt::ALT | Qt::Key_T),
                [w] { w->openScreen(MainWindow::Screen::Todos); }),
        command(kView, QT_TR_NOOP("Find"), K(Qt::CTRL | Qt::ALT | Qt::Key_F),
                [w] {
                    w->searchField()->setFocus(Qt::ShortcutFocusReason);
                    w->searchField()->selectAll();
                }),
        command(kView, QT_TR_NOOP("Search All Notes..."), K(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
                [w] { w->openScreen(MainWindow::Screen::Search); }),
        command(kView, QT_TR_NOOP("Trash"), K(Qt::CTRL | Qt::ALT | Qt::Key_D),
                [w] { w->openScreen(MainWindow::Screen::Trash); }),
        command(kView, QT_TR_NOOP("Shared with Me"), K(Qt::CTRL | Qt::ALT | Qt::Key_S),
                [w] { w->openScreen(MainWindow::Screen::SharedWithMe); }),
        command(kView, QT_TR_NOOP("Shared by Me"), K(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_S),
                [w] { w->openScreen(MainWindow::Screen::SharedByMe); }),
        separator(kView),
        command(kView, QT_TR_NOOP("Next Pane"), K(Qt::Key_F6), [w] { w->paneFocus()->next(true); }),
        command(kView, QT_TR_NOOP("Previous Pane"), K(Qt::SHIFT | Qt::Key_F6), [w] { w->paneFocus()->next(false); }),
        separator(kView),
        toggle(kView, QT_TR_NOOP("Focus Mode"), K(Qt::CTRL | Qt::Key_Backslash), [w](bool on) { w->paneLayout()->setFocusMode(on); },
               false, &MainMenus::m_focusMode,
               QT_TR_NOOP("Hide the notebook and note lists to write without distractions")),
        toggle(kView, QT_TR_NOOP("Show Notebook Sidebar"), K(Qt::CTRL | Qt::ALT | Qt::Key_B),
               [w](bool on) { w->paneLayout()->setSidebarVisible(on); }, true, &MainMenus::m_sidebar),
        separator(kView),
        command(kView, QT_TR_NOOP("Sync Now"), K(Qt::CTRL | Qt::ALT | Qt::Key_R),
                [this] {
                    if (m_state && m_state->syncEngine() && m_state->isSignedIn())
                        m_state->syncEngine()->syncNow();
                }),
        command(kView, QT_TR_NOOP("Force Full Resync…"), {},
                [this, w] {
                    if (m_state)
                        confirmFullResync(m_state, w);
                }),

        command(kHelp, QT_TR_NOOP("About Velmora Notes"), {}, [this] { showAbout(); }),
        separator(kHelp),
        part(kHelp,
             [this, w](QMenu *menu) {
                 VelmUpdate::addHelpActions(
                     menu,
                     [this] {
                         // The releases of the server set in Preferences, like every other service.
                         const VelmAccount::Client *client = m_state ? m_state->accountClient() : nullptr;
                         return VelmUpdate::UpdateConfig::fromEnvironment(
                             QStringLiteral("notes"), QStringLiteral("stable"), QCoreApplication::applicationVersion(),
                             client ? client->config().authBaseUrl : QString());
                     },
                     QUrl(QStringLiteral("https://velmora.app/feedback")), tr("Velmora Notes"), w,
                     [w](const QString &text) { w->statusBarWidget()->showTemporaryMessage(text, 5000); });
             }),
        offeredIf(developer, separator(kHelp)),
        offeredIf(developer, command(kHelp, QT_TR_NOOP("Load &Sample Notes"), {}, [this] { loadSampleNotes(); })),
        separator(kHelp),
        command(kHelp, QT_TR_NOOP("About Qt"), {}, [w] { QMessageBox::aboutQt(w); }),

        // Trashes without asking.
        command(nullptr, nullptr, K(Qt::CTRL | Qt::Key_Backspace), [w] { w->noteCommands()->trashSelected(false); }, app),
    };
}

void MainMenus::showPreferences()
{
    auto *dialog = new SettingsDialog(m_state, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void MainMenus::showAbout()
{
    QMessageBox::about(m_window, tr("About Velmora Notes"),
                       tr("Velmora Notes %1\n\nSearch-first, zero-friction note-taking.\n\n%2")
                           .arg(QCoreApplication::applicationVersion(), QStringLiteral("https://velmora.app")));
}

void MainMenus::loadSampleNotes()
{
    if (!m_window->hooks().askYesNo(m_window, tr("Load Sample Notes"),
                                    tr("Insert 7 sample notes into this database?\n\nThey'll appear in the "
                                       "unorganized pool with staggered dates from today to 28 days ago. "
                                       "Existing notes are not modified.")))
        return;
    const int inserted = createSampleNotes(m_state->notes());
    m_window->statusBarWidget()->showTemporaryMessage(tr("Loaded %1 sample note(s).").arg(inserted), 3000);
}
