#include "appstate.h"

#include "apiclient.h"
#include "applog.h"
#include "attachmentrepository.h"
#include "builtinnotes.h"
#include "client.h"
#include "database.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "snapshotrepository.h"
#include "thememanager.h"
#include "tokenstore.h"

#include <QCoreApplication>
#include <QUuid>
#include <QWidget>

namespace {
const QString kLastNotebookId = QStringLiteral("lastNotebookId");
const QString kLastNoteId = QStringLiteral("lastNoteId");
} // namespace

AppState::AppState(QObject *parent)
    : QObject(parent)
{
}

AppState::~AppState()
{
    // Closing lets each window save its note while the repositories still
    // exist; cut the links first so nothing calls back into a dying object.
    const auto windows = m_noteWindows;
    m_noteWindows.clear();
    for (const QPointer<QWidget> &window : windows) {
        if (!window)
            continue;
        disconnect(window, nullptr, this, nullptr);
        disconnect(this, nullptr, window, nullptr);
        window->close();
    }
}

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

    // The local server's endpoints unless the environment names others.
    const auto config = VelmAccount::ClientConfig::fromEnvironment(QCoreApplication::applicationVersion());
    const QString syncUrl = VelmAccount::ClientConfig::syncApiUrlFromEnvironment();
    qCInfo(lcApp).noquote() << "Auth:" << config.authBaseUrl << "Account:" << config.accountApiUrl << "Sync:" << syncUrl;
    m_accountClient = new VelmAccount::Client(
        config, VelmAccount::createPlatformTokenStore(config.appId, Database::dataDirectory()), this);
    m_accountClient->syncApi()->setBaseUrl(QUrl(syncUrl));
    // Sync and sharing connect to the sign-in state before this first decision.
    m_accountClient->initialize();

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

void AppState::setNoteWindowFactory(NoteWindowFactory factory)
{
    m_noteWindowFactory = std::move(factory);
}

QWidget *AppState::newNoteInWindow()
{
    // Without a way to show it the note would only be left behind empty.
    if (!m_notes || !m_noteWindowFactory)
        return nullptr;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.notebookId = m_currentNotebookId;
    note.body = QStringLiteral("[{\"insert\":\"\\n\"}]");
    note.createdAt = now;
    note.updatedAt = now;
    note.modifiedAt = now;
    note.version = 1;
    note.opVersion = 0;
    note.syncStatus = SyncStatus::Pending;
    if (!m_notes->insert(note))
        return nullptr;
    return openNoteWindow(note.id);
}

QWidget *AppState::openNoteWindow(const QString &noteId)
{
    QWidget *window = noteWindow(noteId);
    if (!window) {
        if (!m_noteWindowFactory) {
            qCWarning(lcApp) << "AppState: no note window factory installed";
            return nullptr;
        }
        window = m_noteWindowFactory(noteId);
        if (!window)
            return nullptr;
        m_noteWindows.insert(noteId, window);
        window->show();
    }
    window->raise();
    window->activateWindow();
    return window;
}

QStringList AppState::openNoteWindowIds() const
{
    QStringList ids;
    for (auto it = m_noteWindows.cbegin(); it != m_noteWindows.cend(); ++it) {
        if (it.value())
            ids.append(it.key());
    }
    return ids;
}

QWidget *AppState::noteWindow(const QString &noteId) const
{
    return m_noteWindows.value(noteId).data();
}

void AppState::closeNoteWindowEntry(const QString &noteId)
{
    m_noteWindows.remove(noteId);
}
