#include "sharedscreen.h"

#include "appstate.h"
#include "noterepository.h"
#include "sharingbackend.h"
#include "notelistwidget.h"
#include "notewindowregistry.h"

#include <QLabel>
#include <QVBoxLayout>

SharedScreen::SharedScreen(AppState *state, bool sharedByMe, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_sharedByMe(sharedByMe)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    m_list = new NoteListWidget(this);
    layout->addWidget(m_list);
    m_emptyLabel = new QLabel(sharedByMe ? tr("You haven't shared any notes yet.")
                                         : tr("No notes have been shared with you yet."),
                              this);
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setWordWrap(true);
    // Muted, not disabled: disabled text is too faint to read.
    m_emptyLabel->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_emptyLabel);

    connect(m_list, &NoteListWidget::noteSelected, this, [this](const QString &id) {
        if (m_state && !id.isEmpty())
            m_state->setCurrentNote(id);
    });
    connect(m_list, &NoteListWidget::noteActivated, this, [this](const QString &id) {
        if (m_state && !id.isEmpty())
            NoteWindowRegistry::of(m_state)->open(id);
    });
    if (m_state && m_state->notes()) {
        connect(m_state->notes(), &NoteRepository::notesChanged, this, &SharedScreen::reload);
        connect(m_state->notes(), &NoteRepository::notesWritten, this, &SharedScreen::reload);
    }
    reload();
    if (!sharedByMe)
        refreshSharers();
}

void SharedScreen::refreshSharers()
{
    if (!m_state)
        return;
    m_state->loadShareGroup([guard = QPointer<SharedScreen>(this)](const QString &, const QList<VelmAccount::GroupPerson> &members) {
        if (!guard)
            return;
        for (const VelmAccount::GroupPerson &person : members)
            guard->m_sharers.insert(person.accountId, person.displayName.isEmpty() ? person.email : person.displayName);
        guard->reload();
    });
}

void SharedScreen::reload()
{
    QList<NoteRow> notes;
    if (m_state && m_state->notes())
        notes = m_sharedByMe ? m_state->notes()->sharedByMeRows() : m_state->notes()->sharedWithMeRows();
    if (!m_sharedByMe) {
        // The line under the title says who shared the note (the list is short).
        for (NoteRow &row : notes) {
            const std::optional<Note> note = m_state->notes()->noteById(row.id);
            const QString who = note ? m_sharers.value(note->ownerId) : QString();
            row.snippet = who.isEmpty() ? tr("Shared with you by another member") : tr("Shared by %1").arg(who);
        }
    }
    m_list->setRows(notes);
    m_list->setVisible(!notes.isEmpty());
    m_emptyLabel->setVisible(notes.isEmpty());
}
