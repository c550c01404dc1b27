#include "notebooklistwidget.h"

#include "notebooklistdelegate.h"
#include "notelistwidget.h"
#include "thememanager.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
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
    setAccessibleName(tr("Notebooks"));

    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { activateRow(row(item)); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QListWidgetItem *item = itemAt(pos);
        if (item && item->data(KindRole).toInt() == NotebookKind)
            emit notebookContextMenuRequested(item->data(NotebookIdRole).toString(), viewport()->mapToGlobal(pos));
    });
}

void NotebookListWidget::activateRow(int row)
{
    const QListWidgetItem *item = this->item(row);
    if (!item)
        return;
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
}

int NotebookListWidget::shownRow() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void NotebookListWidget::keyboardSearch(const QString &search)
{
    const int shown = shownRow();
    QListWidget::keyboardSearch(search);
    if (shown >= 0 && shownRow() != shown)
        selectionModel()->select(model()->index(shown, 0), QItemSelectionModel::ClearAndSelect);
}

void NotebookListWidget::keyPressEvent(QKeyEvent *event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && currentItem()
        && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)) {
        // As a click: the row is selected, then acted on (the receiver may
        // rebuild the rows or put the selection back).
        setCurrentItem(currentItem(), QItemSelectionModel::ClearAndSelect);
        activateRow(currentRow());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

QItemSelectionModel::SelectionFlags NotebookListWidget::selectionCommand(const QModelIndex &index,
                                                                         const QEvent *event) const
{
    if (event && event->type() == QEvent::KeyPress)
        return QItemSelectionModel::NoUpdate;
    return QListWidget::selectionCommand(index, event);
}

namespace {

struct RowEntry
{
    int kind;
    QString id;
    QString name;
    QVariant count;
    bool isDefault = false;
    bool isShared = false;
};

QString rowAccessibleText(const RowEntry &entry)
{
    if (!entry.count.isValid())
        return entry.name;
    const int count = entry.count.toInt();
    return count == 1 ? NotebookListWidget::tr("%1, 1 note").arg(entry.name)
                      : NotebookListWidget::tr("%1, %2 notes").arg(entry.name).arg(count);
}

} // namespace

QSize NotebookListWidget::minimumSizeHint() const
{
    int width = 0;
    for (int i = 0; i < count(); ++i) {
        const QListWidgetItem *row = item(i);
        const int kind = row->data(KindRole).toInt();
        if (kind == NotebookKind)
            continue;
        width = std::max(width, notebookRowWidth(kind, row->data(NameRole).toString(),
                                                 notebookCountText(kind, row->data(CountRole).toInt()),
                                                 ThemeManager::fontScale()));
    }
    width += 2 * frameWidth();
    if (verticalScrollBar()->isVisible())
        width += verticalScrollBar()->sizeHint().width();
    return QSize(width, QListWidget::minimumSizeHint().height());
}

void NotebookListWidget::setNotebooks(const QList<Notebook> &notebooks, const QHash<QString, int> &counts,
                                      const QString &currentNotebookId, int trashCount)
{
    QList<RowEntry> entries;
    entries.append({AllNotesKind, QString(), tr("All Notes"), counts.value(QString(), 0)});
    int shown = 0;
    for (const Notebook &notebook : notebooks) {
        if (notebook.deletedAt)
            continue;
        if (!currentNotebookId.isEmpty() && notebook.id == currentNotebookId)
            shown = int(entries.size());
        entries.append({NotebookKind, notebook.id, notebook.name, counts.value(notebook.id, 0), notebook.isDefault,
                      notebook.isShared});
    }
    entries.append({TrashKind, QString(), tr("Trash"), trashCount});
    entries.append({NewNotebookKind, QString(), tr("New Notebook…"), QVariant()});

    bool sameRows = count() == entries.size();
    for (int i = 0; sameRows && i < count(); ++i)
        sameRows = item(i)->data(KindRole).toInt() == entries.at(i).kind
            && item(i)->data(NotebookIdRole).toString() == entries.at(i).id;
    // Where the keyboard is, by kind and id, so that it survives a rebuild.
    const QListWidgetItem *focusItem = currentItem();
    const int focusKind = focusItem ? focusItem->data(KindRole).toInt() : -1;
    const QString focusId = focusItem ? focusItem->data(NotebookIdRole).toString() : QString();

    const QSignalBlocker blocker(this);
    if (!sameRows) {
        clear();
        for (const RowEntry &entry : entries)
            addRow(entry.kind, entry.name, entry.count);
    }
    int focusRow = -1;
    for (int i = 0; i < entries.size(); ++i) {
        QListWidgetItem *row = item(i);
        const RowEntry &entry = entries.at(i);
        // setData leaves unchanged values alone, so an idle refresh repaints nothing.
        row->setData(NameRole, entry.name);
        row->setData(Qt::DisplayRole, entry.name);
        row->setData(CountRole, entry.count);
        row->setData(Qt::AccessibleTextRole, rowAccessibleText(entry));
        if (entry.kind == NotebookKind) {
            row->setData(NotebookIdRole, entry.id);
            row->setData(IsDefaultRole, entry.isDefault);
            row->setData(IsSharedRole, entry.isShared);
        }
        if (entry.kind == focusKind && entry.id == focusId)
            focusRow = i;
    }
    // A count with more digits may need a wider pane.
    updateGeometry();
    if (hasFocus() && focusRow >= 0) {
        if (focusRow != currentRow())
            selectionModel()->setCurrentIndex(model()->index(focusRow, 0), QItemSelectionModel::NoUpdate);
        selectionModel()->select(model()->index(shown, 0), QItemSelectionModel::ClearAndSelect);
    } else if (shown != currentRow() || shownRow() != shown) {
        setCurrentRow(shown, QItemSelectionModel::ClearAndSelect);
    }
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
