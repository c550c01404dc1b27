// The main window's note list and notebook sidebar: filling them, and the
// note commands started from them.
#include "mainwindow.h"

#include "appstate.h"
#include "delta.h"
#include "iocommands.h"
#include "mainwindowrules.h"
#include "notebookcommands.h"
#include "notebooklistwidget.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "notewindowregistry.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "sharecommands.h"
#include "statusbar.h"

#include <QLineEdit>
#include <QMenu>
#include <algorithm>

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
    m_noteList->setEmptyText(!text.isEmpty()      ? tr("No notes match \u201C%1\u201D.").arg(text)
                             : notebookId.isEmpty() ? tr("No notes yet.\n\nPress Ctrl+N to write your first note.")
                                                    : tr("This notebook is empty.\n\nPress Ctrl+N to write a note "
                                                         "in it, or drag notes here from another notebook."));
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

void MainWindow::deleteCurrentNote(bool confirm)
{
    const QString noteId = m_noteList->selectedNoteId();
    if (noteId.isEmpty())
        return;
    if (confirm) {
        const std::optional<Note> note = m_state->notes()->noteById(noteId);
        const QString title = note ? noteTitle(note->body) : QString();
        if (!m_hooks.askYesNo(this, tr("Move to Trash"),
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
    if (noteId == m_pane->editor()->noteId()) {
        // Unsaved edits go into the trash with the note rather than being lost.
        saveCurrentNote();
        clearEditor();
    }
    if (m_state->notes()->softDelete(noteId))
        m_statusBar->showTemporaryMessage(tr("Moved to Trash"), 3000);
    updatePage();
}

std::unique_ptr<QMenu> MainWindow::createNoteContextMenu(const QString &noteId)
{
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    connect(menu->addAction(tr("Open in New Window")), &QAction::triggered, this, [this, noteId] {
        if (noteId == m_pane->editor()->noteId())
            saveCurrentNote();
        NoteWindowRegistry::of(m_state)->open(noteId);
    });
    QMenu *move = menu->addMenu(tr("Move to Notebook"));
    for (const Notebook &notebook : m_state->notebooks()->allNotebooks()) {
        QAction *action = move->addAction(notebook.name);
        action->setCheckable(true);
        action->setChecked(notebook.id == note->notebookId);
        const QString target = notebook.id;
        connect(action, &QAction::triggered, this, [this, noteId, target] { m_notebooks->moveNote(noteId, target); });
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

