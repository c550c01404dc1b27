#pragma once

#include "todorow.h"

#include <QAbstractListModel>
#include <QList>
#include <QString>

#include <deque>
#include <optional>

class NoteRepository;

// The rows of the to-do screen, read from the to-dos storage keeps beside
// each note a page at a time (fetchMore), so the screen costs what it shows
// at any size. A write reads the rows loaded so far again and moves only
// those that changed. repository is not owned.
class TodoListModel final : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { NoteIdRole = Qt::UserRole, LineIndexRole, SourceRole };
    static constexpr int kPageSize = 200;

    explicit TodoListModel(NoteRepository *repository, QObject *parent = nullptr);

    // The first page read again (a reset).
    void reload();
    bool isLoaded() const { return m_loaded; }
    // Which tasks show, and in which order (a reset). filter is matched
    // ignoring case and surrounding white space.
    void setView(bool showCompleted, const QString &filter, TodoOrder order);
    // The rows loaded so far read again, and only the run that differs
    // removed and inserted (or changed in place); nothing before the first reload.
    void requery();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // A tick asks for the note to be written (taskToggled); the row follows
    // that write, so the model itself changes nothing here.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    void taskToggled(const QString &noteId, int lineIndex, bool completed);

private:
    // Open and, with showCompleted, completed to-dos are two ranges of one
    // index, read in step and merged.
    struct Stream
    {
        bool completed = false;
        std::optional<TodoRow> cursor; // the last row read
        std::deque<TodoRow> buffer;    // read, not yet shown
        bool exhausted = false;
    };
    QList<Stream> freshStreams() const;
    QList<TodoRow> take(QList<Stream> *streams, int count) const;

    NoteRepository *m_repository;
    QList<TodoRow> m_rows;
    QList<Stream> m_streams;
    bool m_loaded = false;
    bool m_showCompleted = false;
    QString m_needle;
    TodoOrder m_order = TodoOrder::NoteUpdated;
};
