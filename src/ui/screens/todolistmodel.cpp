#include "todolistmodel.h"

#include "noterepository.h"
#include "tasks.h"
#include "thememanager.h"
#include "todorules.h"

#include <QFont>
#include <QGuiApplication>

#include <algorithm>

TodoListModel::TodoListModel(NoteRepository *repository, QObject *parent)
    : QAbstractListModel(parent)
    , m_repository(repository)
{
}

QList<TodoListModel::Stream> TodoListModel::freshStreams() const
{
    QList<Stream> streams{Stream{}};
    if (m_showCompleted)
        streams.append(Stream{true, std::nullopt, {}, false});
    return streams;
}

QList<TodoRow> TodoListModel::take(QList<Stream> *streams, int count) const
{
    QList<TodoRow> rows;
    if (!m_repository)
        return rows;
    while (rows.size() < count) {
        Stream *next = nullptr;
        for (Stream &stream : *streams) {
            if (stream.buffer.empty() && !stream.exhausted) {
                const int wanted = std::max(int(count - rows.size()), kPageSize);
                const QList<TodoRow> page =
                    m_repository->todoPage(m_order, stream.completed, m_needle, stream.cursor, wanted);
                stream.exhausted = page.size() < wanted;
                if (!page.isEmpty())
                    stream.cursor = page.last();
                stream.buffer.insert(stream.buffer.end(), page.cbegin(), page.cend());
            }
            if (!stream.buffer.empty()
                && (!next || NoteRepository::todoBefore(stream.buffer.front(), next->buffer.front(), m_order)))
                next = &stream;
        }
        if (!next)
            break;
        rows.append(next->buffer.front());
        next->buffer.pop_front();
    }
    return rows;
}

void TodoListModel::reload()
{
    beginResetModel();
    m_streams = freshStreams();
    m_rows = take(&m_streams, kPageSize);
    m_loaded = true;
    endResetModel();
}

void TodoListModel::setView(bool showCompleted, const QString &filter, TodoOrder order)
{
    m_showCompleted = showCompleted;
    m_needle = filter.trimmed().toCaseFolded();
    m_order = order;
    if (m_loaded)
        reload();
}

void TodoListModel::requery()
{
    if (!m_loaded)
        return;
    QList<Stream> streams = freshStreams();
    const QList<TodoRow> rows = take(&streams, std::max(int(m_rows.size()), kPageSize));
    m_streams = std::move(streams);
    // What is the same at both ends stays; the run between them is replaced.
    qsizetype head = 0;
    while (head < m_rows.size() && head < rows.size() && m_rows.at(head) == rows.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < m_rows.size() - head && tail < rows.size() - head
           && m_rows.at(m_rows.size() - 1 - tail) == rows.at(rows.size() - 1 - tail))
        ++tail;
    const qsizetype gone = m_rows.size() - head - tail;
    const qsizetype added = rows.size() - head - tail;
    bool samePlaces = gone == added;
    for (qsizetype i = head; samePlaces && i < head + gone; ++i)
        samePlaces = m_rows.at(i).noteId == rows.at(i).noteId && m_rows.at(i).lineIndex == rows.at(i).lineIndex;
    if (samePlaces) {
        if (gone == 0)
            return;
        std::copy(rows.cbegin() + head, rows.cbegin() + head + gone, m_rows.begin() + head);
        emit dataChanged(index(int(head)), index(int(head + gone - 1)));
        return;
    }
    if (gone > 0) {
        beginRemoveRows(QModelIndex(), int(head), int(head + gone - 1));
        m_rows.remove(head, gone);
        endRemoveRows();
    }
    if (added > 0) {
        beginInsertRows(QModelIndex(), int(head), int(head + added - 1));
        m_rows.insert(head, added, TodoRow());
        std::copy(rows.cbegin() + head, rows.cbegin() + head + added, m_rows.begin() + head);
        endInsertRows();
    }
}

bool TodoListModel::canFetchMore(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_loaded)
        return false;
    return std::any_of(m_streams.cbegin(), m_streams.cend(),
                       [](const Stream &stream) { return !stream.buffer.empty() || !stream.exhausted; });
}

void TodoListModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    const QList<TodoRow> rows = take(&m_streams, kPageSize);
    if (rows.isEmpty())
        return;
    beginInsertRows(QModelIndex(), int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
    m_rows += rows;
    endInsertRows();
}

int TodoListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TodoListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const TodoRow &task = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return todoRowText(task.text, task.noteTitle);
    case Qt::CheckStateRole:
        return task.completed ? Qt::Checked : Qt::Unchecked;
    case Qt::FontRole:
        if (task.completed) {
            QFont font;
            font.setStrikeOut(true);
            return font;
        }
        return {};
    case Qt::ForegroundRole:
        if (!task.completed)
            return {};
        return ThemeManager::colour(ThemeManager::Colour::MutedText, QGuiApplication::palette());
    case NoteIdRole:
        return task.noteId;
    case LineIndexRole:
        return task.lineIndex;
    case SourceRole:
        return task.source;
    default:
        return {};
    }
}

Qt::ItemFlags TodoListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (index.isValid() && index.row() < m_rows.size() && m_rows.at(index.row()).source == int(TaskSource::Checklist))
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool TodoListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !(flags(index) & Qt::ItemIsUserCheckable))
        return false;
    const TodoRow &task = m_rows.at(index.row());
    emit taskToggled(task.noteId, task.lineIndex, value.toInt() == Qt::Checked);
    return false;
}
