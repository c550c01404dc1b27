// Three devices of one account meet every kind of disagreement and must end
// alike, on SQLite and on PostgreSQL.
#include "serverharness.h"
#include "syncdevice.h"
#include "velmtest.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSqlQuery>

#include <functional>

using namespace VelmSyncTest;

namespace {

struct World
{
    Device &a, &b, &c;
    QStringList saved; // every text a device saved

    Note add(Device &d, const QString &text, const QString &notebookId = {})
    {
        saved << text;
        return d.addNote(text, notebookId);
    }
    void edit(Device &d, const QString &id, const QString &text)
    {
        saved << text;
        d.edit(id, text);
    }
    bool syncAll()
    {
        for (Device *d : {&a, &b, &c})
            if (!d->sync())
                return false;
        return true;
    }
};

using Scenario = std::function<void(World &)>;

// One device's state as convergence compares it.
QStringList stateOf(Device &d)
{
    d.use();
    QStringList state;
    QList<Note> all = d.notes.allNotes() + d.notes.trashedNotes();
    for (const Note &n : all)
        state << QStringLiteral("note %1 %2 in[%3]%4").arg(n.id, n.body, n.notebookId, n.deletedAt ? " trashed" : "");
    for (const Notebook &nb : d.notebooks.allNotebooks())
        if (!nb.deletedAt)
            state << QStringLiteral("notebook %1 %2").arg(nb.id, nb.name);
    for (const Note &n : all)
        for (const Attachment &at : d.attachments.attachmentsForNote(n.id))
            state << QStringLiteral("file %1 %2").arg(n.id,
                QString::fromLatin1(QCryptographicHash::hash(d.attachments.readFile(at.id), QCryptographicHash::Sha1).toHex()));
    state.sort();
    return state;
}

// One computer whose database account A filled, then signed in to by B.
struct Switch
{
    enum Who { AnotherAccount, SameAccount, SameAccountMoved, SameAccountOlderBuild };
    VelmServerTest::Harness &server;
    QString emailA, emailB;
    std::unique_ptr<Device> d;
    Notebook trips;
    Note first, second;

    // Another computer signed in to an account, after its first sync.
    std::unique_ptr<Device> fresh(const QString &email)
    {
        const auto t = server.signIn(email, false);
        auto probe = std::make_unique<Device>(server.port(), t.access, t.refresh);
        probe->sync();
        return probe;
    }
    void signIn(const QString &email, const QString &address = "server")
    {
        const auto t = server.signIn(email, false);
        d->tokens.setTokens(t.access, t.refresh);
        d->engine->setAccount(address + ' ' + email);
        d->requests.clear();
    }
    QStringList uploads() const
    {
        return d->requests.filter(QRegularExpression("^(POST|PUT|DELETE) "));
    }
};
using SwitchCase = std::function<void(Switch &)>;

} // namespace

Q_DECLARE_METATYPE(Switch::Who)

Q_DECLARE_METATYPE(Scenario)
Q_DECLARE_METATYPE(SwitchCase)

class TestSyncConvergence : public QObject
{
    Q_OBJECT
public:
    bool postgres = false;

private slots:
    void initTestCase()
    {
        QString error;
        if (postgres)
            QVERIFY2(m_pg.start(&error), qPrintable(error));
        QVERIFY2(m_server.start(postgres ? m_pg.url() : QString(), &error), qPrintable(error));
    }

