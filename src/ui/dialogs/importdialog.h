#pragma once

#include "importresult.h"
#include "iorepositories.h"

#include <QWizard>

#include <functional>

class BulkJob;
class QLabel;
class WritePlan;
class QLineEdit;
class QPushButton;
class QProgressBar;
class QPushButton;
class QRadioButton;

// Three-step wizard that imports a Joplin (.jex), NoteStation (.nsx) or
// Evernote (.enex) export, or a folder (or ZIP) of Markdown files, and shows
// a summary. The import starts when the progress page appears: read and
// planned on a worker, written on the GUI thread a batch per event-loop turn
// (BulkJob); the page's bar follows it. Cancel (or closing the wizard) while
// it runs stops it and leaves the notes as they were.
class ImportDialog final : public QWizard
{
    Q_OBJECT
public:
    enum class Format { Joplin, NoteStation, Evernote, MarkdownFolder };
    enum PageId { FormatPage, FilePage, ProgressPage, SummaryPage };

    // Open-file dialog seam: (parent, caption, filter) -> chosen path or empty.
    using OpenFileDialog = std::function<QString(QWidget *, const QString &, const QString &)>;
    // Folder dialog seam: (parent, caption) -> chosen folder or empty.
    using OpenFolderDialog = std::function<QString(QWidget *, const QString &)>;
    // Reads the file at path and plans what to write; runs on a worker.
    using Importer = std::function<ImportResult(const QString &path, WritePlan &plan)>;

    explicit ImportDialog(const IoRepositories &repositories, QWidget *parent = nullptr);

    void setOpenFileDialog(OpenFileDialog dialog) { m_openFileDialog = std::move(dialog); }
    void setOpenFolderDialog(OpenFolderDialog dialog) { m_openFolderDialog = std::move(dialog); }
    // Replaces the importer of a format (tests; the real ones are set by default).
    void setImporter(Format format, Importer importer);

    Format format() const;
    QString selectedFile() const { return m_file; }
    // The notebook an Evernote export goes into: what the user typed, else the file's name.
    QString notebookName() const;
    void setSelectedFile(const QString &path);
    bool isImporting() const { return m_importing; }
    ImportResult lastResult() const { return m_result; }
    QString summaryText() const;

    // Starts the chosen importer; the wizard moves on to the summary once it has finished.
    void runImport();

public slots:
    void reject() override;

signals:
    void importFinished();

private:
    void browse();
    void browseFolder();
    void formatChanged();
    void pageChanged(int id);
    void setProgress(int current, int total, const QString &label);
    void importDone(const ImportResult &planned);

    IoRepositories m_repositories;
    OpenFileDialog m_openFileDialog;
    OpenFolderDialog m_openFolderDialog;
    Importer m_joplin;
    Importer m_noteStation;
    Importer m_evernote;
    Importer m_markdown;
    QRadioButton *m_joplinButton = nullptr;
    QRadioButton *m_noteStationButton = nullptr;
    QRadioButton *m_evernoteButton = nullptr;
    QRadioButton *m_markdownButton = nullptr;
    QPushButton *m_folderButton = nullptr;
    QLabel *m_fileLabel = nullptr;
    QWidget *m_notebookRow = nullptr;
    QLineEdit *m_notebookEdit = nullptr;
    QPushButton *m_browseButton = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressLabel = nullptr;
    QLabel *m_summaryLabel = nullptr;
    QWizardPage *m_progressPage = nullptr;
    QString m_file;
    ImportResult m_result;
    BulkJob *m_job = nullptr;
    bool m_importing = false;
    bool m_started = false;
};
