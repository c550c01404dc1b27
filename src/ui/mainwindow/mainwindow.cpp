#include "mainwindow.h"

#include "appstate.h"
#include "builtinnotes.h"
#include "converters.h"
#include "delta.h"
#include "editoractions.h"
#include "editortoolbar.h"
#include "iocommands.h"
#include "iorepositories.h"
#include "lineicons.h"
#include "mainwindowrules.h"
#include "movetonotebookdialog.h"
#include "notebookdialog.h"
#include "notebooklistwidget.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "notesession.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "settingsdialog.h"
#include "accountscreen.h"
#include "authclient.h"
#include "account/client.h"
#include "searchscreen.h"
#include "sharedscreen.h"
#include "snapshotrepository.h"
#include "sharecommands.h"
#include "statusbar.h"
#include "syncengine.h"
#include "syncstatus.h"
#include "thememanager.h"
#include "todosscreen.h"
#include "trashscreen.h"
#include "uilog.h"
#include "updatecommands.h"
#include "versionhistorydialog.h"
#include "welcomepage.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScopedValueRollback>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

namespace {

const QString kGroup = QStringLiteral("mainWindow");
const QString kGeometry = QStringLiteral("geometry");
const QString kWindowState = QStringLiteral("windowState");
const QString kNormalSizes = QStringLiteral("normalSplitterSizes");
const QString kFocusMode = QStringLiteral("focusMode");
const QString kSidebarVisible = QStringLiteral("notebookSidebarVisible");

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
    IoRepositories repositories;
    repositories.database = state->database();
    repositories.notes = state->notes();
    repositories.notebooks = state->notebooks();
    repositories.attachments = state->attachments();
    repositories.snapshots = state->snapshots();
    m_io = new IoCommands(repositories, this, this);

    buildWidgets();
    buildMenus();
    connectSignals();
    restoreGeometryAndLayout();

    refreshNoteList();
    refreshNotebooks();

    QSettings settings;
    settings.beginGroup(kGroup);
    m_sidebarVisible = settings.value(kSidebarVisible, true).toBool();
    m_focusMode = settings.value(kFocusMode, false).toBool();
    settings.endGroup();
    {
        const QSignalBlocker a(m_focusModeAction);
        const QSignalBlocker b(m_sidebarAction);
        m_focusModeAction->setChecked(m_focusMode);
        m_sidebarAction->setChecked(m_sidebarVisible);
    }
    applyLayout();

    const QString currentNote = m_state->currentNoteId();
    if (!currentNote.isEmpty()) {
        {
            const QSignalBlocker blocker(m_noteList);
            m_noteList->selectNote(currentNote);
        }
        // Loaded once the window is up: a long note must not keep it from showing.
        QTimer::singleShot(0, this, [this, currentNote] {
            if (m_editor->noteId().isEmpty())
                showNote(currentNote, false);
        });
    }

    connect(m_state->preferences(), &PreferencesRepository::changed, this, &MainWindow::onPreferenceChanged);
    if (ThemeManager *theme = m_state->themeManager())
        connect(theme, &ThemeManager::fontScaleChanged, this, &MainWindow::onFontScaleChanged);

    if (readBoolPreference(QStringLiteral("steno_mode"), false))
        applyStenoMode();
    updateTray();
    updatePage();
}

MainWindow::~MainWindow()
{
    saveCurrentNote();
}

void MainWindow::installDefaultHooks()
{
    m_hooks.askYesNo = [this](const QString &title, const QString &text) {
        return QMessageBox::question(this, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               == QMessageBox::Yes;
    };
    m_hooks.askNewNotebookName = [this] { return NotebookDialog::getNewName(this); };
    m_hooks.askNotebookRename = [this](const QString &name) { return NotebookDialog::getRename(this, name); };
    m_hooks.chooseNotebook = [this](const QList<Notebook> &notebooks, const QString &current) {
        return MoveToNotebookDialog::choose(this, notebooks, current);
    };
    m_hooks.setClipboard = [](QMimeData *data) { QApplication::clipboard()->setMimeData(data); };
    m_hooks.runPrintDialog = [this](QPrinter *printer) {
        QPrintDialog dialog(printer, this);
        dialog.setWindowTitle(tr("Print Note"));
        return dialog.exec() == QDialog::Accepted;
    };
    m_hooks.systemTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    m_hooks.askFindText = [this](const QString &previous) {
        return QInputDialog::getText(this, tr("Find in Note"), tr("Find:"), QLineEdit::Normal,
                                     previous);
    };
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
    m_splitter->setChildrenCollapsible(true);

    m_sidebar = new QWidget(m_splitter);
    auto *sidebarLayout = new QVBoxLayout(m_sidebar);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    m_notebookList = new NotebookListWidget(m_sidebar);
    sidebarLayout->addWidget(m_notebookList);

    m_middle = new QWidget(m_splitter);
    m_middleLayout = new QVBoxLayout(m_middle);
    m_middleLayout->setContentsMargins(0, 0, 0, 0);
    m_middleLayout->setSpacing(0);
    m_searchRow = new QWidget(m_middle);
    auto *searchLayout = new QHBoxLayout(m_searchRow);
    searchLayout->setContentsMargins(8, 8, 8, 8);
    m_searchField = new QLineEdit(m_searchRow);
    m_searchField->setPlaceholderText(tr("Search..."));
    m_searchField->setClearButtonEnabled(true);
    searchLayout->addWidget(m_searchField);
    m_noteList = new NoteListWidget(m_middle);
    m_noteList->setNotebookNameResolver([this](const QString &id) { return m_notebookNames.value(id); });
    m_noteList->noteModel()->setRowReader([this](const QString &id) {
        return m_state ? m_state->notes()->rowById(id) : std::nullopt;
    });
    m_middleLayout->addWidget(m_searchRow);
    m_middleLayout->addWidget(m_noteList);

    auto *right = new QWidget(m_splitter);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(right);
    rightLayout->addWidget(m_stack);

    m_notePane = new QWidget(m_stack);
    auto *noteLayout = new QVBoxLayout(m_notePane);
    noteLayout->setContentsMargins(0, 0, 0, 0);
    noteLayout->setSpacing(0);
    m_headerBar = new NoteHeaderBar(m_notePane);
    m_toolbar = new EditorToolbar(m_notePane);
    m_editor = new NoteEditor(m_notePane);
    m_editor->setAttachmentRepository(m_state->attachments());
    m_toolbar->setEditor(m_editor);
    m_session = new NoteSession(m_state, this);
    m_editorActions = new EditorActions(this, m_editor);
    noteLayout->addWidget(m_headerBar);
    noteLayout->addWidget(m_toolbar);
    noteLayout->addWidget(m_editor, 1);
    m_stack->addWidget(m_notePane);

    m_welcomePage = new WelcomePage(m_stack);
    m_stack->addWidget(m_welcomePage);

    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_middle);
    m_splitter->addWidget(right);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setStretchFactor(2, 1);
    m_splitter->setSizes({200, 260, 800});
    setCentralWidget(m_splitter);

    m_statusBar = new StatusBar(this);
    setStatusBar(m_statusBar);

    m_searchTimer = new QTimer(this);
    m_searchTimer->setObjectName(QStringLiteral("searchTimer"));
    m_searchTimer->setSingleShot(true);
    m_searchTimer->setInterval(300);

    clearEditor();
}

