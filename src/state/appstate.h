#pragma once

#include "sharingbackend.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "notetext.h"

class AttachmentRepository;
class ChangeFeed;
class Database;
class NoteRepository;
class NoteTextFill;
class NotebookRepository;
class PreferencesRepository;
class SnapshotRepository;
class SyncEngine;
class ThemeManager;
class QTimer;
namespace VelmAccount {
class Client;
class NoteSharingService;
class TokenStore;
}

// What the database keeps of a body for the lists, the search index and the
// to-do screen, from one parse of it.
NoteText noteTextOfBody(const QString &body);

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
    // Makes, after start-up, the texts a migration left to do; running until then.
    NoteTextFill *textFill() const { return m_textFill; }
    NoteRepository *notes() const { return m_notes; }
    NotebookRepository *notebooks() const { return m_notebooks; }
    PreferencesRepository *preferences() const { return m_preferences; }
    SnapshotRepository *snapshots() const { return m_snapshots; }
    AttachmentRepository *attachments() const { return m_attachments; }
    ThemeManager *themeManager() const { return m_themeManager; }
    VelmAccount::Client *accountClient() const { return m_accountClient; }
    SyncEngine *syncEngine() const { return m_syncEngine; }
    ChangeFeed *changeFeed() const { return m_changeFeed; }
    VelmAccount::NoteSharingService *noteSharing() const { return m_noteSharing; }
    VelmAccount::NoteSharingService *notebookSharing() const { return m_notebookSharing; }
    // Sharing is offered to a signed-in member of a group of two or more.
    bool canShare() const { return m_canShare; }
    bool isSignedIn() const;
    // The user's own id and the members of the user's group, for sharing.
    using GroupCallback = std::function<void(const QString &selfId, const QList<VelmAccount::GroupPerson> &members)>;
    void loadShareGroup(GroupCallback callback);
    // Asks the server whether the user's group now allows sharing.
    void refreshCanShare();
    // How often the group is asked again while an invitation waits.
    void setGroupPollInterval(int ms) { m_groupPollMs = ms; }
    // When a sync cycle last finished; invalid before the first.
    QDateTime lastSyncAt() const;
    // The periodic sync's interval the preferences ask for.
    int syncIntervalMs() const;

    QString currentNotebookId() const { return m_currentNotebookId; }
    QString currentNoteId() const { return m_currentNoteId; }
    void setCurrentNotebook(const QString &notebookId);
    void setCurrentNote(const QString &noteId);

    // Set before initialize(): the database is opened read-only (it is
    // damaged); windows show notes without letting them be changed.
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }
    // Set before initialize(): the sign-in tokens are kept there instead of in
    // this platform's keyring (tests and benchmarks). Takes ownership.
    void setTokenStore(std::unique_ptr<VelmAccount::TokenStore> store);

    // A window about to show a note calls noteOpening() and, once the note is
    // shown and painted, noteOpened(). A large note whose opening never
    // finished (the process was killed while busy) is not reopened at the
    // next start, neither as the current note nor as a note window.
    void noteOpening(const QString &noteId, qsizetype bodySize);
    void noteOpened(const QString &noteId);
    // The note whose last opening did not finish; empty when none.
    QString unfinishedNoteId() const { return m_unfinishedNoteId; }

signals:
    // Emitted first thing on destruction: windows save their notes while the
    // repositories still exist.
    void aboutToShutDown();
    void databaseReady();
    void currentNotebookChanged(const QString &notebookId);
    void currentNoteChanged(const QString &noteId);
    // Bulk note changes; single-note writes come as notesWritten.
    void notesChanged();
    void notesWritten(const QStringList &ids);
    void notebooksChanged();
    void canShareChanged(bool canShare);
    // Pulled notes are about to be written: views store unsaved typing now.
    void syncAboutToMerge();
    void noteUpdatedExternally(const QString &noteId, QObject *source);
    void noteDeletedExternally(const QString &noteId);
    // Notes now live under new ids (old id -> new id); windows showing an old one follow it.
    void notesMoved(const QHash<QString, QString> &ids);

private:
    void wireSync();
    void setCanShare(bool canShare);

    Database *m_database = nullptr;
    NoteTextFill *m_textFill = nullptr;
    NoteRepository *m_notes = nullptr;
    NotebookRepository *m_notebooks = nullptr;
    PreferencesRepository *m_preferences = nullptr;
    SnapshotRepository *m_snapshots = nullptr;
    AttachmentRepository *m_attachments = nullptr;
    ThemeManager *m_themeManager = nullptr;
    VelmAccount::Client *m_accountClient = nullptr;
    SyncEngine *m_syncEngine = nullptr;
    ChangeFeed *m_changeFeed = nullptr;
    VelmAccount::NoteSharingService *m_noteSharing = nullptr;
    VelmAccount::NoteSharingService *m_notebookSharing = nullptr;
    bool m_canShare = false;
    QTimer *m_groupPoll = nullptr;
    int m_groupPollMs = 20000;

    QString m_currentNotebookId;
    QString m_currentNoteId;
    QString m_unfinishedNoteId;
    bool m_readOnly = false;
    QString m_openingNoteId;
    std::unique_ptr<VelmAccount::TokenStore> m_tokenStore;
};
