#include "notecommands.h"

#include "appstate.h"
#include "delta.h"
#include "iocommands.h"
#include "mainwindow.h"
#include "mainwindowrules.h"
#include "notebookcommands.h"
#include "notebookrepository.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notelistwidget.h"
#include "noterepository.h"
#include "notesession.h"
#include "notewindowregistry.h"
#include "sharecommands.h"
#include "statusbar.h"
#include "versionhistorydialog.h"

#include <QMenu>
#include <QPrintPreviewDialog>
#include <QPrinter>

NoteCommands::NoteCommands(AppState *state, MainWindow *window)
    : QObject(window)
    , m_state(state)
    , m_window(window)
{
    NoteHeaderBar *header = window->headerBar();
    connect(header, &NoteHeaderBar::copyAsPlainTextRequested, this, [this] { copy(ExportFormat::PlainText); });
    connect(header, &NoteHeaderBar::copyAsMarkdownRequested, this, [this] { copy(ExportFormat::Markdown); });
    connect(header, &NoteHeaderBar::copyAsHtmlRequested, this, [this] { copy(ExportFormat::Html); });
    connect(header, &NoteHeaderBar::printRequested, this, &NoteCommands::print);
    connect(header, &NoteHeaderBar::historyRequested, this, &NoteCommands::showHistory);
    connect(header, &NoteHeaderBar::exportRequested, this, [this] {
        m_window->saveCurrentNote();
        m_window->ioCommands()->exportNote(shownId());
    });
    connect(header, &NoteHeaderBar::deleteRequested, this, [this] { trashSelected(false); });
    connect(header, &NoteHeaderBar::shareRequested, this, [this] {
        if (!shownId().isEmpty())
            openNoteShareDialog(m_state, shownId(), tr("Remove access"), m_window);
    });
    NoteListWidget *list = window->noteList();
    connect(list, &NoteListWidget::noteDoubleClicked, this,
            [this](const QString &id) { NoteWindowRegistry::of(m_state)->open(id); });
    connect(list, &NoteListWidget::noteDeleteRequested, this, [this] { trashSelected(false); });
    connect(list, &NoteListWidget::noteContextMenuRequested, this, [this](const QString &id, const QPoint &globalPos) {
        if (auto menu = createContextMenu(id))
            menu->exec(globalPos);
    });
}

QString NoteCommands::shownId() const
{
    return m_window->pane()->noteId();
}

void NoteCommands::trashSelected(bool confirm)
{
    NoteListWidget *list = m_window->noteList();
    const QString noteId = list->selectedNoteId();
    if (noteId.isEmpty())
        return;
    if (confirm) {
        const std::optional<Note> note = m_state->notes()->noteById(noteId);
        const QString title = note ? noteTitle(note->body) : QString();
        if (!m_window->hooks().askYesNo(m_window, tr("Move to Trash"),
                                        tr("Move \"%1\" to Trash?").arg(title.isEmpty() ? tr("this note") : title)))
            return;
    }
    const int row = list->currentRow();
    trash(noteId);
    if (list->count() > 0)
        list->setCurrentRow(rowAfterRemoval(row, list->count()));
}

void NoteCommands::trash(const QString &noteId)
{
    if (noteId == shownId()) {
        // Unsaved edits go into the trash with the note rather than being lost.
        m_window->saveCurrentNote();
        m_window->showNote(QString(), false);
    }
    if (m_state->notes()->softDelete(noteId))
        m_window->statusBarWidget()->showTemporaryMessage(tr("Moved to Trash"), 3000);
}

void NoteCommands::openInWindow(const QString &noteId)
{
    if (noteId.isEmpty())
        return;
    if (noteId == shownId())
        m_window->saveCurrentNote();
    NoteWindowRegistry::of(m_state)->open(noteId);
}

void NoteCommands::showHistory()
{
    if (shownId().isEmpty())
        return;
    m_window->saveCurrentNote();
    auto *dialog = new VersionHistoryDialog(m_state, shownId(), m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->hooks().askYesNo = m_window->hooks().askYesNo;
    dialog->show();
}

void NoteCommands::copy(ExportFormat format)
{
    if (format != ExportFormat::PlainText)
        m_window->saveCurrentNote();
    m_window->hooks().setClipboard(m_window->pane()->copyAs(format));
}

bool NoteCommands::prepareToPrint()
{
    if (shownId().isEmpty()) {
        m_window->statusBarWidget()->showTemporaryMessage(tr("No note selected"), 3000);
        return false;
    }
    m_window->saveCurrentNote();
    return true;
}

void NoteCommands::print()
{
    if (!prepareToPrint())
        return;
    const QString title = m_window->session()->displayTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    if (!m_window->hooks().runPrintDialog(&printer))
        return;
    m_window->pane()->print(&printer);
    m_window->statusBarWidget()->showTemporaryMessage(tr("Printed %1").arg(title), 3000);
}

void NoteCommands::printPreview()
{
    if (!prepareToPrint())
        return;
    const QString title = m_window->session()->displayTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintPreviewDialog dialog(&printer, m_window);
    dialog.setWindowTitle(tr("Print Preview — %1").arg(title));
    dialog.resize(900, 700);
    NotePane *pane = m_window->pane();
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [pane](QPrinter *p) { pane->print(p); });
    dialog.exec();
}

std::unique_ptr<QMenu> NoteCommands::createContextMenu(const QString &noteId)
{
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note)
        return nullptr;
    auto menu = std::make_unique<QMenu>(m_window);
    connect(menu->addAction(tr("Open in New Window")), &QAction::triggered, this,
            [this, noteId] { openInWindow(noteId); });
    QMenu *move = menu->addMenu(tr("Move to Notebook"));
    for (const Notebook &notebook : m_state->notebooks()->allNotebooks()) {
        QAction *action = move->addAction(notebook.name);
        action->setCheckable(true);
        action->setChecked(notebook.id == note->notebookId);
        const QString target = notebook.id;
        connect(action, &QAction::triggered, this,
                [this, noteId, target] { m_window->notebookCommands()->moveNote(noteId, target); });
    }
    move->setEnabled(!move->isEmpty());
    if (m_state->canShare() && (note->ownerId.isEmpty() || note->permission == QLatin1String("edit"))) {
        menu->addSeparator();
        connect(menu->addAction(note->isShared ? tr("Manage Sharing…") : tr("Share…")), &QAction::triggered, this,
                [this, noteId] { openNoteShareDialog(m_state, noteId, tr("Remove access"), m_window); });
    }
    menu->addSeparator();
    connect(menu->addAction(tr("Move to Trash")), &QAction::triggered, this, [this, noteId] { trash(noteId); });
    return menu;
}