void MainWindow::buildMenus()
{
    const auto add = [this](QMenu *menu, const QString &text, const QKeySequence &key, auto slot,
                            Qt::ShortcutContext context = Qt::WindowShortcut) {
        QAction *action = menu->addAction(text);
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setShortcutContext(context);
        }
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu *file = menuBar()->addMenu(tr("&File"));
    add(file, tr("New Note"), QKeySequence(Qt::CTRL | Qt::Key_N), [this] { createNewNote(); },
        Qt::ApplicationShortcut);
    add(file, tr("New Note in Window"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
        [this] { m_state->newNoteInWindow(); }, Qt::ApplicationShortcut);
    add(file, tr("Save Snapshot"), QKeySequence::Save, [this] { saveCurrentNote(); });
    file->addSeparator();
    // Ctrl+I stays with Italic.
    add(file, tr("Import..."), QKeySequence(), [this] { m_io->importNotes(); });
    // Exports the note as last stored, without saving the editor first.
    add(file, tr("Export..."), QKeySequence(Qt::CTRL | Qt::Key_E),
        [this] { m_io->exportNote(m_editor->noteId()); });
    file->addSeparator();
    add(file, tr("Print..."), QKeySequence::Print, [this] { print(); });
    add(file, tr("Print Preview..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P),
        [this] { printPreview(); });
    file->addSeparator();
    add(file, tr("Backup Database..."), QKeySequence(), [this] {
        saveCurrentNote();
        m_io->backupDatabase();
    });
    add(file, tr("Restore Database..."), QKeySequence(), [this] {
        saveCurrentNote();
        m_io->restoreDatabase();
    });
    file->addSeparator();
    addAccountAndPreferenceActions(file);
    file->addSeparator();
    QAction *quit = add(file, tr("Quit"), QKeySequence::Quit, [this] { quitApplication(); });
    quit->setMenuRole(QAction::QuitRole);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, tr("Undo"), QKeySequence::Undo, [this] { m_editor->undo(); });
    add(edit, tr("Redo"), QKeySequence::Redo, [this] { m_editor->redo(); });
    edit->addSeparator();
    add(edit, tr("Find in Note..."), QKeySequence::Find, [this] {
        if (m_editor->noteId().isEmpty())
            return;
        const QString text = m_hooks.askFindText(m_lastFindText);
        if (text.isEmpty())
            return;
        m_lastFindText = text;
        if (!findInNote(text))
            m_statusBar->showTemporaryMessage(tr("\"%1\" not found").arg(text), 3000);
    });
    edit->addSeparator();
    connect(edit->addAction(tr("Preferences…")), &QAction::triggered, this, &MainWindow::showPreferences);
    edit->actions().constLast()->setMenuRole(QAction::PreferencesRole);

    m_editorActions->addFormatMenu(menuBar()->addMenu(tr("F&ormat")));

    QMenu *note = menuBar()->addMenu(tr("&Note"));
    add(note, tr("Move to Notebook..."), QKeySequence(Qt::CTRL | Qt::Key_M), [this] { moveCurrentNote(); });
    add(note, tr("Version History..."), QKeySequence(Qt::CTRL | Qt::Key_H), [this] { showVersionHistory(); });
    add(note, tr("Open in New Window"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O),
        [this] { openCurrentNoteInWindow(); });
    note->addSeparator();
    add(note, tr("Move to Trash…"), QKeySequence(Qt::CTRL | Qt::Key_D), [this] { deleteCurrentNote(true); },
        Qt::ApplicationShortcut);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    add(view, tr("To-Dos"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T), [this] { openScreen(Screen::Todos); });
    add(view, tr("Find"), QKeySequence(Qt::Key_F3), [this] {
        m_searchField->setFocus(Qt::ShortcutFocusReason);
        m_searchField->selectAll();
    });
    add(view, tr("Search All Notes..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
        [this] { openScreen(Screen::Search); });
    add(view, tr("Trash"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D), [this] { openScreen(Screen::Trash); });
    add(view, tr("Shared with Me"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S),
        [this] { openScreen(Screen::SharedWithMe); });
    add(view, tr("Shared by Me"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_S),
        [this] { openScreen(Screen::SharedByMe); });
    view->addSeparator();
    m_focusModeAction = view->addAction(tr("Focus Mode"));
    m_focusModeAction->setCheckable(true);
    m_focusModeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backslash));
    m_focusModeAction->setStatusTip(tr("Hide the notebook and note lists to write without distractions"));
    connect(m_focusModeAction, &QAction::toggled, this, &MainWindow::setFocusMode);
    m_sidebarAction = view->addAction(tr("Show Notebook Sidebar"));
    m_sidebarAction->setCheckable(true);
    m_sidebarAction->setChecked(true);
    m_sidebarAction->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_B));
    connect(m_sidebarAction, &QAction::toggled, this, &MainWindow::setSidebarVisible);
    view->addSeparator();
    add(view, tr("Sync Now"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R), [this] {
        if (m_state && m_state->syncEngine() && m_state->isSignedIn())
            m_state->syncEngine()->syncNow();
    });
    add(view, tr("Force Full Resync…"), QKeySequence(), [this] {
        if (m_state)
            confirmFullResync(m_state, m_statusBar, this);
    });

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    add(help, tr("About Velmora Notes"), QKeySequence(), [this] {
        QMessageBox::about(this, tr("About Velmora Notes"),
                           tr("Velmora Notes %1\n\nSearch-first, zero-friction note-taking.\n\n%2")
                               .arg(QCoreApplication::applicationVersion(), QStringLiteral("https://velmora.app")));
    });
    help->addSeparator();
    VelmUpdate::addHelpActions(
        help, VelmUpdate::UpdateConfig::fromEnvironment(QStringLiteral("notes"), QStringLiteral("stable"),
                                                   QCoreApplication::applicationVersion()),
        QUrl(QStringLiteral("https://velmora.app/feedback")), tr("Velmora Notes"), this,
        [this](const QString &text) { m_statusBar->showTemporaryMessage(text, 5000); });
    if (qgetenv("NOTES_DEV") == "1") {
        help->addSeparator();
        add(help, tr("Load &Sample Notes"), QKeySequence(), [this] {
            if (!m_hooks.askYesNo(tr("Load Sample Notes"),
                                  tr("Insert 7 sample notes into this database?\n\nThey'll appear in the "
                                                 "unorganized pool with staggered dates from today to 28 days ago. "
                                                 "Existing notes are not modified.")))
                return;
            const int inserted = createSampleNotes(m_state->notes());
            m_statusBar->showTemporaryMessage(tr("Loaded %1 sample note(s).").arg(inserted), 3000);
        });
    }
    help->addSeparator();
    add(help, tr("About Qt"), QKeySequence(), [this] { QMessageBox::aboutQt(this); });

    // Trashes without asking; no menu entry.
    auto *quickDelete = new QAction(this);
    quickDelete->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backspace));
    quickDelete->setShortcutContext(Qt::ApplicationShortcut);
    connect(quickDelete, &QAction::triggered, this, [this] { deleteCurrentNote(false); });
    addAction(quickDelete);
}

