#include "velmtest.h"

#include "backup.h"
#include "delta.h"
#include "iofixture.h"
#include "joplinimporter.h"
#include "notestationimporter.h"
#include "tarbuilder.h"

#include <QDir>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QSet>
#include <QRegularExpression>
#include <QSqlQuery>

#include <sys/stat.h>

using IoFiles::json;

namespace {

QString hexId(char c)
{
    return QString(32, QLatin1Char(c));
}

QByteArray joplinNote(char id, const QByteArray &text, const QByteArray &extra = {})
{
    return text + "\n\nid: " + hexId(id).toUtf8() + "\nmarkup_language: 1\ntype_: 1" + extra;
}

// Peak resident memory since the last reset, in MiB (Linux).
qint64 peakMiB()
{
    const QByteArray status = IoFiles::read(QStringLiteral("/proc/self/status"));
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("VmHWM:\\s*(\\d+)")).match(QString::fromLatin1(status));
    return m.captured(1).toLongLong() / 1024;
}

void resetPeak()
{
    IoFiles::write(QStringLiteral("/proc/self/clear_refs"), "5");
}

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

class TestImportFidelity : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<IoFixture> m_fx;

    QString file(const QString &name, const QByteArray &data) { return IoFiles::write(m_dir.filePath(name), data); }
    QString writeArchive(const QString &name, const QMap<QString, QByteArray> &entries)
    {
        return IoFiles::writeZip(m_dir.filePath(name), entries);
    }

    // A tar whose last entry claims `size` bytes the file holds as a hole.
    QString sparseTar(const QString &name, const QByteArray &before, const QString &entry, qint64 size)
    {
        QFile out(m_dir.filePath(name));
        if (!out.open(QIODevice::WriteOnly) || out.write(before + TarBuilder::header(entry, size)) < 0
            || !out.resize(out.pos() + size + 1024))
            return {};
        return out.fileName();
    }

    // A ZIP entry of `size` zero bytes, compressed a thousand times.
    QString zeroZip(const QString &name, const QMap<QString, QByteArray> &entries, const QString &bomb, qint64 size)
    {
        QFile zeros(m_dir.filePath(name + ".zeros"));
        if (!zeros.open(QIODevice::WriteOnly) || !zeros.resize(size))
            return {};
        zeros.close();
        ZipWriter zip(m_dir.filePath(name));
        if (!zip.open() || !zip.addFileFromDisk(bomb, zeros.fileName()))
            return {};
        for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
            if (!zip.addFile(it.key(), it.value()))
                return {};
        }
        zeros.remove();
        return zip.commit() ? m_dir.filePath(name) : QString();
    }

    // Each note's body followed by the MIME types of its attachments.
    QString allBodies() const
    {
        QString bodies;
        for (const Note &note : m_fx->notes->allNotes() + m_fx->notes->trashedNotes()) {
            bodies += note.body;
            for (const Attachment &attachment : m_fx->attachments->attachmentsForNote(note.id))
                bodies += " " + attachment.mimeType;
        }
        return bodies;
    }

