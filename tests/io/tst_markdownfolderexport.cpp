#include "velmtest.h"

#include "deltaimport.h"
#include "deltaruns.h"
#include "iofixture.h"
#include "markdownfolderexport.h"
#include "markdownfolderimporter.h"

#include <QJsonArray>
#include <QJsonObject>

class TestMarkdownFolderExport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<IoFixture> m_fx;
    QString m_work;
    const QByteArray m_png = QByteArray("\x89PNG\r\n\x1a\npixels", 14);

    Note add(const QString &markdown, const QString &notebookId, const QJsonArray &more = {})
    {
        QJsonArray delta = markdownToDelta(markdown);
        for (const QJsonValue &op : more)
            delta.append(op);
        return m_fx->addNote(deltaToJson(delta), notebookId);
    }

    // Runs with attachment URLs as "file name:bytes" and note links as the target's title.
    static QStringList comparable(const IoFixture &fx, const Note &note)
    {
        QStringList out;
        for (QString run : deltaRuns(note.body)) {
            const qsizetype at = run.indexOf(kAttachmentUrlPrefix);
            if (at >= 0) {
                const QString id = run.mid(at + qstrlen(kAttachmentUrlPrefix)).chopped(1);
                const Attachment a = fx.attachments->attachmentById(id).value_or(Attachment());
                run = run.left(at) + a.filename + ":" + IoFiles::read(AttachmentRepository::filePath(id)) + "]";
            }
            const qsizetype link = run.indexOf("velmora-notes://note/");
            if (link >= 0) {
                const QString id = run.mid(link + 21, 36);
                run.replace(link, 21 + 36, noteTitle(fx.notes->noteById(id).value_or(Note()).body));
            }
            out << run;
        }
        return out;
    }

private slots:
    void init()
    {
        m_fx = IoFixture::create(m_dir.path());
        QVERIFY(m_fx);
        Notebook work;
        work.id = IoFixture::newId();
        work.name = "Work";
        work.createdAt = work.updatedAt = IoFixture::at(1);
        QVERIFY(m_fx->notebooks->insert(work));
        m_work = work.id;
        const Note other = add("Other\n\nplain first line", m_work);
        const QString pic = IoFixture::newId();
        const QString pdf = IoFixture::newId();
        const QJsonArray extras{QJsonObject{{"insert", "done"}},
                                QJsonObject{{"insert", "\n"}, {"attributes", QJsonObject{{"list", "checked"}}}},
                                QJsonObject{{"insert", QJsonObject{{"divider", true}}}}, QJsonObject{{"insert", "\n"}},
                                QJsonObject{{"insert", QJsonObject{{"velmora-notes-attachment", attachmentUrl(pdf)}}}},
                                QJsonObject{{"insert", "\n"}}};
        const Note plan = add("# Plan \"Q3\"\n\n**bold** *it* [site](https://x.org) [other](velmora-notes://note/" + other.id
                                  + ")\n\n- item\n\n![](velmora-notes://attachment/" + pic + ")\n",
                              m_work, extras);
        for (const auto &[id, name, mime, bytes] : {std::tuple{pic, QString("my pic.png"), QString("image/png"), m_png},
                                                    std::tuple{pdf, QString("doc [1].pdf"), QString("application/pdf"), QByteArray("%PDF")}}) {
            Attachment a;
            a.id = id;
            a.noteId = plan.id;
            a.filename = name;
            a.mimeType = mime;
            a.sizeBytes = bytes.size();
            a.createdAt = IoFixture::at(2);
            QVERIFY(m_fx->attachments->saveFile(a.id, bytes));
            QVERIFY(m_fx->attachments->insert(a));
        }
        add("Same", m_work);
        add("same", m_work);
        add("a/b:c?", m_work);
        add("Loose", {});
        Note trashed = add("Gone", {});
        trashed.deletedAt = IoFixture::at(3);
        QVERIFY(m_fx->notes->update(trashed));
    }

    void cleanup() { m_fx.reset(); }

    void everythingGoesToAFolderUnderSafeUniqueNames()
    {
        QSignalSpy none(this, &QObject::destroyed);
        int reports = 0;
        const FolderExportResult result = exportMarkdownFolder(m_fx->repositories(), std::nullopt, m_dir.filePath("out"),
                                                               [&](int, int total, const QString &) { reports += total == 6; });
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.notes, 6);
        QCOMPARE(result.attachments, 2);
        QVERIFY(reports >= 1);
        QStringList tree = IoFiles::tree(result.path); // which of "Same" and "same" comes first is open
        std::transform(tree.begin(), tree.end(), tree.begin(), [](const QString &path) { return path.toLower(); });
        tree.sort();
        QCOMPARE(tree, QStringList({"loose.md", "work/abc.md", "work/attachments/doc [1].pdf", "work/attachments/my pic.png",
                                    "work/other.md", "work/plan q3.md", "work/same (2).md", "work/same.md"}));
        const QString plan = QString::fromUtf8(IoFiles::read(result.path + "/Work/Plan Q3.md"));
        QVERIFY2(plan.startsWith("---\ntitle: \"Plan \\\"Q3\\\"\"\ncreated: 2026-03-01T10:20:30.000Z\n"
                                 "updated: 2026-03-01T10:20:30.500Z\nnotebook: \"Work\"\n---\n# Plan \"Q3\"\n"), qPrintable(plan));
        QVERIFY(plan.contains("![my pic.png](attachments/my%20pic.png)"));
        QVERIFY(plan.contains("[doc \\[1\\].pdf](attachments/doc%20%5B1%5D.pdf)"));
        QVERIFY2(plan.contains("[other](Other.md)"), qPrintable(plan));
        // A second export never writes into the first.
        QCOMPARE(exportMarkdownFolder(m_fx->repositories(), std::nullopt, m_dir.filePath("out")).path,
                 m_dir.filePath("out (2)"));
    }

    void aNotebookGoesToAZipAndComesBackTheSame()
    {
        const QString zip = m_dir.filePath("work.zip");
        const FolderExportResult result = exportMarkdownFolder(m_fx->repositories(), m_work, zip);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.notes, 5);
        QVERIFY(IoFiles::readZip(zip).contains("attachments/my pic.png"));

        QHash<QString, QStringList> expected; // read before the data folder moves to the new database
        for (const Note &note : m_fx->notes->notesInNotebook(m_work))
            expected.insert(noteTitle(note.body), comparable(*m_fx, note));
        const auto back = IoFixture::create(m_dir.path());
        const ImportResult imported = importMarkdownFolder(zip, back->repositories());
        QCOMPARE(imported.imported, 5);
        QCOMPARE(imported.attachments, 2);
        QCOMPARE(imported.errors, 0);
        QHash<QString, Note> byTitle;
        for (const Note &note : back->notes->allNotes())
            byTitle.insert(noteTitle(note.body), note);
        for (const Note &note : m_fx->notes->notesInNotebook(m_work)) {
            const QString title = noteTitle(note.body);
            QVERIFY2(byTitle.contains(title), qPrintable(title));
            QCOMPARE(comparable(*back, byTitle.value(title)), expected.value(title));
            QCOMPARE(byTitle.value(title).createdAt, note.createdAt);
            QCOMPARE(byTitle.value(title).updatedAt, note.updatedAt);
        }
    }
};

VELM_TEST_MAIN(TestMarkdownFolderExport)
#include "tst_markdownfolderexport.moc"
