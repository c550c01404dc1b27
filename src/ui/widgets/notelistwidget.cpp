#include "notelistwidget.h"

#include "notelistdelegate.h"

#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QSignalBlocker>

NoteListWidget::NoteListWidget(QWidget *parent)
    : QListView(parent)
    , m_model(new NoteListModel(this))
{
    setModel(m_model);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover, true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
    setItemDelegate(new NoteListDelegate(this));
    setAccessibleName(tr("Notes"));

    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (current.isValid())
            emit noteSelected(current.data(IdRole).toString());
    });
    connect(this, &QListView::doubleClicked, this,
            [this](const QModelIndex &index) { emit noteDoubleClicked(index.data(IdRole).toString()); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QModelIndex index = indexAt(pos);
        if (index.isValid())
            emit noteContextMenuRequested(index.data(IdRole).toString(), viewport()->mapToGlobal(pos));
    });
}

void NoteListWidget::setRows(const QList<NoteRow> &rows, NoteListModel::Order order, NoteListModel::RowFilter filter,
                             NoteListModel::PageReader pages)
{
    const QString currentId = selectedNoteId();
    const QSignalBlocker blocker(this);
    const QSignalBlocker selection(selectionModel());
    m_model->setRows(rows, order, std::move(filter), std::move(pages));
    const int row = currentId.isEmpty() ? -1 : m_model->rowOf(currentId);
    if (row >= 0)
        setCurrentIndex(m_model->index(row));
}

void NoteListWidget::setEmptyText(const QString &text)
{
    if (text == m_emptyText)
        return;
    m_emptyText = text;
    setAccessibleDescription(text);
    viewport()->update();
}

void NoteListWidget::paintEvent(QPaintEvent *event)
{
    QListView::paintEvent(event);
    if (m_emptyText.isEmpty() || m_model->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const QRect area = viewport()->rect().adjusted(16, 24, -16, -16);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_emptyText);
}

void NoteListWidget::selectNote(const QString &id)
{
    m_model->ensureLoaded(id);
    const int row = m_model->rowOf(id);
    if (row < 0)
        return;
    setCurrentRow(row);
    scrollTo(m_model->index(row));
}

QString NoteListWidget::selectedNoteId() const
{
    return currentIndex().data(IdRole).toString();
}

void NoteListWidget::setNotebookNameResolver(NoteListModel::NotebookNameResolver resolver)
{
    m_model->setNotebookNameResolver(std::move(resolver));
}

void NoteListWidget::setCurrentRow(int row)
{
    setCurrentIndex(m_model->index(row));
}

QString NoteListWidget::idAt(int row) const
{
    return m_model->index(row).data(IdRole).toString();
}

void NoteListWidget::keyPressEvent(QKeyEvent *event)
{
    const QString id = selectedNoteId();
    if (!id.isEmpty()) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit noteActivated(id);
            event->accept();
            return;
        case Qt::Key_Delete:
            emit noteDeleteRequested(id);
            event->accept();
            return;
        default:
            break;
        }
    }
    QListView::keyPressEvent(event);
}

void NoteListWidget::startDrag(Qt::DropActions supportedActions)
{
    // A move only files the note elsewhere; the list follows the database, so
    // the view must not remove the dragged row itself.
    const QModelIndex index = currentIndex();
    if (!index.isValid())
        return;
    QMimeData *data = m_model->mimeData({index});
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    const QRect rect = visualRect(index);
    if (rect.isValid()) {
        drag->setPixmap(viewport()->grab(rect));
        drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - rect.topLeft());
    }
    drag->exec(supportedActions, defaultDropAction());
}
