// Two devices edit one note between syncs: edits that do not meet merge by
// themselves and go out in the same cycle; edits of the same text leave a
// conflict copy, as before. On both server back ends.
#include "appstate.h"
#include "serverharness.h"
#include "syncdevice.h"
#include "velmtest.h"

using namespace VelmSyncTest;

namespace {

void save(Device &d, const QString &id, const QString &body)
{
    Note note = *d.notes.noteById(id);
    note.body = body;
    note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    note.version += 1;
    note.syncStatus = SyncStatus::Pending;
    QVERIFY(d.notes.update(note));
}

} // namespace

class TestSyncMerge : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_servers[0].start(QString(), &error), qPrintable(error));
        QVERIFY2(m_pg.start(&error), qPrintable(error));
        QVERIFY2(m_servers[1].start(m_pg.url(), &error), qPrintable(error));
    }

    void editsOnTwoDevices_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("first");  // saved and synced on A first
        QTest::addColumn<QString>("second"); // saved on B, which meets A's edit
        QTest::addColumn<QString>("merged"); // empty: a conflict
        const auto rows = [](const char *name, const QString &base, const QString &first, const QString &second,
                             const QString &merged) {
            for (const bool postgres : {false, true})
                QTest::addRow("%s, %s", name, postgres ? "PostgreSQL" : "SQLite") << postgres << base << first << second << merged;
        };
        rows("both add a paragraph",
             R"([{"insert":"Plan"},{"insert":"\n"}])",
             R"([{"insert":"Plan"},{"insert":"\n"},{"insert":"from a"},{"insert":"\n"}])",
             R"([{"insert":"Plan"},{"insert":"\n"},{"insert":"from b"},{"insert":"\n"}])",
             R"([{"insert":"Plan"},{"insert":"\n"},{"insert":"from a"},{"insert":"\n"},{"insert":"from b"},{"insert":"\n"}])");
        rows("one edits the start, the other the end",
             R"([{"insert":"one two three"},{"insert":"\n"},{"insert":"last line"},{"insert":"\n"}])",
             R"([{"attributes":{"bold":true},"insert":"One"},{"insert":" two three"},{"insert":"\n"},{"insert":"last line"},{"insert":"\n"}])",
             R"([{"insert":"one two three"},{"insert":"\n"},{"insert":"last line"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"added"},{"insert":"\n"}])",
             R"([{"attributes":{"bold":true},"insert":"One"},{"insert":" two three"},{"insert":"\n"},{"insert":"last line"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"added"},{"insert":"\n"}])");
        rows("one bolds a word the other retyped",
             R"([{"insert":"say hello"},{"insert":"\n"}])",
             R"([{"insert":"say "},{"attributes":{"bold":true},"insert":"hello"},{"insert":"\n"}])",
             R"([{"insert":"say howdy"},{"insert":"\n"}])", QString());
    }
    void editsOnTwoDevices()
    {
        QFETCH(bool, postgres);
        QFETCH(QString, base);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, merged);
        VelmServerTest::Harness &server = m_servers[postgres];
        const QString email = QStringLiteral("merge%1@example.org").arg(++m_users);
        const auto ta = server.signIn(email, true);
        const auto tb = server.signIn(email, false);
        Device a(server.port(), ta.access, ta.refresh);
        Device b(server.port(), tb.access, tb.refresh);
        a.use();
        Note note = a.addNote(QString());
        save(a, note.id, base);
        QVERIFY(a.sync() && b.sync());
        QCOMPARE(b.notes.noteById(note.id)->body, base);

        a.use();
        save(a, note.id, first);
        QVERIFY(a.sync());
        b.use();
        save(b, note.id, second);
        QVERIFY(b.sync());

        if (merged.isEmpty()) {
            // The server's text wins the note; B's text lives on as a copy.
            QCOMPARE(b.notes.noteById(note.id)->body, first);
            QCOMPARE(b.notes.allNotes().size(), 2);
            QVERIFY(b.liveTexts().join('\n').contains("(conflict "));
        } else {
            QCOMPARE(b.notes.noteById(note.id)->body, merged);
            QCOMPARE(b.notes.allNotes().size(), 1);
        }
        // Pushed in the cycle that merged it: nothing waits, and A gets it next.
        QVERIFY(b.notes.syncState().pendingNotes().isEmpty());
        QVERIFY(a.sync());
        QCOMPARE(a.notes.noteById(note.id)->body, b.notes.noteById(note.id)->body);
        QCOMPARE(a.liveTexts(), b.liveTexts());
        // The next edits merge from the merged text.
        QCOMPARE(b.notes.syncState().mergeBase(note.id)->body, b.notes.noteById(note.id)->body);
    }

    void baseFollowsTheNoteAndGoesWithIt_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("SQLite") << false;
        QTest::newRow("PostgreSQL") << true;
    }
    void baseFollowsTheNoteAndGoesWithIt()
    {
        QFETCH(bool, postgres);
        VelmServerTest::Harness &server = m_servers[postgres];
        const QString email = QStringLiteral("merge%1@example.org").arg(++m_users);
        const auto tokens = server.signIn(email, true);
        Device a(server.port(), tokens.access, tokens.refresh);
        const Note note = a.addNote("kept");
        QVERIFY(!a.notes.syncState().mergeBase(note.id));
        QVERIFY(a.sync());
        QCOMPARE(a.notes.syncState().mergeBase(note.id)->body, textBody("kept"));
        // A save alone leaves the base where the server confirmed it.
        a.edit(note.id, "changed");
        QCOMPARE(a.notes.syncState().mergeBase(note.id)->body, textBody("kept"));
        QVERIFY(a.sync());
        QCOMPARE(a.notes.syncState().mergeBase(note.id)->body, textBody("changed"));
        QCOMPARE(a.notes.syncState().mergeBase(note.id)->version, a.notes.noteById(note.id)->version);
        QVERIFY(a.notes.purge(note.id));
        QVERIFY(!a.notes.syncState().mergeBase(note.id));
    }

    // A pulled note's search row comes from the background fill; its list
    // texts and to-dos come with the merge itself.
    void pulledNotesAreFoundOnceFilled()
    {
        VelmServerTest::Harness &server = m_servers[0];
        const QString email = QStringLiteral("merge%1@example.org").arg(++m_users);
        const auto ta = server.signIn(email, true);
        const auto tb = server.signIn(email, false);
        Device a(server.port(), ta.access, ta.refresh);
        Device b(server.port(), tb.access, tb.refresh);
        a.database.setTextExtractor(noteTextOfBody);
        b.database.setTextExtractor(noteTextOfBody);
        a.use();
        const auto todoBody = [](const QString &word) {
            return QStringLiteral(R"([{"insert":"Shopping %1"},{"insert":"\n"},{"insert":"buy %1"},)"
                                  R"({"attributes":{"list":"unchecked"},"insert":"\n"}])").arg(word);
        };
        Note note = a.addNote(QString());
        save(a, note.id, todoBody("zebrafish"));
        for (int i = 0; i < 60; ++i)
            a.addNote(QStringLiteral("filler %1").arg(i));
        QVERIFY(a.sync() && b.sync());
        const auto found = [&b](const QString &word) { return b.notes.search().notes(word).size(); };
        QSqlQuery title(b.database.database());
        QVERIFY(title.exec(QStringLiteral("SELECT title FROM notes WHERE id = '%1'").arg(note.id)) && title.next());
        QCOMPARE(title.value(0).toString(), QStringLiteral("Shopping zebrafish"));
        title.finish(); // a statement left open would keep reading the file as it was
        QCOMPARE(b.notes.todoPage(TodoOrder::NoteUpdated, false, {}, {}, 10).size(), 1);
        QTRY_COMPARE(BodyBackfill::pendingCount(b.database.database()), 0);
        QCOMPARE(found("zebrafish"), 1);
        QCOMPARE(found("filler"), 60);

        // The old row answers until the new one replaces it.
        save(a, note.id, todoBody("axolotl"));
        QVERIFY(a.sync() && b.sync());
        QCOMPARE(b.notes.todoPage(TodoOrder::NoteUpdated, false, {}, {}, 10).first().text, QStringLiteral("buy axolotl"));
        QTRY_COMPARE(BodyBackfill::pendingCount(b.database.database()), 0);
        QTRY_COMPARE(found("axolotl"), 1);
        QCOMPARE(found("zebrafish"), 0);
    }

private:
    VelmServerTest::PgCluster m_pg;
    VelmServerTest::Harness m_servers[2]; // SQLite, PostgreSQL
    int m_users = 0;
};

int main(int argc, char *argv[])
{
    QTemporaryDir dir;
    VelmTest::isolate(dir);
    QCoreApplication app(argc, argv);
    TestSyncMerge test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_syncmerge.moc"
