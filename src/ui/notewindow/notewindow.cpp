#include "notewindow.h"

#include "appstate.h"
#include "attachmentrepository.h"
#include "delta.h"
#include "editoractions.h"
#include "editortoolbar.h"
#include "findbar.h"
#include "relativetime.h"
#include "movetonotebookdialog.h"
#include "noteedits.h"
#include "noteeditor.h"
#include "notesession.h"
#include "iocommands.h"
#include "noteheaderbar.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "notewindowregistry.h"
#include "preferencesrepository.h"
#include "sharecommands.h"
#include "snapshotrepository.h"
#include "statusbar.h"
#include "syncengine.h"
#include "syncstatedisplay.h"
#include "thememanager.h"
#include "uilog.h"
#include "unsavednotes.h"
#include "versionhistorydialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

QString noteWindowGeometryKey(const QString &noteId)
{
    return QStringLiteral("note_window_geom/%1").arg(noteId);
}

NoteWindow::NoteWindow(AppState *state, const QString &noteId, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_noteId(noteId)
{
    setAttribute(Qt::WA_DeleteOnClose);
    installDefaultHooks();

    m_pane = new NotePane(state, this, this);
    m_pane->headerBar()->setFocusToggleVisible(false);
    if (ThemeManager *theme = m_state ? m_state->themeManager() : nullptr)
        connect(theme, &ThemeManager::fontScaleChanged, this, &NoteWindow::applyFontScale);
    setCentralWidget(m_pane);
    m_statusBar = new StatusBar(this);
    setStatusBar(m_statusBar);
    m_pane->reportTo(m_statusBar);
    if (m_state) {
        m_io = new IoCommands(m_state, this, this);
        connect(m_io, &IoCommands::statusMessage, m_statusBar, &StatusBar::showTemporaryMessage);
    }
    resize(800, 600);

    buildMenus();
    connectSignals();

    if (m_state && m_state->preferences() && !m_noteId.isEmpty()) {
        const QString geometry = m_state->preferences()->getString(noteWindowGeometryKey(m_noteId));
        if (!geometry.isEmpty())
            restoreGeometry(QByteArray::fromBase64(geometry.toLatin1()));
    }
    loadNote();
    // Otherwise the first control of the toolbar takes the keys when the window shows.
    editor()->setFocus(Qt::OtherFocusReason);
}

NoteWindow::~NoteWindow() = default;

void NoteWindow::installDefaultHooks()
{
    m_hooks.askYesNo = askYesNoBox;
    m_hooks.inform = [](QWidget *parent, const QString &title, const QString &text) {
        QMessageBox::information(parent, title, text);
    };
    m_hooks.setClipboard = [](QMimeData *data) { QApplication::clipboard()->setMimeData(data); };
    m_hooks.runPrintDialog = [](QWidget *parent, QPrinter *printer) {
        QPrintDialog dialog(printer, parent);
        dialog.setWindowTitle(tr("Print Note"));
        return dialog.exec() == QDialog::Accepted;
    };
    m_hooks.chooseNotebook = [](QWidget *parent, const QList<Notebook> &notebooks, const QString &current) {
        return MoveToNotebookDialog::choose(parent, notebooks, current);
    };
    m_hooks.showHistory = [this](QWidget *parent, const QString &noteId) {
        auto *dialog = new VersionHistoryDialog(m_state, noteId, parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    };
}

void NoteWindow::buildMenus()
{
    const auto add = [this](QMenu *menu, const QString &text, const QKeySequence &shortcut, auto slot) {
        QAction *action = menu->addAction(text);
        action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu *file = menuBar()->addMenu(tr("&File"));
    add(file, tr("Save Snapshot"), QKeySequence::Save, [this] {
        saveNote();
        if (!m_noteId.isEmpty() && !m_pane->snapshotNow())
            m_statusBar->showTemporaryMessage(tr("The snapshot could not be saved"), 5000);
    });
    add(file, tr("Export..."), QKeySequence(Qt::CTRL | Qt::Key_E), [this] { exportNote(); });
    file->addSeparator();
    add(file, tr("Close"), QKeySequence::Close, [this] { close(); });

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, tr("Undo"), QKeySequence::Undo, [this] { editor()->undo(); });
    add(edit, tr("Redo"), QKeySequence::Redo, [this] { editor()->redo(); });
    edit->addSeparator();
    editorActions()->addClipboardMenu(edit);
    edit->addSeparator();
    findBar()->addMenuCommands(edit);

    editorActions()->addFormatMenu(menuBar()->addMenu(tr("F&ormat")));

    // The main window's keys for the same commands.
    QMenu *note = menuBar()->addMenu(tr("&Note"));
    add(note, tr("Move to Notebook..."), QKeySequence(Qt::CTRL | Qt::Key_M), [this] { moveToNotebook(); });
    add(note, tr("Version History..."), QKeySequence(Qt::CTRL | Qt::Key_H), [this] {
        saveNote();
        m_hooks.showHistory(this, m_noteId);
    });
    add(note, tr("Print..."), QKeySequence::Print, [this] { print(); });
    note->addSeparator();
    headerBar()->addMenuCommands(note);
    note->addSeparator();
    add(note, tr("Move to Trash"), QKeySequence(Qt::CTRL | Qt::Key_Backspace),
        [this] { moveToTrash(false); });

    // F6 and Shift+F6 go between the text and the header's buttons.
    QMenu *view = menuBar()->addMenu(tr("&View"));
    const auto switchPane = [this] {
        if (headerBar()->isAncestorOf(QApplication::focusWidget()) || !headerBar()->focusFirstControl())
            editor()->setFocus(Qt::OtherFocusReason);
    };
    add(view, tr("Next Pane"), QKeySequence(Qt::Key_F6), switchPane);
    add(view, tr("Previous Pane"), QKeySequence(Qt::SHIFT | Qt::Key_F6), switchPane);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    add(help, tr("About Velmora Notes"), QKeySequence(), [this] {
        m_hooks.inform(this, tr("About"),
                       tr("Velmora Notes %1").arg(QCoreApplication::applicationVersion()));
    });
}

void NoteWindow::connectSignals()
{
    connect(editor(), &NoteEditor::noteModified, this, &NoteWindow::saveNote);
    // A link to another note opens it beside this one, as windows are what this view works in.
    connect(editor(), &NoteEditor::noteLinkActivated, this, [this](const QString &id) { NoteWindowRegistry::of(m_state)->open(id); });

    connect(headerBar(), &NoteHeaderBar::copyAsPlainTextRequested, this, [this] { copyNote(ExportFormat::PlainText); });
    connect(headerBar(), &NoteHeaderBar::copyAsMarkdownRequested, this, [this] { copyNote(ExportFormat::Markdown); });
    connect(headerBar(), &NoteHeaderBar::copyAsHtmlRequested, this, [this] { copyNote(ExportFormat::Html); });
    connect(headerBar(), &NoteHeaderBar::historyRequested, this, [this] {
        saveNote();
        m_hooks.showHistory(this, m_noteId);
    });
    connect(headerBar(), &NoteHeaderBar::moveToNotebookRequested, this, &NoteWindow::moveToNotebook);
    connect(headerBar(), &NoteHeaderBar::exportRequested, this, &NoteWindow::exportNote);
    connect(headerBar(), &NoteHeaderBar::printRequested, this, &NoteWindow::print);
    connect(headerBar(), &NoteHeaderBar::deleteRequested, this, [this] { moveToTrash(true); });

    if (!m_state)
        return;
    showSyncState(m_state, m_statusBar);
    connect(headerBar(), &NoteHeaderBar::shareRequested, this, [this] {
        if (!m_noteId.isEmpty())
            openNoteShareDialog(m_state, m_noteId, tr("Remove Selected"), this);
    });
    connect(m_state, &AppState::noteUpdatedExternally, this, [this](const QString &noteId, QObject *source) {
        if (source != this && noteId == m_noteId)
            loadNote();
    });
    connect(m_state, &AppState::syncAboutToMerge, this, &NoteWindow::saveNote);
    connect(m_state, &AppState::noteDeletedExternally, this, [this](const QString &noteId) {
        if (noteId == m_noteId && !m_closing)
            close();
    });
    const auto reload = [this] {
        // Typing not yet saved would be lost by a reload; the pending save
        // writes it shortly and the next change reloads.
        if (!m_noteId.isEmpty() && !m_closing && editor()->isSaved())
            loadNote();
    };
    connect(m_state, &AppState::notesChanged, this, reload);
    connect(m_state, &AppState::notesWritten, this, [this, reload](const QStringList &ids) {
        if (ids.contains(m_noteId))
            reload();
    });
}

void NoteWindow::loadNote()
{
    const std::optional<Note> note =
        m_state && !m_noteId.isEmpty() ? m_state->notes()->noteById(m_noteId) : std::nullopt;
    if (!note) {
        m_pane->clear();
        updateWindowTitle();
        return;
    }
    m_pane->showNote(*note, false);
    updateWindowTitle();
    const QString notebookName = m_pane->notebookName();
    m_statusBar->setNotebookInfo(notebookName.isEmpty() ? tr("All Notes") : notebookName, -1);
    if (note->syncStatus != SyncStatus::Pending)
        m_seenSynced = true;
}

void NoteWindow::updateWindowTitle()
{
    const std::optional<Note> note =
        m_state && !m_noteId.isEmpty() ? m_state->notes()->noteById(m_noteId) : std::nullopt;
    if (!note) {
        setWindowTitle(tr("Velmora Notes"));
        return;
    }
    const QString title = noteTitle(note->body);
    setWindowTitle(tr("%1 — Velmora Notes").arg(title.isEmpty() ? tr("Untitled") : title));
}

void NoteWindow::saveNote()
{
    if (m_noteId.isEmpty())
        return;
    const std::optional<NoteSession::SaveResult> result = m_pane->save();
    if (result == NoteSession::SaveResult::Conflict)
        loadNote();
    if (result != NoteSession::SaveResult::Saved)
        return;
    emit m_state->noteUpdatedExternally(m_noteId, this);
    updateWindowTitle();
}

void NoteWindow::applyFontScale()
{
    // Headings carry pixel sizes of their own: only a fresh rendering scales
    // them. Typing that could not be stored is not thrown away for it.
    saveNote();
    m_pane->refreshLook();
    m_statusBar->refreshLook();
    const std::optional<Note> note = m_state && !m_noteId.isEmpty() ? m_state->notes()->noteById(m_noteId) : std::nullopt;
    if (note && (editor()->isSaved() || note->body == editor()->currentDelta()))
        editor()->loadNote(note->id, note->body, true);
}

void NoteWindow::saveSnapshot()
{
    m_pane->saveSnapshot();
}

void NoteWindow::copyNote(ExportFormat format)
{
    if (format != ExportFormat::PlainText)
        saveNote();
    m_hooks.setClipboard(m_pane->copyAs(format));
}

void NoteWindow::exportNote()
{
    if (!m_io || m_noteId.isEmpty())
        return;
    saveNote();
    m_io->exportNote(m_noteId);
}

void NoteWindow::print()
{
    if (!m_state || editor()->noteId().isEmpty())
        return;
    saveNote();
    const QString title = session()->displayTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    if (!m_hooks.runPrintDialog(this, &printer))
        return;
    m_pane->print(&printer);
    m_statusBar->showTemporaryMessage(tr("Printed %1").arg(title), 3000);
}

void NoteWindow::moveToNotebook()
{
    if (!m_state || m_noteId.isEmpty())
        return;
    const std::optional<Note> note = m_state->notes()->noteById(m_noteId);
    if (!note)
        return;
    const std::optional<QString> target =
        m_hooks.chooseNotebook(this, m_state->notebooks()->allNotebooks(), note->notebookId);
    if (!target || *target == note->notebookId)
        return;
    session()->moveToNotebook(*target);
    loadNote();
}

void NoteWindow::moveToTrash(bool confirm)
{
    if (!m_state || m_noteId.isEmpty())
        return;
    if (confirm) {
        const std::optional<Note> note = session()->note();
        const QString title = note ? noteTitle(note->body) : QString();
        const QString text = tr("Move \"%1\" to Trash?").arg(title.isEmpty() ? tr("this note") : title);
        if (!m_hooks.askYesNo(this, tr("Move to Trash"), text))
            return;
    }
    saveNote();
    session()->moveToTrash();
    close();
}

void NoteWindow::removeIfEmptied()
{
    const std::optional<Note> note = m_state->notes()->noteById(m_noteId);
    if (!note || note->deletedAt)
        return;
    const int snapshots = int(m_state->snapshots()->snapshotsForNote(m_noteId).size());
    const int attachments = int(m_state->attachments()->attachmentsForNote(m_noteId).size());
    switch (closingNoteFate(*note, m_seenSynced, snapshots, attachments)) {
    case ClosingNoteFate::Keep:
        break;
    case ClosingNoteFate::MoveToTrash:
        m_state->notes()->softDelete(m_noteId);
        break;
    case ClosingNoteFate::Purge:
        m_state->notes()->purge(m_noteId);
        break;
    }
}

void NoteWindow::closeEvent(QCloseEvent *event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    m_closing = true;
    saveNote();
    saveSnapshot();
    if (!editor()->isSaved()) {
        // Closing while the application ends leaves no one to ask.
        if (!QCoreApplication::closingDown()
            && !m_hooks.askYesNo(this, discardUnsavedTitle(), discardUnsavedQuestion({editor()}))) {
            m_closing = false;
            event->ignore();
            return;
        }
        qCWarning(lcUi) << "NoteWindow: unsaved changes to the note" << m_noteId << "were discarded";
        editor()->abandonUnsavedChanges();
    }
    bool removed = false;
    if (m_state && !m_noteId.isEmpty() && !editor()->isReadOnly() && !editor()->noteId().isEmpty()) {
        removeIfEmptied();
        const std::optional<Note> after = m_state->notes()->noteById(m_noteId);
        removed = !after || after->deletedAt;
    }
    if (m_state && !m_noteId.isEmpty() && !removed)
        m_state->preferences()->set(noteWindowGeometryKey(m_noteId), QString::fromLatin1(saveGeometry().toBase64()));
    m_closed = true;
    emit windowClosed(m_noteId);
    event->accept();
}
