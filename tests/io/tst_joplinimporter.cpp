#include "velmtest.h"

#include "delta.h"
#include "iofixture.h"
#include "joplinimporter.h"
#include "tarbuilder.h"

namespace {

QString hexId(char c)
{
    return QString(32, QLatin1Char(c));
}

// Text runs of a body with their attributes, embeds as "[kind:value]".
QStringList runs(const QString &body)
{
    QStringList out;
    for (const DeltaOp &op : parseDeltaJson(body)) {
        if (op.type == DeltaOp::InsertEmbed) {
            out << QString("[%1:%2]").arg(op.embedKind(), op.embedValue());
            continue;
        }
        QString run = op.text;
        if (!op.attributes.isEmpty())
            run += " " + QString::fromUtf8(QJsonDocument(op.attributes).toJson(QJsonDocument::Compact));
        out << run;
    }
    return out;
}

} // namespace

class TestJoplinImporter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<IoFixture> m_fx;

    QString writeBytes(const QString &name, const QByteArray &data) { return IoFiles::write(m_dir.filePath(name), data); }

private slots:
    void init()
    {
        m_fx = IoFixture::create(m_dir.path());
        QVERIFY(m_fx);
    }

    void cleanup() { m_fx.reset(); }

    void itemsAreSplitIntoTextAndMetadata()
    {
        const JoplinItem item = parseJoplinItem("Groceries\r\n\r\nMilk\r\nEggs\r\n\r\nid: " + hexId('a')
                                                + "\r\nparent_id: \r\ncreated_time: 2024-01-02T03:04:05.678Z"
                                                  "\r\nupdated_time: 2024-01-02T03:04:05Z"
                                                  "\r\nis_todo: 1\r\ntodo_completed: 1706781600000"
                                                  "\r\nmarkup_language: 2\r\ntype_: 1");
        QCOMPARE(item.id, hexId('a'));
        QCOMPARE(item.title, QString("Groceries"));
        QCOMPARE(item.text, QString("Milk\nEggs"));
        // An empty value does not swallow the line after it.
        QCOMPARE(item.parentId, QString());
        QCOMPARE(item.type, int(JoplinItem::Note));
        QCOMPARE(item.markupLanguage, 2);
        QVERIFY(item.isTodo);
        QCOMPARE(item.createdTime, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 678), Qt::UTC));
        QCOMPARE(item.updatedTime, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC));

        // Times may be millisecond counts; zero is no time.
        const JoplinItem folder = parseJoplinItem("id: " + hexId('b') + "\ncreated_time: 1706781600000\nupdated_time: 0\ntype_: 2");
        QCOMPARE(folder.createdTime, QDateTime(QDate(2024, 2, 1), QTime(10, 0), Qt::UTC));
        QVERIFY(!folder.updatedTime.isValid());
        QCOMPARE(folder.type, int(JoplinItem::Folder));
        QCOMPARE(folder.title, QString());
    }

    void repeatedTitlesAreRemoved_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("text");
        QTest::newRow("title line only") << "Plan\n\nBody" << "Body";
        QTest::newRow("title line and same heading") << "Plan\n\n# Plan\n\nBody" << "Body";
        QTest::newRow("heading with a dash suffix") << "Plan\n\n# Plan - 2024\n\nBody" << "Body";
        QTest::newRow("heading with an en dash suffix") << "Plan\n\n# Plan \u2013 draft\nBody" << "Body";
        QTest::newRow("heading that only starts alike") << "Plan\n\n# Planning\n\nBody" << "# Planning\n\nBody";
        QTest::newRow("other heading kept") << "Plan\n\n## Plan\n\nBody" << "## Plan\n\nBody";
        QTest::newRow("title from metadata differs") << "First\nBody\n\nid: x\ntitle: Other" << "First\nBody";
    }

    void repeatedTitlesAreRemoved()
    {
        QFETCH(QString, content);
        QFETCH(QString, text);
        QString full = content;
        if (!full.contains("\n\nid: "))
            full += "\n\nid: " + hexId('c') + "\ntype_: 1";
        QCOMPARE(parseJoplinItem(full).text, text);
    }

    void anArchiveBecomesNotebooksNotesAndAttachments()
    {
        const QString folder = hexId('f');
        const QString emptyFolder = hexId('e');
        const QString photo = hexId('1');
        const QString manual = hexId('2');
        const QString missing = hexId('3');
        const QString readme = hexId('4');
        const QByteArray photoBytes("\x89PNG\r\n\x1a\nphoto", 13);

        TarBuilder tar;
        tar.add(folder + ".md", ("Projects\n\nid: " + folder + "\ncreated_time: 2024-01-02T03:04:05.678Z\n"
                                 "updated_time: \nparent_id: \ntype_: 2").toUtf8());
        tar.add(emptyFolder + ".md", ("id: " + emptyFolder + "\nparent_id: \ntype_: 2").toUtf8());
        tar.add(hexId('a') + ".md",
                ("Trip plan\n\n# Trip plan\n\nTake **boots**.\n\n- [x] pack\n- [ ] buy\n\n```\nls -l\n```\n\n![photo](:/" + photo + ")\n\n[manual](:/" + manual
                 + ")\n\n[notes](:/" + readme + ")\n\nSee [later](:/" + missing + ") and [again](:/" + manual + ")\n\nid: " + hexId('a')
                 + "\nparent_id: " + folder
                 + "\ncreated_time: 2024-02-01T10:00:00.000Z\nupdated_time: 1706785200000\nis_todo: 0\n"
                   "markup_language: 1\ntype_: 1")
                    .toUtf8());
        tar.add(hexId('b') + ".md", ("Web clip\n\n<p>Hello <b>world</b></p>\n<p><img src=\":/" + photo
                                     + "\"></p>\n\nid: " + hexId('b') + "\nparent_id: " + hexId('9')
                                     + "\nmarkup_language: 2\ntype_: 1")
                                        .toUtf8());
        tar.add(photo + ".md", ("photo.png\n\nid: " + photo + "\nmime: image/png\nfile_extension: png\n"
                                "created_time: 2024-01-05T00:00:00.000Z\ntype_: 4").toUtf8());
        tar.add(manual + ".md", ("id: " + manual + "\nmime: \nfile_extension: pdf\ntype_: 4").toUtf8());
        tar.add(missing + ".md", ("gone.txt\n\nid: " + missing + "\nfile_extension: txt\ntype_: 4").toUtf8());
        tar.add(readme + ".md", ("readme.md\n\nid: " + readme + "\nmime: text/markdown\nfile_extension: md\ntype_: 4").toUtf8());
        tar.add("resources/" + readme + ".md", "id: " + hexId('5').toUtf8() + "\ntype_: 2");
        tar.add("resources", {}, '5');
        tar.add("resources/" + photo + ".png", photoBytes);
        tar.add("resources/" + manual, "manual bytes");
        tar.add("../outside.md", "Evil\n\nid: " + hexId('d').toUtf8() + "\ntype_: 1");
        const QString path = writeBytes("export.jex", tar.finish());

        QStringList labels;
        const ImportResult result = importJoplin(path, m_fx->repositories(),
                                                 [&labels](int, int, const QString &label) { labels << label; });
        QCOMPARE(result.error, QString());
        QCOMPARE(result.imported, 2);
        QCOMPARE(result.attachments, 4);
        QCOMPARE(result.errors, 2); // the entry that climbs out, the resource without data
        QVERIFY(labels.contains("Importing: Trip plan"));

        const QList<Notebook> notebooks = m_fx->notebooks->allNotebooks();
        QCOMPARE(notebooks.size(), 2);
        QCOMPARE(notebooks.at(0).name, QString("Imported Folder"));
        QCOMPARE(notebooks.at(1).name, QString("Projects"));
        QCOMPARE(notebooks.at(1).createdAt, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 678), Qt::UTC));
        QCOMPARE(notebooks.at(1).updatedAt, notebooks.at(1).createdAt);

        const QList<Note> inFolder = m_fx->notes->notesInNotebook(notebooks.at(1).id);
        QCOMPARE(inFolder.size(), 1);
        const Note trip = inFolder.first();
        QCOMPARE(trip.createdAt, QDateTime(QDate(2024, 2, 1), QTime(10, 0), Qt::UTC));
        QCOMPARE(trip.updatedAt, QDateTime(QDate(2024, 2, 1), QTime(11, 0), Qt::UTC));
        QCOMPARE(trip.syncStatus, SyncStatus::Pending);
        QCOMPARE(deltaPlainText(trip.body).count("Trip plan"), 1);
        QCOMPARE(noteTitle(trip.body), QString("Trip plan"));

        const QList<Attachment> tripFiles = m_fx->attachments->attachmentsForNote(trip.id);
        QCOMPARE(tripFiles.size(), 3);
        QMap<QString, Attachment> byName;
        for (const Attachment &a : tripFiles)
            byName.insert(a.filename, a);
        const Attachment image = byName.value("photo.png");
        const Attachment pdf = byName.value(manual + ".pdf");
        // A resource whose own extension is .md is data, not an item.
        QCOMPARE(m_fx->attachments->readFile(byName.value("readme.md").id), "id: " + hexId('5').toUtf8() + "\ntype_: 2");
        QCOMPARE(byName.value("readme.md").mimeType, QString("text/markdown"));
        QCOMPARE(image.mimeType, QString("image/png"));
        QCOMPARE(image.sizeBytes, qint64(photoBytes.size()));
        QCOMPARE(image.createdAt, QDateTime(QDate(2024, 1, 5), QTime(0, 0), Qt::UTC));
        QCOMPARE(m_fx->attachments->readFile(image.id), photoBytes);
        QCOMPARE(pdf.mimeType, QString("application/octet-stream"));
        QCOMPARE(m_fx->attachments->readFile(pdf.id), QByteArray("manual bytes"));

        const QStringList tripRuns = runs(trip.body);
        // The title arrives once, as the heading the importer adds.
        QVERIFY(tripRuns.first().startsWith("Trip plan"));
        QCOMPARE(tripRuns.at(1), QString("\n {\"header\":1}"));
        QVERIFY(tripRuns.contains("boots {\"bold\":true}"));
        const qsizetype pack = tripRuns.indexOf("pack");
        QCOMPARE(tripRuns.mid(pack, 6), QStringList({"pack", "\n {\"list\":\"checked\"}", "buy", "\n {\"list\":\"unchecked\"}",
                                                     "ls -l", "\n {\"code-block\":true}"}));
        QVERIFY2(tripRuns.contains("[velmora-notes-attachment:" + attachmentUrl(image.id) + "]"),
                 qPrintable(tripRuns.join(" | ")));
        QVERIFY(tripRuns.contains("manual {\"link\":\"" + attachmentUrl(pdf.id) + "\"}"));
        QVERIFY(tripRuns.contains("again {\"link\":\"" + attachmentUrl(pdf.id) + "\"}"));
        // A link to a resource without data stays as it was.
        QVERIFY(tripRuns.contains("later {\"link\":\":/" + missing + "\"}"));

        // The parent folder is not in the archive: the note is in no notebook.
        const QList<Note> loose = m_fx->notes->notesInNotebook(QString());
        QCOMPARE(loose.size(), 1);
        const Note clip = loose.first();
        QCOMPARE(noteTitle(clip.body), QString("Web clip"));
        const QList<Attachment> clipFiles = m_fx->attachments->attachmentsForNote(clip.id);
        QCOMPARE(clipFiles.size(), 1);
        QVERIFY(clipFiles.first().id != image.id);
        const QStringList clipRuns = runs(clip.body);
        QVERIFY(clipRuns.contains("world {\"bold\":true}"));
        QVERIFY2(clipRuns.contains("[velmora-notes-attachment:" + attachmentUrl(clipFiles.first().id) + "]"),
                 qPrintable(clipRuns.join(" | ")));
    }

    void unreadableArchivesImportNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray note = TarBuilder().add(hexId('a') + ".md", "T\n\nid: x\ntype_: 1").finish();
        QTest::newRow("zero block first") << QByteArray(512, '\0') + note;
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("not a tar") << QByteArray(2000, 'z');
        QTest::newRow("only folders") << TarBuilder().add("resources", {}, '5').finish();
    }

    void unreadableArchivesImportNothing()
    {
        QFETCH(QByteArray, bytes);
        const QString path = writeBytes("bad.jex", bytes);
        const ImportResult result = importJoplin(path, m_fx->repositories());
        QCOMPARE(result.error, QString("Failed to read archive or archive is empty"));
        QCOMPARE(result.imported, 0);
        QVERIFY(m_fx->notes->allNotes().isEmpty());
        QCOMPARE(importJoplin(m_dir.filePath("no-such.jex"), m_fx->repositories()).error,
                 QString("Failed to read archive or archive is empty"));
    }

    void theSummaryListsOnlyCountsAboveZero()
    {
        ImportResult result;
        result.imported = 3;
        QCOMPARE(importSummary(result), QString("Imported: 3 notes"));
        result.attachments = 2;
        result.errors = 1;
        QCOMPARE(importSummary(result), QString("Imported: 3 notes\nAttachments: 2\nErrors: 1"));
        result.skipped = 4;
        result.error = "Failed to read archive or archive is empty";
        QCOMPARE(importSummary(result), QString("Imported: 3 notes\nAttachments: 2\nSkipped: 4\nErrors: 1\n"
                                                "Failed to read archive or archive is empty"));
        result = ImportResult();
        result.addWarning("a.md: not UTF-8");
        for (int i = 0; i < 11; ++i)
            result.addError(QString("n%1: bad").arg(i));
        const QStringList lines = importSummary(result).split('\n');
        QCOMPARE(lines.mid(0, 5), QStringList({"Imported: 0 notes", "Errors: 11", "Warnings: 1",
                                               QString::fromUtf8("\u2022 a.md: not UTF-8"), QString::fromUtf8("\u2022 n0: bad")}));
        QCOMPARE(lines.size(), 3 + 10 + 1);
        QCOMPARE(lines.last(), QString("... and 2 more (see the log)"));
    }

    // An image in a table cell is kept after the table; a file without a title or extension keeps a plain name.
    void tableImagesFollowTheTable()
    {
        const QString note = hexId('1'), image = hexId('2'), bare = hexId('3');
        TarBuilder tar;
        tar.add(note + ".md", ("T\n\n| a | b |\n|---|---|\n| ![p](:/" + image + ") | [f](:/" + bare + ") |\n\nid: " + note
                               + "\ntype_: 1").toUtf8());
        tar.add(image + ".md", ("p.png\n\nid: " + image + "\nmime: image/png\nfile_extension: png\ntype_: 4").toUtf8());
        tar.add(bare + ".md", ("id: " + bare + "\ntype_: 4").toUtf8());
        tar.add("resources/" + image + ".png", "png");
        tar.add("resources/" + bare, "data");
        const ImportResult result = importJoplin(writeBytes("t.jex", tar.finish()), m_fx->repositories());
        QCOMPARE(result.attachments, 2);
        const Note imported = m_fx->notes->allNotes().first();
        QStringList names, embeds;
        for (const Attachment &a : m_fx->attachments->attachmentsForNote(imported.id)) {
            names << a.filename;
            embeds << QString("[velmora-notes-attachment:%1]").arg(attachmentUrl(a.id)) << "\n";
        }
        QCOMPARE(QSet<QString>(names.begin(), names.end()), QSet<QString>({bare, "p.png"}));
        const QStringList body = runs(imported.body);
        QCOMPARE(body.mid(body.size() - 4), embeds);
    }
};

VELM_TEST_MAIN(TestJoplinImporter)
#include "tst_joplinimporter.moc"
