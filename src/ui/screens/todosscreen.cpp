#include "todosscreen.h"

#include "appstate.h"
#include "delta.h"
#include "noterepository.h"
#include "notewindowregistry.h"
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
        const auto refreshWhenVisible = [this] {
            if (isVisible())
                refresh();
        };
        // What was written is read again even while hidden; after bulk work
        // the stamps tell which notes changed.
        connect(m_state, &AppState::notesWritten, this,
                [this](const QStringList &ids) { m_written += QSet<QString>(ids.cbegin(), ids.cend()); });
        connect(m_state, &AppState::notesChanged, this, refreshWhenVisible, Qt::QueuedConnection);
        connect(m_state, &AppState::notesWritten, this, refreshWhenVisible, Qt::QueuedConnection);
    }
}

void TodosScreen::refresh()
{
    m_refreshing = true;
    const QSignalBlocker blocker(m_list);
    m_list->clear();

    const TodoSort sort = m_sortBox->currentData().toString() == QLatin1String("alpha") ? TodoSort::Alphabetical
                                                                                       : TodoSort::NoteUpdated;
    NoteRepository *repository = m_state ? m_state->notes() : nullptr;
    const QHash<QString, QString> stamps = repository ? repository->liveNoteStamps() : QHash<QString, QString>();
    QHash<QString, NoteTasks> previous;
    previous.swap(m_noteTasks);
    QStringList changed;
    for (auto it = stamps.cbegin(); it != stamps.cend(); ++it) {
        auto cached = previous.find(it.key());
        if (cached != previous.end() && cached->stamp == it.value() && !m_written.contains(it.key()))
            m_noteTasks.insert(it.key(), *cached);
        else
            changed << it.key();
    }
    const auto read = [this, &stamps](const Note &note) {
        // One parse of the body for its tasks and its title.
        const QList<DeltaOp> ops = parseDeltaJson(note.body);
        NoteTasks fresh{stamps.value(note.id), note.updatedAt, extractTasks(note.id, ops, note.updatedAt), QString()};
        if (!fresh.tasks.isEmpty())
            fresh.title = deltaOpsTitle(ops);
        m_noteTasks.insert(note.id, fresh);
    };
    // Only the bodies of notes written since the last refresh are read; the
    // first refresh reads them all in one pass.
    if (changed.size() > 64) {
        for (const Note &note : repository->allNotes()) {
            if (stamps.contains(note.id))
                read(note);
        }
    } else {
        for (const QString &id : std::as_const(changed)) {
            if (const std::optional<Note> note = repository->noteById(id))
                read(*note);
        }
    }

    m_written.clear();

    // Notes newest first, ties by id, so the list does not depend on hash order.
    QList<const QString *> order;
    for (auto it = m_noteTasks.cbegin(); it != m_noteTasks.cend(); ++it) {
        if (!it->tasks.isEmpty())
            order << &it.key();
    }
    std::sort(order.begin(), order.end(), [this](const QString *a, const QString *b) {
        const QDateTime &ta = m_noteTasks[*a].updatedAt;
        const QDateTime &tb = m_noteTasks[*b].updatedAt;
        return ta != tb ? ta > tb : *a < *b;
    });
    QList<Task> all;
    for (const QString *id : std::as_const(order))
        all += m_noteTasks[*id].tasks;
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
        NoteWindowRegistry::of(m_state)->open(noteId);
}
