#include "iocommands.h"

#include "appstate.h"
#include "backup.h"
#include "bulkjob.h"
#include "exportdialog.h"
#include "importdialog.h"
#include "markdownfolderexport.h"
#include "notebookrepository.h"
#include "noteexport.h"
#include "noterepository.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>

IoCommands::IoCommands(const IoRepositories &repositories, QWidget *window, QObject *parent)
    : QObject(parent)
    , m_repositories(repositories)
    , m_window(window)
{
    m_dialogs.chooseExport = [](QWidget *p) -> std::optional<ExportChoice> {
        ExportDialog dialog(p);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return ExportChoice{dialog.format(), dialog.includeAttachments()};
    };
    m_dialogs.saveFileName = [](QWidget *p, const QString &caption, const QString &proposed, const QString &filter) {
        return QFileDialog::getSaveFileName(p, caption, proposed, filter);
    };
    m_dialogs.openFileName = [](QWidget *p, const QString &caption, const QString &dir, const QString &filter) {
        return QFileDialog::getOpenFileName(p, caption, dir, filter);
    };
    m_dialogs.question = askYesNoBox;
    m_dialogs.warning = [](QWidget *p, const QString &title, const QString &text) {
        QMessageBox::warning(p, title, text);
    };
    m_dialogs.information = [](QWidget *p, const QString &title, const QString &text) {
        QMessageBox::information(p, title, text);
    };
}

IoCommands::IoCommands(AppState *state, QWidget *window, QObject *parent)
    : IoCommands(repositoriesOf(state), window, parent)
{
}

IoRepositories IoCommands::repositoriesOf(const AppState *state)
{
    IoRepositories repositories;
    if (!state)
        return repositories;
    repositories.database = state->database();
    repositories.notes = state->notes();
    repositories.notebooks = state->notebooks();
    repositories.attachments = state->attachments();
    repositories.snapshots = state->snapshots();
    return repositories;
}

void IoCommands::exportNote(const QString &noteId)
{
    if (noteId.isEmpty() || !m_repositories.notes)
        return;
    const std::optional<Note> note = m_repositories.notes->noteById(noteId);
    if (!note)
        return;
    const std::optional<ExportChoice> choice = m_dialogs.chooseExport(m_window);
    if (!choice)
        return;
    const QString path = m_dialogs.saveFileName(m_window, tr("Export Note"),
                                                suggestedFileName(*note, choice->format), QString());
    if (path.isEmpty())
        return;
    const ExportResult result = ::exportNote(*note, path, choice->format, choice->includeAttachments,
                                           m_repositories.attachments);
    if (result.ok)
        emit statusMessage(tr("Exported to %1").arg(result.path), 3000);
    else
        m_dialogs.warning(m_window, tr("Export Failed"), result.error);
}

void IoCommands::exportMarkdown(const std::optional<QString> &notebookId)
{
    if (!m_repositories.notes || !m_repositories.notebooks)
        return;
    QString proposed = tr("Velmora Notes");
    if (notebookId) {
        const std::optional<Notebook> notebook = m_repositories.notebooks->notebookById(*notebookId);
        if (!notebook)
            return;
        proposed = notebook->name;
    }
    const QString path = m_dialogs.saveFileName(m_window, tr("Export as Markdown"), proposed,
                                                tr("Folder (*);;ZIP Archive (*.zip)"));
    if (path.isEmpty())
        return;
    std::unique_ptr<QObject> dialog;
    const ProgressCallback progress = progressDialog(tr("Export as Markdown"), &dialog);
    const FolderExportResult result = exportMarkdownFolder(m_repositories, notebookId, path, progress);
    dialog.reset();
    if (result.ok)
        emit statusMessage(tr("Exported %n notes to %1", nullptr, result.notes).arg(result.path), 5000);
    else
        m_dialogs.warning(m_window, tr("Export Failed"), result.error);
}

ProgressCallback IoCommands::progressDialog(const QString &title, std::unique_ptr<QObject> *holder)
{
    auto dialog = std::make_unique<QProgressDialog>(m_window);
    QProgressDialog *raw = dialog.get();
    raw->setWindowTitle(title);
    raw->setWindowModality(Qt::WindowModal);
    raw->setCancelButton(nullptr); // a half-written file is of no use; the backup is quick to run again
    raw->setMinimumDuration(300);
    raw->setRange(0, 0);
    raw->setAutoClose(false);
    raw->setAutoReset(false);
    *holder = std::move(dialog);
    return [raw](int current, int total, const QString &label) {
        if (total >= 1) {
            raw->setMaximum(total);
            raw->setValue(qBound(0, current, total));
        } else {
            raw->setRange(0, 0);
        }
        raw->setLabelText(label);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
}

void IoCommands::backupDatabase()
{
    const QString path = m_dialogs.saveFileName(m_window, tr("Save Backup"), QStringLiteral("velmora-notes-backup.zip"),
                                                tr("ZIP Archive (*.zip)"));
    if (path.isEmpty())
        return;
    std::unique_ptr<QObject> dialog;
    const ProgressCallback progress = progressDialog(tr("Backup Database"), &dialog);
    const BackupResult result = createBackup(path, m_repositories, progress);
    dialog.reset();
    if (result.failed)
        m_dialogs.warning(m_window, tr("Backup Failed"), result.error);
    else
        emit statusMessage(tr("Backup saved: %1 notes").arg(result.noteCount), 3000);
}

void IoCommands::restoreDatabase()
{
    if (m_restore)
        return;
    const QString path = m_dialogs.openFileName(m_window, tr("Select Backup"), QString(), tr("ZIP Archive (*.zip)"));
    if (path.isEmpty())
        return;
    if (!m_dialogs.question(m_window, tr("Restore Backup"),
                            tr("Import notes from backup? Existing notes with the same ID will be skipped.")))
        return;
    // Application-modal: no other window writes while the restore holds its transaction.
    auto *dialog = new QProgressDialog(tr("Reading backup..."), tr("Cancel"), 0, 0, m_window);
    dialog->setWindowTitle(tr("Restore Database"));
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setMinimumDuration(300);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    m_restore = new BulkJob(m_repositories, RestoreMode::SkipExisting, this);
    auto read = std::make_shared<RestoreResult>();
    connect(m_restore, &BulkJob::progress, dialog, [dialog](int current, int total, const QString &label) {
        if (total >= 1) {
            dialog->setMaximum(total);
            dialog->setValue(qBound(0, current, total));
        }
        dialog->setLabelText(label);
    });
    connect(dialog, &QProgressDialog::canceled, m_restore, &BulkJob::cancel);
    connect(m_restore, &BulkJob::finished, this, [this, dialog, read] {
        delete dialog;
        const RestoreResult result = restoreOutcome(*read, *m_restore);
        m_restore->deleteLater();
        m_restore = nullptr;
        QString text =
            tr("Imported: %1\nSkipped: %2\nErrors: %3").arg(result.imported).arg(result.skipped).arg(result.errors);
        // Without it a refused archive would read as an empty one.
        if (!result.error.isEmpty())
            text += QLatin1Char('\n') + result.error;
        m_dialogs.information(m_window, tr("Restore Complete"), text);
    });
    const bool attachments = m_repositories.attachments, snapshots = m_repositories.snapshots;
    m_restore->start([path, read, attachments, snapshots](WritePlan &plan) {
        *read = readBackup(path, plan, {}, attachments, snapshots);
        return read->error.isEmpty();
    });
}

void IoCommands::importNotes()
{
    auto *dialog = new ImportDialog(m_repositories, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (m_importHook)
        m_importHook(dialog);
    dialog->show();
}
