#include "velmtest.h"

#include "delta.h"
#include "iofixture.h"
#include "noteexport.h"
#include "printabledocument.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QPainter>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextDocument>
#include <QTextList>

using IoFiles::read;
using IoFiles::readZip;

namespace {

QString body(const QJsonArray &ops)
{
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

QJsonObject text(const QString &t)
{
    return QJsonObject{{"insert", t}};
}

QJsonObject embed(const QString &kind, const QString &value)
{
    return QJsonObject{{"insert", QJsonObject{{kind, value}}}};
}

QByteArray pngBytes(const QColor &color)
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class TestNoteExport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<IoFixture> m_fx;

private slots:
    void init()
    {
        m_fx = IoFixture::create(m_dir.path());
        QVERIFY(m_fx);
    }

    void cleanup() { m_fx.reset(); }

    void suggestedNamesFollowTheTitle_data()
    {
        QTest::addColumn<QString>("firstLine");
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("expected");

        const QString id = "1f0e9c2a-0000-4000-8000-000000000000";
        QTest::newRow("forbidden characters dropped") << "Q3: plan/budget?" << id << int(ExportFormat::Markdown)
                                                      << "Q3 planbudget.md";
        QTest::newRow("empty title uses the id") << "" << id << int(ExportFormat::Html) << "note-1f0e9c2a.html";
        QTest::newRow("white space title uses the id") << "   " << id << int(ExportFormat::Pdf) << "note-1f0e9c2a.pdf";
        QTest::newRow("cut to 50 then trimmed") << QString(49, 'a') + " " + QString(10, 'b') << id
                                                << int(ExportFormat::PlainText) << QString(49, 'a') + ".txt";
        QTest::newRow("60 characters keep 50") << QString(60, 'x') << id << int(ExportFormat::Markdown)
                                               << QString(50, 'x') + ".md";
        QTest::newRow("only forbidden characters") << "???" << id << int(ExportFormat::Markdown) << "note.md";
        QTest::newRow("all of them") << "<>:\"/\\|?*" << id << int(ExportFormat::Html) << "note.html";
    }

    void suggestedNamesFollowTheTitle()
    {
        QFETCH(QString, firstLine);
        QFETCH(QString, id);
        QFETCH(int, format);
        QFETCH(QString, expected);
        Note note;
        note.id = id;
        note.body = body({text(firstLine + "\nsecond line\n")});
        QCOMPARE(suggestedFileName(note, ExportFormat(format)), expected);
    }

    // Each format writes the converted body, replacing an earlier file; a body
    // that is no Delta is written as it is.
    void filesHoldTheConvertedBody_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QByteArray>("start");
        const QString heading = body({text("Title"), QJsonObject{{"insert", "\n"}, {"attributes", QJsonObject{{"header", 1}}}},
                                      text("a <b> c\n"), text("\n"), text("\n")});
        QTest::newRow("markdown") << int(ExportFormat::Markdown) << heading << QByteArray("# Title\n\na <b> c\n");
        QTest::newRow("html") << int(ExportFormat::Html) << heading
                              << QByteArray("<body>\n<h1>Title</h1>\n<p>a &lt;b&gt; c</p>\n<p></p>\n<p></p>\n</body></html>");
        QTest::newRow("text") << int(ExportFormat::PlainText) << heading << QByteArray("Title\na <b> c\n\n\n");
        QTest::newRow("pdf") << int(ExportFormat::Pdf) << heading << QByteArray("%PDF");
        QTest::newRow("markdown, no Delta") << int(ExportFormat::Markdown) << "just words <i>" << QByteArray("just words <i>");
        QTest::newRow("html, no Delta") << int(ExportFormat::Html) << "just words <i>" << QByteArray("just words <i>");
    }

