#include "velmtest.h"

#include "uitestkit.h"
#include "accountclient.h"
#include "apiclient.h"
#include "attachmentrepository.h"
#include "client.h"
#include "database.h"
#include "filetokenstore.h"
#include "notebookrepository.h"
#include "preferencesrepository.h"
#include "serverharness.h"
#include "syncengine.h"
#include "tokenmanager.h"
#include "thememanager.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>

namespace {

const char *const kMarkup = "[{\"insert\":\"Plain words\"},{\"insert\":\"\\n\",\"attributes\":{\"header\":1}},"
                            "{\"insert\":\"bold\",\"attributes\":{\"bold\":true}},{\"insert\":\"\\n\"}]";
const char *const kInsertWords = "[{\"insert\":\"please insert coin\\n\"}]";
const char *const kTable = "[{\"insert\":{\"table\":\"{\\\"cells\\\":[[[{\\\"insert\\\":\\\"quokka\\\"}]],"
                           "[\\\"wombat\\\"]],\\\"hasHeader\\\":true}\"}},{\"insert\":\"\\n\"}]";
const char *const kLink = "[{\"insert\":\"platypus\",\"attributes\":{\"link\":\"https://example.com/echidna\"}},"
                          "{\"insert\":\"\\n\"}]";

// Notes of every kind of searchable text, keyed by name; one with an attachment.
QHash<QString, QString> addSearchNotes(AppState &state)
{
    QHash<QString, QString> ids;
    const QList<std::pair<QString, QString>> bodies = {
        {"markup", kMarkup}, {"insert", kInsertWords}, {"table", kTable}, {"link", kLink}, {"attachment", kInsertWords}};
    for (const auto &[name, body] : bodies) {
        const Note note = VelmTest::makeNote(body);
        if (!state.notes()->insert(note))
            qFatal("could not insert a note");
        ids.insert(name, note.id);
    }
    Attachment attachment;
    attachment.id = VelmTest::newId();
    attachment.noteId = ids.value("attachment");
    attachment.filename = "budget-narwhal.pdf";
    attachment.mimeType = "application/pdf";
    attachment.createdAt = QDateTime::currentDateTimeUtc();
    if (!state.attachments()->insert(attachment))
        qFatal("could not insert an attachment");
    return ids;
}

} // namespace

