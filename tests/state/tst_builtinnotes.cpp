#include "velmtest.h"

#include "../storage/storagefixture.h"

#include "builtinnotes.h"
#include "converters.h"
#include "delta.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "tasks.h"

using namespace StorageFixture;

class TestBuiltInNotes : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<NoteRepository> m_notes;
    std::unique_ptr<PreferencesRepository> m_prefs;

    std::optional<Note> noteTitled(const QString &title) const
    {
        for (const Note &note : m_notes->allNotes()) {
            if (noteTitle(note.body) == title)
                return note;
        }
        return std::nullopt;
    }

private slots:
    void init()
    {
        m_db = openFreshDatabase();
        QVERIFY(m_db);
        m_notes = std::make_unique<NoteRepository>(m_db.get());
        m_prefs = std::make_unique<PreferencesRepository>(m_db.get());
    }

    void cleanup()
    {
        m_notes.reset();
        m_prefs.reset();
        m_db.reset();
    }

    void welcomeNotesAreCreatedOnce()
    {
        createWelcomeNotes(m_prefs.get(), m_notes.get());
        createWelcomeNotes(m_prefs.get(), m_notes.get());
        const QList<Note> notes = m_notes->allNotes();
        QCOMPARE(notes.size(), 3);
        QCOMPARE(noteTitle(notes.first().body), QStringLiteral("Welcome to Velmora Notes"));
        QVERIFY(m_prefs->getBool("has_seen_welcome"));
        // Samples that are never uploaded: synced, so nothing is pending.
        QVERIFY(m_notes->syncState().pendingNotes().isEmpty());
        for (const Note &note : notes)
            QVERIFY(note.isSample && note.syncStatus == SyncStatus::Synced);
    }

    void welcomeNotesRespectThePreference()
    {
        m_prefs->setBool("has_seen_welcome", true);
        createWelcomeNotes(m_prefs.get(), m_notes.get());
        createWelcomeNotes(nullptr, m_notes.get());
        QCOMPARE(m_notes->allNotes().size(), 0);

        // Without notes nothing is marked seen; failed inserts still are.
        m_prefs->setBool("has_seen_welcome", false);
        createWelcomeNotes(m_prefs.get(), nullptr);
        QVERIFY(!m_prefs->getBool("has_seen_welcome", true));
        QVERIFY(run(*m_db, "DROP TABLE notes"));
        createWelcomeNotes(m_prefs.get(), m_notes.get());
        QVERIFY(m_prefs->getBool("has_seen_welcome"));
    }

    // The bodies are written by hand: they must read back as the structures
    // they show off, not as literal Markdown.
    void builtInBodiesReadAsTheirStructures()
    {
        createWelcomeNotes(m_prefs.get(), m_notes.get());
        const std::optional<Note> packing = noteTitled("Trip Packing List");
        QVERIFY(packing);
        const QList<Task> tasks = extractTasks(packing->id, packing->body, packing->updatedAt);
        QVERIFY(tasks.size() > 3);
        int done = 0;
        for (const Task &task : tasks) {
            QCOMPARE(task.source, TaskSource::Checklist);
            done += task.isCompleted;
        }
        QVERIFY(done > 0 && done < tasks.size());
        const std::optional<Note> started = noteTitled("Getting Started");
        QVERIFY(started);
        const QString markdown = convertBody(started->body, ExportFormat::Markdown);
        QVERIFY2(markdown.startsWith("# Getting Started\n") && markdown.contains("\n\n---\n\n"), qPrintable(markdown));
    }

    void sampleNotes()
    {
        QCOMPARE(createSampleNotes(nullptr), 0);
        QCOMPARE(createSampleNotes(m_notes.get()), 7);
        QCOMPARE(m_notes->syncState().pendingNotes().size(), 7);
        QSet<QDate> days;
        for (const Note &note : m_notes->allNotes()) {
            // A "## " title line, read by the line-based reader.
            QVERIFY2(note.body.contains(R"({"attributes":{"header":2},"insert":"\n"})"), qPrintable(note.body));
            days.insert(note.updatedAt.date());
        }
        QVERIFY(days.size() > 3); // spread over the past weeks

        // Check boxes typed as Markdown become real check-list items.
        const std::optional<Note> first = noteTitled("Things to Remember");
        QVERIFY(first);
        const QList<Task> tasks = extractTasks(first->id, first->body, first->updatedAt);
        QVERIFY(tasks.size() >= 3);
        QCOMPARE(tasks.first().source, TaskSource::Checklist);

        QCOMPARE(createSampleNotes(m_notes.get()), 7); // new ids every time
        QCOMPARE(m_notes->allNotes().size(), 14);
    }
};

VELM_TEST_MAIN(TestBuiltInNotes)
#include "tst_builtinnotes.moc"
