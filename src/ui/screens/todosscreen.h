#pragma once

#include "tasks.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

class AppState;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

// The tasks of all notes in one checkable list, with sort, filter and
// "Show Completed". Ticking a check-list task writes it back into its note;
// other kinds of task are read-only. Double-clicking a row opens its note in
// a window of its own. state is not owned and must outlive the screen.
class TodosScreen final : public QWidget
{
    Q_OBJECT
public:
    enum Role { NoteIdRole = Qt::UserRole, LineIndexRole, SourceRole };

    explicit TodosScreen(AppState *state, QWidget *parent = nullptr);

    void refresh();

    QListWidget *list() const { return m_list; }
    QComboBox *sortBox() const { return m_sortBox; }
    QCheckBox *showCompletedBox() const { return m_showCompleted; }
    QLineEdit *filterField() const { return m_filter; }

private:
    void onItemChanged(QListWidgetItem *item);
    void onItemDoubleClicked(QListWidgetItem *item);

    // What one note gave at the last refresh: reading tasks out of every body
    // is most of a refresh, and most bodies have not changed since.
    struct NoteTasks
    {
        QString stamp; // of the write it was read from
        QDateTime updatedAt;
        QList<Task> tasks;
        QString title; // only computed when the note has tasks
    };

    QPointer<AppState> m_state;
    QHash<QString, NoteTasks> m_noteTasks;
    QSet<QString> m_written; // notes written since the last refresh
    QComboBox *m_sortBox = nullptr;
    QCheckBox *m_showCompleted = nullptr;
    QLineEdit *m_filter = nullptr;
    QListWidget *m_list = nullptr;
    bool m_refreshing = false;
};
