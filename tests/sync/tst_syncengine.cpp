#include "notesharingservice.h"
#include "syncaccounts.h"
#include "syncrecords.h"
#include "velmtest.h"

#include <QDir>
#include <QSignalSpy>
#include <QSqlQuery>

using namespace VelmSyncTest;

class TestSyncEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_accounts.start(&error), qPrintable(error));
    }

    void notesNotebooksAndDeletionsReachTheOtherDevice()
    {
        auto [a, b] = devices();
        const Notebook notebook = a->addNotebook(QStringLiteral("Trips"));
        const Note kept = a->addNote("packing list", notebook.id);
        const Note trashed = a->addNote("old idea");
        QVERIFY(a->sync());
        // The notebook was unknown to the server: its PUT is followed by a create.
        QVERIFY(a->requests.contains("PUT /notebooks/" + notebook.id));
        QVERIFY(a->requests.contains("POST /notebooks"));
        QCOMPARE(a->notebooks.notebookById(notebook.id)->syncStatus, SyncStatus::Synced);
        QCOMPARE(a->notes.syncState().pendingNotes(), QList<Note>());

        QVERIFY(b->sync());
        QCOMPARE(b->notes.noteById(kept.id)->notebookId, notebook.id);
        QCOMPARE(b->notebooks.notebookById(notebook.id)->name, QStringLiteral("Trips"));

        b->edit(kept.id, "packing list, sunscreen");
        b->notes.softDelete(trashed.id);
        QVERIFY(b->sync());
        QVERIFY(a->sync());
        QCOMPARE(a->notes.noteById(kept.id)->body, textBody("packing list, sunscreen"));
        QVERIFY(a->notes.noteById(trashed.id)->deletedAt.has_value());
    }

    // Records sent without their times are still stored, with the times they have.
    void pulledRecordsWithoutTimesAreStored()
    {
        Device device(1, QString(), QString());
        const qint64 at = 1767225600000;
        QVERIFY(device.notebooks.insert(VelmSync::notebookFromPull({{"id", "b9"}, {"name", "No times"}})));
        QVERIFY(device.notes.insert(VelmSync::noteFromPull({{"id", "n9"}, {"notebook_id", "b9"}, {"updated_at", double(at)}})));
        QVERIFY(device.attachments.insert(VelmSync::attachmentFromPull({{"id", "a9"}, {"note_id", "n9"}, {"filename", "a.txt"}, {"mime_type", "text/plain"}})));
        const Note note = *device.notes.noteById("n9");
        QCOMPARE(note.createdAt, QDateTime::fromMSecsSinceEpoch(at, Qt::UTC));
        QCOMPARE(note.modifiedAt, note.createdAt);
        QCOMPARE(device.notebooks.notebookById("b9")->updatedAt, QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    }

    void notebookDeletedElsewhereLeavesNoNoteBehind()
    {
        auto [a, b] = devices();
        const Notebook notebook = a->addNotebook(QStringLiteral("Old"));
        const Note note = a->addNote("in the old notebook", notebook.id);
        QVERIFY(a->sync());
        QVERIFY(b->sync());
        QVERIFY(b->notebooks.notebookById(notebook.id));

        b->edit(note.id, "edited here meanwhile");
        QVERIFY(a->notes.releaseNotebook(notebook.id));
        QVERIFY(a->notebooks.softDelete(notebook.id));
        QVERIFY(a->sync());
        QVERIFY(b->sync());
        QVERIFY(b->notebooks.notebookById(notebook.id)->deletedAt.has_value());
        QVERIFY(b->notes.notesInNotebook(notebook.id).isEmpty());
        QVERIFY(b->liveTexts().filter("edited here meanwhile").size() == 1);
        QVERIFY(b->sync());
        QVERIFY(a->sync());
        QCOMPARE(a->liveTexts(), b->liveTexts());
    }

    // Asked again during a cycle: one more runs; with nothing new it only asks.
    void syncNowDuringACycleRunsOneMore()
    {
        auto [a, b] = devices();
        a->addNote("one");
        QSignalSpy completed(a->engine.get(), &SyncEngine::syncCompleted);
        for (int i = 0; i < 4; ++i)
            a->engine->syncNow();
        QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 2, 30000);
        QCoreApplication::processEvents();
        QCOMPARE(a->engine->state(), SyncEngine::Idle);
        QCOMPARE(completed.count(), 2);

        a->requests.clear();
        QSignalSpy changed(a->engine.get(), &SyncEngine::dataChanged);
        QVERIFY(a->sync());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(a->requests.size(), 3);
        QVERIFY(a->requests[0].startsWith("GET /sync/pull?since="));
        QCOMPARE(a->requests[1], QStringLiteral("GET /notebooks"));
        QVERIFY(a->requests[2].startsWith("GET /attachments?since="));
    }

    // An import holds its transaction between turns: no cycle writes into it.
    void bulkJobHoldsCyclesUntilItEnds()
    {
        auto [a, b] = devices();
        const Note note = a->addNote("one");
        QSignalSpy completed(a->engine.get(), &SyncEngine::syncCompleted);
        // A cycle already running when the job starts ends at once.
        connect(a->engine.get(), &SyncEngine::syncProgress, this, [&](const QString &label) {
            if (label == QLatin1String("Uploading notes"))
                a->database.setBulkJobRunning(true);
        });
        a->engine->syncNow();
        QTRY_VERIFY(a->database.bulkJobRunning());
        a->engine->disconnect(this);
        QCOMPARE(a->engine->phase(), SyncEngine::Phase::Idle);
        // A cycle asked for meanwhile waits.
        a->requests.clear();
        a->engine->syncNow();
        QTest::qWait(300);
        QVERIFY2(a->requests.isEmpty(), qPrintable(a->requests.join(", ")));
        QCOMPARE(a->notes.noteById(note.id)->syncStatus, SyncStatus::Pending);
        QCOMPARE(completed.count(), 0);

        a->database.setBulkJobRunning(false);
        QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 1, 30000);
        QCOMPARE(a->notes.noteById(note.id)->syncStatus, SyncStatus::Synced);
        QVERIFY(b->sync());
        QVERIFY(b->notes.noteById(note.id));
    }

    void editDuringPushIsPushedLater()
    {
        auto [a, b] = devices();
        const Note note = a->addNote("first");
        // The save lands after the push left and before its reply is handled.
        connect(a->engine.get(), &SyncEngine::syncProgress, this, [&](const QString &label) {
            if (label == QLatin1String("Uploading notes"))
                QTimer::singleShot(0, this, [&] { a->edit(note.id, "second"); });
        });
        QVERIFY(a->sync());
        QCOMPARE(a->notes.noteById(note.id)->body, textBody("second"));
        QCOMPARE(a->notes.noteById(note.id)->syncStatus, SyncStatus::Pending);
        a->engine->disconnect(this);
        QVERIFY(a->sync());
        QVERIFY(b->sync());
        QCOMPARE(b->notes.noteById(note.id)->body, textBody("second"));
    }

    void bothDevicesEditTheSameNote()
    {
        auto [a, b] = devices();
        const Note note = a->addNote("shared base");
        QVERIFY(a->sync());
        QVERIFY(b->sync());
        a->edit(note.id, "from a");
        b->edit(note.id, "from b");
        QVERIFY(a->sync());
        QSignalSpy merged(b->engine.get(), &SyncEngine::notesMerged);
        QVERIFY(b->sync()); // its push is refused, its pull meets the newer text
        QCOMPARE(merged.count(), 1);
        QCOMPARE(merged.first().first().toStringList(), QStringList{note.id});
        QVERIFY(b->sync());
        QVERIFY(a->sync());
        for (Device *device : {a.get(), b.get()}) {
            QCOMPARE(device->notes.noteById(note.id)->body, textBody("from a"));
            const QStringList texts = device->liveTexts();
            QCOMPARE(texts.size(), 2);
            QVERIFY2(texts.last().startsWith(QLatin1String("[{\"insert\":\"from b\"},{\"insert\":\" (conflict ")),
                     qPrintable(texts.last()));
        }
        QVERIFY(b->notes.syncState().pendingNotes().isEmpty());
    }

    void pullKeepsPendingEditsAndReplacesSyncedRows_data()
    {
        QTest::addColumn<int>("localVersion");
        QTest::addColumn<int>("serverVersion");
        QTest::addColumn<bool>("pending");
        QTest::addColumn<int>("pulledVersion");
        QTest::addColumn<int>("expected");
        QTest::newRow("synced, same version") << 3 << 3 << false << 3 << int(VelmSync::MergeAction::Replace);
        QTest::newRow("synced, older pulled") << 3 << 3 << false << 2 << int(VelmSync::MergeAction::Keep);
        QTest::newRow("pending, own push echoed") << 4 << 3 << true << 3 << int(VelmSync::MergeAction::Keep);
        QTest::newRow("pending, server moved on") << 4 << 3 << true << 4 << int(VelmSync::MergeAction::Conflict);
    }
    void pullKeepsPendingEditsAndReplacesSyncedRows()
    {
        QFETCH(int, localVersion);
        QFETCH(int, serverVersion);
        QFETCH(bool, pending);
        QFETCH(int, pulledVersion);
        QFETCH(int, expected);
        Note local;
        local.body = textBody("local");
        local.version = localVersion;
        local.opVersion = serverVersion;
        local.syncStatus = pending ? SyncStatus::Pending : SyncStatus::Synced;
        Note pulled = local;
        pulled.body = textBody("server");
        pulled.version = pulledVersion;
        QCOMPARE(int(VelmSync::mergeAction(local, pulled)), expected);
    }

    void failedRowWriteKeepsTheCursor()
    {
        auto [a, b] = devices();
        const Note note = a->addNote("arrives late");
        QVERIFY(a->sync());
        QSqlQuery q(b->database.database());
        QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON notes WHEN new.id = '%1' "
                                      "BEGIN SELECT RAISE(ABORT, 'disk full'); END").arg(note.id)));
        QVERIFY(b->sync());
        QVERIFY(!b->notes.noteById(note.id));
        QVERIFY(q.exec(QStringLiteral("DROP TRIGGER refuse")));
        QVERIFY(b->sync());
        QCOMPARE(b->notes.noteById(note.id)->body, textBody("arrives late"));
    }

    void manyNotesGoInBatchesAndComeInPages()
    {
        auto [a, b] = devices();
        {
            QSqlDatabase db = a->database.database();
            db.transaction();
            for (int i = 0; i < 1000; ++i)
                a->addNote(QStringLiteral("note %1").arg(i));
            db.commit();
        }
        QVERIFY(a->sync());
        QCOMPARE(a->requests.filter("POST /sync/push").size(), 5);
        QVERIFY(a->notes.syncState().pendingNotes().isEmpty());
        QVERIFY(b->sync());
        QCOMPARE(b->notes.allNotes().size(), 1000);
        QCOMPARE(b->requests.filter("GET /sync/pull").size(), 2); // pages of 500
    }

    void purgedNoteDisappearsFromTheOtherDevice()
    {
        auto [a, b] = devices();
        const Note note = a->addNote("to purge");
        const Note neverPushed = a->addNote("draft");
        QVERIFY(a->sync());
        QVERIFY(b->sync());
        QVERIFY(a->notes.purge(note.id));
        QVERIFY(a->notes.purge(neverPushed.id));
        QVERIFY(a->sync());
        QVERIFY(a->notes.syncState().pendingDeletions().isEmpty());
        QVERIFY(b->sync());
        QVERIFY(!b->notes.noteById(note.id));
        // Neither a full resync nor a fresh device brings it back.
        a->engine->forceFullResync();
        QVERIFY(a->sync());
        QVERIFY(!a->notes.noteById(note.id));
        QVERIFY(!a->notes.noteById(neverPushed.id));
    }

    void fullResyncLeavesUneditedWelcomeNotesHome()
    {
        for (const int version : {1, 2}) {
            const bool edited = version > 1;
            auto [a, b] = devices();
            Note welcome = a->addNote("Welcome");
            welcome.isSample = true;
            welcome.version = version;
            welcome.syncStatus = SyncStatus::Synced;
            a->notes.update(welcome);
            QVERIFY(a->sync());
            QSignalSpy marked(a->engine.get(), &SyncEngine::resyncMarked);
            a->engine->forceFullResync();
            QTRY_COMPARE_WITH_TIMEOUT(a->engine->state(), SyncEngine::Idle, 30000);
            QCOMPARE(marked.size(), 1);
            QCOMPARE(marked.first().first().toInt(), int(edited));
            QVERIFY(a->requests.last().startsWith("GET /attachments"));
            QVERIFY(a->requests.contains("GET /sync/pull"));
            QVERIFY(b->sync());
            QCOMPARE(b->notes.noteById(welcome.id).has_value(), edited);
        }
    }

    void sharedNotesFollowTheirPermission_data()
    {
        QTest::addColumn<QString>("permission");
        QTest::newRow("view") << QStringLiteral("view");
        QTest::newRow("edit") << QStringLiteral("edit");
    }
    void sharedNotesFollowTheirPermission()
    {
        QFETCH(QString, permission);
        auto [owner, member, memberId] = group();
        const Note note = owner->addNote("family recipes");
        QVERIFY(owner->sync());
        VelmAccount::NoteSharingService sharing(&owner->api, VelmAccount::NoteSharingService::Notes);
        // Outside the group: the server's reason reaches the caller.
        QString error;
        sharing.shareWith(note.id, accountId(*devices().first), permission, [&](bool ok, const QString &e) {
            error = ok ? QStringLiteral("shared") : e;
        });
        QTRY_COMPARE(error, QStringLiteral("you can share only with other members of your group"));
        bool shared = false;
        sharing.shareWith(note.id, memberId, permission, [&](bool ok, const QString &) { shared = ok; });
        QTRY_VERIFY(shared);
        QList<VelmAccount::ShareMember> members;
        sharing.listMembers(note.id, [&](const QList<VelmAccount::ShareMember> &list) { members = list; });
        QTRY_COMPARE(members.size(), 1);
        QCOMPARE(sharing.memberKey(members.first()), memberId);
        QCOMPARE(members.first().permission, permission);
        // The owner's devices learn it from the server: "Shared by Me" lists it.
        QVERIFY(owner->sync());
        QCOMPARE(owner->notes.sharedByMeRows().size(), 1);
        QVERIFY(owner->notes.sharedWithMeRows().isEmpty());

        QVERIFY(member->sync());
        const Note received = *member->notes.noteById(note.id);
        QVERIFY(received.isShared);
        QCOMPARE(received.permission, permission);
        QVERIFY(!received.ownerId.isEmpty());

        member->edit(note.id, "family recipes, grandma's cake");
        QVERIFY(member->sync());
        QVERIFY(owner->sync());
        QCOMPARE(owner->notes.noteById(note.id)->body == textBody("family recipes, grandma's cake"),
                 permission == QLatin1String("edit"));

        bool removed = false;
        sharing.removeShare(note.id, sharing.memberKey(members.first()), [&](bool ok) { removed = ok; });
        QTRY_VERIFY(removed);
        QVERIFY(member->sync());
        QVERIFY(member->notes.sharedWithMe().isEmpty());
        QVERIFY(owner->sync());
        QVERIFY(owner->notes.sharedByMeRows().isEmpty());
    }

    void sharedNoteLeavesTheRecipientCleanly_data()
    {
        QTest::addColumn<QString>("permission");
        QTest::addColumn<bool>("unshare"); // else the recipient trashes it
        QTest::newRow("read-only note trashed by the recipient") << QStringLiteral("view") << false;
        QTest::newRow("unshared while the recipient's edit waits") << QStringLiteral("edit") << true;
    }
    void sharedNoteLeavesTheRecipientCleanly()
    {
        QFETCH(QString, permission);
        QFETCH(bool, unshare);
        auto [owner, member, memberId] = group();
        const Note note = owner->addNote("owner's text");
        QVERIFY(owner->sync());
        VelmAccount::NoteSharingService sharing(&owner->api, VelmAccount::NoteSharingService::Notes);
        bool done = false;
        sharing.shareWith(note.id, memberId, permission, [&](bool ok, const QString &) { done = ok; });
        QTRY_VERIFY(done);
        QVERIFY(member->sync());
        if (unshare) {
            member->edit(note.id, "member's own words");
            done = false;
            sharing.removeShare(note.id, memberId, [&](bool ok) { done = ok; });
            QTRY_VERIFY(done);
        } else {
            QVERIFY(member->notes.softDelete(note.id));
        }
        QVERIFY(member->sync());
        QVERIFY(member->sync());
        QVERIFY(!member->notes.noteById(note.id));
        QVERIFY(member->notes.trashedNotes().isEmpty());
        QVERIFY(member->notes.syncState().pendingNotes().isEmpty());
        QCOMPARE(member->engine->state(), SyncEngine::Idle);
        QCOMPARE(member->liveTexts().filter("member's own words").size(), int(unshare));
        QVERIFY(owner->sync());
        QCOMPARE(owner->notes.noteById(note.id)->body, textBody("owner's text"));
        QVERIFY(!owner->notes.noteById(note.id)->deletedAt);
    }

    // Another account signing in on this device pulls its notes from the start.
    void pullPositionsBelongToTheAccount()
    {
        auto [a, unused] = devices();
        auto [b, unused2] = devices();
        const Note second = b->addNote("the second account's note");
        QVERIFY(b->sync());
        a->engine->setAccount("server first");
        a->addNote("the first account's note");
        QVERIFY(a->sync());
        a->tokens.setTokens(b->tokens.accessToken(), b->tokens.refreshToken());
        a->engine->setAccount("server second");
        QVERIFY(a->sync());
        QVERIFY(a->notes.noteById(second.id));
    }

    void cycleCutShortIsRedoneWithoutLossOrDuplicates()
    {
        auto [a, b] = devices();
        for (int i = 0; i < 50; ++i)
            a->addNote(QStringLiteral("note %1").arg(i));
        // The application goes away while the push is on the wire.
        connect(a->engine.get(), &SyncEngine::syncProgress, this, [&](const QString &label) {
            if (label == QLatin1String("Uploading notes"))
                QTimer::singleShot(0, this, [&] { a->engine.reset(); });
        });
        a->engine->syncNow();
        QTRY_VERIFY(!a->engine);
        QTRY_VERIFY(a->requests.filter("POST /sync/push").size() == 1);
        a->newEngine();
        QVERIFY(a->sync());
        QVERIFY(b->sync());
        QCOMPARE(b->liveTexts(), a->liveTexts());
        QCOMPARE(b->notes.allNotes().size(), 50);
    }

    // Sync Now followed at once by Sign Out (stop) or Quit (the engine goes).
    void cycleEndedInAnyPhaseWritesNothingAndLosesNothing_data()
    {
        QTest::addColumn<SyncEngine::Phase>("phase");
        QTest::addColumn<bool>("quit");
        const QMetaEnum phases = QMetaEnum::fromType<SyncEngine::Phase>();
        for (int i = int(SyncEngine::Phase::PushNotebooks); i <= int(SyncEngine::Phase::PullAttachments); ++i) {
            for (const bool quit : {false, true})
                QTest::addRow("%s %s", phases.valueToKey(i), quit ? "quit" : "sign out") << SyncEngine::Phase(i) << quit;
        }
    }

    void cycleEndedInAnyPhaseWritesNothingAndLosesNothing()
    {
        QFETCH(SyncEngine::Phase, phase);
        QFETCH(bool, quit);
        auto [a, b] = devices();
        // Something for every phase: b's note and file come down, a's go up.
        const Note theirs = b->addNote("from b");
        b->addAttachment(theirs.id, "b.txt", "bee");
        QVERIFY(b->sync());
        a->addAttachment(a->addNote("from a", a->addNotebook("Mine").id).id, "a.txt", "ay");
        const auto pendingCount = [&] {
            return a->notes.syncState().pendingCount() + a->notebooks.pendingNotebooks().size()
                + a->attachments.pendingAttachments().size();
        };
        const auto changes = [&] {
            QSqlQuery q(a->database.database());
            return q.exec(QStringLiteral("SELECT total_changes()")) && q.next() ? q.value(0).toLongLong() : -1;
        };
        // Pulled pages commit without a log sync; everything else keeps it (2: FULL).
        const auto synchronous = [&] {
            QSqlQuery q(a->database.database());
            return q.exec(QStringLiteral("PRAGMA synchronous")) && q.next() ? q.value(0).toInt() : -1;
        };
        qsizetype pendingAtEnd = -1;
        qint64 changesAtEnd = -1;
        // Ended as soon as the phase's request is on its way.
        connect(a->engine.get(), &SyncEngine::phaseChanged, this, [&](SyncEngine::Phase now) {
            if (now == phase)
                QTimer::singleShot(0, this, [&] {
                    pendingAtEnd = pendingCount();
                    quit ? a->engine.reset() : a->engine->stop();
                    changesAtEnd = changes();
                });
        });
        a->use();
        a->engine->syncNow();
        QTRY_VERIFY(changesAtEnd >= 0);
        QVERIFY(!a->engine || a->engine->phase() == SyncEngine::Phase::Idle);
        // Replies still on their way find nothing to write.
        QTest::qWait(500);
        QCOMPARE(changes(), changesAtEnd);
        QCOMPARE(pendingCount(), pendingAtEnd);
        QCOMPARE(synchronous(), 2);
        a->newEngine();
        QVERIFY(a->sync());
        QCOMPARE(synchronous(), 2);
        QVERIFY(b->sync());
        QCOMPARE(a->liveTexts(), b->liveTexts());
        QCOMPARE(a->liveTexts().size(), 2);
        QCOMPARE(pendingCount(), 0);
        QCOMPARE(a->attachments.allAttachments().size(), 2);
    }

    void unreachableServerShowsOffline()
    {
        auto [a, b] = devices();
        a->api.setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:1/notes/v1")));
        a->addNote("waits");
        QVERIFY(!a->sync());
        QCOMPARE(a->engine->state(), SyncEngine::Offline);
        QCOMPARE(a->engine->lastError(), QStringLiteral("Note push failed (HTTP 0)"));
        QCOMPARE(a->notes.syncState().pendingNotes().size(), 1);
    }

private:
    DevicePair devices() { return m_accounts.devices(); }
    VelmServerTest::Api api(const Device &device) const { return m_accounts.api(device); }
    QString accountId(const Device &device) const { return m_accounts.accountId(device); }
    GroupDevices group() { return m_accounts.group(); }

    SyncAccounts m_accounts;
};

VELM_TEST_CORE_MAIN(TestSyncEngine)
#include "tst_syncengine.moc"
