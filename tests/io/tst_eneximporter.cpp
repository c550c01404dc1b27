#include "velmtest.h"

#include "deltaruns.h"
#include "eneximporter.h"
#include "iofixture.h"

#include <QCryptographicHash>

namespace {

QByteArray md5(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

QByteArray resource(const QByteArray &data, const QByteArray &mime, const QByteArray &name)
{
    const QByteArray encoded = data.toBase64();
    QByteArray base64; // exporters wrap their lines
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        base64 += encoded.mid(i, 76) + '\n';
    return "<resource><data encoding=\"base64\">\n" + base64 + "\n</data><mime>" + mime
        + "</mime><resource-attributes><file-name>" + name + "</file-name></resource-attributes></resource>";
}

QByteArray enexNote(const QByteArray &title, const QByteArray &enml, const QByteArray &extra = {})
{
    return "<note><title>" + title + "</title><content><![CDATA[<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<!DOCTYPE en-note SYSTEM \"http://xml.evernote.com/pub/enml2.dtd\"><en-note>"
        + enml + "</en-note>]]></content><created>20230115T103000Z</created><updated>20230116T083000Z</updated>"
        + extra + "</note>";
}

QByteArray enex(const QByteArray &notes)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE en-export SYSTEM "
           "\"http://xml.evernote.com/pub/evernote-export4.dtd\">\n<en-export export-date=\"20230120T000000Z\">"
        + notes + "</en-export>";
}

qint64 peakResidentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

class TestEnexImporter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<IoFixture> m_fx;
    const QByteArray m_png = QByteArray("\x89PNG\r\n\x1a\nimage-bytes", 19);
    const QByteArray m_pdf = QByteArray("%PDF-1.4 tiny");

    QString write(const QString &name, const QByteArray &data) { return IoFiles::write(m_dir.filePath(name), data); }

private slots:
    void init()
    {
        m_fx = IoFixture::create(m_dir.path());
        QVERIFY(m_fx);
    }

    void cleanup() { m_fx.reset(); }

    // First, so the peak it measures is its own.
    void largeFilesAreStreamed()
    {
        if (peakResidentKiB() < 0)
            QSKIP("needs /proc/self/status");
        const QString path = m_dir.filePath("big.enex");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(enex({}).chopped(int(qstrlen("</en-export>"))));
        QByteArray data(1024 * 1024, 'x');
        constexpr int kNotes = 40;
        for (int i = 0; i < kNotes; ++i) {
            data[0] = char(i);
            file.write(enexNote("n" + QByteArray::number(i), "<en-media type=\"application/zip\" hash=\"" + md5(data) + "\"/>",
                                resource(data, "application/zip", "d.zip")));
        }
        // And one 16 MiB attachment, written in pieces so that writing it does not raise the peak.
        const QByteArray piece(48 * 1024, 'y');
        QCryptographicHash hash(QCryptographicHash::Md5);
        for (int p = 0; p < 16 * 1024 / 48; ++p)
            hash.addData(piece);
        const QList<QByteArray> around = enexNote("large", "<en-media hash=\"" + hash.result().toHex() + "\"/>", "|").split('|');
        file.write(around.first() + "<resource><data encoding=\"base64\">");
        for (int p = 0; p < 16 * 1024 / 48; ++p)
            file.write(piece.toBase64());
        file.write("</data></resource>" + around.last());
        file.write("</en-export>");
        file.close();
        const qint64 before = peakResidentKiB();
        const ImportResult result = importEnex(path, m_fx->repositories());
        QCOMPARE(result.imported, kNotes + 1);
        QCOMPARE(result.attachments, kNotes + 1);
        const qint64 grown = peakResidentKiB() - before;
        QVERIFY2(grown < QFileInfo(path).size() / 1024 / 4, qPrintable(QString("grew by %1 KiB").arg(grown)));
    }

    void everyElementArrives_data()
    {
        QTest::addColumn<QByteArray>("enml");
        QTest::addColumn<QStringList>("expected"); // consecutive runs after the title

        QTest::newRow("code block") << QByteArray("<div style=\"box-sizing:border-box;-en-codeblock:true\"><div>int a;</div><div><b>b</b></div></div>"
                                                  "<div>after</div>")
                                    << QStringList{"int a;", "\n {\"code-block\":true}", "b {\"bold\":true}", "\n {\"code-block\":true}",
                                                   "after", "\n"};
        QTest::newRow("html data element") << QByteArray("<div>a <data value=\"1\">b</data> c</div>") << QStringList{"a b c", "\n"};
        QTest::newRow("formats") << QByteArray("<div><b>B</b><i>I</i><u>U</u><s>S</s><a href=\"https://x.org\">L</a></div>")
                                 << QStringList{"B {\"bold\":true}", "I {\"italic\":true}", "U {\"underline\":true}",
                                                "S {\"strike\":true}", "L {\"link\":\"https://x.org\"}", "\n"};
        QTest::newRow("heading") << QByteArray("<h2>Sub</h2>") << QStringList{"Sub {\"bold\":true}", "\n {\"header\":2}"};
        QTest::newRow("lists") << QByteArray("<ul><li>a</li></ul><ol><li>b</li></ol>")
                               << QStringList{"a", "\n {\"list\":\"bullet\"}", "b", "\n {\"list\":\"ordered\"}"};
        QTest::newRow("todos") << QByteArray("<div><en-todo checked=\"true\"/> Milk</div><div><en-todo/>Eggs</div>")
                               << QStringList{"Milk", "\n {\"list\":\"checked\"}", "Eggs", "\n {\"list\":\"unchecked\"}"};
        QTest::newRow("new todos") << QByteArray("<ul style=\"--en-todo:true;\"><li style=\"--en-checked:false;\">Tea</li></ul>")
                                   << QStringList{"Tea", "\n {\"list\":\"unchecked\"}"};
        QTest::newRow("rule") << QByteArray("<div>a</div><hr/><div>b</div>") << QStringList{"a", "\n", "[divider:]", "\n", "b"};
        QTest::newRow("code") << QByteArray("<pre>x = 1</pre>") << QStringList{"x = 1", "\n {\"code-block\":true}"};
        QTest::newRow("crypt") << QByteArray("<div>a</div><en-crypt cipher=\"AES\">U2FsdGVk</en-crypt>")
                               << QStringList{"a", "\n", "[Encrypted content]", "\n"};
        QTest::newRow("missing media") << QByteArray("<div>a<en-media type=\"image/png\" hash=\"00ff\"/></div>")
                                       << QStringList{"a[missing attachment]", "\n"};
    }

