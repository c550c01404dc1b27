#include "appstate.h"

#include "tasks.h"

#include <QRegularExpression>

#include "accountclient.h"
#include "accountrecords.h"
#include "apiclient.h"
#include "applog.h"
#include "attachmentrepository.h"
#include "builtinnotes.h"
#include "changefeed.h"
#include "client.h"
#include "database.h"
#include "delta.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "notesharingservice.h"
#include "notetextfill.h"
#include "preferencesrepository.h"
#include "snapshotrepository.h"
#include "syncengine.h"
#include "thememanager.h"
#include "tokenmanager.h"
#include "tokenstore.h"
#include "vlmclaims.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QPointer>
#include <QSysInfo>

#include <algorithm>

namespace {
const QString kLastNotebookId = QStringLiteral("lastNotebookId");
const QString kLastNoteId = QStringLiteral("lastNoteId");
const QString kNoteOpening = QStringLiteral("note_opening");
// Below this many characters a note opens in milliseconds whatever its shape,
// so opening it costs no write.
constexpr qsizetype kGuardedBodySize = 100000;
const QString kAutoSync = QStringLiteral("auto_sync");
const QString kLastSyncAt = QStringLiteral("last_sync_at");
const QString kSyncInterval = QStringLiteral("sync_interval_minutes");
} // namespace

AppState::AppState(QObject *parent)
    : QObject(parent)
{
}

AppState::~AppState()
{
    // What the fill has not written stays for the next start.
    if (m_textFill)
        m_textFill->stop();
    // A cycle still running on quit ends before the stores it writes go.
    if (m_syncEngine)
        m_syncEngine->cancel();
    emit aboutToShutDown();
}

NoteText noteTextOfBody(const QString &body)
{
    // One parse gives the texts and the to-dos.
    const std::optional<QJsonArray> array = deltaArray(body);
    const DeltaTexts texts = array ? deltaTexts(*array) : DeltaTexts{body, QString()};
    NoteText text{plainTextTitle(texts.plain), plainTextPreview(texts.plain),
                  texts.plain + QLatin1Char('\n') + texts.tableCells, {}};
    // Every kind of task shows one of these in its text or its attributes; a
    // body without any is not read for them.
    static const QRegularExpression box(QStringLiteral("-\\s*\\["));
    if (!array
        || (!body.contains(QLatin1String("checked")) && !body.contains(QLatin1String("todo:"), Qt::CaseInsensitive)
            && !body.contains(box)))
        return text;
    for (const Task &task : extractTasks(QString(), parseDelta(*array), QDateTime()))
        text.todos.append({task.lineIndex, task.charOffset, int(task.source), task.isCompleted, task.text});
    return text;
}

void AppState::setTokenStore(std::unique_ptr<VelmAccount::TokenStore> store)
{
    m_tokenStore = std::move(store);
}

bool AppState::initialize()
{
    m_database = new Database(this);
    const QString path = Database::defaultDatabasePath();
    qCInfo(lcApp).noquote() << "Opening database at:" << path;
    m_database->setTextExtractor(noteTextOfBody);
    m_database->setReadOnly(m_readOnly);
    if (!m_database->open(path))
        return false;

    m_notes = new NoteRepository(m_database, this);
    m_notebooks = new NotebookRepository(m_database, this);
    m_preferences = new PreferencesRepository(m_database, this);
    m_snapshots = new SnapshotRepository(m_database, this);
    m_attachments = new AttachmentRepository(m_database, this);
    // Seeded in the migration's transaction: two first starts at once cannot
    // both find no welcome notes.
    if (!m_database->migrate([this] {
            createWelcomeNotes(m_preferences, m_notes);
            return true;
        }))
        return false;

    connect(m_notes, &NoteRepository::notesChanged, this, &AppState::notesChanged);
    connect(m_notes, &NoteRepository::notesWritten, this, &AppState::notesWritten);
    connect(m_notebooks, &NotebookRepository::notebooksChanged, this, &AppState::notebooksChanged);
    connect(m_notes, &NoteRepository::noteDeleted, this, &AppState::noteDeletedExternally);
    // A purge removes the note's attachment rows and files itself; this sweeps
    // up anything written for the note by another path in the meantime.
    connect(m_notes, &NoteRepository::notesPurged, m_attachments, &AttachmentRepository::deleteForNotes);
    // No body changes: the lists and the to-do screen follow its batches
    // (textsWritten), sync and open notes have nothing to hear.
    m_textFill = new NoteTextFill(m_database, this);
    m_textFill->start();

    m_themeManager = new ThemeManager(m_preferences, this);
    m_themeManager->setThemeMode(m_preferences->getString(QStringLiteral("theme_mode"), QStringLiteral("system")));
    if (m_preferences->get(QStringLiteral("fontScale")))
        m_themeManager->setFontScale(m_preferences->getInt(QStringLiteral("fontScale"), 100));

    // The chosen server's endpoints unless the environment names others.
    const QString server = m_preferences->getString(QStringLiteral("server_url"), QString());
    auto config = VelmAccount::ClientConfig::fromEnvironment(QCoreApplication::applicationVersion(), server);
    config.deviceId = Database::installationId();
    config.deviceName = QSysInfo::machineHostName();
    const QString syncUrl = VelmAccount::ClientConfig::syncApiUrlFromEnvironment(server);
    qCInfo(lcApp).noquote() << "Auth:" << config.authBaseUrl << "Account:" << config.accountApiUrl << "Sync:" << syncUrl;
    for (const QString &url : {config.authBaseUrl, config.accountApiUrl, syncUrl}) {
        if (VelmAccount::ClientConfig::sendsInClear(url))
            qCWarning(lcApp).noquote() << "Server address" << url
                                       << "is plain http:// to another computer: sign-in and notes travel unencrypted";
    }
    if (!m_tokenStore)
        m_tokenStore = VelmAccount::createPlatformTokenStore(config.appId, Database::dataDirectory());
    m_accountClient = new VelmAccount::Client(config, std::move(m_tokenStore), this);
    m_accountClient->syncApi()->setBaseUrl(QUrl(syncUrl));
    wireSync();
    // Sync and sharing connect to the sign-in state before this first decision.
    m_accountClient->initialize();

    // Restoring the selection is not a change: no signals.
    if (const auto notebookId = m_preferences->get(kLastNotebookId))
        m_currentNotebookId = *notebookId;
    if (const auto opening = m_preferences->get(kNoteOpening)) {
        m_unfinishedNoteId = *opening;
        m_preferences->remove(kNoteOpening);
        qCWarning(lcApp).noquote() << "Not reopening a note whose last opening did not finish:" << *opening;
    }
    if (const auto noteId = m_preferences->get(kLastNoteId)) {
        if (!m_unfinishedNoteId.isEmpty() && *noteId == m_unfinishedNoteId)
            m_preferences->remove(kLastNoteId);
        else
            m_currentNoteId = *noteId;
    }

    emit databaseReady();
    return true;
}

