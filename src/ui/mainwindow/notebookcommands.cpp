#include "notebookcommands.h"

#include "appstate.h"
#include "iocommands.h"
#include "mainwindow.h"
#include "movetonotebookdialog.h"
#include "notebookdialog.h"
#include "notebooklistwidget.h"
#include "notebookrepository.h"
#include "noteheaderbar.h"
#include "noterepository.h"
#include "sharecommands.h"

#include <QMenu>
#include <QUuid>

NotebookCommands::NotebookCommands(AppState *state, MainWindow *window)
    : QObject(window)
    , m_state(state)
    , m_window(window)
{
    m_hooks.askNewName = [window] { return NotebookDialog::getNewName(window); };
    m_hooks.askRename = [window](const QString &name) { return NotebookDialog::getRename(window, name); };
    m_hooks.chooseNotebook = [window](const QList<Notebook> &notebooks, const QString &current) {
        return MoveToNotebookDialog::choose(window, notebooks, current);
    };

    NotebookListWidget *sidebar = window->notebookList();
    connect(sidebar, &NotebookListWidget::allNotesSelected, this, [this] { select(QString()); });
    connect(sidebar, &NotebookListWidget::notebookSelected, this, &NotebookCommands::select);
    connect(sidebar, &NotebookListWidget::newNotebookRequested, this, &NotebookCommands::create);
    connect(sidebar, &NotebookListWidget::noteDroppedOnNotebook, this, &NotebookCommands::moveNote);
    connect(sidebar, &NotebookListWidget::notebookContextMenuRequested, this,
            [this](const QString &id, const QPoint &globalPos) {
                if (auto menu = createContextMenu(id))
                    menu->exec(globalPos);
            });
    NoteHeaderBar *header = window->headerBar();
    connect(header, &NoteHeaderBar::notebookChipClicked, this, &NotebookCommands::showCurrentNotebook);
    connect(header, &NoteHeaderBar::moveToNotebookRequested, this, &NotebookCommands::moveCurrentNote);
}

QString NotebookCommands::currentNoteId() const
{
    return m_window->pane()->noteId();
}

void NotebookCommands::select(const QString &notebookId)
{
    m_state->setCurrentNotebook(notebookId);
    m_window->refreshNoteList();
}

void NotebookCommands::create()
{
    const QString name = m_hooks.askNewName();
    if (name.isEmpty()) {
        m_window->refreshNotebooks(); // the click selected "New Notebook…"; put the selection back
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Notebook notebook;
    notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    notebook.name = name;
    notebook.createdAt = now;
    notebook.updatedAt = now;
    if (!m_state->notebooks()->insert(notebook)) {
        m_window->refreshNotebooks();
        return;
    }
    m_state->setCurrentNotebook(notebook.id);
    m_window->refreshNotebooks();
    m_window->refreshNoteList();
}

void NotebookCommands::rename(const QString &notebookId)
{
    std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
    if (!notebook)
        return;
    const QString name = m_hooks.askRename(notebook->name);
    if (name.isEmpty() || name == notebook->name)
        return;
    notebook->name = name;
    notebook->updatedAt = QDateTime::currentDateTimeUtc();
    notebook->version += 1;
    notebook->syncStatus = SyncStatus::Pending;
    if (!m_state->notebooks()->update(*notebook) || currentNoteId().isEmpty())
        return;
    if (const auto note = m_state->notes()->noteById(currentNoteId()); note && note->notebookId == notebookId)
        m_window->headerBar()->setNotebookName(name);
}

void NotebookCommands::remove(const QString &notebookId)
{
    const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
    if (!notebook)
        return;
    if (!m_window->hooks().askYesNo(m_window, tr("Delete Notebook"),
                                    tr("Delete \"%1\"? Its notes will move to All Notes.").arg(notebook->name)))
        return;
    m_window->saveCurrentNote();
    // Both writes signal; the lists are rebuilt once, below.
    m_window->holdListRefresh(true);
    m_state->notes()->releaseNotebook(notebookId);
    m_state->notebooks()->softDelete(notebookId);
    m_window->holdListRefresh(false);
    m_state->setCurrentNotebook(QString());
    m_window->refreshNotebooks();
    m_window->refreshNoteList();
    if (!currentNoteId().isEmpty())
        m_window->showNote(currentNoteId(), false);
}

void NotebookCommands::moveNote(const QString &noteId, const QString &notebookId)
{
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note || note->notebookId == notebookId)
        return;
    const bool shown = noteId == currentNoteId();
    if (shown)
        m_window->saveCurrentNote();
    if (!m_state->notes()->moveToNotebook(noteId, notebookId) || !shown)
        return;
    const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
    m_window->headerBar()->setNotebookName(notebook ? notebook->name : QString());
}

void NotebookCommands::moveCurrentNote()
{
    const std::optional<Note> note =
        currentNoteId().isEmpty() ? std::nullopt : m_state->notes()->noteById(currentNoteId());
    if (!note)
        return;
    if (const auto target = m_hooks.chooseNotebook(m_state->notebooks()->allNotebooks(), note->notebookId))
        moveNote(note->id, *target);
}

void NotebookCommands::showCurrentNotebook()
{
    const std::optional<Note> note = m_state->notes()->noteById(currentNoteId());
    if (!note)
        return;
    m_state->setCurrentNotebook(note->notebookId);
    m_window->refreshNoteList();
    m_window->refreshNotebooks();
}

std::unique_ptr<QMenu> NotebookCommands::createContextMenu(const QString &notebookId)
{
    if (!m_state->notebooks()->notebookById(notebookId))
        return nullptr;
    auto menu = std::make_unique<QMenu>(m_window);
    connect(menu->addAction(tr("Rename Notebook…")), &QAction::triggered, this,
            [this, notebookId] { rename(notebookId); });
    if (m_state->canShare())
        connect(menu->addAction(tr("Share Notebook…")), &QAction::triggered, this,
                [this, notebookId] { openNotebookShareDialog(m_state, notebookId, m_window); });
    connect(menu->addAction(tr("Export as Markdown…")), &QAction::triggered, this, [this, notebookId] {
        m_window->saveCurrentNote();
        m_window->ioCommands()->exportMarkdown(notebookId);
    });
    connect(menu->addAction(tr("Delete Notebook")), &QAction::triggered, this,
            [this, notebookId] { remove(notebookId); });
    return menu;
}
