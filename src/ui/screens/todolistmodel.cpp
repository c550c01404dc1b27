#include "todolistmodel.h"

#include "noterepository.h"
#include "thememanager.h"

#include <QFont>
#include <QGuiApplication>

#include <algorithm>

namespace {

std::shared_ptr<const TodoListModel::NoteTodos> noteTodos(const NoteRepository::TodoText &text)
{
    return std::make_shared<const TodoListModel::NoteTodos>(
        TodoListModel::NoteTodos{text.title, decodeTasks(text.noteId, text.tasks, text.updatedAt)});
}

} // namespace

TodoListModel::TodoListModel(NoteRepository *repository, QObject *parent)
    : QAbstractListModel(parent)
    , m_repository(repository)
{
}

void TodoListModel::reload()
{
    beginResetModel();
    m_notes.clear();
    m_rows.clear();
    if (m_repository) {
        for (const NoteRepository::TodoText &text : m_repository->todoTexts())
            m_notes.insert(text.noteId, noteTodos(text));
    }
    m_loaded = true;
    rebuildRows();
    endResetModel();
}

void TodoListModel::setView(bool showCompleted, const QString &filter, TodoSort sort)
{
    beginResetModel();
    m_showCompleted = showCompleted;
    m_needle = filter.trimmed().toLower();
    m_sort = sort;
    rebuildRows();
    endResetModel();
}

bool TodoListModel::shown(const Task &task) const
{
    return todoShown(task, m_showCompleted, m_needle);
}

bool TodoListModel::before(const Task *a, const Task *b) const
{
    return todoBefore(*a, *b, m_sort);
}

void TodoListModel::rebuildRows()
{
    m_rows.clear();
    for (const auto &note : std::as_const(m_notes)) {
        for (const Task &task : note->tasks) {
            if (shown(task))
                m_rows.append(&task);
        }
    }
    std::sort(m_rows.begin(), m_rows.end(), [this](const Task *a, const Task *b) { return before(a, b); });
}

void TodoListModel::updateNotes(const QStringList &ids)
{
    if (!m_loaded || !m_repository)
        return;
    for (const QString &id : ids) {
        const std::optional<NoteRepository::TodoText> text = m_repository->todoText(id);
        // The rows go before the tasks they point at.
        removeRowsOf(id);
        if (!text) {
            m_notes.remove(id);
            continue;
        }
        const auto note = noteTodos(*text);
        m_notes.insert(id, note);
        insertRowsOf(*note);
    }
}

void TodoListModel::removeRowsOf(const QString &noteId)
{
    // From the end, one run of neighbouring rows at a time.
    for (int last = int(m_rows.size()) - 1; last >= 0; --last) {
        if (m_rows.at(last)->noteId != noteId)
            continue;
        int first = last;
        while (first > 0 && m_rows.at(first - 1)->noteId == noteId)
            --first;
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        last = first;
    }
}

void TodoListModel::insertRowsOf(const NoteTodos &note)
{
    QList<const Task *> fresh;
    for (const Task &task : note.tasks) {
        if (shown(task))
            fresh.append(&task);
    }
    std::sort(fresh.begin(), fresh.end(), [this](const Task *a, const Task *b) { return before(a, b); });
    // Tasks that fall between the same two rows go in as one run; the last
    // run first, so the places found for the others still hold.
    for (qsizetype end = fresh.size(); end > 0;) {
        const auto at = std::lower_bound(m_rows.cbegin(), m_rows.cend(), fresh.at(end - 1),
                                         [this](const Task *a, const Task *b) { return before(a, b); });
        const int place = int(at - m_rows.cbegin());
        qsizetype begin = end - 1;
        while (begin > 0 && (place == 0 || before(m_rows.at(place - 1), fresh.at(begin - 1))))
            --begin;
        beginInsertRows(QModelIndex(), place, place + int(end - begin) - 1);
        m_rows.insert(place, end - begin, nullptr);
        std::copy(fresh.cbegin() + begin, fresh.cbegin() + end, m_rows.begin() + place);
        endInsertRows();
        end = begin;
    }
}

int TodoListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TodoListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Task &task = *m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        const auto note = m_notes.constFind(task.noteId);
        return todoRowText(task.text, note != m_notes.cend() ? (*note)->title : QString());
    }
    case Qt::CheckStateRole:
        return task.isCompleted ? Qt::Checked : Qt::Unchecked;
    case Qt::FontRole:
        if (task.isCompleted) {
            QFont font;
            font.setStrikeOut(true);
            return font;
        }
        return {};
    case Qt::ForegroundRole:
        if (!task.isCompleted)
            return {};
        return ThemeManager::colour(ThemeManager::Colour::MutedText, QGuiApplication::palette());
    case NoteIdRole:
        return task.noteId;
    case LineIndexRole:
        return task.lineIndex;
    case SourceRole:
        return int(task.source);
    default:
        return {};
    }
}

Qt::ItemFlags TodoListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (index.isValid() && index.row() < m_rows.size() && m_rows.at(index.row())->source == TaskSource::Checklist)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool TodoListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !(flags(index) & Qt::ItemIsUserCheckable))
        return false;
    const Task &task = *m_rows.at(index.row());
    emit taskToggled(task.noteId, task.lineIndex, value.toInt() == Qt::Checked);
    return false;
}
