#include "importdialog.h"

#include "bulkjob.h"
#include "eneximporter.h"
#include "joplinimporter.h"
#include "markdownfolderimporter.h"
#include "notestationimporter.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizardPage>

namespace {

// The progress page lets the wizard go on only once the import has finished.
class ImportProgressPage final : public QWizardPage
{
public:
    using QWizardPage::QWizardPage;

    bool isComplete() const override { return m_done; }
    void setDone(bool done)
    {
        m_done = done;
        emit completeChanged();
    }

private:
    bool m_done = false;
};

} // namespace

ImportDialog::ImportDialog(const IoRepositories &repositories, QWidget *parent)
    : QWizard(parent)
    , m_repositories(repositories)
    , m_openFileDialog([](QWidget *p, const QString &caption, const QString &filter) {
        return QFileDialog::getOpenFileName(p, caption, QString(), filter);
    })
    , m_joplin([](const QString &path, WritePlan &plan) { return planJoplinImport(path, plan); })
    , m_noteStation([](const QString &path, WritePlan &plan) { return planNoteStationImport(path, plan); })
    , m_markdown([](const QString &path, WritePlan &plan) { return planMarkdownFolderImport(path, plan); })
{
    m_openFolderDialog = [](QWidget *p, const QString &caption) {
        return QFileDialog::getExistingDirectory(p, caption);
    };
    setWindowTitle(tr("Import Notes"));
    setMinimumWidth(450);
    // Once notes are imported there is no way back to run it twice.
    setOption(QWizard::NoBackButtonOnLastPage, true);

    auto *formatPage = new QWizardPage(this);
    formatPage->setTitle(tr("Select Format"));
    formatPage->setSubTitle(tr("Choose the format of the file you want to import."));
    auto *formatLayout = new QVBoxLayout(formatPage);
    m_joplinButton = new QRadioButton(tr("Joplin Export (.jex)"), formatPage);
    m_noteStationButton = new QRadioButton(tr("Synology NoteStation (.nsx)"), formatPage);
    m_evernoteButton = new QRadioButton(tr("Evernote Export (.enex)"), formatPage);
    m_markdownButton = new QRadioButton(tr("Folder of Markdown files (or a .zip of one)"), formatPage);
    m_joplinButton->setChecked(true);
    for (QRadioButton *button : {m_joplinButton, m_noteStationButton, m_evernoteButton, m_markdownButton}) {
        formatLayout->addWidget(button);
        connect(button, &QRadioButton::toggled, this, &ImportDialog::formatChanged);
    }
    formatLayout->addStretch();
    setPage(FormatPage, formatPage);

    auto *filePage = new QWizardPage(this);
    filePage->setTitle(tr("Select File"));
    filePage->setSubTitle(tr("Choose the file to import."));
    auto *filePageLayout = new QVBoxLayout(filePage);
    auto *fileLayout = new QHBoxLayout;
    filePageLayout->addLayout(fileLayout);
    m_fileLabel = new QLabel(tr("No file selected"), filePage);
    m_fileLabel->setWordWrap(true);
    m_browseButton = new QPushButton(tr("Browse..."), filePage);
    m_browseButton->setAccessibleDescription(m_fileLabel->text());
    m_folderButton = new QPushButton(tr("Choose Folder..."), filePage);
    m_folderButton->setVisible(false);
    fileLayout->addWidget(m_fileLabel, 1);
    fileLayout->addWidget(m_folderButton);
    fileLayout->addWidget(m_browseButton);
    connect(m_browseButton, &QPushButton::clicked, this, &ImportDialog::browse);
    connect(m_folderButton, &QPushButton::clicked, this, &ImportDialog::browseFolder);
    // An Evernote export is one notebook without its name: the user may give one.
    m_notebookRow = new QWidget(filePage);
    auto *notebookLayout = new QFormLayout(m_notebookRow);
    notebookLayout->setContentsMargins(0, 0, 0, 0);
    m_notebookEdit = new QLineEdit(m_notebookRow);
    m_notebookEdit->setClearButtonEnabled(true);
    m_notebookEdit->setPlaceholderText(tr("Named after the file"));
    notebookLayout->addRow(tr("Import into &notebook:"), m_notebookEdit);
    m_notebookRow->setVisible(false);
    filePageLayout->addWidget(m_notebookRow);
    filePageLayout->addStretch();
    setPage(FilePage, filePage);

    auto *progressPage = new ImportProgressPage(this);
    progressPage->setTitle(tr("Importing..."));
    progressPage->setSubTitle(tr("Please wait while your notes are imported."));
    progressPage->setCommitPage(true);
    auto *progressLayout = new QVBoxLayout(progressPage);
    m_progressBar = new QProgressBar(progressPage);
    m_progressBar->setRange(0, 0);
    m_progressBar->setAccessibleName(tr("Import progress"));
    // Holds the focus while the buttons are disabled or hidden, and reads out how far it got.
    m_progressBar->setFocusPolicy(Qt::TabFocus);
    m_progressLabel = new QLabel(tr("Starting import..."), progressPage);
    m_progressLabel->setWordWrap(true);
    progressLayout->addWidget(m_progressBar);
    progressLayout->addWidget(m_progressLabel);
    progressLayout->addStretch();
    m_progressPage = progressPage;
    setPage(ProgressPage, progressPage);

    auto *summaryPage = new QWizardPage(this);
    summaryPage->setTitle(tr("Import Complete"));
    auto *summaryLayout = new QVBoxLayout(summaryPage);
    m_summaryLabel = new QLabel(summaryPage);
    m_summaryLabel->setWordWrap(true);
    m_summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summaryLayout->addWidget(m_summaryLabel);
    summaryLayout->addStretch();
    setPage(SummaryPage, summaryPage);

    connect(this, &QWizard::currentIdChanged, this, &ImportDialog::pageChanged);
}

