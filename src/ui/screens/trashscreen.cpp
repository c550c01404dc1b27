#include "trashscreen.h"

#include "appstate.h"
#include "noterepository.h"
#include "notelistwidget.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

TrashScreen::TrashScreen(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_askYesNo(askYesNoBox)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    auto *buttons = new QHBoxLayout;
    m_restoreButton = new QPushButton(tr("Restore"), this);
    m_deleteButton = new QPushButton(tr("Delete Permanently"), this);
    m_emptyButton = new QPushButton(tr("Empty Trash"), this);
    buttons->addWidget(m_restoreButton);
    buttons->addWidget(m_deleteButton);
    buttons->addStretch();
    buttons->addWidget(m_emptyButton);
    layout->addLayout(buttons);
    // Its own row: a long count must not widen the window.
    m_progress = new QLabel(this);
    m_progress->setWordWrap(true);
    m_progress->setVisible(false);
    layout->addWidget(m_progress);
    m_list = new NoteListWidget(this);
    m_list->setEmptyText(tr("The Trash is empty.\n\nDeleted notes wait here until you restore them or empty the Trash."));
    layout->addWidget(m_list);

    connect(m_restoreButton, &QPushButton::clicked, this, &TrashScreen::restoreSelected);
    connect(m_deleteButton, &QPushButton::clicked, this, &TrashScreen::deleteSelected);
    connect(m_emptyButton, &QPushButton::clicked, this, &TrashScreen::emptyTrash);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { setSelectionButtons(m_list->selectedNoteId()); });
    refresh();
}

void TrashScreen::setSelectionButtons(const QString &selectedId)
{
    m_restoreButton->setEnabled(!selectedId.isEmpty() && !isEmptying());
    m_deleteButton->setEnabled(!selectedId.isEmpty() && !isEmptying());
}

void TrashScreen::refresh()
{
    const QList<NoteRow> trashed =
        m_state && m_state->notes() ? m_state->notes()->trashedRows() : QList<NoteRow>();
    m_list->setRows(trashed, NoteListModel::Order::NewestDeletionFirst);
    {
        // The buttons start disabled, so no row may look selected.
        const QSignalBlocker blocker(m_list->selectionModel());
        m_list->setCurrentIndex(QModelIndex());
    }
    setSelectionButtons(QString());
    m_emptyButton->setEnabled(!trashed.isEmpty() && !isEmptying());
}

void TrashScreen::restoreSelected()
{
    const QString id = m_list->selectedNoteId();
    if (id.isEmpty() || !m_state)
        return;
    m_state->notes()->restore(id);
    refresh();
}

void TrashScreen::deleteSelected()
{
    const QString id = m_list->selectedNoteId();
    if (id.isEmpty() || !m_state)
        return;
    if (!m_askYesNo(this, tr("Delete Permanently"),
                    tr("This note will be permanently deleted. This cannot be undone.")))
        return;
    m_state->notes()->purge(id);
    refresh();
}

void TrashScreen::emptyTrash()
{
    if (!m_state || isEmptying())
        return;
    const int trashed = m_state->notes()->trashCount();
    if (trashed == 0)
        return;
    if (!m_askYesNo(this, tr("Empty Trash"),
                    tr("Permanently delete all %1 notes in trash? This cannot be undone.").arg(trashed)))
        return;
    QStringList ids;
    for (const NoteRow &row : m_state->notes()->trashedRows())
        ids << row.id;
    if (ids.isEmpty())
        return;
    m_emptying = ids;
    m_emptyTotal = int(ids.size());
    m_sliceSize = kFirstSlice;
    m_list->setEnabled(false);
    setSelectionButtons(QString());
    m_emptyButton->setEnabled(false);
    emptyNextSlice();
}

void TrashScreen::emptyNextSlice()
{
    if (!m_state)
        return;
    const QStringList slice = m_emptying.mid(0, m_sliceSize);
    QElapsedTimer clock;
    clock.start();
    const bool purged = m_state->notes()->purgeTrashed(slice);
    if (purged)
        m_emptying.remove(0, slice.size());
    // A purge costs about the same per note within one trash.
    m_sliceSize = int(std::clamp<qint64>(slice.size() * kSliceMs / std::max<qint64>(1, clock.elapsed()), 10, 2000));
    const int deleted = m_emptyTotal - int(m_emptying.size());
    if (purged && !m_emptying.isEmpty()) {
        m_progress->setText(tr("Emptying the trash: %1 of %2 notes deleted…").arg(deleted).arg(m_emptyTotal));
        m_progress->setVisible(true);
        QTimer::singleShot(0, this, &TrashScreen::emptyNextSlice);
        return;
    }
    // Done, or a write failed: what is left stays in the trash, and says so.
    const int total = std::exchange(m_emptyTotal, 0);
    m_emptying.clear();
    m_list->setEnabled(true);
    m_progress->setText(purged ? QString()
                               : tr("Could not delete every note: %1 of %2 deleted, the rest are still in the trash.")
                                     .arg(deleted)
                                     .arg(total));
    m_progress->setVisible(!purged);
    refresh();
}
