#pragma once

#include "tasks.h"
#include "todorules.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class NoteRepository;

// The rows of the to-do screen: the tasks of every live note, kept per note
// from what storage keeps beside each note, so a write reads that note's
// to-dos alone and moves only its rows. repository is not owned.
class TodoListModel final : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { NoteIdRole = Qt::UserRole, LineIndexRole, SourceRole };
    struct NoteTodos
    {
        QString title;
        QList<Task> tasks;
    };

    explicit TodoListModel(NoteRepository *repository, QObject *parent = nullptr);

    // Reads the to-dos of every note again (a reset).
    void reload();
    bool isLoaded() const { return m_loaded; }
    // Which tasks show, and in which order (a reset).
    void setView(bool showCompleted, const QString &filter, TodoSort sort);
    // The rows of these notes brought up to date, row by row; nothing before
    // the first reload.
    void updateNotes(const QStringList &ids);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // A tick asks for the note to be written (taskToggled); the row follows
    // that write, so the model itself changes nothing here.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

signals:
    void taskToggled(const QString &noteId, int lineIndex, bool completed);

private:
    bool shown(const Task &task) const;
    bool before(const Task *a, const Task *b) const;
    void rebuildRows();
    void removeRowsOf(const QString &noteId);
    void insertRowsOf(const NoteTodos &note);

    NoteRepository *m_repository;
    // Each note's tasks stay where they are until the note is read again, so
    // the rows can point at them.
    QHash<QString, std::shared_ptr<const NoteTodos>> m_notes;
    QList<const Task *> m_rows;
    bool m_loaded = false;
    bool m_showCompleted = false;
    QString m_needle;
    TodoSort m_sort = TodoSort::NoteUpdated;
};
