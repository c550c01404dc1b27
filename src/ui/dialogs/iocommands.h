#pragma once

#include "converters.h"
#include "iorepositories.h"
#include "ioprogress.h"
#include "yesnoprompt.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class AppState;
class BulkJob;
class ImportDialog;

// The export, backup, restore and import commands of the main window and the
// note windows. The window creates one over the AppState's stores, calls the
// slots from its menu actions and shows statusMessage in its status bar.
// Every dialog that would block a test goes through a seam in Dialogs.
class IoCommands final : public QObject
{
    Q_OBJECT
public:
    struct ExportChoice
    {
        ExportFormat format = ExportFormat::Markdown;
        bool includeAttachments = false;
    };

    struct Dialogs
    {
        // The ExportDialog; absent when cancelled.
        std::function<std::optional<ExportChoice>(QWidget *parent)> chooseExport;
        // (parent, caption, proposed path, filter) -> path, empty when cancelled.
        std::function<QString(QWidget *, const QString &, const QString &, const QString &)> saveFileName;
        std::function<QString(QWidget *, const QString &, const QString &, const QString &)> openFileName;
        // Yes/No question; true for Yes.
        YesNoPrompt question;
        std::function<void(QWidget *, const QString &title, const QString &text)> warning;
        std::function<void(QWidget *, const QString &title, const QString &text)> information;
    };

    // window is the parent of every dialog (not owned; may be null).
    IoCommands(const IoRepositories &repositories, QWidget *window, QObject *parent = nullptr);
    // Over the stores of state, which must outlive this object.
    IoCommands(AppState *state, QWidget *window, QObject *parent = nullptr);

    static IoRepositories repositoriesOf(const AppState *state);

    void setDialogs(Dialogs dialogs) { m_dialogs = std::move(dialogs); }
    // Called with every new ImportDialog before it is shown (tests set its seams here).
    void setImportDialogHook(std::function<void(ImportDialog *)> hook) { m_importHook = std::move(hook); }

public slots:
    // Exports the note as stored; a window with unsaved edits saves first.
    void exportNote(const QString &noteId);
    // Exports one notebook, or every note when notebookId is absent, as Markdown
    // files to a new folder or, for a name ending in ".zip", a ZIP archive.
    void exportMarkdown(const std::optional<QString> &notebookId);
    void backupDatabase();
    // Runs in the background behind an application-modal progress dialog
    // whose Cancel leaves the notes as they were; returns at once.
    void restoreDatabase();
    // Opens the import wizard (deleted on close); returns at once.
    void importNotes();

signals:
    void statusMessage(const QString &text, int timeoutMs);

private:
    // A window-modal progress dialog fed by the returned callback; it lives as long as holder.
    ProgressCallback progressDialog(const QString &title, std::unique_ptr<QObject> *holder);

    IoRepositories m_repositories;
    QPointer<QWidget> m_window;
    Dialogs m_dialogs;
    std::function<void(ImportDialog *)> m_importHook;
    BulkJob *m_restore = nullptr; // the restore running, if any
};
