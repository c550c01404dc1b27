#include "velmtest.h"

#include "iofixture.h"

class TestZipWriter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;


private slots:
    void entriesReadBackWithTheirBytesAndNames()
    {
        const QString target = m_dir.filePath("roundtrip.zip");
        const QString source = m_dir.filePath("big.bin");
        QByteArray big;
        for (int i = 0; i < 300000; ++i)
            big.append(char(i * 7 % 251));
        QVERIFY(!IoFiles::write(source, big).isEmpty());

        ZipWriter writer(target);
        QVERIFY(writer.open());
        QVERIFY(writer.addDirectory("notes"));
        QVERIFY(writer.addFile("manifest.json", "{\"version\": 1}\n"));
        QVERIFY(writer.addFile("notes/empty.json", QByteArray()));
        QVERIFY(writer.addFile("attachments/Grüße 🌍.txt", "unicode name"));
        QVERIFY(writer.addFileFromDisk("attachments/big.bin", source));
        QVERIFY(writer.commit());

        const QMap<QString, QByteArray> entries = IoFiles::readZip(target);
        QCOMPARE(entries.keys(), QStringList({"attachments/Grüße 🌍.txt", "attachments/big.bin", "manifest.json",
                                              "notes/empty.json"}));
        QCOMPARE(entries.value("manifest.json"), QByteArray("{\"version\": 1}\n"));
        QCOMPARE(entries.value("attachments/Grüße 🌍.txt"), QByteArray("unicode name"));
        QCOMPARE(entries.value("attachments/big.bin"), big);
    }

    void committingReplacesAnOlderFileWhole()
    {
        const QString target = IoFiles::writeZip(m_dir.filePath("replace.zip"), {{"old.txt", "old"}});
        QCOMPARE(IoFiles::writeZip(target, {{"new.txt", "new"}}), target);
        QCOMPARE(IoFiles::readZip(target).keys(), QStringList({"new.txt"}));
    }

    void anAbandonedOrFailedWriteLeavesTheOldFileAndNoLeftovers()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("keep.zip");
        QVERIFY(!IoFiles::write(target, "previous content").isEmpty());

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
        QCOMPARE(IoFiles::read(target), QByteArray("previous content"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"keep.zip"}));
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
