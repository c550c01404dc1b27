#include "velmtest.h"

#include "database.h"
#include "noterepository.h"
#include "storagefixture.h"

#include <algorithm>

using namespace StorageFixture;

// Finding notes by their words, and the to-do rows kept beside them.
class TestNoteSearch : public QObject
{
    Q_OBJECT

    RepositoryFixture m_fixture;
    std::unique_ptr<Database> &m_db = m_fixture.db;
    std::unique_ptr<NoteRepository> &m_repo = m_fixture.repo;
    const QDateTime &m_now = m_fixture.now;

private slots:
    void init()
    {
        QVERIFY(m_fixture.open());
    }
    void cleanup() { m_fixture.close(); }

    void todoSettingDefaultsToIncludedAndIsUpserted()
    {
        QVERIFY(m_repo->insert(textNote("td", "todo")));
        QVERIFY(m_repo->includeInTodos("td"));
        for (bool include : {false, true}) {
            QVERIFY(m_repo->setIncludeInTodos("td", include));
            QCOMPARE(m_repo->includeInTodos("td"), include);
        }
        QCOMPARE(scalar(*m_db, "SELECT COUNT(*) || include_in_todos FROM note_task_settings").toString(), QString("11"));
    }

    void searchMatchesPrefixesOfLiveNotesInRankOrder()
    {
        QVERIFY(m_repo->insert(textNote("live", "the elephant walks", 1)));
        QVERIFY(m_repo->insert(textNote("other", "a tiger sleeps", 2)));
        Note trashed = textNote("gone", "an elephant again", 3);
        trashed.deletedAt = kBase;
        QVERIFY(m_repo->insert(trashed));

        QCOMPARE(ids(m_repo->search().notes("ELEPH")), QStringList({"live"}));
        QVERIFY(m_repo->search().notes("phant").isEmpty());
        QCOMPARE(ids(m_repo->search().notes(" \t\n")), QStringList({"other", "live"}));
        // Expressions FTS5 accepts keep their meaning.
        QCOMPARE(ids(m_repo->search().notes("elephant OR tig")).size(), 2);
        QVERIFY(m_repo->search().notes("elephant tig").isEmpty());

        // Words of the markup are not text.
        Note bold = textNote("bold", "x", 4);
        bold.body = R"([{"insert":"heavy","attributes":{"bold":true}},{"insert":"\n"}])";
        QVERIFY(m_repo->insert(bold));
        QCOMPARE(ids(m_repo->search().notes("heavy")), QStringList({"bold"}));
        for (const char *markup : {"bold", "attributes", "insert"})
            QVERIFY2(m_repo->search().notes(markup).isEmpty(), markup);

        // The older note matches better: rank, not recency, decides.
        QVERIFY(m_repo->insert(textNote("weak", "apple among many other words about fruit and trees", 5)));
        QVERIFY(m_repo->insert(textNote("strong", "apple apple apple", 1)));
        QCOMPARE(ids(m_repo->search().notes("apple")), QStringList({"strong", "weak"}));
    }