void ImportDialog::setImporter(Format format, Importer importer)
{
    switch (format) {
    case Format::Joplin: m_joplin = std::move(importer); break;
    case Format::NoteStation: m_noteStation = std::move(importer); break;
    case Format::Evernote: m_evernote = std::move(importer); break;
    case Format::MarkdownFolder: m_markdown = std::move(importer); break;
    }
}

ImportDialog::Format ImportDialog::format() const
{
    if (m_noteStationButton->isChecked())
        return Format::NoteStation;
    if (m_evernoteButton->isChecked())
        return Format::Evernote;
    if (m_markdownButton->isChecked())
        return Format::MarkdownFolder;
    return Format::Joplin;
}

void ImportDialog::formatChanged()
{
    m_folderButton->setVisible(format() == Format::MarkdownFolder);
    m_notebookRow->setVisible(format() == Format::Evernote);
}

QString ImportDialog::notebookName() const
{
    const QString typed = m_notebookEdit->text().simplified();
    return typed.isEmpty() ? QFileInfo(m_file).completeBaseName() : typed;
}

void ImportDialog::setSelectedFile(const QString &path)
{
    m_file = path;
    m_fileLabel->setText(path.isEmpty() ? tr("No file selected") : path);
    m_notebookEdit->setPlaceholderText(path.isEmpty() ? tr("Named after the file") : QFileInfo(path).completeBaseName());
    m_browseButton->setAccessibleDescription(m_fileLabel->text());
}

QString ImportDialog::summaryText() const
{
    return m_summaryLabel->text();
}

void ImportDialog::browse()
{
    QString filter;
    switch (format()) {
    case Format::Joplin: filter = tr("Joplin Export (*.jex);;All Files (*)"); break;
    case Format::NoteStation: filter = tr("NoteStation Export (*.nsx);;All Files (*)"); break;
    case Format::Evernote: filter = tr("Evernote Export (*.enex);;All Files (*)"); break;
    case Format::MarkdownFolder: filter = tr("ZIP Archive (*.zip);;All Files (*)"); break;
    }
    const QString path = m_openFileDialog(this, tr("Select Import File"), filter);
    if (!path.isEmpty())
        setSelectedFile(path);
}

