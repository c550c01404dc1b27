#pragma once

#include <QObject>
#include <QString>

class AttachmentRepository;
class Database;
class NoteRepository;
class NotebookRepository;
class PreferencesRepository;
class SnapshotRepository;
class ThemeManager;

// The one application-wide object every window receives. Owns the database,
// the repositories and the theme manager as QObject children; windows hold
// non-owning pointers to it. Remembers the current notebook and note across
// restarts and relays the repositories' change signals to one place.
class AppState final : public QObject
{
    Q_OBJECT
public:
    explicit AppState(QObject *parent = nullptr);
    ~AppState() override;

    // Opens and migrates the database, builds the services over it and
    // restores the selection. False when the database cannot be opened or
    // migrated; nothing further is created then.
    bool initialize();

    Database *database() const { return m_database; }
    NoteRepository *notes() const { return m_notes; }
    NotebookRepository *notebooks() const { return m_notebooks; }
    PreferencesRepository *preferences() const { return m_preferences; }
    SnapshotRepository *snapshots() const { return m_snapshots; }
    AttachmentRepository *attachments() const { return m_attachments; }
    ThemeManager *themeManager() const { return m_themeManager; }

    QString currentNotebookId() const { return m_currentNotebookId; }
    QString currentNoteId() const { return m_currentNoteId; }
    void setCurrentNotebook(const QString &notebookId);
    void setCurrentNote(const QString &noteId);

signals:
    void databaseReady();
    void currentNotebookChanged(const QString &notebookId);
    void currentNoteChanged(const QString &noteId);
    void notesChanged();
    void notebooksChanged();
    void noteUpdatedExternally(const QString &noteId, QObject *source);
    void noteDeletedExternally(const QString &noteId);

private:
    Database *m_database = nullptr;
    NoteRepository *m_notes = nullptr;
    NotebookRepository *m_notebooks = nullptr;
    PreferencesRepository *m_preferences = nullptr;
    SnapshotRepository *m_snapshots = nullptr;
    AttachmentRepository *m_attachments = nullptr;
    ThemeManager *m_themeManager = nullptr;

    QString m_currentNotebookId;
    QString m_currentNoteId;
};
