#include "updatedialog.h"

#include "releasenotesfetcher.h"
#include "updatecommands.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QVBoxLayout>

namespace VelmUpdate {

QTextBrowser *createNotesView(QWidget *parent)
{
    auto *view = new QTextBrowser(parent);
    view->document()->setDocumentMargin(8);
    // Notes come from the network: never follow their links inside the view.
    view->setOpenLinks(false);
    QObject::connect(view, &QTextBrowser::anchorClicked, view, [](const QUrl &url) { openDownloadUrl(url); });
    return view;
}

void setNotesMarkdown(QTextBrowser *view, const QString &markdown)
{
    // Markdown is parsed and laid out on the GUI thread: notes beyond what a
    // release needs are shown as plain text, in lines of bounded length.
    constexpr qsizetype maxMarkdown = 32 * 1024;
    constexpr qsizetype lineWidth = 500;
    if (markdown.size() > maxMarkdown) {
        QString plain;
        plain.reserve(markdown.size() + markdown.size() / lineWidth);
        qsizetype column = 0;
        for (const QChar c : markdown) {
            column = c == QLatin1Char('\n') ? 0 : column + 1;
            if (column > lineWidth) {
                plain += QLatin1Char('\n');
                column = 1;
            }
            plain += c;
        }
        view->setPlainText(plain);
        return;
    }
    view->setMarkdown(markdown);
    // Markdown links come in the palette's default link blue, unreadable on the
    // dark theme; the accent colour reads well on both.
    QList<std::pair<int, int>> links;
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isAnchor())
                links.append({it.fragment().position(), it.fragment().length()});
        }
    }
    QTextCharFormat accent;
    accent.setForeground(view->palette().color(QPalette::Highlight));
    QTextCursor cursor(view->document());
    for (const auto &[position, length] : links) {
        cursor.setPosition(position);
        cursor.setPosition(position + length, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(accent);
    }
}

UpdateDialog::UpdateDialog(const Artifact &artifact, const QString &currentVersion, const QString &displayName,
                           QWidget *parent)
    : QDialog(parent)
    , m_artifact(artifact)
{
    setWindowTitle(tr("Update available"));
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(tr("A new version of %1 is available.").arg(displayName), this);
    QFont font = heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    heading->setFont(font);
    layout->addWidget(heading);
    auto *versions =
        new QLabel(tr("You have version %1. The latest version is %2.").arg(currentVersion, artifact.version), this);
    versions->setWordWrap(true);
    layout->addWidget(versions);

    if (artifact.releaseNotesUrl.isValid()) {
        m_notes = createNotesView(this);
        m_notes->setMinimumHeight(150);
        setNotesMarkdown(m_notes, tr("Loading release notes…"));
        layout->addWidget(m_notes, 1);
        auto *fetcher = new ReleaseNotesFetcher(artifact.releaseNotesUrl, QStringLiteral("update-dialog"), this);
        connect(fetcher, &ReleaseNotesFetcher::notesReady, this, &UpdateDialog::onNotesReady);
        connect(fetcher, &ReleaseNotesFetcher::notesUnavailable, this,
                [this] { setNotesMarkdown(m_notes, tr("*Release notes are not available for this version.*")); });
        fetcher->fetch();
    } else {
        layout->addStretch(1);
    }

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *download = buttons->addButton(tr("Download"), QDialogButtonBox::AcceptRole);
    download->setDefault(true);
    if (!artifact.mandatory) {
        QPushButton *skip = buttons->addButton(tr("Skip This Version"), QDialogButtonBox::DestructiveRole);
        connect(skip, &QPushButton::clicked, this, [this] {
            emit versionSkipped(m_artifact.version);
            reject();
        });
        buttons->addButton(tr("Later"), QDialogButtonBox::RejectRole);
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateDialog::onDownloadClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(480, m_notes ? 360 : 160);
}

void UpdateDialog::onDownloadClicked()
{
    openDownloadUrl(m_artifact.url);
    accept();
}

void UpdateDialog::onNotesReady(const QString &markdown)
{
    if (m_notes)
        setNotesMarkdown(m_notes, markdown);
}

} // namespace VelmUpdate
