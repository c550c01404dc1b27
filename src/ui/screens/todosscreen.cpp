#include "todosscreen.h"

#include "appstate.h"
#include "noterepository.h"
#include "notetextfill.h"
#include "notewindowregistry.h"
#include "todolistmodel.h"
#include "todorules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QVBoxLayout>

TodosScreen::TodosScreen(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_model(new TodoListModel(state ? state->notes() : nullptr, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    auto *top = new QHBoxLayout;
    auto *sortLabel = new QLabel(tr("Sort:"), this);
    top->addWidget(sortLabel);
    m_sortBox = new QComboBox(this);
    sortLabel->setBuddy(m_sortBox);
    m_sortBox->setAccessibleName(tr("Sort"));
    m_sortBox->addItem(tr("Note Updated"), QStringLiteral("updated"));
    m_sortBox->addItem(tr("Alphabetical"), QStringLiteral("alpha"));
    top->addWidget(m_sortBox);
    m_showCompleted = new QCheckBox(tr("Show Completed"), this);
    top->addWidget(m_showCompleted);
    top->addStretch();
    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(tr("Filter tasks..."));
    m_filter->setClearButtonEnabled(true);
    m_filter->setAccessibleName(tr("Filter tasks"));
    m_filter->setMaximumWidth(200);
    top->addWidget(m_filter);
    layout->addLayout(top);
    // The to-dos of notes not read yet are missing until the fill ends.
    auto *reading = new QLabel(tr("Still reading notes for their to-dos: the list grows until it is done."), this);
    reading->setWordWrap(true);
    reading->setEnabled(false); // the muted text colour of the palette, light or dark
    layout->addWidget(reading);
    NoteTextFill *fill = state ? state->textFill() : nullptr;
    reading->setVisible(fill && fill->isRunning());
    if (fill) {
        connect(fill, &NoteTextFill::runningChanged, reading, &QLabel::setVisible);
        connect(fill, &NoteTextFill::textsWritten, m_model, &TodoListModel::requery);
    }

    // One line per task (the full text in its tool tip): rows of one height
    // let the view lay out tens of thousands of them without measuring each.
    m_list = new QListView(this);
    m_list->setUniformItemSizes(true);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setModel(m_model);
    m_list->setAccessibleName(tr("Tasks"));
    m_list->installEventFilter(this);
    layout->addWidget(m_list);

    connect(m_sortBox, &QComboBox::currentIndexChanged, this, &TodosScreen::applyView);
    connect(m_showCompleted, &QCheckBox::toggled, this, &TodosScreen::applyView);
    connect(m_filter, &QLineEdit::textChanged, this, &TodosScreen::applyView);
    // Queued: the tick arrives from inside the view's own event handling, and
    // the write moves that very row.
    connect(m_model, &TodoListModel::taskToggled, this, &TodosScreen::writeTask, Qt::QueuedConnection);
    connect(m_list, &QListView::doubleClicked, this, &TodosScreen::openNoteOf);
    if (m_state) {
        // A page of an index: cheap enough to follow every write at once.
        connect(m_state, &AppState::notesWritten, m_model, &TodoListModel::requery);
        connect(m_state, &AppState::notesChanged, m_model, &TodoListModel::requery, Qt::QueuedConnection);
    }
    applyView();
}

void TodosScreen::openNoteOf(const QModelIndex &index)
{
    const QString noteId = index.data(TodoListModel::NoteIdRole).toString();
    if (m_state && !noteId.isEmpty())
        NoteWindowRegistry::of(m_state)->open(noteId);
}

bool TodosScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && m_list->currentIndex().isValid()) {
            openNoteOf(m_list->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TodosScreen::applyView()
{
    m_model->setView(m_showCompleted->isChecked(), m_filter->text(),
                     m_sortBox->currentData().toString() == QLatin1String("alpha") ? TodoOrder::Alphabetical
                                                                                  : TodoOrder::NoteUpdated);
}

void TodosScreen::refresh()
{
    if (m_model->isLoaded())
        m_model->requery();
    else
        m_model->reload();
}

void TodosScreen::writeTask(const QString &noteId, int lineIndex, bool completed)
{
    if (!m_state || !m_state->notes())
        return;
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note)
        return;
    const std::optional<Note> edited = noteWithTaskCompleted(*note, lineIndex, completed, QDateTime::currentDateTimeUtc());
    // The write takes the task's row out and puts it back (or hides it): the
    // keyboard stays on that task, or where it was when the task went away.
    const QModelIndex before = m_list->currentIndex();
    const int beforeRow = before.row();
    const bool wasCurrent = before.data(TodoListModel::NoteIdRole).toString() == noteId
        && before.data(TodoListModel::LineIndexRole).toInt() == lineIndex;
    if (!edited || !m_state->notes()->update(*edited))
        return;
    emit m_state->noteUpdatedExternally(noteId, this);
    if (beforeRow < 0)
        return;
    int row = -1;
    for (int i = 0; wasCurrent && i < m_model->rowCount(); ++i) {
        const QModelIndex index = m_model->index(i);
        if (index.data(TodoListModel::NoteIdRole).toString() == noteId
            && index.data(TodoListModel::LineIndexRole).toInt() == lineIndex)
            row = i;
    }
    if (row < 0 && !m_list->currentIndex().isValid())
        row = std::min(beforeRow, m_model->rowCount() - 1);
    if (row >= 0)
        m_list->setCurrentIndex(m_model->index(row));
}
