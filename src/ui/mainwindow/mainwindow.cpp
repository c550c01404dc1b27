#include "mainwindow.h"

#include "accountmenu.h"
#include "appstate.h"
#include "bannercolumn.h"
#include "databasedamagebanner.h"
#include "editortoolbar.h"
#include "findbar.h"
#include "iocommands.h"
#include "listfeed.h"
#include "mainmenus.h"
#include "notebookcommands.h"
#include "notecommands.h"
#include "notebooklistwidget.h"
#include "noteeditor.h"
#include "notesession.h"
#include "panelayout.h"
#include "noteheaderbar.h"
#include "notelistpane.h"
#include "notelistwidget.h"
#include "notetextfill.h"
#include "notewindowregistry.h"
#include "noterepository.h"
#include "client.h"
#include "offlinebanner.h"
#include "preferencesrepository.h"
#include "statusbar.h"
#include "syncstatedisplay.h"
#include "thememanager.h"
#include "traycontroller.h"
#include "signinfeedback.h"
#include "uilog.h"
#include "unsavednotes.h"
#include "welcomepage.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QSplitter>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

namespace {

const QString kAppName = QStringLiteral("Velmora Notes");

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

MainWindow::MainWindow(AppState *state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
{
    Q_ASSERT(state && state->notes());
    installDefaultHooks();
    setWindowTitle(kAppName);
    m_io = new IoCommands(state, this, this);
    registerScreens();

    buildWidgets();
    m_notebooks = new NotebookCommands(state, this);
    m_notes = new NoteCommands(state, this);
    m_paneFocus = std::make_unique<PaneFocus>(PaneFocus::Panes{this, m_sidebar, m_notebookList, m_middle, m_noteList,
                                                               m_stack, m_pane->editor(), m_pane->headerBar(),
                                                               m_welcomePage, [this] { return isShowingWelcomePage(); }});
    m_account = new AccountMenu(state, this, m_column, m_statusBar);
    m_menus = new MainMenus(state, this);
    if (state->accountClient())
        connect(state, &AppState::notesMoved, this, &MainWindow::followMovedNotes);
    connectSignals();
    m_layout = new PaneLayout({this, m_splitter, m_sidebar, m_notebookList, m_middle, m_pane->headerBar()}, this);
    m_layout->setActions(m_menus->focusModeAction(), m_menus->sidebarAction());
    m_layout->restore();

    refreshNoteList();
    refreshNotebooks();

    m_layout->apply();

    const QString currentNote = m_state->currentNoteId();
    if (!currentNote.isEmpty()) {
        {
            const QSignalBlocker blocker(m_noteList);
            m_noteList->selectNote(currentNote);
        }
        // Loaded once the window is up: a long note must not keep it from showing.
        QTimer::singleShot(0, this, [this, currentNote] {
            if (m_pane->editor()->noteId().isEmpty())
                showNote(currentNote, false);
        });
    }

    connect(m_state->preferences(), &PreferencesRepository::changed, this, &MainWindow::onPreferenceChanged);
    if (ThemeManager *theme = m_state->themeManager())
        connect(theme, &ThemeManager::fontScaleChanged, this, &MainWindow::onFontScaleChanged);
    if (NoteTextFill *fill = m_state->textFill()) {
        m_middle->setIndexBuilding(fill->isRunning());
        connect(fill, &NoteTextFill::runningChanged, m_middle, &NoteListPane::setIndexBuilding);
        connect(fill, &NoteTextFill::textsWritten, this, [this] {
            if (!m_holdRefresh)
                refreshNoteList();
        });
    }

    if (readBoolPreference(QStringLiteral("steno_mode"), false))
        applyStenoMode();
    updateTray();
    if (VelmAccount::Client *client = m_state->accountClient()) {
        showSignInFeedback(client, m_welcomePage, m_statusBar);
        connect(client, &VelmAccount::Client::authStateChanged, this, &MainWindow::updatePage);
    }
    updatePage();
}

MainWindow::~MainWindow()
{
    saveCurrentNote();
}

void MainWindow::installDefaultHooks()
{
    m_hooks.askYesNo = askYesNoBox;
    m_hooks.setClipboard = [](QMimeData *data) { QApplication::clipboard()->setMimeData(data); };
    m_hooks.runPrintDialog = [this](QPrinter *printer) {
        QPrintDialog dialog(printer, this);
        dialog.setWindowTitle(tr("Print Note"));
        return dialog.exec() == QDialog::Accepted;
    };
    m_hooks.systemTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
}

bool MainWindow::readBoolPreference(const QString &key, bool fallback) const
{
    return m_state && m_state->preferences() ? m_state->preferences()->getBool(key, fallback) : fallback;
}

// ---------------------------------------------------------------- building

void MainWindow::buildWidgets()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setHandleWidth(1);
    m_splitter->setChildrenCollapsible(false);

    m_sidebar = new QWidget(m_splitter);
    auto *sidebarLayout = new QVBoxLayout(m_sidebar);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    m_notebookList = new NotebookListWidget(m_sidebar);
    sidebarLayout->addWidget(m_notebookList);

    m_middle = new NoteListPane(m_splitter);
    m_noteList = m_middle->noteList();
    m_searchField = m_middle->searchField();

    m_column = new BannerColumn(m_splitter);
    m_stack = m_column->stack();

    m_pane = new NotePane(m_state, this, m_stack);
    m_stack->addWidget(m_pane);

    m_welcomePage = new WelcomePage(m_stack);
    m_stack->addWidget(m_welcomePage);

    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_middle);
    m_splitter->addWidget(m_column);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setStretchFactor(2, 1);
    m_splitter->setSizes({200, 260, 800});
    setCentralWidget(m_splitter);

