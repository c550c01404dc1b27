#include "velmtest.h"

#include "htmlwriter.h"

#include <QJsonDocument>

namespace {

// The page between <body> and </body>.
QString bodyOf(const QString &page)
{
    const qsizetype start = page.indexOf(QLatin1String("<body>\n"));
    const qsizetype end = page.lastIndexOf(QLatin1String("</body>"));
    return start < 0 || end < start ? QStringLiteral("<bad page>") + page : page.mid(start + 7, end - start - 7);
}

} // namespace

// What export, print and copy as HTML write for a body: the page keeps the
// shape of the note, not one paragraph per line.
class TestHtmlWriter : public QObject
{
    Q_OBJECT

private slots:
    void pages_data()
    {
        QTest::addColumn<QString>("delta");
        QTest::addColumn<QString>("html");
        const auto row = [](const char *name, const char *delta, const char *html) {
            QTest::newRow(name) << QString::fromUtf8(delta) << QString::fromUtf8(html);
        };
        row("bullets and numbers are lists",
            R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"1"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"p\n"}])",
            "<ul>\n<li>a</li>\n<li>b</li>\n</ul>\n<ol>\n<li>1</li>\n</ol>\n<p>p</p>\n");
        row("indented items nest inside the item above and come back out",
            R"([{"insert":"a"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"a1"},{"attributes":{"list":"bullet","indent":1},"insert":"\n"},{"insert":"a11"},{"attributes":{"list":"bullet","indent":2},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"ordered"},"insert":"\n"}])",
            "<ol>\n<li>a<ul>\n<li>a1<ul>\n<li>a11</li>\n</ul>\n</li>\n</ul>\n</li>\n<li>b</li>\n</ol>\n");
        row("check items carry their state and a box",
            R"([{"insert":"done"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"todo"},{"attributes":{"list":"unchecked"},"insert":"\n"}])",
            "<ul>\n<li class=\"checked\"><input type=\"checkbox\" checked disabled> done</li>\n"
            "<li class=\"unchecked\"><input type=\"checkbox\" disabled> todo</li>\n</ul>\n");
        row("alignment is kept on paragraphs and items",
            R"([{"insert":"c"},{"attributes":{"align":"center"},"insert":"\n"},{"insert":"r"},{"attributes":{"list":"bullet","align":"right"},"insert":"\n"},{"insert":"x"},{"attributes":{"align":"bogus"},"insert":"\n"}])",
            "<p style=\"text-align:center\">c</p>\n<ul>\n<li style=\"text-align:right\">r</li>\n</ul>\n<p>x</p>\n");
        row("a code block is one pre, a quote one blockquote",
            R"([{"attributes":{"code":true},"insert":"c1"},{"attributes":{"code-block":true},"insert":"\n"},{"insert":"<c2>"},{"attributes":{"code-block":"cpp"},"insert":"\n"},{"insert":"q1"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"q2"},{"attributes":{"blockquote":true},"insert":"\n"}])",
            "<pre><code>c1\n&lt;c2&gt;</code></pre>\n<blockquote>\n<p>q1</p>\n<p>q2</p>\n</blockquote>\n");
        row("headings win over lists, a divider ends a list",
            R"([{"insert":"T"},{"attributes":{"header":2,"list":"bullet"},"insert":"\n"},{"insert":"i"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":{"divider":true}},{"insert":"\n"}])",
            "<h2>T</h2>\n<ul>\n<li>i</li>\n</ul>\n<hr>\n<p></p>\n");
        row("attachments without a resolver write nothing",
            R"([{"insert":"a"},{"insert":{"velmora-notes-attachment":"velmora-notes://attachment/x"}},{"insert":"\n"}])",
            "<p>a</p>\n");
    }
    void pages()
    {
        QFETCH(QString, delta);
        QTEST(bodyOf(HtmlWriter().write(QJsonDocument::fromJson(delta.toUtf8()).array())), "html");
    }

    void attachmentsAreImagesOrLinksAsResolved()
    {
        HtmlWriter writer;
        writer.setAttachmentResolver([](const QString &id) -> std::optional<HtmlWriter::Attachment> {
            if (id == QLatin1String("pic"))
                return HtmlWriter::Attachment{QStringLiteral("files/a b.png"), QStringLiteral("a\"b.png"), true, 300};
            if (id == QLatin1String("doc"))
                return HtmlWriter::Attachment{QStringLiteral("files/r.pdf"), QStringLiteral("r.pdf"), false, 0};
            return std::nullopt;
        });
        const QString delta = R"([{"insert":{"image":"velmora-notes://attachment/pic"}},{"insert":"\n"},)"
                              R"({"insert":{"velmora-notes-attachment":"velmora-notes://attachment/doc"}},)"
                              R"({"insert":{"velmora-notes-attachment":"velmora-notes://attachment/gone"}},)"
                              R"({"insert":{"image":"https://elsewhere/x.png"}},{"insert":"\n"}])";
        QCOMPARE(bodyOf(writer.write(QJsonDocument::fromJson(delta.toUtf8()).array())),
                 QString("<p><img src=\"files/a b.png\" alt=\"a&quot;b.png\" width=\"300\"></p>\n"
                         "<p><a href=\"files/r.pdf\">r.pdf</a></p>\n"));
    }
};

VELM_TEST_CORE_MAIN(TestHtmlWriter)
#include "tst_htmlwriter.moc"
