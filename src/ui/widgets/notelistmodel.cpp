#include "notelistmodel.h"

#include "relativetime.h"

#include <QCoreApplication>
#include <QMimeData>

NoteRowText noteRowText(const QString &title, const QString &preview)
{
    if (!title.isEmpty())
        return {title, preview, false};
    return {preview.isEmpty() ? QCoreApplication::translate("NoteListWidget", "Untitled") : preview, QString(), true};
}

NoteListModel::NoteListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

void NoteListModel::setRows(const QList<NoteRow> &rows, Order order, RowFilter filter, PageReader pages)
{
    beginResetModel();
    m_rows = rows;
    m_order = order;
    m_filter = std::move(filter);
    m_pages = std::move(pages);
    m_morePages = false; // not while the reset is in flight
    endResetModel();
    m_morePages = bool(m_pages) && rows.size() >= kPageSize;
}

void NoteListModel::setNotebookNameResolver(NotebookNameResolver resolver)
{
    m_resolver = std::move(resolver);
}

void NoteListModel::setRefusedNotes(const QHash<QString, QString> &reasons)
{
    if (reasons == m_refused)
        return;
    m_refused = reasons;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0), index(int(m_rows.size()) - 1), {RefusedRole, Qt::ToolTipRole});
}

void NoteListModel::setRowReader(std::function<std::optional<NoteRow>(const QString &)> reader)
{
    m_rowReader = std::move(reader);
}

void NoteListModel::ensureLoaded(const QString &id)
{
    if (!m_morePages || !m_rowReader || m_order == Order::Ranked || rowOf(id) >= 0)
        return;
    const std::optional<NoteRow> row = m_rowReader(id);
    if (!row || (m_filter && !m_filter(*row)))
        return;
    while (m_morePages && placeFor(*row, -1) == m_rows.size())
        fetchMore(QModelIndex());
}

int NoteListModel::rowOf(const QString &id) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).id == id)
            return i;
    }
    return -1;
}

// Where row goes among the rows other than skip, as an index into that shorter list.
int NoteListModel::placeFor(const NoteRow &row, int skip) const
{
    const auto before = [this, &row](const NoteRow &other) {
        // Ties by id, as the pages are read.
        switch (m_order) {
        case Order::OldestUpdateFirst:
            return other.updatedAt != row.updatedAt ? other.updatedAt < row.updatedAt : other.id < row.id;
        case Order::NewestDeletionFirst:
            return other.deletedAt >= row.deletedAt;
        default:
            return other.updatedAt != row.updatedAt ? other.updatedAt > row.updatedAt : other.id > row.id;
        }
    };
    int place = 0;
    for (int i = 0; i < m_rows.size(); ++i) {
        if (i == skip)
            continue;
        if (!before(m_rows.at(i)))
            break;
        ++place;
    }
    return place;
}

bool NoteListModel::applyWrite(const QString &id, const std::optional<NoteRow> &row)
{
    if (m_order == Order::Ranked)
        return false;
    const int current = rowOf(id);
    const bool belongs = row && (!m_filter || m_filter(*row));
    const int place = belongs ? placeFor(*row, current) : -1;
    // A row below every row read so far is left to a later page.
    const int others = int(m_rows.size()) - (current >= 0 ? 1 : 0);
    if (!belongs || (m_morePages && place == others)) {
        if (current >= 0) {
            beginRemoveRows(QModelIndex(), current, current);
            m_rows.removeAt(current);
            endRemoveRows();
        }
        return true;
    }
    if (current < 0) {
        beginInsertRows(QModelIndex(), place, place);
        m_rows.insert(place, *row);
        endInsertRows();
        return true;
    }
    if (place != current) {
        // The destination counts the moving row itself when it lies below.
        beginMoveRows(QModelIndex(), current, current, QModelIndex(), place > current ? place + 1 : place);
        m_rows.move(current, place);
        endMoveRows();
    }
    if (m_rows.at(place) != *row) {
        m_rows[place] = *row;
        emit dataChanged(index(place), index(place));
    }
    return true;
}

int NoteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant NoteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const NoteRow &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole: // accessibility and tool tips read the display text
    case TitleRole:
        return noteRowText(row.title, row.preview).title;
    case PreviewRole:
        return noteRowText(row.title, row.preview).preview;
    case UntitledRole:
        return row.title.isEmpty();
    case IdRole:
        return row.id;
    case UpdatedAtRole:
        return row.updatedAt;
    case NotebookNameRole:
        return m_resolver && !row.notebookId.isEmpty() ? m_resolver(row.notebookId) : QString();
    case SharedRole:
        return row.isShared;
    case SyncStatusRole:
        return int(row.syncStatus);
    case SnippetRole:
        return row.snippet;
    case RefusedRole:
        return m_refused.value(row.id);
    case Qt::ToolTipRole:
        return m_refused.contains(row.id) ? tr("Not synced: %1").arg(m_refused.value(row.id)) : QVariant();
    case Qt::AccessibleDescriptionRole: {
        // What the row draws beside its title, in the order it draws it.
        QStringList parts{noteRowText(row.title, row.preview).preview, relativeTimeText(row.updatedAt)};
        parts << data(index, NotebookNameRole).toString();
        if (row.isShared)
            parts << tr("shared");
        if (row.syncStatus == SyncStatus::Pending)
            parts << tr("not yet synced");
        if (row.syncStatus == SyncStatus::Conflict)
            parts << tr("sync conflict");
        if (m_refused.contains(row.id))
            parts << tr("not synced: %1").arg(m_refused.value(row.id));
        parts.removeAll(QString());
        return parts.join(QStringLiteral(", "));
    }
    default:
        return {};
    }
}

Qt::ItemFlags NoteListModel::flags(const QModelIndex &index) const
{
    return QAbstractListModel::flags(index) | (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
}

QStringList NoteListModel::mimeTypes() const
{
    return {QString::fromLatin1(kNoteIdMimeType)};
}

QMimeData *NoteListModel::mimeData(const QModelIndexList &indexes) const
{
    if (indexes.isEmpty())
        return nullptr;
    auto *data = new QMimeData;
    data->setData(QString::fromLatin1(kNoteIdMimeType), indexes.first().data(IdRole).toString().toUtf8());
    return data;
}

bool NoteListModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_morePages;
}

void NoteListModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    const QList<NoteRow> page = m_pages(m_rows, kPageSize);
    // Cleared before the rows arrive: whoever watches the insertion may ask for more.
    m_morePages = false;
    if (page.isEmpty())
        return;
    beginInsertRows(QModelIndex(), int(m_rows.size()), int(m_rows.size() + page.size() - 1));
    m_rows += page;
    endInsertRows();
    m_morePages = page.size() >= kPageSize;
}