    m_statusBar = new StatusBar(this);
    m_pane->reportTo(m_statusBar);
    m_tray = new TrayController(
        this, {[this] { return m_hooks.systemTrayAvailable(); },
               [this](const QString &key) { return readBoolPreference(key, false); },
               [this] { NoteWindowRegistry::of(m_state)->newNoteInWindow(); }, [this] { openScreen(Screen::Search); },
               [this] { openScreen(Screen::Todos); }, [this] { quitApplication(); }});
    setStatusBar(m_statusBar);
    m_feed = new ListFeed(m_state, m_noteList, m_notebookList, m_searchField, m_statusBar, this);

    clearEditor();
}

void MainWindow::connectSignals()
{
    connect(m_welcomePage, &WelcomePage::newNoteRequested, this, &MainWindow::createNewNote);

    connect(m_pane->editor(), &NoteEditor::noteModified, this, &MainWindow::saveCurrentNote);
    connect(m_pane->editor(), &NoteEditor::noteLinkActivated, m_state, &AppState::setCurrentNote);
    // A note opened from a search shows where the searched words are.
    connect(m_pane->editor(), &NoteEditor::noteSwitched, this, [this] {
        if (const QString query = m_searchField->text().trimmed(); !query.isEmpty())
            m_pane->findBar()->showSearchTerms(query);
    });
    if (m_state) {
        auto *offline = new OfflineBanner(m_column);
        offline->hide();
        m_column->addBanner(offline);
        showSyncState(m_state, m_statusBar, offline);
    }

    connect(m_noteList, &NoteListWidget::noteSelected, this, &MainWindow::onNoteSelected);
    connect(m_noteList, &NoteListWidget::noteActivated, this, [this] { m_pane->editor()->setFocus(Qt::OtherFocusReason); });

    connect(m_notebookList, &NotebookListWidget::trashSelected, this, [this] {
        openScreen(Screen::Trash);
        // The sidebar keeps showing which notes the list holds.
        refreshNotebooks();
    });

    connect(m_state, &AppState::notesChanged, this, [this] {
        if (m_holdRefresh)
            return;
        refreshNoteList();
        refreshNotebooks();
    });
    connect(m_state, &AppState::notesWritten, m_feed, &ListFeed::notesWritten);
    connect(m_state, &AppState::notebooksChanged, this, [this] {
        if (m_holdRefresh)
            return;
        refreshNotebooks();
        // Notebook names show on the note rows.
        refreshNoteList();
    });
    connect(m_state, &AppState::noteUpdatedExternally, this, [this](const QString &noteId, QObject *source) {
        if (source != this && noteId == m_pane->editor()->noteId())
            showNote(noteId, false);
    });
    connect(m_state, &AppState::syncAboutToMerge, this, &MainWindow::saveCurrentNote);
    connect(m_state, &AppState::currentNoteChanged, this, &MainWindow::onCurrentNoteChanged);
    connect(m_state, &AppState::noteDeletedExternally, this, [this](const QString &noteId) {
        if (noteId == m_pane->editor()->noteId()) {
            clearEditor();
            updatePage();
        }
    });

    connect(m_pane->headerBar(), &NoteHeaderBar::focusToggleClicked, this, [this] { m_layout->setFocusMode(!m_layout->focusMode()); });
    connect(m_io, &IoCommands::statusMessage, m_statusBar, &StatusBar::showTemporaryMessage);
}

