#include "velmtest.h"

#include "appstatefixture.h"
#include "apiclient.h"
#include "attachmentrepository.h"
#include "account/client.h"
#include "database.h"
#include "filetokenstore.h"
#include "notebookrepository.h"
#include "preferencesrepository.h"
#include "thememanager.h"

#include <QSignalSpy>

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

    void initializeBuildsEverythingAndSignalsReady()
    {
        AppState state;
        QSignalSpy ready(&state, &AppState::databaseReady);
        QVERIFY(state.initialize());
        QCOMPARE(ready.size(), 1);
        QVERIFY(state.notes() && state.notebooks() && state.preferences() && state.snapshots() && state.attachments());
        QVERIFY(state.themeManager());
        QVERIFY(state.accountClient() && !state.accountClient()->isAuthenticated());
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
        QVERIFY(stored.write(VelmAccount::TokenStore::accessTokenKey, access));
        QVERIFY(stored.write(VelmAccount::TokenStore::refreshTokenKey, "s1.secret"));
        AppState state;
        QVERIFY(state.initialize());
        qunsetenv("SYNC_API_URL");
        QVERIFY(state.accountClient()->isAuthenticated());
        QCOMPARE(state.accountClient()->syncApi()->baseUrl(), QUrl("http://127.0.0.1:9/notes/v1"));
    }

    void firstRunSeedsTheWelcomeNotesOnce()
    {
        {
            AppState first;
            QVERIFY(first.initialize());
            const QList<Note> notes = first.notes()->allNotes();
            QCOMPARE(notes.size(), 3);
            QVERIFY(notes.first().body.contains("Welcome to Velmora Notes"));
            for (const Note &note : notes) {
                QVERIFY(note.isSample);
                QCOMPARE(note.syncStatus, SyncStatus::Synced);
            }
            QVERIFY(first.notes()->softDelete(notes.first().id));
        }
        AppState second;
        QVERIFY(second.initialize());
        QCOMPARE(second.notes()->allNotes().size(), 2);
    }

    void storedThemeModeIsApplied()
    {
        {
            AppState first;
            QVERIFY(first.initialize());
            first.preferences()->set("theme_mode", "dark");
        }
        AppState state;
        QVERIFY(state.initialize());
        QCOMPARE(state.themeManager()->themeMode(), ThemeManager::Dark);
        QCOMPARE(QApplication::palette().color(QPalette::Window), QColor("#1E1E1E"));
        state.themeManager()->setThemeMode("light");
    }

    void selectionChangesWriteAndEmitOnce()
    {
        AppState state;
        QVERIFY(state.initialize());
        QSignalSpy noteChanged(&state, &AppState::currentNoteChanged);
        QSignalSpy notebookChanged(&state, &AppState::currentNotebookChanged);
        QSignalSpy prefChanged(state.preferences(), &PreferencesRepository::changed);

        state.setCurrentNote("n1");
        state.setCurrentNote("n1");
        QCOMPARE(noteChanged.size(), 1);
        QCOMPARE(state.preferences()->get("lastNoteId").value_or(QString()), QString("n1"));

        state.setCurrentNotebook("b1");
        state.setCurrentNotebook("b1");
        QCOMPARE(notebookChanged.size(), 1);
        QCOMPARE(state.preferences()->get("lastNotebookId").value_or(QString()), QString("b1"));
        QCOMPARE(prefChanged.size(), 2);

        // Back to "all notes" is a change too.
        state.setCurrentNotebook(QString());
        QCOMPARE(notebookChanged.size(), 2);
    }

    void selectionIsRestoredWithoutSignals()
    {
        {
            AppState first;
            QVERIFY(first.initialize());
            first.setCurrentNote("note-7");
            first.setCurrentNotebook("book-3");
        }
        AppState state;
        QSignalSpy noteChanged(&state, &AppState::currentNoteChanged);
        QSignalSpy notebookChanged(&state, &AppState::currentNotebookChanged);
        QVERIFY(state.initialize());
        QCOMPARE(state.currentNoteId(), QString("note-7"));
        QCOMPARE(state.currentNotebookId(), QString("book-3"));
        // Setting the restored id again is no change either.
        state.setCurrentNote("note-7");
        QCOMPARE(noteChanged.size() + notebookChanged.size(), 0);
    }

    void repositorySignalsAreRelayed()
    {
        AppState state;
        QVERIFY(state.initialize());
        QSignalSpy notes(&state, &AppState::notesChanged);
        QSignalSpy notebooks(&state, &AppState::notebooksChanged);
        QSignalSpy deleted(&state, &AppState::noteDeletedExternally);

        const QString a = VelmTest::addNote(state, "hello").id;
        QCOMPARE(notes.size(), 1);

        Notebook book;
        book.id = "nb";
        book.name = "Work";
        book.createdAt = book.updatedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(state.notebooks()->insert(book));
        QCOMPARE(notebooks.size(), 1);

        QVERIFY(state.notes()->softDelete(a));
        QCOMPARE(deleted, QList<QVariantList>({{a}}));
        QCOMPARE(notes.size(), 2);
    }

    void purgedNoteLosesItsAttachments()
    {
        AppState state;
        QVERIFY(state.initialize());
        const QString a = VelmTest::addNote(state, "hello").id;
        Attachment attachment;
        attachment.id = VelmTest::newId();
        attachment.noteId = a;
        attachment.filename = "x.txt";
        attachment.mimeType = "text/plain";
        attachment.sizeBytes = 3;
        attachment.createdAt = QDateTime::currentDateTimeUtc();
        QVERIFY(state.attachments()->saveFile(attachment.id, "abc"));
        QVERIFY(state.attachments()->insert(attachment));

        // Whoever announces a purge, the store follows.
        emit state.notes()->notePurged(a);
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