private slots:
    void init()
    {
        m_fx = IoFixture::create(m_dir.path());
        QVERIFY(m_fx);
    }

    void cleanup() { m_fx.reset(); }

    void archivesArriveWhole_data()
    {
        QTest::addColumn<bool>("joplin");
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QList<int>>("counts"); // live notes, trashed notes, attachments, errors, warnings
        QTest::addColumn<QString>("body");      // pattern all bodies together must match

        const QString png = hexId('1');
        TarBuilder wrapped;
        wrapped.add("export/" + hexId('a') + ".md", joplinNote('a', "pic\n\n![](:/" + png.toUtf8() + ")"))
            .add("export/" + png + ".md", "p.png\n\nid: " + png.toUtf8() + "\nmime: image/png\nfile_extension: \ntype_: 4")
            .add("export/resources/" + png + ".png", "png bytes");
        QTest::newRow("one top folder, resource without extension")
            << true << file("wrapped.jex", wrapped.finish()) << QList<int>{1, 0, 1, 0, 0} << "velmora-notes-attachment";
        QTest::newRow("Latin-1 note")
            << true << file("latin.jex", TarBuilder().add(hexId('a') + ".md", joplinNote('a', "Caf\xe9 \x80 cr\xe8me")).finish())
            << QList<int>{1, 0, 0, 0, 1} << QString::fromUtf8("Café € crème");
        const QByteArray links = "[b](:/" + hexId('b').toUtf8() + ") [dead](:/" + hexId('d').toUtf8() + ")";
        TarBuilder linked;
        linked.add(hexId('a') + ".md", joplinNote('a', links)).add(hexId('b') + ".md", joplinNote('b', "B"));
        QTest::newRow("links between notes")
            << true << file("links.jex", linked.finish()) << QList<int>{2, 0, 0, 0, 0}
            << "^(?!.*:/d{32})(?=.*\"link\":\"velmora-notes://note/[0-9a-f-]{36}\").*\"insert\":\"dead\"";
        QTest::newRow("cut short")
            << true << file("cut.jex", TarBuilder().add(hexId('a') + ".md", joplinNote('a', "kept")).finish().chopped(1024))
            << QList<int>{1, 0, 0, 1, 0} << "kept";

        const auto nsx = [this](const QString &name, const QJsonObject &note, const QMap<QString, QByteArray> &more = {},
                                const QString &prefix = {}) {
            QMap<QString, QByteArray> entries{{prefix + "config.json", json(QJsonObject{{"notebook", QJsonArray{}},
                                                                                       {"note", QJsonArray{"n1"}}})},
                                              {prefix + "n1", json(note)}};
            for (auto it = more.constBegin(); it != more.constEnd(); ++it)
                entries.insert(prefix + it.key(), it.value());
            return IoFiles::writeZip(m_dir.filePath(name), entries);
        };
        const QJsonObject picture{{"content", "<p>pic <img ref=\"R\" src=\"x.gif\"></p>"},
                                  {"attachment", QJsonObject{{"a", QJsonObject{{"md5", "aa"}, {"name", "p.gif"}, {"type", "image/gif"}, {"ref", "R"}}},
                                                             {"b", QJsonObject{{"md5", "bb"}, {"name", "doc.pdf"}, {"type", "file"}}}}}};
        QTest::newRow("NoteStation in a top folder, unshown attachment listed")
            << false << nsx("top.nsx", picture, {{"file_aa", "png"}, {"file_bb", "pdf"}}, "top/") << QList<int>{1, 0, 2, 0, 0}
            << "pic.*velmora-notes-attachment.*velmora-notes-attachment.* image/gif";
        QTest::newRow("recycle bin goes to the trash")
            << false << nsx("bin.nsx", {{"title", "old"}, {"parent_id", "1027_#00000000"}, {"content", "x"}})
            << QList<int>{0, 1, 0, 0, 0} << "old";
        QTest::newRow("encrypted note refused")
            << false << nsx("enc.nsx", {{"title", "secret"}, {"encrypt", true}, {"content", "c2VjcmV0"}})
            << QList<int>{0, 0, 0, 1, 0} << "^$";
        QTest::newRow("note links to the archive, by id or server id; others kept as text")
            << false << nsx("nslink.nsx", {{"content", "<a href=\"notestation://remote/self/n1\">me</a> <a href=\"notestation://x/gone\">gone</a>"
                                                       " <a href=\"notestation://remote/self/1026_N1\">again</a>"}})
            << QList<int>{1, 0, 0, 0, 1} << "^(?!.*notestation).*velmora-notes://note/.*gone.*velmora-notes://note/";
        QTest::newRow("NoteStation missing attachment named in place")
            << false << nsx("gone.nsx", picture, {{"file_bb", "pdf"}}) << QList<int>{1, 0, 1, 1, 0}
            << "pic \\[missing attachment: p.gif\\].*velmora-notes-attachment";
        QTest::newRow("NoteStation note in Latin-1")
            << false << nsx("latin.nsx", {}, {{"n1", "{\"title\":\"Caf\xe9\",\"content\":\"<p>d\xe9j\xe0</p>\"}"}})
            << QList<int>{1, 0, 0, 0, 1} << QString::fromUtf8("Caf\u00e9.*d\u00e9j\u00e0");
        QTest::newRow("note file not JSON")
            << false << IoFiles::writeZip(m_dir.filePath("bad.nsx"), {{"config.json", json(QJsonObject{{"note", QJsonArray{"n1"}}})},
                                                                      {"n1", "{not json"}})
            << QList<int>{0, 0, 0, 1, 0} << "^$";
    }

    void archivesArriveWhole()
    {
        QFETCH(bool, joplin);
        QFETCH(QString, archive);
        QFETCH(QList<int>, counts);
        QFETCH(QString, body);
        QVERIFY(!archive.isEmpty());
        const ImportResult result = joplin ? importJoplin(archive, m_fx->repositories())
                                           : importNoteStation(archive, m_fx->repositories());
        QCOMPARE(result.error, QString());
        const QList<int> actual{int(m_fx->notes->allNotes().size()), int(m_fx->notes->trashedNotes().size()),
                                result.attachments, result.errors, result.warnings};
        QCOMPARE(actual, counts);
        QCOMPARE(result.imported, counts[0] + counts[1]);
        QCOMPARE(result.problems.size(), result.errors + result.warnings);
        QVERIFY2(QRegularExpression(body).match(allBodies()).hasMatch(), qPrintable(allBodies()));
    }

    // Rows a failed commit rolled back are not counted as stored.
    void aFailedCommitIsCountedWithItsCause()
    {
        QSqlQuery sql(m_fx->database->database());
        QVERIFY(sql.exec("PRAGMA foreign_keys=ON"));
        QVERIFY(sql.exec("CREATE TABLE refusal(x REFERENCES nothing_here(id) DEFERRABLE INITIALLY DEFERRED)"));
        QVERIFY(sql.exec("CREATE TABLE nothing_here(id INTEGER PRIMARY KEY)"));
        QVERIFY(sql.exec("CREATE TRIGGER refuse AFTER INSERT ON notes WHEN (SELECT count(*) FROM notes) > 1 "
                         "BEGIN INSERT INTO refusal VALUES (1); END"));
        TarBuilder tar;
        for (const char id : {'a', 'b', 'c'})
            tar.add(hexId(id) + ".md", joplinNote(id, "text"));
        const ImportResult result = importJoplin(file("three.jex", tar.finish()), m_fx->repositories());
        QCOMPARE(QList<int>({result.imported, int(m_fx->notes->allNotes().size()), result.errors}), QList<int>({0, 0, 3}));
        QVERIFY2(result.problems.join(' ').contains("FOREIGN KEY"), qPrintable(result.problems.join(' ')));

        const auto backupOf = [](const QString &id) {
            return json(QJsonObject{{"id", id}, {"body", "[]"}, {"createdAt", "2026-01-01T00:00:00.000Z"}});
        };
        const QString archive = IoFiles::writeZip(m_dir.filePath("b.zip"), {{"manifest.json", "{}"},
                                                                            {"notes/1.json", backupOf(IoFixture::newId())},
                                                                            {"notes/2.json", backupOf(IoFixture::newId())},
                                                                            {"notes/3.json", backupOf("../../x")}});
        const RestoreResult restored = restoreBackup(archive, m_fx->repositories(), RestoreMode::SkipExisting);
        QCOMPARE(QList<int>({restored.imported, restored.errors}), QList<int>({0, 3})); // two lost, one id that is a path
        QVERIFY(restored.error.contains("FOREIGN KEY"));
    }

    // Rows a full disk rolled back are not counted; rows SQLite committed one
    // by one afterwards are: the count is what the database holds.
    void aFullDiskMidImportCountsWhatTheDatabaseHolds()
    {
        TarBuilder tar;
        for (int i = 0; i < 300; ++i) {
            const QByteArray id = QByteArray::number(0x1000 + i, 16).rightJustified(32, 'b');
            tar.add(QString::fromLatin1(id) + ".md", "n\n\n" + QByteArray(3000, 'w') + "\n\nid: " + id + "\nmarkup_language: 1\ntype_: 1");
        }
        const QString archive = file("many.jex", tar.finish());
        QSqlQuery sql(m_fx->database->database());
        QVERIFY(sql.exec("PRAGMA page_count") && sql.next());
        QVERIFY(sql.exec("PRAGMA max_page_count=" + QString::number(sql.value(0).toInt() + 150)));
        const ImportResult result = importJoplin(archive, m_fx->repositories());
        QVERIFY(sql.exec("PRAGMA max_page_count=1073741823"));
        QVERIFY(result.errors > 0);
        QVERIFY(result.imported > 0);
        QCOMPARE(result.imported, int(m_fx->notes->allNotes().size()));
    }

    // Each bomb is refused with bounded memory and no file left behind.
    void archiveBombsAreRefused()
    {
        const qint64 gib = 1024 * ExtractionLimits::kMiB;
        const QByteArray resourceItem = "r\n\nid: " + hexId('1').toUtf8() + "\nfile_extension: bin\ntype_: 4";
        const QString sparse = sparseTar("sparse.jex",
                                         TarBuilder().add(hexId('a') + ".md", joplinNote('a', "bomb\n\n[r](:/" + hexId('1').toUtf8() + ")"))
                                             .add(hexId('1') + ".md", resourceItem).finish().chopped(1024),
                                         "resources/" + hexId('1') + ".bin", gib);
        const QString zipBomb = zeroZip("bomb.nsx", {{"config.json", json(QJsonObject{{"note", QJsonArray{"n1"}}})},
                                                     {"n1", json(QJsonObject{{"content", "x"}, {"attachment", QJsonObject{{"a", QJsonObject{{"md5", "aa"}}}}}})}},
                                        "file_aa", gib / 4);
        const QString noteBomb = zeroZip("bomb.zip", {{"manifest.json", "{}"}, {"attachments/orphan", "unnamed"}}, "notes/big.json", 150 * ExtractionLimits::kMiB);
        QVERIFY(!sparse.isEmpty() && !zipBomb.isEmpty() && !noteBomb.isEmpty());

        resetPeak();
        const ImportResult joplin = importJoplin(sparse, m_fx->repositories());
        const qint64 joplinPeak = peakMiB();
        resetPeak();
        const ImportResult noteStation = importNoteStation(zipBomb, m_fx->repositories());
        const qint64 noteStationPeak = peakMiB();
        resetPeak();
        const RestoreResult restore = restoreBackup(noteBomb, m_fx->repositories(), RestoreMode::SkipExisting);
        const qint64 restorePeak = peakMiB();
        qInfo("Peak memory (MiB): sparse .jex %lld, zeros .nsx %lld, backup %lld", joplinPeak, noteStationPeak, restorePeak);

        QCOMPARE(joplin.attachments, 0);
        QVERIFY(joplin.problems.join(' ').contains("larger than 200 MB"));
        QCOMPARE(noteStation.attachments, 0);
        QVERIFY(noteStation.problems.join(' ').contains("larger than 200 MB"));
        QCOMPARE(restore.errors, 1);
        QCOMPARE(QDir(Database::attachmentsDirectory()).entryList(QDir::Files), QStringList());
        for (const qint64 peak : {joplinPeak, noteStationPeak, restorePeak})
            QVERIFY2(peak < 100, qPrintable(QString::number(peak)));

        ExtractionLimits tight;
        tight.maxTotalBytes = 1024;
        const RestoreResult capped = restoreBackup(IoFiles::writeZip(m_dir.filePath("c.zip"), {{"manifest.json", QByteArray(2048, ' ')}}),
                                                   m_fx->repositories(), RestoreMode::SkipExisting, {}, tight);
        QCOMPARE(capped.error, QString("Failed to extract backup"));
    }

    void fanOutArchivesStoreEachSourceOnce_data()
    {
        QTest::addColumn<bool>("joplin");
        QTest::newRow(".nsx: 64 attachments name one file") << false;
        QTest::newRow(".jex: one resource linked from 64 notes") << true;
    }

    // 64 records of one 1 MiB source, against a budget of 8 MiB: one stored
    // file that every record shares, not 64 copies.
    void fanOutArchivesStoreEachSourceOnce()
    {
        QFETCH(bool, joplin);
        QByteArray data(ExtractionLimits::kMiB, Qt::Uninitialized);
        for (char &c : data)
            c = char(QRandomGenerator::global()->generate());
        QString archive;
        if (joplin) {
            TarBuilder tar;
            const QString resource = QString(32, '1');
            tar.add(resource + ".md", "r\n\nid: " + resource.toUtf8() + "\nfile_extension: bin\ntype_: 4");
            tar.add("resources/" + resource + ".bin", data);
            for (int i = 0; i < 64; ++i) {
                const QByteArray id = QByteArray::number(0x1000 + i, 16).rightJustified(32, 'a');
                tar.add(QString::fromLatin1(id) + ".md", "n\n\n[r](:/" + resource.toUtf8() + ")\n\nid: " + id
                                                           + "\nmarkup_language: 1\ntype_: 1");
            }
            archive = file("fan.jex", tar.finish());
        } else {
            QJsonObject attachments;
            for (int i = 0; i < 64; ++i)
                attachments.insert(QString("a%1").arg(i), QJsonObject{{"md5", "aa"}, {"name", QString("f%1.bin").arg(i)}});
            archive = writeArchive("fan.nsx", {{"config.json", json(QJsonObject{{"note", QJsonArray{"n1"}}})},
                                               {"n1", json(QJsonObject{{"content", "x"}, {"attachment", attachments}})},
                                               {"file_aa", data}});
        }
        ExtractionLimits small;
        small.maxTotalBytes = 8 * ExtractionLimits::kMiB;
        const ImportResult result = joplin ? importJoplin(archive, m_fx->repositories(), {}, small)
                                           : importNoteStation(archive, m_fx->repositories(), {}, small);
        QCOMPARE(result.attachments, 64);
        QSet<quint64> inodes;
        for (const QFileInfo &stored : QDir(Database::attachmentsDirectory()).entryInfoList(QDir::Files)) {
            struct stat st;
            QVERIFY(::stat(QFile::encodeName(stored.filePath()).constData(), &st) == 0);
            inodes.insert(quint64(st.st_ino));
            QCOMPARE(stored.size(), data.size());
        }
        QCOMPARE(inodes.size(), 1);
        const QList<Note> notes = m_fx->notes->allNotes();
        const QString first = m_fx->attachments->attachmentsForNote(notes.first().id).first().id;
        QCOMPARE(m_fx->attachments->readFile(first), data);
    }

    // Deflate's own limit (about 1:1030) is within the whole archive's ratio:
    // what the application wrote, it reads back.
    void theOwnBackupOfACompressibleNoteRestores()
    {
        const QString line = QStringLiteral("the same line, over and over\n");
        const QString body = deltaToJson(QJsonArray{QJsonObject{{"insert", line.repeated(34 * 1024 * 1024 / line.size())}}});
        Note note = Note::blank(IoFixture::newId(), QString());
        note.body = body;
        QVERIFY(m_fx->notes->insert(note));
        const QString archive = m_dir.filePath("own.zip");
        QVERIFY(!createBackup(archive, m_fx->repositories()).failed);
        QVERIFY(m_fx->notes->purge(note.id));
        const RestoreResult restored = restoreBackup(archive, m_fx->repositories(), RestoreMode::SkipExisting);
        QCOMPARE(restored.error, QString());
        QCOMPARE(restored.imported, 1);
        QCOMPARE(m_fx->notes->noteById(note.id)->body.size(), body.size());
    }

    void aNoteStationArchiveBecomesNotebooksNotesAndAttachments()
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
        // Errors: the climbing zip entry, the non-hexadecimal md5, the climbing and the empty note id,
        // the missing notebook and note files and the attachment without data.
        QCOMPARE(QList<int>({result.imported, result.attachments, result.errors}), QList<int>({2, 3, 7}));
        QVERIFY(labels.contains("Importing: Soup"));

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
        // Each image points at its attachment; the placeholder pictures are gone; the file no text shows is listed last.
        const std::tuple<QString, QString, QByteArray> files[] = {{"soup.jpg", "image/jpg", "jpeg bytes"},
                                                                  {"attachment.", "image/png", "png bytes"},
                                                                  {"data.csv", "application/octet-stream", "a,b\n"}};
        QStringList urls;
        for (const auto &[name, mimeType, bytes] : files) {
            QCOMPARE(byName[name].mimeType, mimeType);
            QCOMPARE(m_fx->attachments->readFile(byName[name].id), bytes);
            urls << "velmora-notes-attachment:" + attachmentUrl(byName[name].id);
        }
        QCOMPARE(embeds(note.body), urls);

        const QList<Note> loose = m_fx->notes->notesInNotebook(QString());
        QCOMPARE(loose.size(), 1);
        QCOMPARE(noteTitle(loose.first().body), QString("just text"));
        QVERIFY(loose.first().createdAt.isValid());
        QVERIFY(m_fx->attachments->attachmentsForNote(loose.first().id).isEmpty());

        // Nothing was written outside the data directory and the extraction folder is gone.
        QVERIFY(!QFile::exists(QDir(m_dir.path()).absoluteFilePath("../outside")));
        QVERIFY(!QFile::exists(m_dir.filePath("outside")));
    }

    void fatalNoteStationProblemsImportNothing_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("error"); // how the message starts
        QTest::newRow("no config") << writeArchive("noconfig.nsx", {{"n1", json(QJsonObject{{"title", "x"}})}})
                                   << "No config.json found in archive";
        QTest::newRow("config not JSON") << writeArchive("cfg.nsx", {{"config.json", "]["}, {"n1", "{}"}})
                                         << "config.json: not valid JSON";
        QTest::newRow("not a ZIP") << IoFiles::write(m_dir.filePath("garbage.nsx"), QByteArray(4000, 'g'))
                                   << "Failed to extract archive: ";
    }

    void fatalNoteStationProblemsImportNothing()
    {
        QFETCH(QString, archive);
        QFETCH(QString, error);
        const ImportResult result = importNoteStation(archive, m_fx->repositories());
        QVERIFY2(result.error.startsWith(error), qPrintable(result.error));
        QCOMPARE(QList<int>({result.imported, result.errors}), QList<int>({0, 1}));
        QVERIFY(m_fx->notes->allNotes().isEmpty());
        QVERIFY(m_fx->notebooks->allNotebooks().isEmpty());
    }
};

VELM_TEST_MAIN(TestImportFidelity)
#include "tst_importfidelity.moc"