void MainWindow::refreshNoteList()
{
    m_feed->refreshNotes();
}

void MainWindow::refreshNotebooks()
{
    m_feed->refreshNotebooks();
}

void MainWindow::followMovedNotes(const QHash<QString, QString> &moved)
{
    NoteWindowRegistry *windows = NoteWindowRegistry::of(m_state);
    for (auto it = moved.cbegin(); it != moved.cend(); ++it) {
        if (QWidget *window = windows->window(it.key())) {
            window->close();
            windows->open(it.value());
        }
    }
    if (moved.contains(m_pane->editor()->noteId()))
        clearEditor();
    refreshNoteList();
}

// ---------------------------------------------------------------- the note pane

void MainWindow::clearEditor()
{
    m_pane->clear();
    m_pane->toolbar()->setEnabled(false);
    m_pane->headerBar()->setEditable(false);
    m_pane->headerBar()->hide();
}

bool MainWindow::isShowingWelcomePage() const
{
    return m_stack->currentWidget() == m_welcomePage;
}

void MainWindow::updatePage()
{
    // Signed out and without a note, the welcome page invites a note and the
    // sign-in; signed in, the empty note pane waits for a note.
    const VelmAccount::Client *client = m_state ? m_state->accountClient() : nullptr;
    const bool welcome = m_pane->editor()->noteId().isEmpty() && !(client && client->isAuthenticated());
    m_stack->setCurrentWidget(welcome ? static_cast<QWidget *>(m_welcomePage) : m_pane);
}

void MainWindow::showNote(const QString &noteId, bool force)
{
    const std::optional<Note> note = noteId.isEmpty() ? std::nullopt : m_state->notes()->noteById(noteId);
    // A trashed note is shown by the Trash, never as an editable note here.
    if (!note || note->deletedAt) {
        clearEditor();
        updatePage();
        return;
    }
    m_pane->headerBar()->show();
    m_pane->showNote(*note, force);
    updatePage();
}

void MainWindow::saveCurrentNote()
{
    if (m_pane->save() == NoteSession::SaveResult::Conflict)
        showNote(m_pane->noteId(), true);
}

bool MainWindow::leaveCurrentNote()
{
    if (m_pane->editor()->isSaved())
        return true;
    saveCurrentNote();
    saveSnapshot();
    if (m_pane->editor()->isSaved())
        return true;
    if (!m_hooks.askYesNo(this, discardUnsavedTitle(), discardUnsavedQuestion({m_pane->editor()})))
        return false;
    qCWarning(lcUi) << "MainWindow: unsaved changes to the note" << m_pane->editor()->noteId() << "were discarded";
    m_pane->editor()->abandonUnsavedChanges();
    return true;
}

void MainWindow::saveSnapshot()
{
    m_pane->saveSnapshot();
}

void MainWindow::onNoteSelected(const QString &noteId)
{
    if (noteId == m_pane->editor()->noteId())
        return;
    if (!leaveCurrentNote()) {
        const QSignalBlocker blocker(m_noteList);
        m_noteList->selectNote(m_pane->editor()->noteId());
        return;
    }
    m_selectingNote = true;
    m_state->setCurrentNote(noteId);
    m_selectingNote = false;
    showNote(noteId, false);
}

