#include "velmtest.h"

#include "converters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonArray delta(const char *json)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(json));
    Q_ASSERT(doc.isArray());
    return doc.array();
}

// deltaToHtml's body without the page wrapper.
QString htmlBody(const QJsonArray &ops)
{
    const QString html = deltaToHtml(ops);
    const QString head = QStringLiteral("<html><body>\n");
    const QString tail = QStringLiteral("</body></html>");
    if (!html.startsWith(head) || !html.endsWith(tail))
        return QStringLiteral("<bad wrapper>") + html;
    return html.mid(head.size(), html.size() - head.size() - tail.size());
}

QString tableEmbed(const char *tableJson)
{
    QJsonArray ops;
    ops.append(QJsonObject{{"insert", QJsonObject{{"table", QString::fromUtf8(tableJson)}}}});
    ops.append(QJsonObject{{"insert", "\n"}});
    return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
}

} // namespace

class TestConverters : public QObject
{
    Q_OBJECT

private slots:
    void convertBodyPicksTheWriterAndPassesOtherBodiesThrough()
    {
        const QString body = R"([{"attributes":{"bold":true},"insert":"Hi"},{"insert":"\n"}])";
        QCOMPARE(convertBody(body, ExportFormat::Markdown), QString("**Hi**\n"));
        QCOMPARE(convertBody(body, ExportFormat::Html), QString("<html><body>\n<p><strong>Hi</strong></p>\n</body></html>"));
        QCOMPARE(convertBody(body, ExportFormat::Pdf), convertBody(body, ExportFormat::Html));
        QCOMPARE(convertBody(body, static_cast<ExportFormat>(42)), QString("Hi\n"));
        for (const QString &other : {QString(), QString("just words"), QString(R"({"insert":"x"})"), QString("[1,")})
            QCOMPARE(convertBody(other, ExportFormat::Html), other);

        const QJsonArray empty = delta(R"([{"insert":"\n"}])");
        QCOMPARE(deltaToMarkdown(empty), QString());
        QCOMPARE(deltaToHtml(empty), QString("<html><body>\n<p></p>\n</body></html>"));
        QCOMPARE(deltaToHtml(QJsonArray()), QString("<html><body>\n</body></html>"));
        // Plain text keeps everything but embeds.
        const QJsonArray ops = delta(R"([{"retain":3},{"insert":"  a "},{"insert":{"divider":true}},)"
                                     R"({"attributes":{"header":1},"insert":"\n"},)"
                                     R"({"insert":{"velmora-notes-attachment":"x"}},"junk",{"insert":"b\n\n"}])");
        QCOMPARE(deltaToPlainText(ops), QString("  a \nb\n\n"));
    }

    void markdown_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("markdown");

