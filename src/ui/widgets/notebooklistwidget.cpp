#include "notebooklistwidget.h"

#include "notebooklistdelegate.h"
#include "notelistwidget.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QSignalBlocker>

NotebookListWidget::NotebookListWidget(QWidget *parent)
    : QListWidget(parent)
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover, true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(true);
    setItemDelegate(new NotebookListDelegate(this));

    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        switch (item->data(KindRole).toInt()) {
        case AllNotesKind:
            emit allNotesSelected();
            break;
        case NotebookKind:
            emit notebookSelected(item->data(NotebookIdRole).toString());
            break;
        case TrashKind:
            emit trashSelected();
            break;
        case NewNotebookKind:
            emit newNotebookRequested();
            break;
        }
    });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QListWidgetItem *item = itemAt(pos);
        if (item && item->data(KindRole).toInt() == NotebookKind)
            emit notebookContextMenuRequested(item->data(NotebookIdRole).toString(), viewport()->mapToGlobal(pos));
    });
}

QListWidgetItem *NotebookListWidget::addRow(int kind, const QString &name, const QVariant &count)
{
    auto *item = new QListWidgetItem(this);
    item->setData(KindRole, kind);
    item->setData(NameRole, name);
    item->setData(Qt::DisplayRole, name);
    item->setData(CountRole, count);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (kind == AllNotesKind || kind == NotebookKind)
        flags |= Qt::ItemIsDropEnabled;
    item->setFlags(flags);
    return item;
}

void NotebookListWidget::setNotebooks(const QList<Notebook> &notebooks, const QHash<QString, int> &counts,
                                      const QString &currentNotebookId, int trashCount)
{
    const QSignalBlocker blocker(this);
    clear();
    QListWidgetItem *current = addRow(AllNotesKind, tr("All Notes"), counts.value(QString(), 0));
    for (const Notebook &notebook : notebooks) {
        if (notebook.deletedAt)
            continue;
        QListWidgetItem *item = addRow(NotebookKind, notebook.name, counts.value(notebook.id, 0));
        item->setData(NotebookIdRole, notebook.id);
        item->setData(IsDefaultRole, notebook.isDefault);
        item->setData(IsSharedRole, notebook.isShared);
        if (!currentNotebookId.isEmpty() && notebook.id == currentNotebookId)
            current = item;
    }
    addRow(TrashKind, tr("Trash"), trashCount);
    addRow(NewNotebookKind, tr("New Notebook…"), QVariant());
    setCurrentItem(current);
}

std::optional<QString> NotebookListWidget::dropTarget(int kind, const QString &notebookId)
{
    if (kind == AllNotesKind)
        return QString();
    if (kind == NotebookKind)
        return notebookId;
    return std::nullopt;
}

void NotebookListWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (!event->mimeData()->hasFormat(QString::fromLatin1(kNoteIdMimeType))) {
        QListWidget::dragEnterEvent(event);
        return;
    }
    if (m_rowBeforeDrag < 0)
        m_rowBeforeDrag = currentRow();
    event->acceptProposedAction();
}

void NotebookListWidget::dragLeaveEvent(QDragLeaveEvent *event)
{
    QListWidget::dragLeaveEvent(event);
    restoreRowBeforeDrag();
}

void NotebookListWidget::restoreRowBeforeDrag()
{
    if (m_rowBeforeDrag >= 0 && m_rowBeforeDrag < count())
        setCurrentRow(m_rowBeforeDrag);
    m_rowBeforeDrag = -1;
}

void NotebookListWidget::dragMoveEvent(QDragMoveEvent *event)
{
    if (!event->mimeData()->hasFormat(QString::fromLatin1(kNoteIdMimeType))) {
        QListWidget::dragMoveEvent(event);
        return;
    }
    QListWidgetItem *item = itemAt(event->position().toPoint());
    if (item && dropTarget(item->data(KindRole).toInt(), QString())) {
        // Selection follows the cursor as drop feedback; clicks, not current
        // changes, drive the signals, so this stays silent.
        setCurrentItem(item);
        event->acceptProposedAction();
        return;
    }
    event->ignore();
}

void NotebookListWidget::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasFormat(QString::fromLatin1(kNoteIdMimeType))) {
        QListWidget::dropEvent(event);
        return;
    }
    restoreRowBeforeDrag();
    const QListWidgetItem *item = itemAt(event->position().toPoint());
    if (!item) {
        event->ignore();
        return;
    }
    const QString noteId = QString::fromUtf8(event->mimeData()->data(QString::fromLatin1(kNoteIdMimeType)));
    const std::optional<QString> target =
        dropTarget(item->data(KindRole).toInt(), item->data(NotebookIdRole).toString());
    if (noteId.isEmpty() || !target) {
        event->ignore();
        return;
    }
    // The receiver may rebuild the rows, so nothing here touches item afterwards.
    emit noteDroppedOnNotebook(noteId, *target);
    event->acceptProposedAction();
}
