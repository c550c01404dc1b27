#include "searchscreen.h"

#include "appstate.h"
#include "noterepository.h"
#include "notelistwidget.h"
#include "findbar.h"
#include "notewindow.h"
#include "notewindowregistry.h"

#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

SearchScreen::SearchScreen(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(tr("Search all notes..."));
    m_field->setClearButtonEnabled(true);
    m_field->setAccessibleName(tr("Search all notes"));
    layout->addWidget(m_field);
    m_list = new NoteListWidget(this);
    layout->addWidget(m_list);

    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(kDebounceMs);

    connect(m_field, &QLineEdit::textChanged, m_timer, qOverload<>(&QTimer::start));
    connect(m_timer, &QTimer::timeout, this, &SearchScreen::refresh);
    connect(m_list, &NoteListWidget::noteSelected, this, [this](const QString &id) {
        if (!m_state || id.isEmpty())
            return;
        m_state->setCurrentNote(id);
        emit noteOpened(id, m_field->text().trimmed());
    });
    connect(m_list, &NoteListWidget::noteDoubleClicked, this, [this](const QString &id) {
        if (!m_state || id.isEmpty())
            return;
        if (auto *window = qobject_cast<NoteWindow *>(NoteWindowRegistry::of(m_state)->open(id)))
            window->findBar()->showSearchTerms(m_field->text().trimmed());
    });
}

void SearchScreen::focusSearch()
{
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void SearchScreen::refresh()
{
    m_timer->stop();
    const QString text = m_field->text().trimmed();
    if (text.isEmpty() || !m_state || !m_state->notes()) {
        m_list->setRows({});
    } else {
        // The first screen of rows now, the rest as the list scrolls.
        NoteRepository *notes = m_state->notes();
        m_list->setRows(notes->search().rows(text, NoteListModel::kPageSize), NoteListModel::Order::Ranked, {},
                        [notes, text](const QList<NoteRow> &loaded, int limit) {
                            return notes->search().rows(text, limit, int(loaded.size()));
                        });
    }
    emit searched(m_state ? text : QString());
}