void AppState::wireSync()
{
    m_syncEngine = new SyncEngine(m_accountClient->syncApi(), m_database, m_notes, m_notebooks, m_attachments,
                                  m_preferences, this);
    m_noteSharing = new VelmAccount::NoteSharingService(m_accountClient->syncApi(),
                                                        VelmAccount::NoteSharingService::Notes, this);
    m_notebookSharing = new VelmAccount::NoteSharingService(m_accountClient->syncApi(),
                                                            VelmAccount::NoteSharingService::Notebooks, this);
    m_changeFeed = new ChangeFeed(m_accountClient->tokenManager(), [this] { return m_syncEngine->pullCursor(); }, this);
    const auto followFeed = [this] {
        if (m_accountClient->isAuthenticated() && m_preferences->getBool(kAutoSync, true))
            m_changeFeed->start(m_accountClient->syncApi()->baseUrl());
        else
            m_changeFeed->stop();
    };
    connect(m_changeFeed, &ChangeFeed::changesWaiting, this, [this] {
        if (m_accountClient->isAuthenticated())
            m_syncEngine->scheduleSync(200);
    });
    connect(m_changeFeed, &ChangeFeed::liveChanged, this, [this] {
        if (m_accountClient->isAuthenticated() && m_preferences->getBool(kAutoSync, true))
            m_syncEngine->setInterval(syncIntervalMs());
    });
    connect(m_accountClient, &VelmAccount::Client::authStateChanged, this, [this, followFeed](VelmAccount::AuthState state) {
        if (state == VelmAccount::AuthState::Authenticated) {
            const QString account = VelmAccount::jwtPayload(m_accountClient->tokenManager()->accessToken())
                                        .value(QLatin1String("sub")).toString();
            if (!account.isEmpty())
                m_syncEngine->setAccount(m_accountClient->syncApi()->baseUrl().toString() + QLatin1Char(' ') + account);
            if (m_preferences->getBool(kAutoSync, true))
                m_syncEngine->start(syncIntervalMs());
            else
                m_syncEngine->syncNow();
            followFeed();
            return;
        }
        m_syncEngine->stop();
        m_changeFeed->stop();
        m_groupPoll->stop();
        setCanShare(false);
    });
    connect(m_accountClient, &VelmAccount::Client::claimsUpdated, this, &AppState::refreshCanShare);
    connect(m_accountClient->accountClient(), &VelmAccount::AccountClient::groupChanged, this,
            &AppState::refreshCanShare);
    // Someone may have joined or left the group meanwhile: each finished sync
    // and each return to the application asks again.
    connect(m_syncEngine, &SyncEngine::syncCompleted, this, [this] {
        m_preferences->set(kLastSyncAt, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
        refreshCanShare();
    });
    if (auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive && isSignedIn())
                refreshCanShare();
        });
    }
    m_groupPoll = new QTimer(this);
    m_groupPoll->setSingleShot(true);
    connect(m_groupPoll, &QTimer::timeout, this, &AppState::refreshCanShare);
    const auto scheduleSync = [this] {
        // Other devices listening get the edit sooner; saves are already debounced.
        if (m_accountClient->isAuthenticated() && m_preferences->getBool(kAutoSync, true))
            m_syncEngine->scheduleSync(m_changeFeed->isLive() ? 500 : 2000);
    };
    connect(m_preferences, &PreferencesRepository::changed, this, [this, followFeed](const QString &key) {
        if ((key != kAutoSync && key != kSyncInterval) || !m_accountClient->isAuthenticated())
            return;
        if (m_preferences->getBool(kAutoSync, true))
            m_syncEngine->setInterval(syncIntervalMs());
        else
            m_syncEngine->stop();
        followFeed();
    });
    connect(m_notes, &NoteRepository::notesChanged, this, scheduleSync);
    connect(m_notes, &NoteRepository::notesWritten, this, scheduleSync);
    // A notebook made, renamed or deleted here goes out as soon; what a sync
    // wrote itself brings one more cycle, which finds nothing to send.
    connect(m_notebooks, &NotebookRepository::notebooksChanged, this, scheduleSync);
    connect(m_syncEngine, &SyncEngine::dataChanged, this, &AppState::notesChanged);
    connect(m_syncEngine, &SyncEngine::dataChanged, this, &AppState::notebooksChanged);
    // Views store unsaved typing before a merge, so it is pending and kept,
    // then reload what the merge replaced rather than save over it later.
    connect(m_syncEngine, &SyncEngine::aboutToMerge, this, &AppState::syncAboutToMerge);
    // Notes moved into the signed-in account under new ids: views follow them.
    connect(m_syncEngine, &SyncEngine::notesMoved, this, [this](const QHash<QString, QString> &moved) {
        if (!m_currentNotebookId.isEmpty() && !m_notebooks->notebookById(m_currentNotebookId))
            setCurrentNotebook(QString());
        emit notesMoved(moved);
        if (const auto to = moved.constFind(m_currentNoteId); to != moved.constEnd())
            setCurrentNote(*to);
    });
    connect(m_syncEngine, &SyncEngine::notesMerged, this, [this](const QStringList &ids) {
        for (const QString &id : ids) {
            // Purged elsewhere or no longer shared: windows showing it close.
            if (m_notes->noteById(id))
                emit noteUpdatedExternally(id, m_syncEngine);
            else
                emit noteDeletedExternally(id);
        }
    });
}