void MainWindow::connectSignals()
{
    connect(m_searchField, &QLineEdit::textChanged, m_searchTimer, qOverload<>(&QTimer::start));
    connect(m_searchTimer, &QTimer::timeout, this, &MainWindow::refreshNoteList);
    connect(m_splitter, &QSplitter::splitterMoved, this, &MainWindow::onSplitterMoved);
    connect(m_welcomePage, &WelcomePage::newNoteRequested, this, &MainWindow::createNewNote);

    connect(m_editor, &NoteEditor::noteModified, this, &MainWindow::saveCurrentNote);
    connect(m_editor, &NoteEditor::noteLinkActivated, m_state, &AppState::setCurrentNote);
    connect(m_editor, &NoteEditor::wordCountChanged, m_statusBar, &StatusBar::setWordCount);
    if (m_state)
        showSyncState(m_state, m_statusBar);
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, &StatusBar::setSavedState);

    connect(m_noteList, &NoteListWidget::noteSelected, this, &MainWindow::onNoteSelected);
    connect(m_noteList, &NoteListWidget::noteDoubleClicked, this,
            [this](const QString &id) { m_state->openNoteWindow(id); });
    connect(m_noteList, &NoteListWidget::noteActivated, this, [this] { m_editor->setFocus(Qt::OtherFocusReason); });
    connect(m_noteList, &NoteListWidget::noteDeleteRequested, this, [this] { deleteCurrentNote(false); });
    connect(m_noteList, &NoteListWidget::noteContextMenuRequested, this,
            [this](const QString &id, const QPoint &globalPos) {
                if (auto menu = createNoteContextMenu(id))
                    menu->exec(globalPos);
            });

    const auto selectNotebook = [this](const QString &id) {
        m_state->setCurrentNotebook(id);
        refreshNoteList();
    };
    connect(m_notebookList, &NotebookListWidget::allNotesSelected, this,
            [selectNotebook] { selectNotebook(QString()); });
    connect(m_notebookList, &NotebookListWidget::notebookSelected, this, selectNotebook);
    connect(m_notebookList, &NotebookListWidget::newNotebookRequested, this, &MainWindow::createNotebook);
    connect(m_notebookList, &NotebookListWidget::trashSelected, this, [this] {
        openScreen(Screen::Trash);
        // The sidebar keeps showing which notes the list holds.
        refreshNotebooks();
    });
    connect(m_notebookList, &NotebookListWidget::notebookContextMenuRequested, this,
            [this](const QString &id, const QPoint &globalPos) {
                if (auto menu = createNotebookContextMenu(id))
                    menu->exec(globalPos);
            });
    connect(m_notebookList, &NotebookListWidget::noteDroppedOnNotebook, this, &MainWindow::onNoteDroppedOnNotebook);

    connect(m_state, &AppState::notesChanged, this, [this] {
        if (m_holdRefresh)
            return;
        refreshNoteList();
        refreshNotebooks();
    });
    connect(m_state, &AppState::notesWritten, this, &MainWindow::onNotesWritten);
    connect(m_state, &AppState::notebooksChanged, this, [this] {
        if (m_holdRefresh)
            return;
        refreshNotebooks();
        // Notebook names show on the note rows.
        refreshNoteList();
    });
    connect(m_state, &AppState::noteUpdatedExternally, this, [this](const QString &noteId, QObject *source) {
        if (source != this && noteId == m_editor->noteId())
            showNote(noteId, false);
    });
    connect(m_state, &AppState::syncAboutToMerge, this, &MainWindow::saveCurrentNote);
    connect(m_state, &AppState::currentNoteChanged, this, &MainWindow::onCurrentNoteChanged);
    connect(m_state, &AppState::noteDeletedExternally, this, [this](const QString &noteId) {
        if (noteId == m_editor->noteId()) {
            clearEditor();
            updatePage();
        }
    });

    connect(m_headerBar, &NoteHeaderBar::focusToggleClicked, this, [this] { setFocusMode(!m_focusMode); });
    connect(m_headerBar, &NoteHeaderBar::notebookChipClicked, this, &MainWindow::onNotebookChipClicked);
    connect(m_headerBar, &NoteHeaderBar::copyAsPlainTextRequested, this, [this] { copyNote(int(ExportFormat::PlainText)); });
    connect(m_headerBar, &NoteHeaderBar::copyAsMarkdownRequested, this, [this] { copyNote(int(ExportFormat::Markdown)); });
    connect(m_headerBar, &NoteHeaderBar::copyAsHtmlRequested, this, [this] { copyNote(int(ExportFormat::Html)); });
    connect(m_headerBar, &NoteHeaderBar::includeInTodosToggled, this, [this](bool include) {
        if (!m_editor->noteId().isEmpty())
            m_state->notes()->setIncludeInTodos(m_editor->noteId(), include);
    });
    connect(m_headerBar, &NoteHeaderBar::moveToNotebookRequested, this, &MainWindow::moveCurrentNote);
    connect(m_headerBar, &NoteHeaderBar::printRequested, this, &MainWindow::print);
    connect(m_headerBar, &NoteHeaderBar::historyRequested, this, &MainWindow::showVersionHistory);
    connect(m_headerBar, &NoteHeaderBar::exportRequested, this, [this] {
        saveCurrentNote();
        m_io->exportNote(m_editor->noteId());
    });
    connect(m_io, &IoCommands::statusMessage, m_statusBar, &StatusBar::showTemporaryMessage);
    connect(m_headerBar, &NoteHeaderBar::deleteRequested, this, [this] { deleteCurrentNote(false); });
}