void MainWindow::onCurrentNoteChanged(const QString &noteId)
{
    // Another view (the Search or Shared screen) picked a note: show it here.
    if (m_selectingNote || noteId.isEmpty() || noteId == m_pane->editor()->noteId())
        return;
    if (!leaveCurrentNote())
        return;
    {
        const QSignalBlocker blocker(m_noteList);
        m_noteList->selectNote(noteId);
    }
    showNote(noteId, false);
}

void MainWindow::createNewNote()
{
    if (!leaveCurrentNote())
        return;
    const Note note = Note::blank(newId(), m_state->currentNotebookId());
    if (!m_state->notes()->insert(note))
        return;
    m_noteList->selectNote(note.id);
    if (m_pane->editor()->noteId() != note.id) {
        // Not in the list (a search hides it): show it all the same.
        m_state->setCurrentNote(note.id);
        showNote(note.id, false);
    }
    m_pane->editor()->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------- preferences and theme

void MainWindow::onPreferenceChanged(const QString &key)
{
    if (key == QStringLiteral("theme_mode")) {
        if (ThemeManager *theme = m_state->themeManager())
            theme->setThemeMode(m_state->preferences()->getString(key, QStringLiteral("system")));
        m_noteList->viewport()->update();
        m_notebookList->viewport()->update();
    } else if (key == QStringLiteral("steno_mode")) {
        applyStenoMode();
    } else if (key == QStringLiteral("close_to_tray") || key == QStringLiteral("start_minimized")) {
        updateTray();
    }
}

void MainWindow::onFontScaleChanged()
{
    saveCurrentNote();
    m_pane->refreshLook();
    m_statusBar->refreshLook();
    if (!m_pane->editor()->noteId().isEmpty())
        showNote(m_pane->editor()->noteId(), true);
    // Row heights follow the scale: let the views ask for size hints again.
    refreshNoteList();
    refreshNotebooks();
    m_noteList->doItemsLayout();
    m_notebookList->doItemsLayout();
    // The panes' minimum widths follow the text.
    m_layout->apply();
}

void MainWindow::applyStenoMode()
{
    m_middle->setSearchBelow(readBoolPreference(QStringLiteral("steno_mode"), false));
    refreshNoteList();
}

void MainWindow::bringToFront()
{
    TrayController::bringToFront(this);
}

bool MainWindow::inTray() const
{
    return m_tray->hasIcon();
}

void MainWindow::updateTray()
{
    m_tray->update();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_layout->save();
    saveCurrentNote();
    saveSnapshot();
    if (m_tray->hidesOnClose()) {
        event->ignore();
        hide();
        return;
    }
    if (!leaveCurrentNote()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::showDatabaseDamaged(const QString &details, const std::function<void()> &repair)
{
    auto *banner = new DatabaseDamageBanner(details, m_column);
    m_column->addBanner(banner);
    connect(banner, &DatabaseDamageBanner::backUpRequested, this, [this] { m_io->backupDatabase(); });
    connect(banner, &DatabaseDamageBanner::repairRequested, this, [repair] {
        if (repair)
            repair();
    });
}

void MainWindow::quitApplication()
{
    const QList<NoteEditor *> unsaved = saveOpenNotes();
    if (!unsaved.isEmpty()) {
        if (!m_hooks.askYesNo(this, discardUnsavedTitle(), discardUnsavedQuestion(unsaved)))
            return;
        for (NoteEditor *editor : unsaved)
            editor->abandonUnsavedChanges();
    }
    if (m_state && m_state->preferences()) {
        m_state->preferences()->set(QStringLiteral("restore_note_windows"),
                                    NoteWindowRegistry::of(m_state)->openIds().join(QLatin1Char(',')));
        const QWidget *todos = m_screens->window(Screen::Todos);
        m_state->preferences()->setBool(QStringLiteral("restore_todos_window"), todos && todos->isVisible());
    }
    m_tray->stopHidingOnClose();
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}
