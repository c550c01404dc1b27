#pragma once

#include <QPointer>
#include <QWidget>

class AppState;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListView;
class TodoListModel;

// The tasks of all notes in one checkable list, with sort, filter and
// "Show Completed". Ticking a check-list task (a click on its box, or Space)
// writes it back into its note; other kinds of task are read-only.
// Double-clicking a row, or Return on it, opens its note in a window of its own. state is not owned and must outlive the screen.
class TodosScreen final : public QWidget
{
    Q_OBJECT
public:
    explicit TodosScreen(AppState *state, QWidget *parent = nullptr);

    // Reads the first page of to-dos, or the rows shown so far again; every
    // write is followed as it happens.
    void refresh();

    QListView *list() const { return m_list; }
    TodoListModel *model() const { return m_model; }
    QComboBox *sortBox() const { return m_sortBox; }
    QCheckBox *showCompletedBox() const { return m_showCompleted; }
    QLineEdit *filterField() const { return m_filter; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyView();
    void openNoteOf(const QModelIndex &index);
    void writeTask(const QString &noteId, int lineIndex, bool completed);

    QPointer<AppState> m_state;
    TodoListModel *m_model = nullptr;
    QComboBox *m_sortBox = nullptr;
    QCheckBox *m_showCompleted = nullptr;
    QLineEdit *m_filter = nullptr;
    QListView *m_list = nullptr;
};
