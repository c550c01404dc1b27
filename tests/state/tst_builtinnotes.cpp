#include "velmtest.h"

#include "../storage/storagefixture.h"

#include "builtinnotes.h"
#include "converters.h"
#include "delta.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "tasks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
        const QDateTime before = QDateTime::currentDateTimeUtc();
        createWelcomeNotes(m_prefs.get(), m_notes.get());
        createWelcomeNotes(m_prefs.get(), m_notes.get());

        const QList<Note> notes = m_notes->allNotes();
        QStringList titles;
        for (const Note &note : notes)
            titles << noteTitle(note.body);
        QCOMPARE(titles, QStringList({"Welcome to Velmora Notes", "Getting Started", "Trip Packing List"}));
        QCOMPARE(m_prefs->get("has_seen_welcome"), std::optional<QString>("1"));

        // Samples that are never uploaded: synced, so nothing is pending.
        QVERIFY(m_notes->pendingNotes().isEmpty());
        QSet<QString> ids;
        for (const Note &note : notes) {
            QVERIFY(note.isSample);
            QCOMPARE(note.syncStatus, SyncStatus::Synced);
            QVERIFY(note.notebookId.isEmpty());
            QCOMPARE(note.id.size(), 36);
            ids.insert(note.id);
            QVERIFY(note.createdAt == note.modifiedAt && note.createdAt >= before.addMSecs(-1));
        }
        QCOMPARE(ids.size(), 3);
        QCOMPARE(notes[1].updatedAt.msecsTo(notes[0].updatedAt), 100);
        QCOMPARE(notes[2].updatedAt.msecsTo(notes[1].updatedAt), 100);
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

    void packingListIsAChecklist()
    {
        createWelcomeNotes(m_prefs.get(), m_notes.get());
        const std::optional<Note> note = noteTitled("Trip Packing List");
        QVERIFY(note);
        const QList<Task> tasks = extractTasks(note->id, note->body, note->updatedAt);
        QStringList done;
        QStringList open;
        for (const Task &task : tasks) {
            QCOMPARE(task.source, TaskSource::Checklist);
            (task.isCompleted ? done : open) << task.text;
        }
        QCOMPARE(done, QStringList({"Passport and ID", "Phone charger", "Wallet and cards", "T-shirts (4)"}));
        QCOMPARE(open, QStringList({"Travel insurance docs", "Pants (2)", "Jacket", "Comfortable walking shoes",
                                    "Toothbrush", "Sunscreen", "Medications"}));

        const QString markdown = convertBody(note->body, ExportFormat::Markdown);
        QVERIFY2(markdown.startsWith("# Trip Packing List\n\n**Essentials**\n\n- [x] Passport and ID\n"), qPrintable(markdown));
        QVERIFY(markdown.endsWith("\n\nAll tasks appear in the To-Dos view in the menu!\n"));
    }

    void gettingStartedShowsOffTheEditor()
    {
        createWelcomeNotes(m_prefs.get(), m_notes.get());
        const std::optional<Note> note = noteTitled("Getting Started");
        QVERIFY(note);
        const QString body = note->body;
        QVERIFY(body.startsWith(R"([{"insert":"Getting Started"},{"attributes":{"header":1},"insert":"\n"})"));

        const QString markdown = convertBody(body, ExportFormat::Markdown);
        for (const char *label : {"Just Type", "Instant Search", "Rich Text", "Notebooks", "Attachments",
                                  "Offline First", "Sync Across Devices", "Export"})
            QVERIFY2(markdown.contains(QStringLiteral("\n\n**%1**\n\n").arg(label)), label);
        QVERIFY(markdown.contains("\n\n---\n\n"));

        const std::optional<Note> welcome = noteTitled("Welcome to Velmora Notes");
        QVERIFY(welcome);
        QVERIFY(convertBody(welcome->body, ExportFormat::Markdown).contains("\n\n**Try it now**"));
    }

    void sampleNotes()
    {
        QCOMPARE(createSampleNotes(nullptr), 0);

        const QDateTime now = QDateTime::currentDateTimeUtc();
        QCOMPARE(createSampleNotes(m_notes.get()), 7);

        const QList<std::pair<int, QString>> expected = {
            {0, "Things to Remember"},
            {1, "Weekly Team Sync - Project Atlas"},
            {2, "Weekly Journal - Friday Check-In"},
            {8, "Clipped Article - New Noise-Canceling Headphones Reviewed"},
            {14, "Gadget Notes - Portable E-Ink Tablet"},
            {21, "Dinner Recipe - Sheet Pan Lemon Chicken"},
            {28, "Book Draft - Chapter 4: The Cost of Convenience"},
        };
        const QList<Note> notes = m_notes->allNotes();
        QCOMPARE(notes.size(), 7);
        QCOMPARE(m_notes->pendingNotes().size(), 7);
        for (const auto &[days, title] : expected) {
            const std::optional<Note> note = noteTitled(title);
            QVERIFY2(note, qPrintable(title));
            QVERIFY(note->isSample);
            QCOMPARE(note->syncStatus, SyncStatus::Pending);
            QVERIFY(note->notebookId.isEmpty());
            // "## " title line read by the line-based reader.
            QVERIFY(note->body.startsWith(QStringLiteral(R"([{"insert":"%1"},{"attributes":{"header":2},"insert":"\n"})").arg(title)));
            const QDateTime latest = now.addDays(-days).addSecs(60);
            const QDateTime earliest = now.addDays(-days).addSecs(-12 * 3600);
            QVERIFY2(note->updatedAt <= latest && note->updatedAt > earliest, qPrintable(title));
            QCOMPARE(note->createdAt, note->updatedAt);
            QCOMPARE(note->modifiedAt, note->updatedAt);
        }

        // Check boxes typed as Markdown become real check-list items here.
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
