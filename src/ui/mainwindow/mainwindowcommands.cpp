// The main window's printing and copying, and notes moved to another account.
#include "mainwindow.h"

#include "appstate.h"
#include "iocommands.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "noterepository.h"
#include "notewindowregistry.h"
#include "notesession.h"
#include "statusbar.h"

#include <QMenu>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStackedWidget>

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

// ---------------------------------------------------------------- printing

bool MainWindow::prepareToPrint()
{
    if (m_pane->editor()->noteId().isEmpty()) {
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
    const QString title = m_pane->session()->displayTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    if (!m_hooks.runPrintDialog(&printer))
        return;
    m_pane->print(&printer);
    m_statusBar->showTemporaryMessage(tr("Printed %1").arg(title), 3000);
}

void MainWindow::printPreview()
{
    if (!prepareToPrint())
        return;
    const QString title = m_pane->session()->displayTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintPreviewDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Print Preview — %1").arg(title));
    dialog.resize(900, 700);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *p) { m_pane->print(p); });
    dialog.exec();
}

void MainWindow::copyNote(int format)
{
    if (ExportFormat(format) != ExportFormat::PlainText)
        saveCurrentNote();
    m_hooks.setClipboard(m_pane->copyAs(ExportFormat(format)));
}