    void everyElementArrives()
    {
        QFETCH(QByteArray, enml);
        QFETCH(QStringList, expected);
        const ImportResult result = importEnex(write("e.enex", enex(enexNote("T", enml))), m_fx->repositories());
        QCOMPARE(result.imported, 1);
        const QList<Note> notes = m_fx->notes->allNotes();
        QCOMPARE(notes.size(), 1);
        const QStringList runs = deltaRuns(notes.first().body);
        QCOMPARE(runs.mid(0, 2), QStringList({"T {\"bold\":true}", "\n {\"header\":1}"}));
        QCOMPARE(runs.mid(2, expected.size()), expected);
        QCOMPARE(result.warnings, QTest::currentDataTag() == QByteArray("formats") ? 0 : result.warnings);
    }

    void mediaResolveByHashAndTagsCloseTheNote()
    {
        const QByteArray enml = "<div>See<en-media type=\"image/png\" hash=\"" + md5(m_png)
            + "\"/></div><table><tr><td>cell<en-media type=\"application/pdf\" hash=\"" + md5(m_pdf)
            + "\"/></td></tr></table><en-crypt>x</en-crypt>";
        const QByteArray extra = "<tag>work</tag><tag>2023</tag>" + resource(m_png, "image/png", "shot.png")
            // Base64 in a CDATA section, followed by character references.
            + "<resource><data encoding=\"base64\"><![CDATA[" + m_pdf.toBase64() + "]]>&#13;&#10;</data><mime>application/pdf</mime>"
              "</resource>" + resource("unused", "text/plain", "notes.txt");
        const ImportResult result = importEnex(write("Travel Plans.enex", enex(enexNote("Trip &amp; more", enml, extra))),
                                               m_fx->repositories());
        QCOMPARE(result.imported, 1);
        QCOMPARE(result.attachments, 3);
        QCOMPARE(result.warnings, 1); // the encrypted section
        const Note note = m_fx->notes->allNotes().first();
        QCOMPARE(note.createdAt, QDateTime(QDate(2023, 1, 15), QTime(10, 30), Qt::UTC));
        QCOMPARE(note.updatedAt, QDateTime(QDate(2023, 1, 16), QTime(8, 30), Qt::UTC));
        const QList<Notebook> notebooks = m_fx->notebooks->allNotebooks();
        QCOMPARE(notebooks.size(), 1);
        QCOMPARE(notebooks.first().name, QString("Travel Plans"));
        QCOMPARE(note.notebookId, notebooks.first().id);

        const QList<Attachment> attachments = m_fx->attachments->attachmentsForNote(note.id);
        QCOMPARE(attachments.size(), 3);
        QStringList names;
        for (const Attachment &a : attachments)
            names << a.filename;
        names.sort();
        QCOMPARE(names, QStringList({"attachment-2.pdf", "notes.txt", "shot.png"}));
        QHash<QString, QString> embeds; // file name -> its embed run
        const QHash<QString, QByteArray> bytes{{"shot.png", m_png}, {"notes.txt", "unused"}, {"attachment-2.pdf", m_pdf}};
        for (const Attachment &a : attachments) {
            QCOMPARE(IoFiles::read(AttachmentRepository::filePath(a.id)), bytes.value(a.filename));
            embeds.insert(a.filename, QString("[velmora-notes-attachment:%1]").arg(attachmentUrl(a.id)));
        }
        const auto urlOf = [&](const QString &name) { return embeds.value(name); };
        const QStringList runs = deltaRuns(note.body);
        QVERIFY(runs.first().startsWith("Trip & more"));
        QVERIFY(runs.indexOf(urlOf("shot.png")) == runs.indexOf("See") + 1);
        QVERIFY(runs.contains(urlOf("attachment-2.pdf"))); // a cell holds text only: after the table
        QVERIFY(runs.contains(urlOf("notes.txt")));
        QVERIFY(runs.contains("Tags: work, 2023"));
        QVERIFY(runs.contains("[Encrypted content]"));
    }

    void brokenFilesAreReported_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("imported");
        QTest::addColumn<bool>("fatal");
        QTest::newRow("cut short") << enex(enexNote("a", "<div>x</div>") + enexNote("b", "<div>y</div>")).chopped(40) << 1 << false;
        QTest::newRow("no notes") << enex({}) << 0 << true;
        QTest::newRow("not xml") << QByteArray("PK\x03\x04 zip") << 0 << true;
    }

    void brokenFilesAreReported()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, imported);
        QFETCH(bool, fatal);
        const ImportResult result = importEnex(write("b.enex", content), m_fx->repositories());
        QCOMPARE(result.imported, imported);
        QCOMPARE(!result.error.isEmpty(), fatal);
        QCOMPARE(result.errors > 0, !fatal || QTest::currentDataTag() == QByteArray("not xml"));
    }
};

VELM_TEST_MAIN(TestEnexImporter)
#include "tst_eneximporter.moc"