        QTest::newRow("bullets then paragraph")
            << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"c"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"Next\n"}])"
            << "- a\n- b\n- c\n\nNext\n";
        QTest::newRow("paragraph then ordered, all numbered 1")
            << R"([{"insert":"Intro\none"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"two"},{"attributes":{"list":"ordered"},"insert":"\n"}])"
            << "Intro\n\n1. one\n1. two\n";
        QTest::newRow("check list items")
            << R"([{"insert":"done"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"open"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"
            << "- [x] done\n- [ ] open\n";
        QTest::newRow("unknown list type keeps the line in the list block")
            << R"([{"insert":"a"},{"attributes":{"list":"weird"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"}])"
            << "a\n- b\n";
        // Older bodies mark code-block text as inline code too: the block stays literal.
        QTest::newRow("code lines are one indented block without marks")
            << R"([{"attributes":{"code":true},"insert":"x = 1"},{"attributes":{"code-block":true},"insert":"\n"},{"attributes":{"code":true,"bold":true},"insert":"y = *2"},{"attributes":{"code-block":"cpp"},"insert":"\n"}])"
            << "    x = 1\n    y = *2\n";
        QTest::newRow("code after list gets a blank line")
            << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"x"},{"attributes":{"code-block":true},"insert":"\n"},{"insert":"after\n"}])"
            << "- a\n\n    x\n\nafter\n";
        QTest::newRow("paragraphs are separated by one blank line")
            << R"([{"insert":"one\ntwo\n"}])" << "one\n\ntwo\n";
        QTest::newRow("empty lines collapse")
            << R"([{"insert":"one\n\n\n\n  \ntwo\n"}])" << "one\n\ntwo\n";
        QTest::newRow("empty lines inside a list separate it")
            << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"\n"},{"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"}])"
            << "- a\n\n- b\n";
        QTest::newRow("leading empty lines are dropped")
            << R"([{"insert":"\n\nHi\n"}])" << "Hi\n";
        QTest::newRow("quote lines")
            << R"([{"insert":"a"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"b"},{"attributes":{"blockquote":true},"insert":"\n"}])"
            << "> a\n\n> b\n";
        QTest::newRow("headings, empty heading skipped")
            << R"([{"insert":"T"},{"attributes":{"header":2},"insert":"\n"},{"insert":"  "},{"attributes":{"header":1},"insert":"\n"},{"insert":"p"},{"attributes":{"header":7},"insert":"\n"}])"
            << "## T\n\np\n";
        QTest::newRow("heading ends a list with a blank line")
            << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"H"},{"attributes":{"header":3},"insert":"\n"}])"
            << "- a\n\n### H\n";
        QTest::newRow("divider after paragraph")
            << R"([{"insert":"Hi\n"},{"insert":{"divider":true}},{"insert":"\n"}])" << "Hi\n\n---\n";
        QTest::newRow("divider after list item and before list")
            << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"}])"
            << "- a\n\n---\n\n- b\n";
        QTest::newRow("divider closes an unfinished line")
            << R"([{"insert":"x"},{"insert":{"divider":true}},{"insert":"\n"}])" << "x\n\n---\n";
        QTest::newRow("attachments and images write nothing")
            << R"([{"insert":"a"},{"insert":{"velmora-notes-attachment":"velmora-notes://attachment/1"}},{"insert":{"image":"http://x/y.png"}},{"insert":"b\n"}])"
            << "ab\n";
        QTest::newRow("trailing spaces and newlines trimmed to one newline")
            << R"([{"insert":"end   \n\n"}])" << "end\n";
        QTest::newRow("no final newline")
            << R"([{"insert":"Hello\nworld"}])" << "Hello\n\nworld\n";
        QTest::newRow("retain and delete are skipped")
            << R"([{"retain":5},{"delete":2},{"insert":"x\n"}])" << "x\n";
        QTest::newRow("bold inside italic")
            << R"([{"attributes":{"bold":true,"italic":true},"insert":"x"},{"insert":"\n"}])" << "***x***\n";
        QTest::newRow("bold link")
            << R"([{"attributes":{"bold":true,"link":"u"},"insert":"x"},{"insert":"\n"}])" << "[**x**](u)\n";
        QTest::newRow("code, strike, underline dropped")
            << R"([{"attributes":{"code":true,"strike":true,"underline":true},"insert":"x"},{"insert":"\n"}])"
            << "~~`x`~~\n";
        QTest::newRow("false and non-boolean marks are off")
            << R"([{"attributes":{"bold":false,"italic":"yes"},"insert":"x"},{"insert":"\n"}])" << "x\n";
        QTest::newRow("heading never carries bold")
            << R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":1},"insert":"\n"}])" << "# Title\n";
        QTest::newRow("heading keeps italic")
            << R"([{"attributes":{"bold":true,"italic":true},"insert":"T"},{"attributes":{"header":2},"insert":"\n"}])" << "## *T*\n";
        QTest::newRow("text is not escaped")
            << R"([{"insert":"<b> * _x_ |"},{"insert":"\n"}])" << "<b> * _x_ |\n";
        QTest::newRow("runs on a list item")
            << R"([{"insert":"buy "},{"attributes":{"bold":true},"insert":"milk"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"
            << "- [ ] buy **milk**\n";
    }
    void markdown()
    {
        QFETCH(QString, body);
        QFETCH(QString, markdown);
        QCOMPARE(convertBody(body, ExportFormat::Markdown), markdown);
    }

    void htmlTemplates_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("html");

        QTest::newRow("heading with bold run")
            << R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":1},"insert":"\n"}])"
            << "<h1><strong>Title</strong></h1>\n";
        QTest::newRow("heading level 6, level 7 is a paragraph")
            << R"([{"insert":"a"},{"attributes":{"header":6},"insert":"\n"},{"insert":"b"},{"attributes":{"header":7},"insert":"\n"}])"
            << "<h6>a</h6>\n<p>b</p>\n";
        QTest::newRow("quote and code lines are separate elements, no inline code in code")
            << R"([{"insert":"q"},{"attributes":{"blockquote":true},"insert":"\n"},{"attributes":{"code":true},"insert":"c1"},{"attributes":{"code-block":true},"insert":"\n"},{"insert":"c2"},{"attributes":{"code-block":true},"insert":"\n"},{"insert":{"divider":true}},{"insert":"\n"},{"insert":"c3"},{"attributes":{"code-block":true},"insert":"\n"}])"
            << "<blockquote>q</blockquote>\n<pre><code>c1</code></pre>\n<pre><code>c2</code></pre>\n<hr>\n<p></p>\n<pre><code>c3</code></pre>\n";
        QTest::newRow("list items and alignment are paragraphs")
            << R"([{"insert":"i"},{"attributes":{"list":"bullet","align":"center"},"insert":"\n"}])" << "<p>i</p>\n";
        QTest::newRow("escaping")
            << "[{\"insert\":\"<b> & \\\"q\\\"\"},{\"insert\":\"\\n\"}]" << "<p>&lt;b&gt; &amp; &quot;q&quot;</p>\n";
        QTest::newRow("wrapping order")
            << R"([{"attributes":{"bold":true,"italic":true,"underline":true,"strike":true,"code":true},"insert":"x"},{"insert":"\n"}])"
            << "<p><code><del><u><em><strong>x</strong></em></u></del></code></p>\n";
        QTest::newRow("bold link, href escaped")
            << "[{\"attributes\":{\"bold\":true,\"link\":\"u?a=1&b=\\\"2\\\"\"},\"insert\":\"x\"},{\"insert\":\"\\n\"}]"
            << "<p><a href=\"u?a=1&amp;b=&quot;2&quot;\"><strong>x</strong></a></p>\n";
        QTest::newRow("placeholders in text stay text")
            << R"([{"insert":"%1 %2"},{"attributes":{"header":1},"insert":"\n"},{"attributes":{"link":"%2"},"insert":"%1"},{"insert":"\n"}])"
            << "<h1>%1 %2</h1>\n<p><a href=\"%2\">%1</a></p>\n";
        QTest::newRow("divider followed by empty paragraph")
            << R"([{"insert":"Hi\n"},{"insert":{"divider":true}},{"insert":"\n"}])" << "<p>Hi</p>\n<hr>\n<p></p>\n";
        QTest::newRow("embeds other than divider and table write nothing")
            << R"([{"insert":{"image":"x"}},{"insert":"\n"}])" << "<p></p>\n";
    }

    void htmlTemplates()
    {
        QFETCH(QString, body);
        QFETCH(QString, html);
        QCOMPARE(htmlBody(QJsonDocument::fromJson(body.toUtf8()).array()), html);
    }

    void tables_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("markdown");

        const QString open = "<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" style=\"border-collapse:collapse\">\n";
        QTest::newRow("ragged rows without header")
            << R"({"cells":[["a","b"],["c"]],"hasHeader":false})"
            << open + "  <tr><td>a</td><td>b</td></tr>\n  <tr><td>c</td></tr>\n</table>\n"
            << "| a | b |\n| --- | --- |\n| c |  |\n";
        QTest::newRow("header row by default")
            << R"({"cells":[["H"],[""]]})"
            << open + "  <tr><th>H</th></tr>\n  <tr><td>&nbsp;</td></tr>\n</table>\n"
            << "| H |\n| --- |\n|  |\n";
        QTest::newRow("delta cells")
            << R"({"cells":[[[{"attributes":{"bold":true},"insert":"B"}],[{"insert":"x|y"},{"insert":"\n"},{"attributes":{"code":true},"insert":"a\nb"}]],[[{"attributes":{"bold":true,"italic":true,"link":"u"},"insert":"<i>"}],7]],"hasHeader":true})"
            << open
                   + "  <tr><th><strong>B</strong></th><th>x|y<br><code>a<br>b</code></th></tr>\n"
                     "  <tr><td><a href=\"u\"><em><strong>&lt;i&gt;</strong></em></a></td><td>&nbsp;</td></tr>\n</table>\n"
            << "| B | x\\|y`a b` |\n| --- | --- |\n| [***<i>***](u) |  |\n";
        QTest::newRow("text cell escaping")
            << R"({"cells":[["a|b\nc <d>"]],"hasHeader":false})"
            << open + "  <tr><td>a|b\nc &lt;d&gt;</td></tr>\n</table>\n" << "| a\\|b c <d> |\n| --- |\n";
        QTest::newRow("markdown cell marks nest code innermost")
            << R"({"cells":[[[{"attributes":{"code":true,"strike":true,"bold":true},"insert":"k"}]]],"hasHeader":false})"
            << open + "  <tr><td><code><del><strong>k</strong></del></code></td></tr>\n</table>\n"
            << "| ~~**`k`**~~ |\n| --- |\n";
        QTest::newRow("no rows") << R"({"cells":[],"hasHeader":true})" << "" << "";
        QTest::newRow("only empty rows") << R"({"cells":[[],[]]})"
                                         << open + "  <tr></tr>\n  <tr></tr>\n</table>\n" << "";
        QTest::newRow("not an object") << "[1,2]" << "" << "";
        QTest::newRow("invalid json") << "{\"cells\":" << "" << "";
    }

    void tables()
    {
        QFETCH(QString, table);
        QFETCH(QString, html);
        QFETCH(QString, markdown);
        QCOMPARE(tableToHtml(table), html);
        QCOMPARE(tableToMarkdown(table), markdown);
    }

    void tableBlocksInsideADocument()
    {
        const QString body = tableEmbed(R"({"cells":[["a","b"],["c"]],"hasHeader":false})");
        QCOMPARE(convertBody(body, ExportFormat::Markdown), QString("| a | b |\n| --- | --- |\n| c |  |\n"));
        QVERIFY(convertBody(body, ExportFormat::Html)
                    .endsWith("  <tr><td>c</td></tr>\n</table>\n<p></p>\n</body></html>"));

        // After a list the table gets a blank line; the paragraph after it another.
        QJsonArray ops = delta(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"}])");
        for (const QJsonValue &op : QJsonDocument::fromJson(body.toUtf8()).array())
            ops.append(op);
        ops.append(QJsonObject{{"insert", "after\n"}});
        QCOMPARE(deltaToMarkdown(ops), QString("- a\n\n| a | b |\n| --- | --- |\n| c |  |\n\nafter\n"));
    }
};

VELM_TEST_CORE_MAIN(TestConverters)
#include "tst_converters.moc"
