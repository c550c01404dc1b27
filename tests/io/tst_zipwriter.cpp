#include "velmtest.h"

#include "archivereader.h"
#include "zipwriter.h"

#include <QDir>
#include <QFile>
#include <QMap>

class TestZipWriter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    static QMap<QString, QByteArray> readZip(const QString &path)
    {
        QMap<QString, QByteArray> entries;
        ArchiveReader reader(path, ArchiveReader::Format::Zip);
        if (!reader.open())
            return entries;
        ArchiveEntry entry;
        while (reader.next(&entry))
            entries.insert(entry.path, reader.readData().value_or("<read error>"));
        if (reader.hasError())
            entries.insert("<error>", reader.errorString().toUtf8());
        return entries;
    }

    static void writeFile(const QString &path, const QByteArray &data)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(data), data.size());
    }

    static QStringList filesIn(const QString &dir)
    {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void entriesReadBackWithTheirBytesAndNames()
    {
        const QString target = m_dir.filePath("roundtrip.zip");
        const QString source = m_dir.filePath("big.bin");
        QByteArray big;
        for (int i = 0; i < 300000; ++i)
            big.append(char(i * 7 % 251));
        writeFile(source, big);

        ZipWriter writer(target);
        QVERIFY(writer.open());
        QVERIFY(writer.addDirectory("notes"));
        QVERIFY(writer.addFile("manifest.json", "{\"version\": 1}\n"));
        QVERIFY(writer.addFile("notes/empty.json", QByteArray()));
        QVERIFY(writer.addFile("attachments/Grüße 🌍.txt", "unicode name"));
        QVERIFY(writer.addFileFromDisk("attachments/big.bin", source));
        QVERIFY(writer.commit());

        const QMap<QString, QByteArray> entries = readZip(target);
        QCOMPARE(entries.keys(), QStringList({"attachments/Grüße 🌍.txt", "attachments/big.bin", "manifest.json",
                                              "notes/empty.json"}));
        QCOMPARE(entries.value("manifest.json"), QByteArray("{\"version\": 1}\n"));
        QCOMPARE(entries.value("notes/empty.json"), QByteArray());
        QCOMPARE(entries.value("attachments/Grüße 🌍.txt"), QByteArray("unicode name"));
        QCOMPARE(entries.value("attachments/big.bin"), big);
    }

    void committingReplacesAnOlderFileWhole()
    {
        const QString target = m_dir.filePath("replace.zip");
        {
            ZipWriter first(target);
            QVERIFY(first.open());
            QVERIFY(first.addFile("old.txt", "old"));
            QVERIFY(first.commit());
        }
        {
            ZipWriter second(target);
            QVERIFY(second.open());
            QVERIFY(second.addFile("new.txt", "new"));
            QVERIFY(second.commit());
        }
        const QMap<QString, QByteArray> entries = readZip(target);
        QCOMPARE(entries.keys(), QStringList({"new.txt"}));
    }

    void anAbandonedOrFailedWriteLeavesTheOldFileAndNoLeftovers()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("keep.zip");
        writeFile(target, "previous content");

        {
            ZipWriter abandoned(target);
            QVERIFY(abandoned.open());
            QVERIFY(abandoned.addFile("a.txt", "a"));
            // destroyed without commit
        }
        {
            ZipWriter failing(target);
            QVERIFY(failing.open());
            QVERIFY(failing.addFile("a.txt", "a"));
            QVERIFY(!failing.addFileFromDisk("b.bin", dir.filePath("does-not-exist")));
            QVERIFY(!failing.errorString().isEmpty());
            QVERIFY(!failing.commit());
        }
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("previous content"));
        QCOMPARE(filesIn(dir.path()), QStringList({"keep.zip"}));
    }

    void anUnwritableTargetFailsWithAReason()
    {
        ZipWriter writer(m_dir.filePath("no/such/folder/x.zip"));
        QVERIFY(!writer.open());
        QVERIFY(!writer.errorString().isEmpty());
        QVERIFY(!writer.commit());
        QVERIFY(!QFile::exists(m_dir.filePath("no/such/folder/x.zip")));
    }
};

VELM_TEST_CORE_MAIN(TestZipWriter)
#include "tst_zipwriter.moc"
