#include "velmtest.h"

#include "delta.h"
#include "iofixture.h"
#include "notestationimporter.h"

#include <QJsonArray>

using IoFiles::json;

namespace {

QStringList embeds(const QString &body)
{
    QStringList out;
    for (const DeltaOp &op : parseDeltaJson(body)) {
        if (op.type == DeltaOp::InsertEmbed)
            out << op.embedKind() + ":" + op.embedValue();
    }
    return out;
}

} // namespace

class TestNoteStationImporter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<IoFixture> m_fx;

    QString writeArchive(const QString &name, const QMap<QString, QByteArray> &entries)
    {
        return IoFiles::writeZip(m_dir.filePath(name), entries);
    }

private slots:
    void init()
    {
        m_fx = IoFixture::create(m_dir.path());
        QVERIFY(m_fx);
    }

    void cleanup() { m_fx.reset(); }

    void anArchiveBecomesNotebooksNotesAndAttachments()
    {
        const QJsonObject soup{
            {"title", "Soup"},
            {"parent_id", "nb1"},
            {"ctime", 1700000000},
            {"mtime", 1700000600},
            {"content", "<p>Hot <b>soup</b></p><p><img class=\"syno\" src=\"webman/transparent.gif\" ref=\"REF1\" "
                        "width=\"20\"></p><p><img ref=\"REF2\" src=\"x.gif\"></p><p>end</p>"},
            {"attachment",
             QJsonObject{
                 {"a1", QJsonObject{{"md5", "0123abcd"}, {"name", "soup.jpg"}, {"ext", "jpg"}, {"type", "image"}, {"ref", "REF1"}}},
                 {"a2", QJsonObject{{"md5", "DEADBEEF"}, {"name", ""}, {"ext", ""}, {"type", "image"}, {"ref", "REF2"}}},
                 {"a3", QJsonObject{{"md5", "../../config.json"}, {"name", "x.txt"}, {"ext", "txt"}, {"type", "file"}}},
                 {"a4", QJsonObject{{"md5", "feedface"}, {"name", "gone.bin"}, {"ext", "bin"}, {"type", "file"}}},
                 {"a5", QJsonObject{{"md5", "00ff"}, {"name", "data.csv"}, {"ext", "csv"}, {"type", "file"}}},
             }}};
        const QJsonObject untitled{{"content", "<p>just text</p>"}, {"parent_id", "unknown"}};
        const QString archive = writeArchive(
            "export.nsx",
            {{"config.json", json(QJsonObject{{"notebook", QJsonArray{"nb1", "nb2", "nb-missing"}},
                                              {"note", QJsonArray{"n1", "n2", "n-missing", "../config.json", ""}}})},
             {"nb1", json(QJsonObject{{"title", "Recipes"}, {"ctime", 1600000000}, {"mtime", 1600000500}})},
             {"nb2", json(QJsonObject{{"title", ""}})},
             {"n1", json(soup)},
             {"n2", json(untitled)},
             {"file_0123abcd", "jpeg bytes"},
             {"file_DEADBEEF", "png bytes"},
             {"file_00ff", "a,b\n"},
             {"../../outside", "evil"}});
        QVERIFY(!archive.isEmpty());

        QStringList labels;
        const ImportResult result = importNoteStation(archive, m_fx->repositories(),
                                                      [&labels](int, int, const QString &label) { labels << label; });
        QCOMPARE(result.error, QString());
        QCOMPARE(result.imported, 2);
        QCOMPARE(result.attachments, 3);
        // The climbing zip entry, the non-hexadecimal md5, the climbing and the empty note id,
        // the missing notebook and note files and the attachment without data.
        QCOMPARE(result.errors, 7);
        QCOMPARE(labels.first(), QString("Extracting archive..."));
        QVERIFY(labels.contains("Importing 5 notes..."));
        QVERIFY(labels.contains("Importing: Soup"));
        QVERIFY(labels.contains("Importing: (untitled)"));

        const QList<Notebook> notebooks = m_fx->notebooks->allNotebooks();
        QCOMPARE(notebooks.size(), 2);
        QCOMPARE(notebooks.at(0).name, QString("Imported Notebook"));
        QCOMPARE(notebooks.at(1).name, QString("Recipes"));
        QCOMPARE(notebooks.at(1).updatedAt, QDateTime::fromSecsSinceEpoch(1600000500, Qt::UTC));

        const QList<Note> recipes = m_fx->notes->notesInNotebook(notebooks.at(1).id);
        QCOMPARE(recipes.size(), 1);
        const Note note = recipes.first();
        QCOMPARE(noteTitle(note.body), QString("Soup"));
        QVERIFY(deltaPlainText(note.body).contains("Hot soup"));
        QCOMPARE(note.createdAt, QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
        QCOMPARE(note.updatedAt, QDateTime::fromSecsSinceEpoch(1700000600, Qt::UTC));
        QCOMPARE(note.modifiedAt, note.updatedAt);

        QMap<QString, Attachment> byName;
        for (const Attachment &a : m_fx->attachments->attachmentsForNote(note.id))
            byName.insert(a.filename, a);
        QCOMPARE(byName.keys(), QStringList({"attachment.", "data.csv", "soup.jpg"}));
        QCOMPARE(byName["soup.jpg"].mimeType, QString("image/jpg"));
        QCOMPARE(byName["attachment."].mimeType, QString("image/png"));
        QCOMPARE(byName["data.csv"].mimeType, QString("application/octet-stream"));
        QCOMPARE(m_fx->attachments->readFile(byName["soup.jpg"].id), QByteArray("jpeg bytes"));
        QCOMPARE(m_fx->attachments->readFile(byName["attachment."].id), QByteArray("png bytes"));
        QCOMPARE(m_fx->attachments->readFile(byName["data.csv"].id), QByteArray("a,b\n"));

        // Each image points at its attachment; the placeholder pictures are gone; the file no text shows is listed last.
        QCOMPARE(embeds(note.body), QStringList({"velmora-notes-attachment:" + attachmentUrl(byName["soup.jpg"].id),
                                                 "velmora-notes-attachment:" + attachmentUrl(byName["attachment."].id),
                                                 "velmora-notes-attachment:" + attachmentUrl(byName["data.csv"].id)}));

        const QList<Note> loose = m_fx->notes->notesInNotebook(QString());
        QCOMPARE(loose.size(), 1);
        QCOMPARE(noteTitle(loose.first().body), QString("just text"));
        QVERIFY(loose.first().createdAt.isValid());
        QVERIFY(m_fx->attachments->attachmentsForNote(loose.first().id).isEmpty());

        // Nothing was written outside the data directory and the extraction folder is gone.
        QVERIFY(!QFile::exists(QDir(m_dir.path()).absoluteFilePath("../outside")));
        QVERIFY(!QFile::exists(m_dir.filePath("outside")));
    }

    void fatalProblemsImportNothing()
    {
        const QString noConfig = writeArchive("noconfig.nsx", {{"n1", json(QJsonObject{{"title", "x"}})}});
        ImportResult result = importNoteStation(noConfig, m_fx->repositories());
        QCOMPARE(result.error, QString("No config.json found in archive"));
        QCOMPARE(result.imported, 0);

        const QString garbage = IoFiles::write(m_dir.filePath("garbage.nsx"), QByteArray(4000, 'g'));
        result = importNoteStation(garbage, m_fx->repositories());
        QVERIFY2(result.error.startsWith("Failed to extract archive: "), qPrintable(result.error));
        QVERIFY(result.error.size() > QString("Failed to extract archive: ").size());
        QVERIFY(m_fx->notes->allNotes().isEmpty());
        QVERIFY(m_fx->notebooks->allNotebooks().isEmpty());
    }
};

VELM_TEST_MAIN(TestNoteStationImporter)
#include "tst_notestationimporter.moc"
