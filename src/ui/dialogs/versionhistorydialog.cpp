#include "versionhistorydialog.h"

#include "appstate.h"
#include "noteedits.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "snapshotrepository.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace {
// The preview's own text would invite creating a note here.
QString previewPlaceholder()
{
    return VersionHistoryDialog::tr("Pick a version to see it here.");
}
} // namespace

VersionHistoryDialog::VersionHistoryDialog(AppState *state, const QString &noteId, QWidget *parent)
    : QDialog(parent)
    , m_state(state)
    , m_noteId(noteId)
{
    m_hooks.askYesNo = askYesNoBox;
    m_hooks.inform = [](QWidget *parent, const QString &title, const QString &text) {
        QMessageBox::information(parent, title, text, QMessageBox::Ok);
    };

    setWindowTitle(tr("Version History"));
    resize(800, 500);

    auto *layout = new QVBoxLayout(this);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter);

    auto *left = new QWidget(splitter);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    m_list = new QListWidget(left);
    m_list->setAccessibleName(tr("Versions"));
    leftLayout->addWidget(m_list);
    m_empty = new QLabel(tr("No earlier versions yet.\n\nA version is kept when you press Ctrl+S, when you "
                            "switch to another note after editing this one, and by itself after a pause in editing."),
                         left);
    m_empty->setObjectName(QStringLiteral("historyEmpty"));
    m_empty->setWordWrap(true);
    m_empty->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_empty->setContentsMargins(12, 24, 12, 12);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    leftLayout->addWidget(m_empty, 1);
    auto *buttons = new QHBoxLayout;
    auto *saveButton = new QPushButton(tr("Save Snapshot Now"), left);
    m_restoreButton = new QPushButton(tr("Restore Selected"), left);
    m_restoreButton->setEnabled(false);
    buttons->addWidget(saveButton);
    buttons->addWidget(m_restoreButton);
    leftLayout->addLayout(buttons);

    m_preview = new NoteEditor(splitter);
    m_preview->setReadOnly(true);
    m_preview->setPlaceholderText(previewPlaceholder());
    splitter->addWidget(left);
    splitter->addWidget(m_preview);
    splitter->setSizes({250, 550});

    connect(m_list, &QListWidget::currentRowChanged, this, &VersionHistoryDialog::onCurrentRowChanged);
    connect(saveButton, &QPushButton::clicked, this, &VersionHistoryDialog::saveSnapshotNow);
    connect(m_restoreButton, &QPushButton::clicked, this, &VersionHistoryDialog::restoreSelected);
    fillList();
}

void VersionHistoryDialog::fillList()
{
    m_list->clear();
    const QList<Snapshot> snapshots =
        m_state && m_state->snapshots() ? m_state->snapshots()->snapshotsForNote(m_noteId) : QList<Snapshot>();
    for (const Snapshot &snapshot : snapshots) {
        const QString when = snapshot.createdAt.toLocalTime().toString(QStringLiteral("MMM d, yyyy h:mm AP"));
        auto *item = new QListWidgetItem(tr("v%1 — %2").arg(snapshot.version).arg(when), m_list);
        item->setData(Qt::UserRole, snapshot.id);
    }
    // Empty, the list gives its room to a text that wraps.
    m_list->setVisible(!snapshots.isEmpty());
    m_empty->setVisible(snapshots.isEmpty());
}

void VersionHistoryDialog::onCurrentRowChanged(int row)
{
    m_restoreButton->setEnabled(row >= 0);
    if (row < 0) {
        m_preview->clearNote();
        m_preview->setPlaceholderText(previewPlaceholder());
        return;
    }
    const QString id = m_list->item(row)->data(Qt::UserRole).toString();
    if (id.isEmpty() || !m_state)
        return;
    if (const std::optional<Snapshot> snapshot = m_state->snapshots()->snapshotById(id)) {
        m_preview->loadNote(QStringLiteral("preview"), snapshot->body, true);
        m_preview->setReadOnly(true);
    }
}

void VersionHistoryDialog::saveSnapshotNow()
{
    if (!m_state)
        return;
    if (const std::optional<Note> note = m_state->notes()->noteById(m_noteId))
        takeSnapshot(m_state->snapshots(), m_noteId, note->version, note->body);
    fillList();
}

void VersionHistoryDialog::restoreSelected()
{
    const QListWidgetItem *item = m_list->currentItem();
    if (!item || !m_state)
        return;
    const QString id = item->data(Qt::UserRole).toString();
    if (id.isEmpty())
        return;
    const std::optional<Snapshot> snapshot = m_state->snapshots()->snapshotById(id);
    if (!snapshot)
        return;
    if (!m_hooks.askYesNo(this, tr("Restore Snapshot"),
                          tr("Replace current content with this snapshot? A snapshot of the current "
                                         "content will be saved first.")))
        return;
    if (const std::optional<Note> note = m_state->notes()->noteById(m_noteId)) {
        // Without its safety copy a restore would lose the current content for good.
        if (!takeSnapshot(m_state->snapshots(), m_noteId, note->version, note->body)) {
            fillList();
            m_hooks.inform(this, tr("Restore Failed"),
                           tr("The current content could not be saved, so nothing was restored."));
            return;
        }
        const Note restored = noteWithEditedBody(*note, snapshot->body, QDateTime::currentDateTimeUtc());
        if (m_state->notes()->update(restored))
            emit m_state->noteUpdatedExternally(m_noteId, this);
    }
    fillList();
    m_hooks.inform(this, tr("Restored"), tr("Snapshot restored successfully."));
}