// ---------------------------------------------------------------- geometry and layout

void MainWindow::restoreGeometryAndLayout()
{
    QSettings settings;
    settings.beginGroup(kGroup);
    const QByteArray geometry = settings.value(kGeometry).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(1280, 1024);
    const QByteArray state = settings.value(kWindowState).toByteArray();
    if (!state.isEmpty())
        restoreState(state);
    m_normalSplitterSizes = parseSplitterSizes(settings.value(kNormalSizes).toString());
    settings.endGroup();
}

void MainWindow::saveGeometryAndLayout()
{
    onSplitterMoved();
    QSettings settings;
    settings.beginGroup(kGroup);
    settings.setValue(kGeometry, saveGeometry());
    settings.setValue(kWindowState, saveState());
    if (m_normalSplitterSizes.size() == 3)
        settings.setValue(kNormalSizes, splitterSizesText(m_normalSplitterSizes));
    settings.endGroup();
}

void MainWindow::applyLayout()
{
    const bool sidebarShown = !m_focusMode && m_sidebarVisible;
    m_sidebar->setVisible(sidebarShown);
    m_middle->setVisible(!m_focusMode);
    m_headerBar->setFocusMode(m_focusMode);
    m_splitter->setSizes(paneWidths(m_focusMode, m_sidebarVisible, m_normalSplitterSizes, width()));
}

void MainWindow::onSplitterMoved()
{
    if (m_focusMode || !m_sidebarVisible || m_sidebar->isHidden() || m_middle->isHidden())
        return;
    const QList<int> sizes = m_splitter->sizes();
    if (sizes.size() == 3)
        m_normalSplitterSizes = sizes;
}

void MainWindow::setFocusMode(bool focusMode)
{
    // Leaving the normal layout: remember its widths first.
    if (focusMode && !m_focusMode && isVisible())
        onSplitterMoved();
    m_focusMode = focusMode;
    {
        const QSignalBlocker blocker(m_focusModeAction);
        m_focusModeAction->setChecked(focusMode);
    }
    applyLayout();
    QSettings settings;
    settings.setValue(kGroup + QLatin1Char('/') + kFocusMode, focusMode);
}

void MainWindow::setSidebarVisible(bool visible)
{
    if (!visible && m_sidebarVisible && isVisible())
        onSplitterMoved();
    m_sidebarVisible = visible;
    {
        const QSignalBlocker blocker(m_sidebarAction);
        m_sidebarAction->setChecked(visible);
    }
    applyLayout();
    QSettings settings;
    settings.setValue(kGroup + QLatin1Char('/') + kSidebarVisible, visible);
}

void MainWindow::applyStenoMode()
{
    const bool steno = readBoolPreference(QStringLiteral("steno_mode"), false);
    m_middleLayout->removeWidget(m_searchRow);
    m_middleLayout->removeWidget(m_noteList);
    if (steno) {
        m_middleLayout->addWidget(m_noteList);
        m_middleLayout->addWidget(m_searchRow);
    } else {
        m_middleLayout->addWidget(m_searchRow);
        m_middleLayout->addWidget(m_noteList);
    }
    refreshNoteList();
}

