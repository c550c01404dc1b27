#include "velmtest.h"

#include "editorrules.h"

using namespace EditorRules;

class TestEditorRules : public QObject
{
    Q_OBJECT

private slots:
    void countsWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("runs of spaces and a newline") << "  one   two\n three  " << 3;
        QTest::newRow("only white space") << " \n\t  " << 0;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("tabs and newlines only between") << "a\tb\nc" << 3;
        QTest::newRow("vertical tab and form feed") << "a\vb\fc\rd" << 4;
        QTest::newRow("no-break space inside a word") << QString("a\u00a0b c") << 2;
        QTest::newRow("no-break space around") << QString("\u00a0word\u00a0") << 1;
        QTest::newRow("one word") << "word" << 1;
    }
    void countsWords()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QCOMPARE(wordCount(text), count);
    }

    void recognisesPastedHtml_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("html");
        QTest::newRow("paragraph tag") << "<p>Hello</p>" << true;
        QTest::newRow("doctype, any case") << "  <!DOCTYPE html><title>x</title>" << true;
        QTest::newRow("upper-case div") << "<DIV>a</DIV>" << true;
        QTest::newRow("lone less-than in a sentence") << "a < b is true" << false;
        QTest::newRow("starts with an unknown tag") << "<foo>bar</foo>" << false;
        QTest::newRow("comparison at the start") << "<3 love" << false;
        QTest::newRow("empty") << "   " << false;
    }
    void recognisesPastedHtml()
    {
        QFETCH(QString, text);
        QFETCH(bool, html);
        QCOMPARE(looksLikeHtml(text), html);
    }

    void recognisesPastedMarkdown_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("markdown");
        QTest::newRow("heading") << "# Title\nbody" << true;
        QTest::newRow("heading on a later line") << "intro\n## Part" << true;
        QTest::newRow("bullet") << "- item" << true;
        QTest::newRow("numbered") << "12. twelve" << true;
        QTest::newRow("quote") << "> said" << true;
        QTest::newRow("table row") << "| a | b |" << true;
        QTest::newRow("link") << "see [docs](http://x)" << true;
        QTest::newRow("rule") << "---" << true;
        QTest::newRow("fence") << "```cpp\nint x;\n```" << true;
        QTest::newRow("hash without space") << "#hashtag here" << false;
        QTest::newRow("deeply indented heading") << "     # not" << false;
        QTest::newRow("plain sentence") << "Just words, nothing else." << false;
        QTest::newRow("empty") << "" << false;
    }
    void recognisesPastedMarkdown()
    {
        QFETCH(QString, text);
        QFETCH(bool, markdown);
        QCOMPARE(looksLikeMarkdown(text), markdown);
    }

    void linkTargets_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("direct");
        QTest::newRow("scheme-less") << "example.com/a" << "https://example.com/a" << true;
        QTest::newRow("host with port") << "localhost:8080/x" << "https://localhost:8080/x" << true;
        QTest::newRow("http") << "http://example.com" << "http://example.com" << true;
        QTest::newRow("upper-case https") << "HTTPS://example.com" << "https://example.com" << true;
        QTest::newRow("mailto") << "mailto:a@b.c" << "mailto:a@b.c" << true;
        QTest::newRow("file") << "file:///etc/passwd" << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << "javascript:alert(1)" << false;
        QTest::newRow("custom handler") << "ms-settings:privacy" << "ms-settings:privacy" << false;
    }
    void linkTargets()
    {
        QFETCH(QString, href);
        QFETCH(QString, url);
        QFETCH(bool, direct);
        const QUrl target = linkTarget(href);
        QCOMPARE(target.toString(), url);
        QCOMPARE(opensWithoutAsking(target), direct);
    }

    void attachmentNamesStayInsideTheTemporaryFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("safe");
        QTest::newRow("ordinary") << "report.pdf" << "report.pdf";
        QTest::newRow("climbing out") << "../../.bashrc" << "bashrc";
        QTest::newRow("windows path") << "..\\..\\Windows\\evil.exe" << "evil.exe";
        QTest::newRow("absolute") << "/etc/passwd" << "passwd";
        QTest::newRow("forbidden characters") << "a:b*c?.txt" << "abc.txt";
        QTest::newRow("device name") << "CON" << "id-1.bin";
        QTest::newRow("device with extension") << "nul.txt" << "id-1.bin";
        QTest::newRow("dots only") << ".." << "id-1.bin";
        QTest::newRow("trailing separator") << "folder/" << "id-1.bin";
        QTest::newRow("empty") << "" << "id-1.bin";
        QTest::newRow("control character") << QString("a\nb") << "ab";
    }
    void attachmentNamesStayInsideTheTemporaryFolder()
    {
        QFETCH(QString, name);
        QFETCH(QString, safe);
        QCOMPARE(safeAttachmentFileName(name, QStringLiteral("id-1")), safe);

        const QString path = attachmentTempPath(QStringLiteral("/private"), QStringLiteral("id-1"), name);
        QCOMPARE(QFileInfo(path).absolutePath(), QStringLiteral("/private/id-1"));
    }

    void climbingAttachmentIdsStayInsideToo()
    {
        for (const QString &id : {QStringLiteral(".."), QStringLiteral("../../x"), QStringLiteral("a/b")}) {
            const QString path = QDir::cleanPath(attachmentTempPath(QStringLiteral("/private"), id, "f.txt"));
            QCOMPARE(QFileInfo(QFileInfo(path).absolutePath()).absolutePath(), QStringLiteral("/private"));
        }
    }

    void onlyHarmlessAttachmentTypesOpenWithoutAsking_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("opens");
        QTest::newRow("picture") << "photo.JPG" << true;
        QTest::newRow("pdf") << "report.pdf" << true;
        QTest::newRow("office") << "sheet.xlsx" << true;
        QTest::newRow("text") << "notes.txt" << true;
        QTest::newRow("program") << "setup.exe" << false;
        QTest::newRow("script") << "run.bat" << false;
        QTest::newRow("javascript") << "invoice.js" << false;
        QTest::newRow("shortcut") << "docs.lnk" << false;
        QTest::newRow("double extension") << "report.pdf.exe" << false;
        QTest::newRow("no extension") << "README" << false;
        QTest::newRow("dot file") << ".pdf" << false;
        QTest::newRow("path hides the type") << "x.exe/clean.pdf" << true;
        QTest::newRow("trailing dot") << "setup.exe." << false;
    }
    void onlyHarmlessAttachmentTypesOpenWithoutAsking()
    {
        QFETCH(QString, name);
        QFETCH(bool, opens);
        QCOMPARE(attachmentOpensWithoutAsking(name), opens);
    }

    void formatsSizes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes") << qint64(512) << "0.5 KB";
        QTest::newRow("kilobytes") << qint64(12800) << "12.5 KB";
        QTest::newRow("just below a megabyte") << qint64(1024 * 1024 - 1) << "1024.0 KB";
        QTest::newRow("megabytes") << qint64(3 * 1024 * 1024 + 300 * 1024) << "3.3 MB";
    }
    void formatsSizes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(formatAttachmentSize(bytes), text);
    }
};

VELM_TEST_CORE_MAIN(TestEditorRules)
#include "tst_editorrules.moc"