QDateTime AppState::lastSyncAt() const
{
    return QDateTime::fromString(m_preferences->getString(kLastSyncAt, QString()), Qt::ISODateWithMs);
}

int AppState::syncIntervalMs() const
{
    const int chosen = std::clamp(m_preferences->getInt(kSyncInterval, 5), 1, 120) * 60 * 1000;
    // While changes arrive live the periodic cycle is only a safety net.
    return m_changeFeed && m_changeFeed->isLive() ? std::max(chosen, 30 * 60 * 1000) : chosen;
}

bool AppState::isSignedIn() const
{
    return m_accountClient && m_accountClient->isAuthenticated();
}

void AppState::loadShareGroup(GroupCallback callback)
{
    if (!isSignedIn())
        return callback(QString(), {});
    VelmAccount::AccountClient *account = m_accountClient->accountClient();
    const QPointer<AppState> self(this);
    account->getProfile([self, account, callback](const VelmAccount::Profile &profile) {
        if (!self)
            return;
        account->getGroup([profile, callback](const VelmAccount::Group &group) {
            QList<VelmAccount::GroupPerson> members;
            for (const VelmAccount::GroupMember &m : group.members)
                members.append({m.accountId, m.authUserId, m.displayName, m.email});
            callback(profile.id, members);
        });
    });
}

void AppState::refreshCanShare()
{
    if (!isSignedIn())
        return setCanShare(false);
    // The server, not the token's claims, says who is in the group now: the
    // claims lag until the next token refresh.
    const QPointer<AppState> self(this);
    m_accountClient->accountClient()->getGroup([self](const VelmAccount::Group &group) {
        if (!self || !self->isSignedIn())
            return;
        self->setCanShare(group.members.size() >= 2);
        // Invited people join on their own computers: look again while an
        // invitation waits and nobody has joined yet.
        if (!group.pendingInvitations.isEmpty() && group.members.size() < 2)
            self->m_groupPoll->start(self->m_groupPollMs);
        else
            self->m_groupPoll->stop();
    });
}

void AppState::setCanShare(bool canShare)
{
    if (canShare == m_canShare)
        return;
    m_canShare = canShare;
    emit canShareChanged(canShare);
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

void AppState::noteOpening(const QString &noteId, qsizetype bodySize)
{
    if (bodySize <= kGuardedBodySize || noteId == m_openingNoteId || m_readOnly)
        return;
    m_openingNoteId = noteId;
    m_preferences->set(kNoteOpening, noteId);
}

void AppState::noteOpened(const QString &noteId)
{
    if (noteId.isEmpty() || noteId != m_openingNoteId)
        return;
    m_openingNoteId.clear();
    m_preferences->remove(kNoteOpening);
}