// ---------------------------------------------------------------- lists

void MainWindow::refreshNoteList()
{
    if (!m_state)
        return;
    m_notebookNames.clear();
    for (const Notebook &notebook : m_state->notebooks()->allNotebooks())
        m_notebookNames.insert(notebook.id, notebook.name);

    const QString text = m_searchField->text().trimmed();
    const QString notebookId = m_state->currentNotebookId();
    NoteRepository *notes = m_state->notes();
    int count = 0;
    if (text.isEmpty()) {
        // The first page now, the rest as the list scrolls.
        const bool steno = readBoolPreference(QStringLiteral("steno_mode"), false);
        const auto page = [notes, notebookId, steno](const QList<NoteRow> &loaded, int limit) {
            return notes->rowsPage(notebookId, steno,
                                   loaded.isEmpty() ? std::nullopt : std::optional<NoteRow>(loaded.last()), limit);
        };
        m_noteList->setRows(page({}, NoteListModel::kPageSize),
                            steno ? NoteListModel::Order::OldestUpdateFirst : NoteListModel::Order::NewestUpdateFirst,
                            [notebookId](const NoteRow &row) {
                                return !row.deletedAt.isValid()
                                    && (notebookId.isEmpty() || row.notebookId == notebookId);
                            },
                            page);
        count = notes->liveCount(notebookId);
    } else {
        m_noteList->setRows(notes->searchRows(text, NoteListModel::kPageSize), NoteListModel::Order::Ranked, {},
                            [notes, text](const QList<NoteRow> &loaded, int limit) {
                                return notes->searchRows(text, limit, int(loaded.size()));
                            });
        count = notes->searchCount(text);
    }

    const QString name = notebookId.isEmpty() ? tr("All Notes") : m_notebookNames.value(notebookId);
    m_statusBar->setNotebookInfo(name, count);
}

void MainWindow::onNotesWritten(const QStringList &ids)
{
    NoteListModel *model = m_noteList->noteModel();
    bool reload = false;
    bool countsChanged = false;
    {
        // A row that leaves the list must not pick another note for the editor.
        const QSignalBlocker blocker(m_noteList);
        const QString currentId = m_noteList->selectedNoteId();
        for (const QString &id : ids) {
            const std::optional<NoteRow> row = m_state->notes()->rowById(id);
            const int at = model->rowOf(id);
            countsChanged = countsChanged || at < 0 || !row || row->deletedAt.isValid()
                || row->notebookId != model->rowAt(at).notebookId;
            reload = !model->applyWrite(id, row) || reload;
        }
        if (!currentId.isEmpty() && model->rowOf(currentId) < 0)
            m_noteList->setCurrentIndex(QModelIndex());
    }
    if (reload) {
        refreshNoteList();
    } else if (countsChanged) {
        // The list holds only the pages read so far: the count comes from the database.
        const QString notebookId = m_state->currentNotebookId();
        m_statusBar->setNotebookInfo(notebookId.isEmpty() ? tr("All Notes") : m_notebookNames.value(notebookId),
                                     m_state->notes()->liveCount(notebookId));
    }
    if (countsChanged)
        refreshNotebooks();
}

void MainWindow::refreshNotebooks()
{
    if (!m_state)
        return;
    m_notebookList->setNotebooks(m_state->notebooks()->allNotebooks(), m_state->notes()->countsByNotebook(),
                                 m_state->currentNotebookId(), m_state->notes()->trashCount());
}

// ---------------------------------------------------------------- the note pane

void MainWindow::clearEditor()
{
    m_editor->clearNote();
    m_toolbar->setEnabled(false);
    m_headerBar->setEditable(false);
    m_headerBar->hide();
    m_session->clear();
}

bool MainWindow::isShowingWelcomePage() const
{
    return m_stack->currentWidget() == m_welcomePage;
}

void MainWindow::updatePage()
{
    // Signed-out use: without a note the welcome page invites a new one.
    m_stack->setCurrentWidget(m_editor->noteId().isEmpty() ? static_cast<QWidget *>(m_welcomePage) : m_notePane);
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
    m_editor->loadNote(note->id, note->body, force);
    const bool editable = note->ownerId.isEmpty() || note->permission == QStringLiteral("edit");
    m_toolbar->setEnabled(editable);
    m_editor->setReadOnly(!editable || m_editor->isOversized());

    m_headerBar->show();
    m_headerBar->setEditable(editable);
    QString notebookName;
    if (!note->notebookId.isEmpty()) {
        if (const auto notebook = m_state->notebooks()->notebookById(note->notebookId); notebook && !notebook->deletedAt)
            notebookName = notebook->name;
    }
    m_headerBar->setNotebookName(notebookName);
    m_headerBar->setMetaText(noteMetaText(note->updatedAt, m_editor->wordCount()));
    m_headerBar->setIncludeInTodos(m_state->notes()->includeInTodos(note->id));
    m_headerBar->setShared(note->isShared);

    m_session->setNote(note->id, note->body);
    updatePage();
}

void MainWindow::updateHeaderMeta()
{
    if (m_editor->noteId().isEmpty())
        return;
    if (const auto note = m_state->notes()->noteById(m_editor->noteId()))
        m_headerBar->setMetaText(noteMetaText(note->updatedAt, m_editor->wordCount()));
}

void MainWindow::saveCurrentNote()
{
    if (!m_state || m_editor->noteId().isEmpty() || m_editor->isReadOnly() || m_editor->isSaved())
        return;
    switch (m_session->save(m_editor->currentDelta())) {
    case NoteSession::SaveResult::Unchanged:
        break;
    case NoteSession::SaveResult::Saved:
        updateHeaderMeta();
        break;
    case NoteSession::SaveResult::Failed:
        m_statusBar->showTemporaryMessage(tr("The note could not be saved"), 5000);
        break;
    }
}

