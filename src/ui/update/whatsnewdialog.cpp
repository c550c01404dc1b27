#include "whatsnewdialog.h"

#include "updatecommands.h"
#include "updatedialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace VelmUpdate {

WhatsNewDialog::WhatsNewDialog(const QString &displayName, const QString &version, const QString &markdown,
                               const std::optional<Artifact> &offer, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("What's New in %1 %2").arg(displayName, version));
    resize(520, 420);
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(tr("What's new in %1 %2").arg(displayName, version), this);
    QFont font = heading->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    heading->setFont(font);
    layout->addWidget(heading);

    QTextBrowser *notes = createNotesView(this);
    setNotesMarkdown(notes, markdown);
    layout->addWidget(notes, 1);

    auto *running = new QLabel(tr("You are running version %1").arg(version), this);
    // A palette role rather than a colour, so that it follows the theme.
    running->setForegroundRole(QPalette::PlaceholderText);
    QFont small = running->font();
    small.setPixelSize(11);
    running->setFont(small);
    layout->addWidget(running);

    // Text buttons like the update dialog's: the style's Close icon vanishes on the dark theme.
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("Close"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (offer) {
        QPushButton *download = buttons->addButton(tr("Download %1").arg(offer->version), QDialogButtonBox::AcceptRole);
        const QUrl url = offer->url;
        connect(download, &QPushButton::clicked, this, [this, url] {
            accept();
            openDownloadUrl(url);
        });
    }
    layout->addWidget(buttons);
}

} // namespace VelmUpdate
