#include "notelistwidget.h"

#include "delta.h"
#include "notelistdelegate.h"

#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QSignalBlocker>

#include <optional>

NoteRowText noteRowText(const QString &body)
{
    NoteRowText row;
    // One parse of the body for both texts: at start-up every row is new.
    const QString text = deltaPlainText(body);
    row.title = plainTextTitle(text);
    row.preview = plainTextPreview(text);
    if (row.title.isEmpty()) {
        row.untitled = true;
        row.title = row.preview.isEmpty() ? QStringLiteral("Untitled") : row.preview;
        row.preview.clear();
    }
    return row;
}

class LazyNoteRowText final
{
public:
    explicit LazyNoteRowText(const QString &body)
        : m_body(body)
    {
    }

    const QString &body() const { return m_body; }
    const NoteRowText &text()
    {
        if (!m_text)
            m_text = noteRowText(m_body);
        return *m_text;
    }

private:
    QString m_body;
    std::optional<NoteRowText> m_text;
};

namespace {

// A row whose title, preview and untitled flag come from its LazyNoteRowText.
class NoteListItem final : public QListWidgetItem
{
public:
    explicit NoteListItem(std::shared_ptr<LazyNoteRowText> text)
        : m_text(std::move(text))
    {
    }

    QVariant data(int role) const override
    {
        switch (role) {
        case Qt::DisplayRole: // accessibility and tool tips read the display text
        case Qt::EditRole:
        case NoteListWidget::TitleRole:
            return m_text->text().title;
        case NoteListWidget::PreviewRole:
            return m_text->text().preview;
        case NoteListWidget::UntitledRole:
            return m_text->text().untitled;
        default:
            return QListWidgetItem::data(role);
        }
    }

    QListWidgetItem *clone() const override { return new NoteListItem(*this); }

private:
    std::shared_ptr<LazyNoteRowText> m_text;
};

} // namespace

NoteListWidget::NoteListWidget(QWidget *parent)
    : QListWidget(parent)
{
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

    connect(this, &QListWidget::currentItemChanged, this, [this](QListWidgetItem *current) {
        if (current)
            emit noteSelected(current->data(IdRole).toString());
    });
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        emit noteDoubleClicked(item->data(IdRole).toString());
    });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (QListWidgetItem *item = itemAt(pos))
            emit noteContextMenuRequested(item->data(IdRole).toString(), viewport()->mapToGlobal(pos));
    });
}

void NoteListWidget::setNotes(const QList<Note> &notes)
{
    const QString currentId = selectedNoteId();
    m_notes = notes;
    const QSignalBlocker blocker(this);
    clear();
    QHash<QString, std::shared_ptr<LazyNoteRowText>> previous;
    previous.swap(m_textCache);
    int restoreRow = -1;
    for (const Note &note : notes) {
        std::shared_ptr<LazyNoteRowText> text = previous.value(note.id);
        if (!text || text->body() != note.body)
            text = std::make_shared<LazyNoteRowText>(note.body);
        m_textCache.insert(note.id, text);
        // Rows are filled before they join the list, so no change is signalled per role.
        auto *item = new NoteListItem(std::move(text));
        item->setData(IdRole, note.id);
        item->setData(UpdatedAtRole, note.updatedAt);
        item->setData(NotebookNameRole,
                      m_resolver && !note.notebookId.isEmpty() ? m_resolver(note.notebookId) : QString());
        item->setData(SharedRole, note.isShared);
        item->setData(SyncStatusRole, int(note.syncStatus));
        addItem(item);
        if (!currentId.isEmpty() && note.id == currentId)
            restoreRow = count() - 1;
    }
    if (restoreRow >= 0)
        setCurrentRow(restoreRow);
}

void NoteListWidget::selectNote(const QString &id)
{
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(IdRole).toString() == id) {
            setCurrentRow(i);
            scrollToItem(item(i));
            return;
        }
    }
}

QString NoteListWidget::selectedNoteId() const
{
    const QListWidgetItem *current = currentItem();
    return current ? current->data(IdRole).toString() : QString();
}

void NoteListWidget::setNotebookNameResolver(NotebookNameResolver resolver)
{
    m_resolver = std::move(resolver);
}

void NoteListWidget::keyPressEvent(QKeyEvent *event)
{
    const QListWidgetItem *current = currentItem();
    if (current) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit noteActivated(current->data(IdRole).toString());
            event->accept();
            return;
        case Qt::Key_Delete:
            emit noteDeleteRequested(current->data(IdRole).toString());
            event->accept();
            return;
        default:
            break;
        }
    }
    QListWidget::keyPressEvent(event);
}

QStringList NoteListWidget::mimeTypes() const
{
    return {QString::fromLatin1(kNoteIdMimeType)};
}

QMimeData *NoteListWidget::mimeData(const QList<QListWidgetItem *> &items) const
{
    if (items.isEmpty())
        return nullptr;
    auto *data = new QMimeData;
    data->setData(QString::fromLatin1(kNoteIdMimeType), items.first()->data(IdRole).toString().toUtf8());
    return data;
}

void NoteListWidget::startDrag(Qt::DropActions supportedActions)
{
    // The base class removes the dragged rows after a move; here a move only
    // files the note elsewhere and the list is rebuilt from the database, so
    // removing the (by then rebuilt) selected row would hide the wrong note.
    const QList<QListWidgetItem *> items = selectedItems();
    QMimeData *data = mimeData(items);
    if (!data)
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    const QRect rect = visualItemRect(items.first());
    if (rect.isValid()) {
        drag->setPixmap(viewport()->grab(rect));
        drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - rect.topLeft());
    }
    drag->exec(supportedActions, defaultDropAction());
}
