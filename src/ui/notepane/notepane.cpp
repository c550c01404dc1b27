#include "notepane.h"

#include "appstate.h"
#include "editoractions.h"
#include "editortoolbar.h"
#include "findbar.h"
#include "noteedits.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "relativetime.h"
#include "statusbar.h"
#include "syncengine.h"

#include <QTimer>
#include <QVBoxLayout>

NotePane::NotePane(AppState *state, QWidget *window, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_headerBar = new NoteHeaderBar(this);
    m_toolbar = new EditorToolbar(this);
    m_editor = new NoteEditor(this);
    m_toolbar->setEditor(m_editor);
    m_session = new NoteSession(state, this);
    m_actions = new EditorActions(window, m_editor);
    m_findBar = new FindBar(m_editor, this);
    layout->addWidget(m_headerBar);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_findBar);
    layout->addWidget(m_editor, 1);

    connect(m_headerBar, &NoteHeaderBar::includeInTodosToggled, this, [this](bool include) {
        if (m_state && !noteId().isEmpty())
            m_state->notes()->setIncludeInTodos(noteId(), include);
    });
    if (!m_state)
        return;
    m_editor->setAttachmentRepository(m_state->attachments());
    m_headerBar->setCanShare(m_state->canShare());
    connect(m_state, &AppState::canShareChanged, m_headerBar, &NoteHeaderBar::setCanShare);
    // Files that sync brought in replace the missing-file boxes.
    if (SyncEngine *engine = m_state->syncEngine())
        connect(engine, &SyncEngine::attachmentsChanged, m_editor, &NoteEditor::refreshAttachments);
}

QString NotePane::noteId() const
{
    return m_editor->noteId();
}

void NotePane::showNote(const Note &note, bool force)
{
    m_state->noteOpening(note.id, note.body.size());
    m_editor->loadNote(note.id, note.body, force);
    // Cleared only once the event loop has turned and painted the note.
    QTimer::singleShot(1000, this, [state = m_state, id = note.id] {
        if (state)
            state->noteOpened(id);
    });
    const bool editable = noteIsEditable(note) && !m_state->isReadOnly();
    m_toolbar->setEnabled(editable);
    m_editor->setReadOnly(!editable || m_editor->isOversized());

    m_notebookName.clear();
    if (!note.notebookId.isEmpty()) {
        if (const auto notebook = m_state->notebooks()->notebookById(note.notebookId); notebook && !notebook->deletedAt)
            m_notebookName = notebook->name;
    }
    m_headerBar->setEditable(editable);
    m_headerBar->setNotebookName(m_notebookName);
    m_headerBar->setMetaText(noteMetaText(note.updatedAt, m_editor->wordCount()));
    m_headerBar->setIncludeInTodos(m_state->notes()->includeInTodos(note.id));
    m_headerBar->setShared(note.isShared);
    m_session->setNote(note.id, note.body);
}

void NotePane::clear()
{
    m_editor->clearNote();
    m_session->clear();
    m_notebookName.clear();
}

std::optional<NoteSession::SaveResult> NotePane::save()
{
    if (!m_state || noteId().isEmpty() || m_editor->isReadOnly() || m_editor->isSaved())
        return std::nullopt;
    const NoteSession::SaveResult result = m_session->save(m_editor->currentDelta());
    m_editor->saveFinished(result != NoteSession::SaveResult::Failed);
    if (result == NoteSession::SaveResult::Saved)
        updateHeaderMeta();
    if (result == NoteSession::SaveResult::Conflict && m_statusBar)
        m_statusBar->showTemporaryMessage(tr("The note changed elsewhere; your text was kept as a conflict copy"), 8000);
    return result;
}

void NotePane::saveSnapshot()
{
    m_session->saveSnapshot(m_editor->currentDelta(), noteId().isEmpty() || m_editor->isReadOnly());
}

bool NotePane::snapshotNow()
{
    return noteId().isEmpty() || m_session->snapshotNow(m_editor->currentDelta());
}

QMimeData *NotePane::copyAs(ExportFormat format) const
{
    return m_session->copyAs(format, m_editor->toPlainText(), m_editor->currentDelta());
}

void NotePane::print(QPrinter *printer) const
{
    m_session->print(m_editor->currentDelta(), printer);
}

void NotePane::updateHeaderMeta()
{
    if (!m_state || noteId().isEmpty())
        return;
    if (const auto note = m_state->notes()->noteById(noteId()))
        m_headerBar->setMetaText(noteMetaText(note->updatedAt, m_editor->wordCount()));
}

void NotePane::refreshLook()
{
    m_headerBar->refreshLook();
    m_editor->applyFontScale();
}

void NotePane::reportTo(StatusBar *statusBar)
{
    m_statusBar = statusBar;
    connect(m_editor, &NoteEditor::wordCountChanged, statusBar, &StatusBar::setWordCount);
    connect(m_editor, &NoteEditor::savedStateChanged, statusBar, &StatusBar::setSavedState);
    connect(m_editor, &NoteEditor::saveFailingChanged, statusBar, &StatusBar::setSaveFailing);
}