    void scenarioConverges_data()
    {
        QTest::addColumn<Scenario>("scenario");
        QTest::newRow("purge leaves every device") << Scenario([](World &w) {
            const Note note = w.add(w.a, "to purge");
            w.a.addAttachment(note.id, "p.txt", "purged bytes");
            QVERIFY(w.syncAll());
            QVERIFY(w.b.notes.noteById(note.id) && w.c.notes.noteById(note.id));
            QVERIFY(w.b.notes.purge(note.id));
            QVERIFY(w.b.sync() && w.syncAll());
            QVERIFY(!w.a.notes.noteById(note.id));
            QVERIFY(w.a.attachments.attachmentsForNote(note.id).isEmpty());
            w.saved.clear(); // purged on purpose
        });
        QTest::newRow("trashed before its first sync arrives in the trash") << Scenario([](World &w) {
            const Note note = w.add(w.a, "trashed offline");
            QVERIFY(w.a.notes.softDelete(note.id));
            QVERIFY(w.a.sync());
            QVERIFY(w.c.sync());
            QVERIFY(w.c.notes.noteById(note.id)->deletedAt.has_value());
        });
        QTest::newRow("purge over an unsynced edit keeps the edit as a new note") << Scenario([](World &w) {
            const Note note = w.add(w.a, "base");
            QVERIFY(w.syncAll());
            w.edit(w.b, note.id, "edited before the purge arrived");
            QVERIFY(w.a.notes.purge(note.id));
            QVERIFY(w.a.sync());
            QVERIFY(w.b.sync());
            QVERIFY(!w.b.notes.noteById(note.id));
            w.saved.removeAll("base");
        });
        QTest::newRow("purge after an edit elsewhere brings the edit back") << Scenario([](World &w) {
            const Note note = w.add(w.a, "base");
            QVERIFY(w.syncAll());
            w.edit(w.b, note.id, "edited first");
            QVERIFY(w.b.sync());
            QVERIFY(w.a.notes.purge(note.id));
            QVERIFY(w.a.sync());
            QCOMPARE(w.a.notes.noteById(note.id)->body, textBody("edited first"));
            w.saved.removeAll("base");
        });
        QTest::newRow("move and edit both survive") << Scenario([](World &w) {
            const Notebook target = w.a.addNotebook("Target");
            const Note note = w.add(w.a, "moved");
            QVERIFY(w.syncAll());
            w.edit(w.b, note.id, "moved and edited");
            QVERIFY(w.b.sync());
            QVERIFY(w.a.notes.moveToNotebook(note.id, target.id));
            QVERIFY(w.syncAll());
            QCOMPARE(w.c.notes.noteById(note.id)->notebookId, target.id);
            QCOMPARE(w.c.notes.noteById(note.id)->body, textBody("moved and edited"));
            QCOMPARE(w.c.notes.allNotes().size(), 1);
            w.saved.removeAll("moved");
        });
        QTest::newRow("edit after a move elsewhere keeps the move") << Scenario([](World &w) {
            const Notebook target = w.a.addNotebook("Target");
            const Note note = w.add(w.a, "kept");
            QVERIFY(w.syncAll());
            QVERIFY(w.a.notes.moveToNotebook(note.id, target.id));
            QVERIFY(w.a.sync());
            w.edit(w.b, note.id, "kept and edited");
            QVERIFY(w.syncAll());
            QCOMPARE(w.b.notes.noteById(note.id)->notebookId, target.id);
            QCOMPARE(w.b.notes.allNotes().size(), 1);
            w.saved.removeAll("kept");
        });
        for (const bool trasherFirst : {true, false}) {
            QTest::newRow(trasherFirst ? "an edit made after the trashing restores the note"
                                       : "an edit made after the trashing, pushed first, restores the note")
                << Scenario([trasherFirst](World &w) {
                       const Note note = w.add(w.a, "trash me");
                       QVERIFY(w.syncAll());
                       QVERIFY(w.a.notes.softDelete(note.id));
                       QTest::qWait(5);
                       w.edit(w.b, note.id, "still needed");
                       QVERIFY(trasherFirst ? w.a.sync() : w.b.sync());
                       QVERIFY(w.syncAll());
                       QVERIFY(!w.c.notes.noteById(note.id)->deletedAt);
                       QCOMPARE(w.c.notes.noteById(note.id)->body, textBody("still needed"));
                       w.saved.removeAll("trash me");
                   });
        }
        QTest::newRow("a trashing after the edit keeps it trashed, with the edit") << Scenario([](World &w) {
            const Note note = w.add(w.a, "old");
            QVERIFY(w.syncAll());
            w.edit(w.b, note.id, "edited then trashed");
            QTest::qWait(5);
            QVERIFY(w.a.notes.softDelete(note.id));
            QVERIFY(w.b.sync());
            QVERIFY(w.syncAll());
            QVERIFY(w.c.notes.noteById(note.id)->deletedAt.has_value());
            QCOMPARE(w.c.notes.noteById(note.id)->body, textBody("edited then trashed"));
            w.saved.removeAll("old");
        });
        for (const bool deleterFirst : {true, false}) {
            QTest::newRow(deleterFirst ? "note filed in a notebook deleted earlier" : "notebook deleted after a note was filed")
                << Scenario([deleterFirst](World &w) {
                       const Notebook doomed = w.a.addNotebook("Doomed");
                       QVERIFY(w.syncAll());
                       const Note note = w.add(w.b, "filed late", doomed.id);
                       QVERIFY(w.a.notes.releaseNotebook(doomed.id) && w.a.notebooks.softDelete(doomed.id));
                       QVERIFY(deleterFirst ? w.a.sync() && w.b.sync() : w.b.sync() && w.a.sync());
                       QVERIFY(w.syncAll());
                       for (Device *d : {&w.a, &w.b, &w.c})
                           QCOMPARE(d->notes.noteById(note.id)->notebookId, QString());
                   });
        }
        QTest::newRow("a note refused for good is shown and not resent") << Scenario([](World &w) {
            const Note kept = w.add(w.a, "small");
            Note big = w.a.addNote(QString(33 * 1024 * 1024, QLatin1Char('x')));
            QVERIFY(w.a.sync());
            QCOMPARE(w.a.engine->state(), SyncEngine::Error);
            QCOMPARE(w.a.engine->lastError(), QStringLiteral("1 note not synced: too large"));
            QVERIFY(w.a.engine->refusedNotes().contains(big.id));
            w.a.requests.clear();
            QVERIFY(w.a.sync());
            QVERIFY(w.a.requests.filter("POST /sync/push").isEmpty());
            QCOMPARE(w.a.engine->state(), SyncEngine::Error);
            w.edit(w.a, big.id, "cut down");
            QVERIFY(w.a.sync());
            QCOMPARE(w.a.engine->state(), SyncEngine::Idle);
            QVERIFY(w.b.sync());
            QVERIFY(w.b.notes.noteById(kept.id));
        });
        QTest::newRow("text the database cannot hold is refused alone") << Scenario([](World &w) {
            const Note kept = w.add(w.a, "beside it");
            const Note nul = w.a.addNote(QStringLiteral("nul ") + QChar(0) + QStringLiteral(" inside"));
            Notebook named = w.a.addNotebook(QStringLiteral("Na") + QChar(0) + QStringLiteral("me"));
            QVERIFY(w.a.sync());
            QCOMPARE(w.a.engine->lastError(), QStringLiteral("1 note not synced: content the server cannot store"));
            QCOMPARE(w.a.notes.noteById(kept.id)->syncStatus, SyncStatus::Synced);
            QVERIFY(w.a.sync());
            QCOMPARE(w.a.notebooks.notebookById(named.id)->name, QStringLiteral("Name"));
            w.edit(w.a, nul.id, "nul removed");
        });
        QTest::newRow("attachment names with line breaks travel") << Scenario([](World &w) {
            const Note note = w.add(w.a, "with a file");
            w.a.addAttachment(note.id, "two\nlines\".txt", "odd name");
            QVERIFY(w.syncAll());
            QCOMPARE(w.c.attachments.attachmentsForNote(note.id).value(0).filename, QStringLiteral("two_lines_.txt"));
            QVERIFY(w.a.attachments.pendingAttachments().isEmpty());
            // Trashed notes' files arrive once; a later cycle fetches nothing.
            QVERIFY(w.a.notes.softDelete(note.id));
            QVERIFY(w.syncAll());
            w.c.requests.clear();
            QVERIFY(w.c.sync());
            QVERIFY(w.c.requests.filter("GET /attachments/").isEmpty());
        });
        QTest::newRow("notebook renamed while its upload is in flight") << Scenario([](World &w) {
            const Notebook notebook = w.a.addNotebook("First name");
            QObject::connect(w.a.engine.get(), &SyncEngine::syncProgress, w.a.engine.get(), [&w, notebook](const QString &label) {
                if (label == QLatin1String("Uploading notebooks"))
                    QTimer::singleShot(0, w.a.engine.get(), [&w, notebook] {
                        Notebook renamed = *w.a.notebooks.notebookById(notebook.id);
                        renamed.name = "Second name";
                        renamed.syncStatus = SyncStatus::Pending;
                        w.a.notebooks.update(renamed);
                    });
            });
            QVERIFY(w.a.sync());
            w.a.engine->disconnect(w.a.engine.get());
            QCOMPARE(w.a.notebooks.notebookById(notebook.id)->name, QStringLiteral("Second name"));
            QVERIFY(w.syncAll());
            QCOMPARE(w.c.notebooks.notebookById(notebook.id)->name, QStringLiteral("Second name"));
        });
    }