class TestAppState : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // A fresh data directory per test function: every AppState starts empty.
        static int run = 0;
        qputenv("NOTES_DATA_DIR",
                (qEnvironmentVariable("XDG_DATA_HOME") + "/state" + QString::number(++run)).toUtf8());
    }

    void searchFindsTheTextNotTheMarkup_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("insert as text") << "insert" << QStringList{"attachment", "insert"};
        QTest::newRow("table cell") << "quokka" << QStringList{"table"};
        QTest::newRow("plain table cell") << "wombat" << QStringList{"table"};
        QTest::newRow("link text") << "platy" << QStringList{"link"};
        QTest::newRow("link target") << "echidna" << QStringList();
        QTest::newRow("attachment name") << "narwhal" << QStringList{"attachment"};
    }

    void searchFindsTheTextNotTheMarkup()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        const auto state = VelmTest::emptyState();
        const QHash<QString, QString> ids = addSearchNotes(*state);
        QStringList found;
        for (const NoteRow &row : state->notes()->search().rows(text))
            found << ids.key(row.id);
        found.sort();
        QCOMPARE(found, expected);
        QCOMPARE(state->notes()->search().count(text), expected.size());
        if (!expected.isEmpty()) {
            const QString snippet = state->notes()->search().rows(text).first().snippet;
            QVERIFY2(snippet.contains(kSnippetOpen + text), qPrintable(snippet));
        }
    }

    void aLargeNoteWhoseOpeningDidNotFinishIsNotReopened_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("finished");
        QTest::addColumn<bool>("reopened");
        QTest::newRow("small note, killed while opening") << qsizetype(2000) << false << true;
        QTest::newRow("large note, opened") << qsizetype(300000) << true << true;
        QTest::newRow("large note, killed while opening") << qsizetype(300000) << false << false;
    }

    void aLargeNoteWhoseOpeningDidNotFinishIsNotReopened()
    {
        QFETCH(qsizetype, size);
        QFETCH(bool, finished);
        QFETCH(bool, reopened);
        QString id;
        {
            const auto state = VelmTest::emptyState();
            const Note note = VelmTest::makeNote(kInsertWords);
            QVERIFY(state->notes()->insert(note));
            id = note.id;
            state->setCurrentNote(id);
            state->noteOpening(id, size);
            if (finished)
                state->noteOpened(id);
        }
        for (int start = 0; start < 2; ++start) {
            AppState state;
            QVERIFY(state.initialize());
            // Only the first start after the failed opening passes the note by.
            QCOMPARE(state.currentNoteId(), reopened || start > 0 ? id : QString());
            QCOMPARE(state.unfinishedNoteId(), reopened || start > 0 ? QString() : id);
            if (!reopened)
                state.setCurrentNote(id);
        }
    }

    // Without a Secret Service the tokens wait in the data folder; a start
    // finds them and the sync requests go where the environment says.
    void startUpRestoresSignInAndServiceUrls()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("SYNC_API_URL", "http://127.0.0.1:9/notes/v1");
        const QByteArray payload = QByteArray(R"({"exp":)")
                                   + QByteArray::number(QDateTime::currentSecsSinceEpoch() + 3600) + '}';
        const QString access = "h." + QString::fromLatin1(payload.toBase64(QByteArray::Base64UrlEncoding)) + ".s";
        VelmAccount::FileTokenStore stored(Database::dataDirectory() + "/account-tokens.json");
        QVERIFY(stored.setValue(VelmAccount::TokenStore::accessTokenKey, access));
        QVERIFY(stored.setValue(VelmAccount::TokenStore::refreshTokenKey, "s1.secret"));
        AppState state;
        QVERIFY(state.initialize());
        qunsetenv("SYNC_API_URL");
        QTRY_VERIFY(state.accountClient()->isAuthenticated());
        QCOMPARE(state.accountClient()->syncApi()->baseUrl(), QUrl("http://127.0.0.1:9/notes/v1"));
    }

    void sharingFollowsTheGroupAndSyncItsPreferences()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        VelmServerTest::Harness server;
        QString error;
        QVERIFY2(server.start(QString(), &error), qPrintable(error));
        const QByteArray url = "http://127.0.0.1:" + QByteArray::number(server.port());
        const QList<std::pair<const char *, QByteArray>> endpoints{
            {"AUTH_BASE_URL", url}, {"ACCOUNT_API_URL", url + "/account/v1"}, {"SYNC_API_URL", url + "/notes/v1"}};
        for (const auto &[name, value] : endpoints)
            qputenv(name, value);
        const auto unset = qScopeGuard([&] {
            for (const auto &endpoint : endpoints)
                qunsetenv(endpoint.first);
        });
        const auto owner = server.signIn("owner@example.org", true);
        const auto member = server.signIn("member@example.org", true);
        VelmAccount::FileTokenStore stored(Database::dataDirectory() + "/account-tokens.json");
        QVERIFY(stored.setValue(VelmAccount::TokenStore::accessTokenKey, owner.access));
        QVERIFY(stored.setValue(VelmAccount::TokenStore::refreshTokenKey, owner.refresh));
        AppState state;
        QVERIFY(state.initialize());
        QTRY_VERIFY(state.isSignedIn());
        QVERIFY(!state.canShare());

        // The periodic sync follows its preferences while signed in.
        QCOMPARE(state.syncEngine()->interval(), 5 * 60 * 1000);
        state.preferences()->setInt("sync_interval_minutes", 7);
        QCOMPARE(state.syncEngine()->interval(), 7 * 60 * 1000);
        state.preferences()->setInt("sync_interval_minutes", 500);
        QCOMPARE(state.syncEngine()->interval(), 120 * 60 * 1000);
        state.preferences()->setBool("auto_sync", false);
        QCOMPARE(state.syncEngine()->interval(), 0);

        // The owner founds a group by inviting; Share comes as soon as someone
        // joins on another computer, without waiting for the token to renew.
        state.setGroupPollInterval(100);
        VelmAccount::AccountClient *account = state.accountClient()->accountClient();
        QString code;
        account->generateInviteCode(
            [&code](const VelmAccount::GroupInvitation &made, const VelmAccount::Outcome &) { code = made.inviteCode; });
        QTRY_VERIFY_WITH_TIMEOUT(!code.isEmpty(), 10000);
        // The check the invitation started is answered before anyone joins:
        // from then on only the periodic re-check can see the new member.
        QTest::qWait(1000);
        QVERIFY(!state.canShare());
        const VelmServerTest::Api memberApi(server.port(), member.access);
        QCOMPARE(memberApi.call("POST", "/account/v1/group/join/" + code.toStdString()).status, 200);
        QTRY_VERIFY_WITH_TIMEOUT(state.canShare(), 10000);

        const QString memberId = memberApi.call("GET", "/account/v1/profile").json.value("id").toString();
        account->removeMember(memberId);
        QTRY_VERIFY_WITH_TIMEOUT(!state.canShare(), 10000);

        // This installation is one device of the account, named after the computer.
        QSignalSpy synced(state.syncEngine(), &SyncEngine::syncCompleted);
        state.syncEngine()->syncNow();
        QVERIFY(synced.wait(20000));
        std::optional<QList<VelmAccount::Device>> devices;
        account->getDevices([&devices](const QList<VelmAccount::Device> &list) { devices = list; });
        QTRY_VERIFY(devices);
        QCOMPARE(devices->size(), 1);
        QCOMPARE(devices->first().deviceName, QSysInfo::machineHostName());
        QVERIFY(devices->first().isCurrent);
        QVERIFY(state.lastSyncAt().secsTo(QDateTime::currentDateTimeUtc()) < 60);

        // A notebook made here goes out without waiting for the periodic sync.
        state.preferences()->setBool("auto_sync", true);
        QTest::qWait(3000); // whatever turning it on started
        synced.clear();
        Notebook book;
        book.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        book.name = QStringLiteral("Sent soon");
        book.createdAt = book.updatedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(state.notebooks()->insert(book));
        QVERIFY(synced.wait(5000));
        const VelmServerTest::Api ownerApi(server.port(), owner.access);
        QVERIFY(QJsonDocument(ownerApi.call("GET", "/notes/v1/notebooks").json).toJson().contains("Sent soon"));
    }

    void firstRunSeedsTheWelcomeNotesOnceAndTheThemeIsApplied()
    {
        {
            AppState first;
            QSignalSpy ready(&first, &AppState::databaseReady);
            QVERIFY(first.initialize());
            QCOMPARE(ready.size(), 1);
            QVERIFY(first.accountClient() && !first.accountClient()->isAuthenticated());
            const QList<Note> notes = first.notes()->allNotes();
            QCOMPARE(notes.size(), 3);
            QVERIFY(first.notes()->softDelete(notes.first().id));
            first.preferences()->set("theme_mode", "dark");
        }
        AppState second;
        QVERIFY(second.initialize());
        QCOMPARE(second.notes()->allNotes().size(), 2);
        // The stored theme is applied at start.
        QCOMPARE(second.themeManager()->themeMode(), ThemeManager::Dark);
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 128);
        second.themeManager()->setThemeMode("light");
    }

    void selectionIsStoredOnceAndRestoredWithoutSignals()
    {
        {
            AppState first;
            QVERIFY(first.initialize());
            QSignalSpy noteChanged(&first, &AppState::currentNoteChanged);
            QSignalSpy notebookChanged(&first, &AppState::currentNotebookChanged);
            for (int i = 0; i < 2; ++i) {
                first.setCurrentNote("note-7");
                first.setCurrentNotebook("book-3");
            }
            QCOMPARE(noteChanged.size() + notebookChanged.size(), 2);
            first.setCurrentNotebook(QString());
            first.setCurrentNotebook("book-3");
            QCOMPARE(notebookChanged.size(), 3);
        }
        AppState state;
        QSignalSpy noteChanged(&state, &AppState::currentNoteChanged);
        QVERIFY(state.initialize());
        QCOMPARE(state.currentNoteId(), QString("note-7"));
        QCOMPARE(state.currentNotebookId(), QString("book-3"));
        state.setCurrentNote("note-7");
        QCOMPARE(noteChanged.size(), 0);
    }

    void repositorySignalsAreRelayedAndAPurgeTakesTheAttachments()
    {
        AppState state;
        QVERIFY(state.initialize());
        QSignalSpy notes(&state, &AppState::notesChanged);
        QSignalSpy written(&state, &AppState::notesWritten);
        QSignalSpy notebooks(&state, &AppState::notebooksChanged);
        QSignalSpy deleted(&state, &AppState::noteDeletedExternally);
        const QString a = VelmTest::addNote(state, "hello").id;
        QCOMPARE(written, QList<QVariantList>({{QStringList{a}}}));
        QVERIFY(!VelmTest::addNotebook(state, "Work").isEmpty());
        QCOMPARE(notebooks.size(), 1);
        QVERIFY(state.notes()->softDelete(a));
        QCOMPARE(deleted, QList<QVariantList>({{a}}));
        QVERIFY(state.notes()->restore(QStringList{a}));
        QCOMPARE(notes.size(), 1);

        const QHash<QString, QString> ids = addSearchNotes(state);
        const Attachment attachment = state.attachments()->attachmentsForNote(ids.value("attachment")).first();
        QVERIFY(state.attachments()->saveFile(attachment.id, "abc"));

        // Whoever announces a purge, the store follows.
        emit state.notes()->notesPurged({ids.value("attachment")});
        QVERIFY(!state.attachments()->attachmentById(attachment.id));
        QVERIFY(!QFile::exists(AttachmentRepository::filePath(attachment.id)));
    }

    void unopenableDatabaseFailsAndBuildsNothing()
    {
        QTemporaryDir dir;
        const QString blocked = dir.path() + "/file";
        QVERIFY(QFile(blocked).open(QIODevice::WriteOnly));
        qputenv("NOTES_DATA_DIR", blocked.toUtf8());
        AppState state;
        QSignalSpy ready(&state, &AppState::databaseReady);
        QVERIFY(!state.initialize());
        QVERIFY(!state.notes());
        QVERIFY(!state.themeManager());
        QCOMPARE(ready.size(), 0);
    }
};

VELM_TEST_MAIN(TestAppState)
#include "tst_appstate.moc"