    void filesHoldTheConvertedBody()
    {
        QFETCH(int, format);
        QFETCH(QString, body);
        QFETCH(QByteArray, start);
        const QString path = m_dir.filePath(QStringLiteral("n%1").arg(format));
        QVERIFY(IoFiles::write(path, QByteArray(20000, 'o')) == path);
        Note note;
        note.id = IoFixture::newId();
        note.body = body;
        const ExportResult result = exportNote(note, path, ExportFormat(format), false);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.path, path);
        const QByteArray bytes = read(path);
        if (ExportFormat(format) == ExportFormat::Pdf)
            QVERIFY(bytes.startsWith(start) && !bytes.contains("oooo"));
        else if (QByteArray(QTest::currentDataTag()) == "html") // after the page's head
            QVERIFY2(bytes.startsWith("<html><head>") && bytes.endsWith(start), bytes.constData());
        else
            QCOMPARE(bytes, start);
    }

    void anUnwritablePathIsAnError_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("bundle");
        QTest::newRow("markdown") << int(ExportFormat::Markdown) << false;
        QTest::newRow("html") << int(ExportFormat::Html) << false;
        QTest::newRow("pdf") << int(ExportFormat::Pdf) << false;
        QTest::newRow("markdown bundle") << int(ExportFormat::Markdown) << true;
        QTest::newRow("pdf bundle") << int(ExportFormat::Pdf) << true;
        QTest::newRow("pdf over a folder") << int(ExportFormat::Pdf) << false;
    }

    void anUnwritablePathIsAnError()
    {
        QFETCH(int, format);
        QFETCH(bool, bundle);
        Note note = m_fx->addNote(body({text("x\n")}));
        QString path = m_dir.filePath("missing-folder/out" + exportFileExtension(ExportFormat(format)));
        if (QByteArray(QTest::currentDataTag()) == "pdf over a folder") {
            // Opening fails, so nothing can be printed.
            path = m_dir.filePath("taken.pdf");
            QVERIFY(QDir().mkpath(path));
        }
        const ExportResult result = exportNote(note, path, ExportFormat(format), bundle, m_fx->attachments.get());
        QVERIFY(!result.ok);
        QVERIFY2(result.error.startsWith("Failed to write file: "), qPrintable(result.error));
        QVERIFY(result.error.size() > QString("Failed to write file: ").size());
        QVERIFY(!QFile::exists(m_dir.filePath("missing-folder")));
    }

    void theBundleHoldsTheNoteAndItsAttachments()
    {
        Note note = m_fx->addNote(QString());
        const Attachment photo = m_fx->addAttachment(note.id, "photo.png", "image/png", pngBytes(Qt::red));
        const Attachment photo2 = m_fx->addAttachment(note.id, "Photo.png", "image/png", pngBytes(Qt::blue));
        const Attachment report = m_fx->addAttachment(note.id, "report.pdf", "application/pdf", "%PDF-1.4 fake");
        const Attachment odd = m_fx->addAttachment(note.id, "../a/b:c?.txt", "text/plain", "odd");
        const Attachment device = m_fx->addAttachment(note.id, "CON", "text/plain", "dev");
        note.body = body({text("Trip\n"), embed("velmora-notes-attachment", attachmentUrl(photo.id)), text("\n"),
                          embed("image", attachmentUrl(photo2.id)), text("\n"),
                          embed("velmora-notes-attachment", attachmentUrl(report.id)), text("\n"),
                          text("end\n")});
        QVERIFY(m_fx->notes->update(note));

        const QString md = m_dir.filePath("bundle/Trip.md");
        QVERIFY(QDir().mkpath(m_dir.filePath("bundle")));
        ExportResult result = exportNote(note, md, ExportFormat::Markdown, true, m_fx->attachments.get());
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.path, m_dir.filePath("bundle/Trip.zip"));
        QVERIFY(!QFile::exists(md));

        QMap<QString, QByteArray> entries = readZip(result.path);
        QCOMPARE(entries.keys(), QStringList({"Trip.md", "attachments/Photo (2).png", "attachments/abc.txt",
                                              "attachments/attachment", "attachments/photo.png",
                                              "attachments/report.pdf"}));
        QCOMPARE(entries.value("attachments/Photo (2).png"), pngBytes(Qt::blue));
        QCOMPARE(entries.value("attachments/abc.txt"), QByteArray("odd"));
        QCOMPARE(entries.value("attachments/attachment"), QByteArray("dev"));
        QCOMPARE(entries.value("Trip.md"), QByteArray("Trip\n\n![photo.png](attachments/photo.png)\n\n"
                                                      "![Photo (2).png](attachments/Photo%20%282%29.png)\n\n"
                                                      "[report.pdf](attachments/report.pdf)\n\nend\n"));

        const QString html = m_dir.filePath("bundle/Trip.html");
        result = exportNote(note, html, ExportFormat::Html, true, m_fx->attachments.get());
        QCOMPARE(result.path, m_dir.filePath("bundle/Trip.zip"));
        entries = readZip(result.path);
        QVERIFY(!entries.contains("Trip.md"));
        const QByteArray page = entries.value("Trip.html");
        QVERIFY2(page.contains("<p><img src=\"attachments/photo.png\" alt=\"photo.png\"></p>"), page.constData());
        QVERIFY(page.contains("<img src=\"attachments/Photo%20%282%29.png\" alt=\"Photo (2).png\">"));
        QVERIFY(page.contains("<a href=\"attachments/report.pdf\">report.pdf</a>"));

        // A page alone has its pictures in a folder beside it, and no other files.
        QVERIFY(exportNote(note, html, ExportFormat::Html, false, m_fx->attachments.get()).ok);
        const QByteArray alone = read(html);
        QVERIFY2(alone.contains("<img src=\"Trip_files/photo.png\" alt=\"photo.png\">"), alone.constData());
        QVERIFY(alone.contains("<img src=\"Trip_files/Photo%20%282%29.png\""));
        QVERIFY(!alone.contains("report.pdf"));
        QCOMPARE(read(m_dir.filePath("bundle/Trip_files/photo.png")), pngBytes(Qt::red));
        QCOMPARE(QDir(m_dir.filePath("bundle/Trip_files")).entryList(QDir::Files),
                 QStringList({"Photo (2).png", "photo.png"}));

        // Without the box the export is the one file.
        QVERIFY(exportNote(note, md, ExportFormat::Markdown, false, m_fx->attachments.get()).ok);
        QCOMPARE(read(md), QByteArray("Trip\n\nend\n"));
        QVERIFY(!QFile::exists(m_dir.filePath("bundle/attachments")));

        const QString pdf = m_dir.filePath("bundle/Trip.pdf");
        result = exportNote(note, pdf, ExportFormat::Pdf, true, m_fx->attachments.get());
        QVERIFY2(result.ok, qPrintable(result.error));
        entries = readZip(result.path);
        QVERIFY(entries.value("Trip.pdf").startsWith("%PDF"));
        QCOMPARE(entries.value("attachments/report.pdf"), QByteArray("%PDF-1.4 fake"));

        // Print and PDF lay out the pictures themselves, at most a page wide.
        const QImage wide(2 * kPrintableImageWidth, 10, QImage::Format_RGB32);
        QByteArray wideBytes;
        QBuffer buffer(&wideBytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && wide.save(&buffer, "PNG"));
        const Attachment big = m_fx->addAttachment(note.id, "big.png", "image/png", wideBytes);
        note.body = body({embed("image", attachmentUrl(photo.id)), embed("image", attachmentUrl(big.id)),
                          text("item"), QJsonObject{{"insert", "\n"}, {"attributes", QJsonObject{{"list", "checked"}}}}});
        const std::unique_ptr<QTextDocument> printable = printableDocument(note.body, m_fx->attachments.get());
        QCOMPARE(printable->resource(QTextDocument::ImageResource, QUrl(attachmentUrl(photo.id))).value<QImage>().size(),
                 QSize(8, 6));
        const QString laidOut = printable->toHtml();
        QVERIFY2(laidOut.contains("width=\"600\"") && laidOut.count("<img") == 2, qPrintable(laidOut));
        const QTextBlock item = printable->find("item").block();
        QVERIFY(item.textList());
        QCOMPARE(item.blockFormat().marker(), QTextBlockFormat::MarkerType::Checked);
        // Its box is drawn on paper, left of the text.
        QImage paper(printable->size().toSize(), QImage::Format_RGB32);
        paper.fill(Qt::white);
        {
            QPainter painter(&paper);
            printable->drawContents(&painter);
        }
        const QRectF line = item.layout()->lineAt(0).naturalTextRect().translated(item.layout()->position());
        const QImage margin = paper.copy(QRectF(0, line.top(), line.left(), line.height()).toRect());
        QVERIFY(!margin.isNull());
        bool inked = false;
        for (int y = 0; y < margin.height() && !inked; ++y)
            for (int x = 0; x < margin.width() && !inked; ++x)
                inked = margin.pixelColor(x, y).lightness() < 128;
        QVERIFY(inked);
    }

};

VELM_TEST_MAIN(TestNoteExport)
#include "tst_noteexport.moc"