    // A power cut may take the commits a sync made after the server took its
    // push: the device starts again from before the sync, with the server a
    // version ahead of it. It catches up without a conflict copy or a lost text.
    void aSyncLostToAPowerCutCatchesUp_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("a new note") << "new";
        QTest::newRow("an edit") << "edit";
        QTest::newRow("a trashing") << "trash";
        QTest::newRow("an edit, edited again after the restart") << "edit again";
    }
    void aSyncLostToAPowerCutCatchesUp()
    {
        QFETCH(QString, change);
        const QString email = QStringLiteral("powercut%1@example.org").arg(++m_users);
        const auto ta = m_server.signIn(email, true);
        const auto tb = m_server.signIn(email, false);
        auto a = std::make_unique<Device>(m_server.port(), ta.access, ta.refresh);
        Device b(m_server.port(), tb.access, tb.refresh);
        const Note note = a->addNote("first words");
        QStringList saved{"first words"};
        if (change != "new") {
            QVERIFY(a->sync());
            if (change == "trash") {
                QVERIFY(a->notes.softDelete(note.id));
            } else {
                a->edit(note.id, "second words");
                saved = QStringList{"second words"};
            }
        }
        const QString before = a->dir.filePath(QStringLiteral("before-the-sync.db"));
        QSqlQuery vacuum(a->database.database());
        QVERIFY(vacuum.exec(QStringLiteral("VACUUM INTO '%1'").arg(before)));
        QVERIFY(a->sync());
        a->engine.reset();
        Device restarted(m_server.port(), ta.access, ta.refresh, before);
        if (change == "edit again") {
            restarted.edit(note.id, "second words and third");
            saved << "second words and third";
        }
        for (int round = 0; round < 3; ++round)
            QVERIFY(restarted.sync() && b.sync());
        QCOMPARE(stateOf(restarted), stateOf(b));
        const QString all = stateOf(b).join('\n');
        for (const QString &text : std::as_const(saved))
            QVERIFY2(all.contains(text), qPrintable(text));
        QVERIFY2(!all.contains("(conflict"), qPrintable(all));
        QCOMPARE(all.contains(" trashed"), change == "trash");
        QVERIFY(restarted.notes.syncState().pendingNotes().isEmpty());
    }

    void anotherAccountSigningInIsAskedOnce_data()
    {
        QTest::addColumn<Switch::Who>("who");
        QTest::addColumn<SwitchCase>("answer");
        QTest::newRow("kept here: never in B, edits stay, A syncs them again") << Switch::AnotherAccount << SwitchCase([](Switch &s) {
            QVERIFY(s.d->engine->keepOtherNotesHere());
            s.d->edit(s.first.id, "edited while B is signed in");
            QVERIFY(s.d->sync());
            QCOMPARE(s.d->engine->state(), SyncEngine::Idle); // nothing of A's was offered to B
            const auto b = s.fresh(s.emailB);
            QCOMPARE(b->liveTexts(), (QStringList{textBody("B's own"), textBody("written before the choice")}));
            QVERIFY(b->notebooks.allNotebooks().isEmpty());
            QVERIFY(!s.d->notebooks.notebookById(s.trips.id)->deletedAt); // not taken for deleted in B
            s.signIn(s.emailA);
            QVERIFY(s.d->engine->awaitsAccountChoice()); // B's note is new to A
            QVERIFY(s.d->engine->keepOtherNotesHere() && s.d->sync());
            QCOMPARE(s.fresh(s.emailA)->notes.noteById(s.first.id)->body, textBody("edited while B is signed in"));
            s.signIn(s.emailB);
            QVERIFY(!s.d->engine->awaitsAccountChoice());
        });
        QTest::newRow("uploaded: B gets copies under new ids, A's stay") << Switch::AnotherAccount << SwitchCase([](Switch &s) {
            s.d->use();
            QVERIFY(s.d->engine->uploadOtherNotes());
            QVERIFY(s.d->sync());
            QVERIFY(!s.d->notes.noteById(s.first.id) && s.d->notes.syncState().pendingNotes().isEmpty());
            const auto b = s.fresh(s.emailB);
            QCOMPARE(b->liveTexts(), s.d->liveTexts());
            QCOMPARE(b->notes.allNotes().size(), 4);
            QCOMPARE(b->notebooks.allNotebooks().size(), 1);
            const Notebook trips = b->notebooks.allNotebooks().first();
            QVERIFY(trips.id != s.trips.id);
            const Note first = b->notes.notesInNotebook(trips.id).first();
            QVERIFY(first.id != s.first.id && first.body.contains("first of A"));
            const QList<Attachment> files = b->attachments.attachmentsForNote(first.id);
            QCOMPARE(files.size(), 1);
            QCOMPARE(b->attachments.readFile(files.first().id), QByteArray("A's bytes"));
            QVERIFY(first.body.contains(files.first().id));
            QVERIFY(b->liveTexts().filter("velmora-notes://note/" + first.id).size() == 1);
            const auto a = s.fresh(s.emailA);
            QCOMPARE(a->notes.noteById(s.first.id)->body, s.first.body);
            QCOMPARE(a->notes.noteById(s.second.id)->body, s.second.body);
            QCOMPARE(a->attachments.attachmentsForNote(s.first.id).size(), 1);
        });
        QTest::newRow("the same account again is not asked") << Switch::SameAccount << SwitchCase([](Switch &) {});
        const SwitchCase ownNotesGoUp([](Switch &s) {
            QVERIFY(s.d->sync());
            const auto a = s.fresh(s.emailA);
            QCOMPARE(a->liveTexts(), s.d->liveTexts());
            QCOMPARE(a->notes.allNotes().size(), 3);
            QCOMPARE(a->notes.noteById(s.second.id)->body, s.d->notes.noteById(s.second.id)->body);
        });
        QTest::newRow("another address of the server: what it lists is the account's, not asked")
            << Switch::SameAccountMoved << ownNotesGoUp;
        QTest::newRow("synced by a build that named no account: what the server lists is not asked")
            << Switch::SameAccountOlderBuild << ownNotesGoUp;
    }

    void anotherAccountSigningInIsAskedOnce()
    {
        QFETCH(Switch::Who, who);
        QFETCH(SwitchCase, answer);
        const bool same = who == Switch::SameAccount;
        Switch s{m_server, QStringLiteral("a%1@example.org").arg(++m_users),
                 QStringLiteral("b%1@example.org").arg(m_users), nullptr, {}, {}, {}};
        const auto a = m_server.signIn(s.emailA, true);
        s.d = std::make_unique<Device>(m_server.port(), a.access, a.refresh);
        s.d->engine->setAccount("server " + s.emailA);
        s.trips = s.d->addNotebook("Trips");
        s.first = s.d->addNote("first of A", s.trips.id);
        const Attachment file = s.d->addAttachment(s.first.id, "a.bin", "A's bytes");
        s.d->edit(s.first.id, "first of A velmora-notes://attachment/" + file.id);
        s.first = *s.d->notes.noteById(s.first.id);
        s.second = s.d->addNote("second links velmora-notes://note/" + s.first.id);
        QVERIFY(s.d->sync());
        if (who == Switch::AnotherAccount) {
            m_server.signIn(s.emailB, true);
            auto b = s.fresh(s.emailB);
            b->addNote("B's own");
            QVERIFY(b->sync());
        }
        if (who == Switch::SameAccountOlderBuild)
            s.d->preferences.remove("syncAccount");
        s.signIn(who == Switch::AnotherAccount ? s.emailB : s.emailA,
                 who == Switch::SameAccountMoved ? "https://moved.example" : "server");
        QCOMPARE(s.d->engine->awaitsAccountChoice(), !same);
        // Nothing goes up before the choice; B's notes come down.
        s.d->edit(s.second.id, "second edited before the choice velmora-notes://note/" + s.first.id);
        s.d->addNote("written before the choice");
        QSignalSpy choice(s.d->engine.get(), &SyncEngine::accountChoiceChanged);
        QVERIFY(s.d->sync());
        QCOMPARE(choice.isEmpty(), same); // the window learns that it asks, or no longer needs to
        QCOMPARE(s.uploads().size(), same ? 1 : 0);
        QCOMPARE(s.d->engine->asksAccountChoice(), who == Switch::AnotherAccount);
        QCOMPARE(s.d->liveTexts().filter("B's own").size(), who == Switch::AnotherAccount ? 1 : 0);
        answer(s);
    }

    void scenarioConverges()
    {
        QFETCH(Scenario, scenario);
        const QString email = QStringLiteral("converge%1@example.org").arg(++m_users);
        std::vector<std::unique_ptr<Device>> devices;
        for (int i = 0; i < 3; ++i) {
            const auto tokens = m_server.signIn(email, i == 0);
            devices.push_back(std::make_unique<Device>(m_server.port(), tokens.access, tokens.refresh));
        }
        World w{*devices[0], *devices[1], *devices[2], {}};
        scenario(w);
        if (QTest::currentTestFailed())
            return;
        converge(w);
    }

