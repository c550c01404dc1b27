#include "todosscreen.h"

#include "appstate.h"
#include "delta.h"
#include "noterepository.h"
#include "todorules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QVBoxLayout>

TodosScreen::TodosScreen(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Sort:"), this));
    m_sortBox = new QComboBox(this);
    m_sortBox->addItem(QStringLiteral("Note Updated"), QStringLiteral("updated"));
    m_sortBox->addItem(QStringLiteral("Alphabetical"), QStringLiteral("alpha"));
    top->addWidget(m_sortBox);
    m_showCompleted = new QCheckBox(QStringLiteral("Show Completed"), this);
    top->addWidget(m_showCompleted);
    top->addStretch();
    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(QStringLiteral("Filter tasks..."));
    m_filter->setClearButtonEnabled(true);
    m_filter->setMaximumWidth(200);
    top->addWidget(m_filter);
    layout->addLayout(top);

    m_list = new QListWidget(this);
    m_list->setWordWrap(true);
    layout->addWidget(m_list);

    connect(m_sortBox, &QComboBox::currentIndexChanged, this, &TodosScreen::refresh);
    connect(m_showCompleted, &QCheckBox::toggled, this, &TodosScreen::refresh);
    connect(m_filter, &QLineEdit::textChanged, this, &TodosScreen::refresh);
    connect(m_list, &QListWidget::itemChanged, this, &TodosScreen::onItemChanged);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &TodosScreen::onItemDoubleClicked);
    if (m_state) {
        // Queued: a tick writes the note from inside the list's itemChanged,
        // and the rebuild must not delete that item under it.
        connect(
            m_state, &AppState::notesChanged, this,
            [this] {
                if (isVisible())
                    refresh();
            },
            Qt::QueuedConnection);
    }
}

void TodosScreen::refresh()
{
    m_refreshing = true;
    const QSignalBlocker blocker(m_list);
    m_list->clear();

    const QList<Note> notes = m_state && m_state->notes() ? m_state->notes()->allNotes() : QList<Note>();
    const TodoSort sort = m_sortBox->currentData().toString() == QLatin1String("alpha") ? TodoSort::Alphabetical
                                                                                       : TodoSort::NoteUpdated;
    QHash<QString, NoteTasks> previous;
    previous.swap(m_noteTasks);
    QList<Task> all;
    for (const Note &note : notes) {
        auto cached = previous.find(note.id);
        if (cached == previous.end() || cached->body != note.body || cached->updatedAt != note.updatedAt) {
            // One parse of the body for its tasks and its title.
            const QList<DeltaOp> ops = parseDeltaJson(note.body);
            NoteTasks fresh{note.body, note.updatedAt, extractTasks(note.id, ops, note.updatedAt), QString()};
            if (!fresh.tasks.isEmpty())
                fresh.title = deltaOpsTitle(ops);
            cached = previous.insert(note.id, fresh);
        }
        all += cached->tasks;
        m_noteTasks.insert(note.id, *cached);
    }
    const QList<Task> tasks = visibleTasks(all, m_showCompleted->isChecked(), m_filter->text(), sort);

    for (const Task &task : tasks) {
        // Filled before it joins the list: every change to an item already in
        // the view makes the view lay out all rows again.
        const auto note = m_noteTasks.constFind(task.noteId);
        auto *item = new QListWidgetItem(todoRowText(task.text, note != m_noteTasks.constEnd() ? note->title : QString()));
        item->setData(NoteIdRole, task.noteId);
        item->setData(LineIndexRole, task.lineIndex);
        item->setData(SourceRole, int(task.source));
        Qt::ItemFlags flags = item->flags();
        if (task.source == TaskSource::Checklist)
            flags |= Qt::ItemIsUserCheckable;
        else
            flags &= ~Qt::ItemIsUserCheckable;
        item->setFlags(flags);
        item->setCheckState(task.isCompleted ? Qt::Checked : Qt::Unchecked);
        if (task.isCompleted) {
            QFont font = item->font();
            font.setStrikeOut(true);
            item->setFont(font);
            item->setForeground(QColor(0x9E, 0x9E, 0x9E));
        }
        m_list->addItem(item);
    }
    m_refreshing = false;
}

void TodosScreen::onItemChanged(QListWidgetItem *item)
{
    if (m_refreshing || !item || !m_state || !m_state->notes())
        return;
    const bool checked = item->checkState() == Qt::Checked;
    if (TaskSource(item->data(SourceRole).toInt()) != TaskSource::Checklist) {
        // Only check-list lines can be written back; the others snap back.
        const QSignalBlocker blocker(m_list);
        item->setCheckState(checked ? Qt::Unchecked : Qt::Checked);
        return;
    }
    const QString noteId = item->data(NoteIdRole).toString();
    const int lineIndex = item->data(LineIndexRole).toInt();
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note)
        return;
    const std::optional<Note> edited =
        noteWithTaskCompleted(*note, lineIndex, checked, QDateTime::currentDateTimeUtc());
    if (!edited)
        return;
    if (m_state->notes()->update(*edited))
        emit m_state->noteUpdatedExternally(noteId, this);
}

void TodosScreen::onItemDoubleClicked(QListWidgetItem *item)
{
    if (!item || !m_state)
        return;
    const QString noteId = item->data(NoteIdRole).toString();
    if (!noteId.isEmpty())
        m_state->openNoteWindow(noteId);
}