void ImportDialog::browseFolder()
{
    const QString path = m_openFolderDialog(this, tr("Select Folder to Import"));
    if (!path.isEmpty())
        setSelectedFile(path);
}

void ImportDialog::pageChanged(int id)
{
    // The wizard leaves the focus on whichever button had it, even one this
    // page hides or disables: each page names its own first control.
    QWidget *first = nullptr;
    switch (id) {
    case FormatPage:
        for (QRadioButton *button : {m_joplinButton, m_noteStationButton, m_evernoteButton, m_markdownButton}) {
            if (button->isChecked())
                first = button;
        }
        break;
    case FilePage:
        first = m_browseButton;
        break;
    case ProgressPage:
        first = m_progressBar;
        break;
    case SummaryPage:
        first = button(QWizard::FinishButton);
        break;
    default:
        break;
    }
    if (first)
        first->setFocus(Qt::OtherFocusReason);
    // Started once the page is on screen, so the user sees it while the import runs.
    if (id == ProgressPage && !m_started)
        QTimer::singleShot(0, this, &ImportDialog::runImport);
}

void ImportDialog::runImport()
{
    if (m_importing || m_started)
        return;
    m_started = true;
    if (m_file.isEmpty()) {
        m_progressLabel->setText(tr("No file was selected."));
        m_summaryLabel->setText(tr("No file was selected."));
        m_progressBar->setRange(0, 1);
        m_progressBar->setValue(0);
        static_cast<ImportProgressPage *>(m_progressPage)->setDone(true);
        return;
    }

    m_importing = true;
    m_progressLabel->setText(tr("Starting import of %1...").arg(QFileInfo(m_file).fileName()));
    const Format chosen = format();
    Importer importer = chosen == Format::Joplin ? m_joplin
        : chosen == Format::NoteStation          ? m_noteStation
        : chosen == Format::MarkdownFolder       ? m_markdown
                                                 : m_evernote;
    if (chosen == Format::Evernote && !importer) {
        // The name is read here: the worker must not touch the widgets.
        importer = [notebook = notebookName()](const QString &path, WritePlan &plan) {
            return planEnexImport(path, plan, {}, notebook);
        };
    }
    auto planned = std::make_shared<ImportResult>();
    m_job = new BulkJob(m_repositories, std::nullopt, this);
    connect(m_job, &BulkJob::progress, this, &ImportDialog::setProgress);
    connect(m_job, &BulkJob::finished, this, [this, planned] { importDone(*planned); });
    m_job->start([importer, file = m_file, planned](WritePlan &plan) {
        *planned = importer(file, plan);
        return planned->error.isEmpty();
    });
}

void ImportDialog::importDone(const ImportResult &planned)
{
    m_result = importOutcome(planned, *m_job);
    m_job->deleteLater();
    m_job = nullptr;
    m_importing = false;
    button(QWizard::CancelButton)->setEnabled(true);

    m_summaryLabel->setText(importSummary(m_result));
    m_progressBar->setRange(0, 1);
    m_progressBar->setValue(1);
    static_cast<ImportProgressPage *>(m_progressPage)->setDone(true);
    emit importFinished();
    if (currentId() == ProgressPage)
        next();
}

void ImportDialog::setProgress(int current, int total, const QString &label)
{
    if (total >= 1) {
        m_progressBar->setRange(0, total);
        m_progressBar->setValue(qBound(0, current, total));
    } else {
        m_progressBar->setRange(0, 0);
    }
    if (m_job && !m_job->wasCancelled())
        m_progressLabel->setText(label);
}

void ImportDialog::reject()
{
    // The wizard stays until the import has stopped: it shows that nothing was kept.
    if (m_importing) {
        m_job->cancel();
        m_progressLabel->setText(tr("Cancelling..."));
        button(QWizard::CancelButton)->setEnabled(false);
        return;
    }
    QWizard::reject();
}
