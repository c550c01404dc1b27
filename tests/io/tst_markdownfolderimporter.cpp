#include "velmtest.h"

#include "deltaruns.h"
#include "iofixture.h"
#include "markdownfolderimporter.h"

class TestMarkdownFolderImporter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<IoFixture> m_fx;
    QString m_root;
    ImportResult m_result;
    const QByteArray m_png = QByteArray("\x89PNG\r\n\x1a\npixels", 14);

    void put(const QString &relative, const QByteArray &data)
    {
        QDir().mkpath(QFileInfo(m_root + '/' + relative).path());
        QVERIFY(!IoFiles::write(m_root + '/' + relative, data).isEmpty());
    }

    // The imported note whose first line is title, with its notebook's name.
    std::optional<std::pair<Note, QString>> noteTitled(const QString &title) const
    {
        for (const Note &note : m_fx->notes->allNotes()) {
            if (noteTitle(note.body) == title)
                return std::make_pair(note, m_fx->notebooks->notebookById(note.notebookId).value_or(Notebook()).name);
        }
        return std::nullopt;
    }

private slots:
    void init()
    {
        m_fx = IoFixture::create(m_dir.path());
        QVERIFY(m_fx);
        m_root = m_dir.filePath("run-" + IoFixture::newId() + "/Vault");
        put("../secret.txt", "outside");
        put("Welcome.md", "---\ntitle: \"Hello \\\"World\\\"\"\ncreated: 2022-05-01T10:00:00Z\nupdated: 2022-05-02T11:00:00Z\n"
                          "tags: [alpha, beta]\n---\nIntro ![pic](img/pic.png) [doc](<files/doc one.pdf>) [[Second]] "
                          "[[Nowhere|gone]] [evil](../../secret.txt) ![abs](/etc/hostname) [web](https://x.org) "
                          "[sneaky](img/escape.txt) ![again](img/pic.png)\n\n- [x] done\n- [ ] todo\n\n---\n\nend\n");
        put("img/pic.png", m_png);
        put("files/doc one.pdf", "%PDF");
        QVERIFY(QFile::link(m_root + "/../secret.txt", m_root + "/img/escape.txt"));
        put("Projects/Second.md", "# Second\n\nBack to [home](../Welcome.md).\n");
        put("Projects/Deep/Third.md", "just text\n");
        put("plain.txt", "line one\nline two\n");
        put(".obsidian/workspace.md", "hidden");
        m_result = importMarkdownFolder(m_root, m_fx->repositories());
    }

    void cleanup() { m_fx.reset(); }

    void filesArriveAsNotesInNotebooks_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("notebook");
        QTest::addColumn<QStringList>("runs"); // consecutive, after the title line
        QTest::newRow("front matter") << "Hello \"World\"" << "Vault" << QStringList{"Intro "};
        QTest::newRow("heading") << "Second" << "Projects" << QStringList{"Back to "};
        QTest::newRow("file name") << "Third" << "Projects / Deep" << QStringList{"just text", "\n"};
        QTest::newRow("text file") << "plain" << "Vault" << QStringList{"line one", "\n", "line two", "\n"};
    }

    void filesArriveAsNotesInNotebooks()
    {
        QFETCH(QString, title);
        QFETCH(QString, notebook);
        QFETCH(QStringList, runs);
        QCOMPARE(m_result.imported, 4);
        const auto found = noteTitled(title);
        QVERIFY(found);
        QCOMPARE(found->second, notebook);
        const QStringList all = deltaRuns(found->first.body);
        QCOMPARE(all.mid(2, runs.size()), runs);
    }

    void linksBecomeAttachmentsAndNoteLinks()
    {
        QCOMPARE(m_result.attachments, 2);
        QCOMPARE(m_result.errors, 3); // "..", an absolute path and a symbolic link out
        const auto welcome = noteTitled("Hello \"World\"");
        const auto second = noteTitled("Second");
        QVERIFY(welcome && second);
        QCOMPARE(welcome->first.createdAt, QDateTime(QDate(2022, 5, 1), QTime(10, 0), Qt::UTC));
        QCOMPARE(welcome->first.updatedAt, QDateTime(QDate(2022, 5, 2), QTime(11, 0), Qt::UTC));
        const QList<Attachment> attachments = m_fx->attachments->attachmentsForNote(welcome->first.id);
        QCOMPARE(attachments.size(), 2);
        QHash<QString, QString> embeds;
        for (const Attachment &a : attachments)
            embeds.insert(a.filename, QString("[velmora-notes-attachment:%1]").arg(attachmentUrl(a.id)));
        QCOMPARE(IoFiles::read(AttachmentRepository::filePath(attachments.first().id)).isEmpty(), false);
        const QStringList runs = deltaRuns(welcome->first.body);
        const QString toSecond = QString("{\"link\":\"velmora-notes://note/%1\"}").arg(second->first.id);
        const QStringList expected{"Intro ", embeds.value("pic.png"), " ", embeds.value("doc one.pdf"), " ",
                                   "Second " + toSecond, " gone evil abs ", "web {\"link\":\"https://x.org\"}", " sneaky ",
                                   embeds.value("pic.png"), "\n", "done", "\n {\"list\":\"checked\"}", "todo",
                                   "\n {\"list\":\"unchecked\"}", "[divider:]", "\n", "end", "\n", "Tags: alpha, beta"};
        QCOMPARE(runs.mid(2, expected.size()), expected);
        QVERIFY(deltaRuns(second->first.body).contains(
            QString("home {\"link\":\"velmora-notes://note/%1\"}").arg(welcome->first.id)));
    }

    void aZipOfAFolderImportsTheSame()
    {
        const QString zip = IoFiles::writeZip(m_dir.filePath("export.zip"),
                                              {{"Notes/a.md", "# A\n\n![p](p.png)\n"}, {"Notes/p.png", m_png},
                                               {"Notes/Sub/b.md", "[[A]]"}, {"../c.md", "escape"}});
        QVERIFY(!zip.isEmpty());
        const auto fx = IoFixture::create(m_dir.path());
        const ImportResult result = importMarkdownFolder(zip, fx->repositories());
        QCOMPARE(result.imported, 2);
        QCOMPARE(result.attachments, 1);
        QCOMPARE(result.errors, 1); // the entry climbing out
        QStringList names;
        for (const Notebook &n : fx->notebooks->allNotebooks())
            names << n.name;
        names.sort();
        QCOMPARE(names, QStringList({"Notes", "Sub"}));
    }
};

VELM_TEST_MAIN(TestMarkdownFolderImporter)
#include "tst_markdownfolderimporter.moc"
