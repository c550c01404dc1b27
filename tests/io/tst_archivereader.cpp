#include "velmtest.h"

#include "iofixture.h"
#include "tarbuilder.h"


class TestArchiveReader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString writeBytes(const QString &name, const QByteArray &data) { return IoFiles::write(m_dir.filePath(name), data); }

private slots:
    void entryPathsAreCleanedOrRefused_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("expected"); // empty: refused

        QTest::newRow("plain") << "notes/a.json" << "notes/a.json";
        QTest::newRow("dot segments and doubled slashes") << "./notes//a.json" << "notes/a.json";
        QTest::newRow("backslashes are separators") << "attachments\\x.png" << "attachments/x.png";
        QTest::newRow("dots inside a name") << "a..b/c...d" << "a..b/c...d";
        QTest::newRow("absolute") << "/etc/passwd" << "";
        QTest::newRow("absolute with backslash") << "\\\\server\\share\\x" << "";
        QTest::newRow("drive letter") << "C:/Windows/x" << "";
        QTest::newRow("drive relative") << "c:x" << "";
        QTest::newRow("climbing") << "../evil" << "";
        QTest::newRow("climbing inside") << "notes/../../evil" << "";
        QTest::newRow("climbing with backslash") << "notes\\..\\..\\evil" << "";
        QTest::newRow("device") << "attachments/CON" << "";
        QTest::newRow("device with extension") << "nul.txt" << "";
        QTest::newRow("device lower case with trailing dot") << "com1." << "";
        QTest::newRow("not a device") << "console.txt" << "console.txt";
        QTest::newRow("stream name") << "a.txt:hidden" << "";
        QTest::newRow("control character") << QString("a\u0001b") << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("only dots") << "./." << "";
    }

    void entryPathsAreCleanedOrRefused()
    {
        QFETCH(QString, raw);
        QFETCH(QString, expected);
        const std::optional<QString> path = ArchiveReader::safeEntryPath(raw);
        QCOMPARE(path.value_or(QString()), expected);
    }

    void tarEntriesAreReadInOrderWithTheirData()
    {
        TarBuilder tar;
        tar.add("resources", {}, '5');
        tar.add("abc.md", "hello\n");
        tar.add("resources/abc.png", QByteArray(1000, 'x'));
        tar.add("empty.md", {});
        const QString path = writeBytes("plain.tar", tar.finish());

        ArchiveReader reader(path, ArchiveReader::Format::Tar);
        QVERIFY(reader.open());
        QStringList names;
        QList<QByteArray> data;
        ArchiveEntry entry;
        while (reader.next(&entry)) {
            names.append(entry.path);
            data.append(reader.readData().value_or("<error>"));
        }
        QVERIFY(!reader.hasError());
        QCOMPARE(names, QStringList({"abc.md", "resources/abc.png", "empty.md"}));
        QCOMPARE(data, QList<QByteArray>({"hello\n", QByteArray(1000, 'x'), QByteArray()}));
        QCOMPARE(reader.rejectedEntries(), 0);
    }

    void unsafeTarEntriesAreSkippedAndCounted()
    {
        TarBuilder tar;
        tar.add("../outside.md", "evil");
        tar.add("/tmp/absolute.md", "evil");
        tar.add("link.md", {}, '2', "/etc/passwd");
        tar.add("ok.md", "fine");
        const QString path = writeBytes("unsafe.tar", tar.finish());

        ArchiveReader reader(path, ArchiveReader::Format::Tar);
        QVERIFY(reader.open());
        QStringList names;
        ArchiveEntry entry;
        while (reader.next(&entry))
            names.append(entry.path);
        QCOMPARE(names, QStringList({"ok.md"}));
        QCOMPARE(reader.rejectedEntries(), 3);
    }

    void extractionNeverWritesOutsideItsFolder()
    {
        QTemporaryDir outer;
        const QString zipPath = IoFiles::writeZip(outer.filePath("hostile.zip"),
                                                  {{"../escaped.txt", "evil"},
                                                   {"sub/../../escaped2.txt", "evil"},
                                                   {outer.filePath("absolute.txt"), "evil"},
                                                   {"attachments/AUX", "evil"},
                                                   {"manifest.json", "{}"},
                                                   {"notes/n.json", "{\"id\":\"n\"}"}});
        QVERIFY(!zipPath.isEmpty());
        const QString target = outer.filePath("extract");
        ArchiveReader reader(zipPath, ArchiveReader::Format::Zip);
        QVERIFY(reader.open());
        int reports = 0;
        QCOMPARE(reader.extractTo(target, [&reports](int, int, const QString &) { ++reports; }), 2);
        QCOMPARE(reader.rejectedEntries(), 4);
        QVERIFY(reports >= 1);
        QCOMPARE(IoFiles::tree(outer.path()), QStringList({"extract/manifest.json", "extract/notes/n.json", "hostile.zip"}));
        QCOMPARE(IoFiles::read(target + "/notes/n.json"), QByteArray("{\"id\":\"n\"}"));
    }

    void garbageOrADamagedArchiveIsAnErrorNotAnEmptyArchive()
    {
        const QString garbage = writeBytes("garbage.zip", QByteArray(3000, 'g'));
        ArchiveReader reader(garbage, ArchiveReader::Format::Zip);
        ArchiveEntry entry;
        QVERIFY(!reader.open() || !reader.next(&entry));
        QVERIFY(reader.hasError());
        QVERIFY(!ArchiveReader(m_dir.filePath("missing.zip"), ArchiveReader::Format::Zip).open());

        QByteArray payload;
        for (int i = 0; i < 20000; ++i)
            payload.append(char(i * 31 % 256));
        const QByteArray bytes = IoFiles::read(IoFiles::writeZip(m_dir.filePath("good.zip"), {{"a.bin", payload}}));
        // Cut in the middle of the compressed data: the central directory is lost.
        ArchiveReader cut(writeBytes("cut.zip", bytes.left(bytes.size() / 2)), ArchiveReader::Format::Zip);
        QCOMPARE(cut.open() ? cut.extractTo(m_dir.filePath("cut")) : -1, -1);
        QVERIFY(cut.hasError());
    }

    void zipEntriesReadBackWithTheirBytesAndNames()
    {
        QByteArray big;
        for (int i = 0; i < 300000; ++i)
            big.append(char(i * 7 % 251));
        const QString source = writeBytes("big.bin", big);
        const QString target = m_dir.filePath("roundtrip.zip");
        ZipWriter writer(target);
        QVERIFY(writer.open());
        QVERIFY(writer.addDirectory("notes"));
        QVERIFY(writer.addFile("notes/empty.json", QByteArray()));
        QVERIFY(writer.addFile("attachments/Grüße 🌍.txt", "unicode name"));
        QVERIFY(writer.addFileFromDisk("attachments/big.bin", source));
        QVERIFY(writer.commit());
        const QMap<QString, QByteArray> entries = IoFiles::readZip(target);
        QCOMPARE(entries.keys(), QStringList({"attachments/Grüße 🌍.txt", "attachments/big.bin", "notes/empty.json"}));
        QCOMPARE(entries.value("attachments/Grüße 🌍.txt"), QByteArray("unicode name"));
        QCOMPARE(entries.value("attachments/big.bin"), big);
    }

    // A ZIP replaces its target whole on commit, and not at all otherwise.
    void zipWritesReplaceTheTargetWholeOrNotAtAll()
    {
        QTemporaryDir dir;
        const QString target = IoFiles::writeZip(dir.filePath("keep.zip"), {{"old.txt", "old"}});
        QCOMPARE(IoFiles::writeZip(target, {{"new.txt", "new"}}), target);
        QCOMPARE(IoFiles::readZip(target).keys(), QStringList({"new.txt"}));
        {
            ZipWriter abandoned(target);
            QVERIFY(abandoned.open() && abandoned.addFile("a.txt", "a"));
        }
        {
            ZipWriter failing(target);
            QVERIFY(failing.open() && failing.addFile("a.txt", "a"));
            QVERIFY(!failing.addFileFromDisk("b.bin", dir.filePath("does-not-exist")));
            QVERIFY(!failing.errorString().isEmpty());
            QVERIFY(!failing.commit());
        }
        QCOMPARE(IoFiles::readZip(target).keys(), QStringList({"new.txt"}));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"keep.zip"}));

        ZipWriter unwritable(dir.filePath("no/such/folder/x.zip"));
        QVERIFY(!unwritable.open());
        QVERIFY(!unwritable.errorString().isEmpty());
        QVERIFY(!unwritable.commit());
        QVERIFY(!QFile::exists(dir.filePath("no")));
    }
};

VELM_TEST_CORE_MAIN(TestArchiveReader)
#include "tst_archivereader.moc"