    void searchFallsBackToQuotedWordsOnPunctuation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("apostrophe") << "don't" << "apostrophe";
        QTest::newRow("plus signs") << "c++" << "plus";
        QTest::newRow("hyphen") << "e-mail" << "hyphen";
        QTest::newRow("unbalanced quote") << "\"quarterly rep" << "quote";
        QTest::newRow("two words, last as prefix") << "don't kn" << "apostrophe";
    }
    void searchFallsBackToQuotedWordsOnPunctuation()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        for (const auto &[id, words] : QList<std::pair<QString, QString>>{{"apostrophe", "I don't know yet"},
                                                                           {"plus", "writes c++ daily"},
                                                                           {"hyphen", "send an e-mail"},
                                                                           {"quote", "the quarterly report"},
                                                                           {"decoy", "email donate report"}})
            QVERIFY(m_repo->insert(textNote(id, words)));
        QCOMPARE(ids(m_repo->search().notes(text)), QStringList({expected}));
    }

    void searchRowsPageLiveMatchesInRankOrder()
    {
        // Inserted weakest first, so neither insertion order nor its reverse is rank order.
        const QStringList ranked{"a4", "a3", "a2", "a1"};
        for (const QString id : {"a1", "a4", "a2", "a3"})
            QVERIFY(m_repo->insert(textNote(id, QString("apple ").repeated(id.mid(1).toInt()) + "pear plum fig")));
        Note trashed = textNote("trashed", "apple apple apple apple apple pear");
        trashed.deletedAt = kBase;
        QVERIFY(m_repo->insert(trashed));
        QVERIFY(m_repo->insert(textNote("quote", "can't apple")));
        QVERIFY(m_repo->softDelete("quote"));

        QStringList paged;
        for (int offset = 0; offset < 4; offset += 3)
            for (const NoteRow &row : m_repo->search().rows("pear appl", 3, offset))
                paged << row.id;
        QCOMPARE(paged, ranked);
        QCOMPARE(m_repo->search().count("appl"), 4);
        QVERIFY(m_repo->restore("quote"));
        QCOMPARE(m_repo->search().rows("can't").value(0).id, QString("quote"));
    }

    // The kept to-dos and counts against the same read from scratch.
    void todoPagesWalkEveryRowOnceInOrder_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<bool>("completed");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<int>("rows");
        QTest::newRow("by date, open") << int(TodoOrder::NoteUpdated) << false << "" << 7;
        QTest::newRow("by date, done") << int(TodoOrder::NoteUpdated) << true << "" << 2;
        QTest::newRow("by text, open") << int(TodoOrder::Alphabetical) << false << "" << 7;
        QTest::newRow("by text, filtered") << int(TodoOrder::Alphabetical) << false << "ÄPFEL" << 2;
    }
    void todoPagesWalkEveryRowOnceInOrder()
    {
        QFETCH(int, order);
        QFETCH(bool, completed);
        QFETCH(QString, needle);
        QFETCH(int, rows);
        // Same times and same texts across notes, so the ties decide too.
        QVERIFY(m_repo->insert(textNote("n1", "TODO: pear\\nTODO: äpfel kaufen\\nDONE: fig", 1)));
        QVERIFY(m_repo->insert(textNote("n2", "TODO: Äpfel\\nTODO: pear\\nDONE: kiwi", 1)));
        QVERIFY(m_repo->insert(textNote("n3", "x\\nTODO: banana\\nTODO: apple\\nTODO: cherry", 2)));
        const auto key = [](const TodoRow &row) { return row.noteId + QString::number(row.lineIndex); };
        const QList<TodoRow> all = m_repo->todoPage(TodoOrder(order), completed, needle.toCaseFolded(), {}, 100);
        QCOMPARE(all.size(), rows);
        QVERIFY(std::is_sorted(all.cbegin(), all.cend(), [order](const TodoRow &a, const TodoRow &b) {
            return NoteRepository::todoBefore(a, b, TodoOrder(order));
        }));
        QStringList paged;
        std::optional<TodoRow> after;
        for (QList<TodoRow> page; !(page = m_repo->todoPage(TodoOrder(order), completed, needle.toCaseFolded(), after, 2)).isEmpty();) {
            for (const TodoRow &row : page)
                paged << key(row);
            after = page.last();
        }
        QStringList expected;
        for (const TodoRow &row : all)
            expected << key(row);
        QCOMPARE(paged, expected);
    }

    void searchFirstScreenRanksTheNewestCandidatesAndPagesGiveEveryMatchOnce()
    {
        m_repo->search().setBounds(3, 5);
        // Rank grows with the id's number; rowids with insertion order.
        const QStringList inserted{"k9", "k1", "k8", "k2", "k7", "k3", "k6", "k4", "k5"};
        for (const QString &id : inserted)
            QVERIFY(m_repo->insert(textNote(id, QString("kiwi ").repeated(id.mid(1).toInt()) + "words to dilute it")));
        // The newest five are k7 k3 k6 k4 k5: their best three lead.
        const QStringList expected{"k7", "k6", "k5", "k9", "k8", "k4", "k3", "k2", "k1"};
        QStringList paged;
        for (int offset = 0; offset < 12; offset += 2)
            paged += ids(m_repo->search().rows("kiw", 2, offset));
        QCOMPARE(paged, expected);
        QCOMPARE(ids(m_repo->search().rows("kiw")), expected);
        QCOMPARE(ids(m_repo->search().rows("kiw", 20, 3)), expected.mid(3));

        // A write ranks again: the newest note now leads among the candidates.
        QVERIFY(m_repo->insert(textNote("k0", QString("kiwi ").repeated(20))));
        QVERIFY(m_repo->softDelete("k9"));
        QCOMPARE(ids(m_repo->search().rows("kiw", 4, 0)), QStringList({"k0", "k6", "k5", "k8"}));
        QCOMPARE(ids(m_repo->search().rows("kiw", 20, 3)), QStringList({"k8", "k7", "k4", "k3", "k2", "k1"}));
    }
};

VELM_TEST_CORE_MAIN(TestNoteSearch)
#include "tst_notesearch.moc"