private:
    // Syncs until a round changes nothing, then every device must hold the same.
    void converge(World &w)
    {
        QList<QStringList> before;
        for (int round = 0; round < 6; ++round) {
            QVERIFY(w.syncAll());
            QList<QStringList> now{stateOf(w.a), stateOf(w.b), stateOf(w.c)};
            if (now == before)
                break;
            before = now;
        }
        QCOMPARE(stateOf(w.b), stateOf(w.a));
        QCOMPARE(stateOf(w.c), stateOf(w.a));
        for (Device *d : {&w.a, &w.b, &w.c}) {
            QCOMPARE(d->engine->state(), SyncEngine::Idle);
            QVERIFY(d->notes.syncState().pendingNotes().isEmpty());
            QVERIFY(d->notes.syncState().pendingDeletions().isEmpty());
            QVERIFY(d->notebooks.pendingNotebooks().isEmpty());
            QVERIFY(d->attachments.pendingAttachments().isEmpty());
        }
        const QString all = stateOf(w.a).join('\n');
        for (const QString &text : std::as_const(w.saved))
            QVERIFY2(all.contains(text), qPrintable(text));
    }

    VelmServerTest::PgCluster m_pg;
    VelmServerTest::Harness m_server;
    int m_users = 0;
};

int main(int argc, char *argv[])
{
    QTemporaryDir dir;
    VelmTest::isolate(dir);
    QCoreApplication app(argc, argv);
    int failures = 0;
    for (const bool postgres : {false, true}) {
        TestSyncConvergence test;
        test.postgres = postgres;
        qInfo("=== backend: %s", postgres ? "PostgreSQL" : "SQLite");
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures;
}

#include "tst_syncconvergence.moc"