void MainWindow::saveSnapshot()
{
    m_session->saveSnapshot(m_editor->currentDelta(), m_editor->noteId().isEmpty() || m_editor->isReadOnly());
}

void MainWindow::onNoteSelected(const QString &noteId)
{
    if (noteId == m_editor->noteId())
        return;
    if (!m_editor->isSaved()) {
        saveCurrentNote();
        saveSnapshot();
    }
    m_selectingNote = true;
    m_state->setCurrentNote(noteId);
    m_selectingNote = false;
    showNote(noteId, false);
}

void MainWindow::onCurrentNoteChanged(const QString &noteId)
{
    // Another view (the Search or Shared screen) picked a note: show it here.
    if (m_selectingNote || noteId.isEmpty() || noteId == m_editor->noteId())
        return;
    if (!m_editor->isSaved()) {
        saveCurrentNote();
        saveSnapshot();
    }
    {
        const QSignalBlocker blocker(m_noteList);
        m_noteList->selectNote(noteId);
    }
    showNote(noteId, false);
}

void MainWindow::openCurrentNoteInWindow()
{
    if (m_editor->noteId().isEmpty())
        return;
    saveCurrentNote();
    m_state->openNoteWindow(m_editor->noteId());
}

void MainWindow::showVersionHistory()
{
    if (m_editor->noteId().isEmpty())
        return;
    saveCurrentNote();
    auto *dialog = new VersionHistoryDialog(m_state, m_editor->noteId(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->hooks().askYesNo = [this](QWidget *, const QString &title, const QString &text) {
        return m_hooks.askYesNo(title, text);
    };
    dialog->show();
}

QWidget *MainWindow::screenWindow(Screen screen) const
{
    return m_screens[int(screen)];
}

void MainWindow::openScreen(Screen screen)
{
    QPointer<QWidget> &window = m_screens[int(screen)];
    QString title;
    switch (screen) {
    case Screen::Search:
        title = tr("Search — Velmora Notes");
        if (!window)
            window = new SearchScreen(m_state, this);
        static_cast<SearchScreen *>(window.data())->refresh();
        break;
    case Screen::Todos:
        title = tr("To-Dos — Velmora Notes");
        if (!window)
            window = new TodosScreen(m_state, this);
        static_cast<TodosScreen *>(window.data())->refresh();
        break;
    case Screen::Trash:
        title = tr("Trash — Velmora Notes");
        if (!window) {
            auto *trash = new TrashScreen(m_state, this);
            trash->setAskYesNo([this](QWidget *, const QString &t, const QString &text) { return m_hooks.askYesNo(t, text); });
            window = trash;
        }
        static_cast<TrashScreen *>(window.data())->refresh();
        break;
    case Screen::SharedByMe:
    case Screen::SharedWithMe:
        title = screen == Screen::SharedByMe ? tr("Shared by Me — Velmora Notes")
                                             : tr("Shared with Me — Velmora Notes");
        if (!window)
            window = new SharedScreen(m_state, screen == Screen::SharedByMe, this);
        static_cast<SharedScreen *>(window.data())->reload();
        break;
    }
    // A child of the main window, so it goes with it, but a window of its own.
    window->setWindowFlag(Qt::Window, true);
    window->setWindowTitle(title);
    if (!window->isVisible())
        window->resize(600, 500);
    window->show();
    window->raise();
    window->activateWindow();
    if (screen == Screen::Search)
        static_cast<SearchScreen *>(window.data())->focusSearch();
}

void MainWindow::createNewNote()
{
    saveCurrentNote();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Note note;
    note.id = newId();
    note.notebookId = m_state->currentNotebookId();
    note.body = QStringLiteral("[{\"insert\":\"\\n\"}]");
    note.createdAt = now;
    note.updatedAt = now;
    note.modifiedAt = now;
    note.version = 1;
    if (!m_state->notes()->insert(note))
        return;
    m_noteList->selectNote(note.id);
    if (m_editor->noteId() != note.id) {
        // Not in the list (a search hides it): show it all the same.
        m_state->setCurrentNote(note.id);
        showNote(note.id, false);
    }
    m_editor->setFocus(Qt::OtherFocusReason);
}

void MainWindow::deleteCurrentNote(bool confirm)
{
    const QString noteId = m_noteList->selectedNoteId();
    if (noteId.isEmpty())
        return;
    if (confirm) {
        const std::optional<Note> note = m_state->notes()->noteById(noteId);
        const QString title = note ? noteTitle(note->body) : QString();
        if (!m_hooks.askYesNo(tr("Move to Trash"),
                              tr("Move \"%1\" to Trash?")
                                  .arg(title.isEmpty() ? tr("this note") : title)))
            return;
    }
    const int row = m_noteList->currentRow();
    trashNote(noteId);
    if (m_noteList->count() == 0) {
        updatePage();
        return;
    }
    m_noteList->setCurrentRow(rowAfterRemoval(row, m_noteList->count()));
}

void MainWindow::trashNote(const QString &noteId)
{
    if (noteId == m_editor->noteId()) {
        // Unsaved edits go into the trash with the note rather than being lost.
        saveCurrentNote();
        clearEditor();
    }
    m_state->notes()->softDelete(noteId);
    updatePage();
}

void MainWindow::moveCurrentNote()
{
    if (m_editor->noteId().isEmpty())
        return;
    const std::optional<Note> note = m_state->notes()->noteById(m_editor->noteId());
    if (!note)
        return;
    const QString target = m_hooks.chooseNotebook(m_state->notebooks()->allNotebooks(), note->notebookId);
    if (target.isEmpty() || target == note->notebookId)
        return;
    saveCurrentNote();
    if (m_state->notes()->moveToNotebook(note->id, target))
        m_headerBar->setNotebookName(m_notebookNames.value(target));
}

bool MainWindow::findInNote(const QString &text)
{
    if (text.isEmpty() || m_editor->noteId().isEmpty())
        return false;
    if (m_editor->find(text))
        return true;
    // Once more from the top.
    const QTextCursor before = m_editor->textCursor();
    m_editor->moveCursor(QTextCursor::Start);
    if (m_editor->find(text))
        return true;
    m_editor->setTextCursor(before);
    return false;
}

void MainWindow::onNoteDroppedOnNotebook(const QString &noteId, const QString &notebookId)
{
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note || note->notebookId == notebookId)
        return;
    if (noteId == m_editor->noteId())
        saveCurrentNote();
    if (m_state->notes()->moveToNotebook(noteId, notebookId) && noteId == m_editor->noteId())
        m_headerBar->setNotebookName(m_notebookNames.value(notebookId));
}

void MainWindow::onNotebookChipClicked()
{
    const std::optional<Note> note = m_state->notes()->noteById(m_editor->noteId());
    if (!note)
        return;
    m_state->setCurrentNotebook(note->notebookId);
    refreshNoteList();
    refreshNotebooks();
}

void MainWindow::copyNote(int format)
{
    if (ExportFormat(format) != ExportFormat::PlainText)
        saveCurrentNote();
    m_hooks.setClipboard(m_session->copyAs(ExportFormat(format), m_editor->toPlainText(), m_editor->currentDelta()));
}

// ---------------------------------------------------------------- notebooks and menus

void MainWindow::createNotebook()
{
    const QString name = m_hooks.askNewNotebookName();
    if (name.isEmpty()) {
        refreshNotebooks(); // the click selected "New Notebook…"; put the selection back
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Notebook notebook;
    notebook.id = newId();
    notebook.name = name;
    notebook.createdAt = now;
    notebook.updatedAt = now;
    if (!m_state->notebooks()->insert(notebook)) {
        refreshNotebooks();
        return;
    }
    m_state->setCurrentNotebook(notebook.id);
    refreshNotebooks();
    refreshNoteList();
}

void MainWindow::renameNotebook(const QString &notebookId)
{
    std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
    if (!notebook)
        return;
    const QString name = m_hooks.askNotebookRename(notebook->name);
    if (name.isEmpty() || name == notebook->name)
        return;
    notebook->name = name;
    notebook->updatedAt = QDateTime::currentDateTimeUtc();
    notebook->version += 1;
    notebook->syncStatus = SyncStatus::Pending;
    if (m_state->notebooks()->update(*notebook) && !m_editor->noteId().isEmpty()) {
        if (const auto note = m_state->notes()->noteById(m_editor->noteId()); note && note->notebookId == notebookId)
            m_headerBar->setNotebookName(name);
    }
}

void MainWindow::deleteNotebook(const QString &notebookId)
{
    const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
    if (!notebook)
        return;
    if (!m_hooks.askYesNo(tr("Delete Notebook"),
                          tr("Delete \"%1\"? Its notes will move to All Notes.").arg(notebook->name)))
        return;
    saveCurrentNote();
    {
        // Both writes signal; the lists are rebuilt once, below.
        const QScopedValueRollback hold(m_holdRefresh, true);
        m_state->notes()->releaseNotebook(notebookId);
        m_state->notebooks()->softDelete(notebookId);
    }
    m_state->setCurrentNotebook(QString());
    refreshNotebooks();
    refreshNoteList();
    if (!m_editor->noteId().isEmpty())
        showNote(m_editor->noteId(), false);
}

std::unique_ptr<QMenu> MainWindow::createNoteContextMenu(const QString &noteId)
{
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    connect(menu->addAction(tr("Open in New Window")), &QAction::triggered, this, [this, noteId] {
        if (noteId == m_editor->noteId())
            saveCurrentNote();
        m_state->openNoteWindow(noteId);
    });
    QMenu *move = menu->addMenu(tr("Move to Notebook"));
    for (const Notebook &notebook : m_state->notebooks()->allNotebooks()) {
        QAction *action = move->addAction(notebook.name);
        action->setCheckable(true);
        action->setChecked(notebook.id == note->notebookId);
        const QString target = notebook.id;
        connect(action, &QAction::triggered, this, [this, noteId, target] { onNoteDroppedOnNotebook(noteId, target); });
    }
    move->setEnabled(!move->isEmpty());
    if (m_state->canShare() && (note->ownerId.isEmpty() || note->permission == QLatin1String("edit"))) {
        menu->addSeparator();
        connect(menu->addAction(note->isShared ? tr("Manage Sharing…") : tr("Share…")), &QAction::triggered,
                this, [this, noteId] { openNoteShareDialog(m_state, noteId, tr("Remove access"), this); });
    }
    menu->addSeparator();
    connect(menu->addAction(tr("Move to Trash")), &QAction::triggered, this,
            [this, noteId] { trashNote(noteId); });
    return menu;
}

std::unique_ptr<QMenu> MainWindow::createNotebookContextMenu(const QString &notebookId)
{
    if (!m_state->notebooks()->notebookById(notebookId))
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    connect(menu->addAction(tr("Rename Notebook…")), &QAction::triggered, this,
            [this, notebookId] { renameNotebook(notebookId); });
    if (m_state->canShare())
        connect(menu->addAction(tr("Share Notebook…")), &QAction::triggered, this,
                [this, notebookId] { openNotebookShareDialog(m_state, notebookId, this); });
    connect(menu->addAction(tr("Delete Notebook")), &QAction::triggered, this,
            [this, notebookId] { deleteNotebook(notebookId); });
    return menu;
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
    m_editor->applyFontScale();
    if (!m_editor->noteId().isEmpty())
        showNote(m_editor->noteId(), true);
    // Row heights follow the scale: let the views ask for size hints again.
    refreshNoteList();
    refreshNotebooks();
    m_noteList->doItemsLayout();
    m_notebookList->doItemsLayout();
}

// ---------------------------------------------------------------- account and preferences

void MainWindow::addAccountAndPreferenceActions(QMenu *file)
{
    VelmAccount::Client *client = m_state->accountClient();
    QAction *signIn = file->addAction(tr("Sign In…"));
    QAction *manage = file->addAction(tr("&Manage Account…"));
    QAction *signOut = file->addAction(tr("Sign &Out"));
    file->addSeparator();
    QAction *preferences = file->addAction(tr("Preferences…"));
    preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferences->setShortcutContext(Qt::ApplicationShortcut);
    connect(preferences, &QAction::triggered, this, &MainWindow::showPreferences);
    if (!client) {
        for (QAction *action : {signIn, manage, signOut})
            action->setVisible(false);
        return;
    }
    connect(signIn, &QAction::triggered, client->authClient(), &VelmAccount::AuthClient::login);
    connect(signOut, &QAction::triggered, client->authClient(), &VelmAccount::AuthClient::logout);
    connect(manage, &QAction::triggered, this, [client] {
        VelmAccount::AccountScreen::openWindow(client)->setWindowTitle(tr("Velmora Account"));
    });
    const auto follow = [client, signIn, manage, signOut] {
        const bool in = client->isAuthenticated();
        signIn->setVisible(!in);
        manage->setVisible(in);
        signOut->setVisible(in);
    };
    connect(client, &VelmAccount::Client::authStateChanged, this, follow);
    follow();
}

void MainWindow::showPreferences()
{
    auto *dialog = new SettingsDialog(m_state, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// ---------------------------------------------------------------- printing

bool MainWindow::printTo(QPrinter *printer)
{
    m_session->print(*m_editor->document(), printer);
    return true;
}

bool MainWindow::prepareToPrint()
{
    if (m_editor->noteId().isEmpty()) {
        m_statusBar->showTemporaryMessage(tr("No note selected"), 3000);
        return false;
    }
    saveCurrentNote();
    return true;
}

void MainWindow::print()
{
    if (!prepareToPrint())
        return;
    const QString title = m_session->displayTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    if (!m_hooks.runPrintDialog(&printer))
        return;
    printTo(&printer);
    m_statusBar->showTemporaryMessage(tr("Printed %1").arg(title), 3000);
}

void MainWindow::printPreview()
{
    if (!prepareToPrint())
        return;
    const QString title = m_session->displayTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintPreviewDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Print Preview — %1").arg(title));
    dialog.resize(900, 700);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *p) { printTo(p); });
    dialog.exec();
}

// ---------------------------------------------------------------- tray and closing

void MainWindow::showMainWindow()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::updateTrayToggleText()
{
    if (m_trayToggleAction)
        m_trayToggleAction->setText(isVisible() && !isMinimized() ? tr("Hide Velmora Notes")
                                                                  : tr("Show Velmora Notes"));
}

void MainWindow::updateTray()
{
    m_closeToTray = readBoolPreference(QStringLiteral("close_to_tray"), false);
    const bool wanted = m_closeToTray || readBoolPreference(QStringLiteral("start_minimized"), false);
    if (wanted && !m_hooks.systemTrayAvailable()) {
        m_closeToTray = false;
        return;
    }
    if (!wanted) {
        if (m_trayIcon) {
            m_trayIcon->hide();
            m_trayIcon->deleteLater();
            m_trayIcon = nullptr;
            m_trayToggleAction = nullptr;
        }
        return;
    }
    if (!m_trayIcon) {
        QIcon icon(QStringLiteral(":/icons/app-icon.png"));
        if (icon.isNull())
            icon = windowIcon();
        m_trayIcon = new QSystemTrayIcon(icon, this);
        m_trayIcon->setToolTip(kAppName);
        auto *menu = new QMenu(this);
        connect(m_trayIcon, &QObject::destroyed, menu, &QObject::deleteLater);
        m_trayToggleAction = menu->addAction(tr("Show Velmora Notes"));
        connect(m_trayToggleAction, &QAction::triggered, this, [this] {
            if (isVisible() && !isMinimized() && isActiveWindow())
                hide();
            else
                showMainWindow();
        });
        connect(menu->addAction(tr("New Note")), &QAction::triggered, this,
                [this] { m_state->newNoteInWindow(); });
        connect(menu->addAction(tr("Search…")), &QAction::triggered, this,
                [this] { openScreen(Screen::Search); });
        connect(menu->addAction(tr("To-Dos")), &QAction::triggered, this,
                [this] { openScreen(Screen::Todos); });
        menu->addSeparator();
        connect(menu->addAction(tr("Quit")), &QAction::triggered, this, &MainWindow::quitApplication);
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateTrayToggleText);
        m_trayIcon->setContextMenu(menu);
        connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                showMainWindow();
        });
    }
    m_trayIcon->show();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveGeometryAndLayout();
    saveCurrentNote();
    saveSnapshot();
    if (m_closeToTray && m_trayIcon && m_trayIcon->isVisible()) {
        event->ignore();
        hide();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::quitApplication()
{
    if (m_state && m_state->preferences()) {
        m_state->preferences()->set(QStringLiteral("restore_note_windows"),
                                    m_state->openNoteWindowIds().join(QLatin1Char(',')));
        const QWidget *todos = m_screens[int(Screen::Todos)];
        m_state->preferences()->setBool(QStringLiteral("restore_todos_window"), todos && todos->isVisible());
    }
    m_closeToTray = false;
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}
