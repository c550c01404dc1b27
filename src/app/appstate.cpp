#include "appstate.h"

#include "applog.h"
#include "attachmentrepository.h"
#include "builtinnotes.h"
#include "database.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "snapshotrepository.h"
#include "thememanager.h"

namespace {
const QString kLastNotebookId = QStringLiteral("lastNotebookId");
const QString kLastNoteId = QStringLiteral("lastNoteId");
} // namespace

AppState::AppState(QObject *parent)
    : QObject(parent)
{
}

AppState::~AppState() = default;

bool AppState::initialize()
{
    m_database = new Database(this);
    const QString path = Database::defaultDatabasePath();
    qCInfo(lcApp).noquote() << "Opening database at:" << path;
    if (!m_database->open(path) || !m_database->migrate())
        return false;

    m_notes = new NoteRepository(m_database, this);
    m_notebooks = new NotebookRepository(m_database, this);
    m_preferences = new PreferencesRepository(m_database, this);
    m_snapshots = new SnapshotRepository(m_database, this);
    m_attachments = new AttachmentRepository(m_database, this);

    connect(m_notes, &NoteRepository::notesChanged, this, &AppState::notesChanged);
    connect(m_notebooks, &NotebookRepository::notebooksChanged, this, &AppState::notebooksChanged);
    connect(m_notes, &NoteRepository::noteDeleted, this, &AppState::noteDeletedExternally);
    // A purge removes the note's attachment rows and files itself; this sweeps
    // up anything written for the note by another path in the meantime.
    connect(m_notes, &NoteRepository::notePurged, m_attachments, &AttachmentRepository::deleteForNote);

    m_themeManager = new ThemeManager(m_preferences, this);
    m_themeManager->setThemeMode(m_preferences->getString(QStringLiteral("theme_mode"), QStringLiteral("system")));

    // Restoring the selection is not a change: no signals.
    if (const auto notebookId = m_preferences->get(kLastNotebookId))
        m_currentNotebookId = *notebookId;
    if (const auto noteId = m_preferences->get(kLastNoteId))
        m_currentNoteId = *noteId;

    createWelcomeNotes(m_preferences, m_notes);

    emit databaseReady();
    return true;
}

void AppState::setCurrentNotebook(const QString &notebookId)
{
    if (notebookId == m_currentNotebookId)
        return;
    m_currentNotebookId = notebookId;
    m_preferences->set(kLastNotebookId, notebookId);
    emit currentNotebookChanged(notebookId);
}

void AppState::setCurrentNote(const QString &noteId)
{
    if (noteId == m_currentNoteId)
        return;
    m_currentNoteId = noteId;
    m_preferences->set(kLastNoteId, noteId);
    emit currentNoteChanged(noteId);
}
