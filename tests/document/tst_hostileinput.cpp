#include "velmtest.h"

#include "converters.h"
#include "deltaimport.h"
#include "tasks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// Generated hostile input for every converter and the task extractor: each call
// returns (a hang trips the timeout) with output of the documented shape.

namespace {

QString controlCharacters()
{
    QString text;
    for (char16_t c = 0; c < 32; ++c)
        text += QChar(c);
    text += QChar(0x7f);
    text += QChar(QChar::ObjectReplacementCharacter);
    text += QChar(QChar::LineSeparator);
    text += QChar(QChar::ParagraphSeparator);
    text += QChar(0xd800); // lone surrogates
    text += QChar(0xdfff);
    text += QChar(0xfeff);
    return text;
}

QString compact(const QJsonValue &value)
{
    const QJsonDocument doc = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(doc.toJson(QJsonDocument::Compact));
}

QString tableText(int rows, int columns)
{
    QJsonArray cells;
    for (int r = 0; r < rows; ++r) {
        QJsonArray row;
        for (int c = 0; c < columns; ++c) {
            if ((r + c) % 3 == 0)
                row.append(QStringLiteral("t|%1\n<x>").arg(c));
            else if ((r + c) % 3 == 1)
                row.append(QJsonArray{QJsonObject{{"insert", "a\nb"}, {"attributes", QJsonObject{{"bold", true}, {"link", 3}}}},
                                      QJsonObject{{"insert", "\n"}}, 7, QJsonObject{{"insert", QJsonObject()}}});
            else
                row.append(QJsonValue());
        }
        cells.append(row);
    }
    return compact(QJsonObject{{"cells", cells}, {"hasHeader", rows % 2 == 0}});
}

QList<std::pair<QString, QString>> tableInputs()
{
    return {
        {"empty", ""},
        {"invalid", "{\"cells\":[[\"a\""},
        {"array", "[[\"a\"]]"},
        {"cells not an array", "{\"cells\":5}"},
        {"rows not arrays", "{\"cells\":[1,\"x\",null,{}],\"hasHeader\":\"yes\"}"},
        {"deep nesting", QString("{\"cells\":") + QString("[").repeated(5000) + QString("]").repeated(5000) + "}"},
        {"thousands of cells in a row", tableText(1, 5000)},
        {"thousands of rows", tableText(3000, 2)},
        {"square", tableText(80, 80)},
        {"control characters", compact(QJsonObject{{"cells", QJsonArray{QJsonArray{controlCharacters()}}}})},
    };
}

QList<std::pair<QString, QString>> bodyInputs()
{
    QList<std::pair<QString, QString>> inputs = {
        {"empty", ""},
        {"plain text", "just words"},
        {"truncated", "[{\"insert\":\"a"},
        {"object", "{\"insert\":\"x\\n\"}"},
        {"scalar", "42"},
        {"empty array", "[]"},
        {"odd elements", "[1,\"x\",null,true,[],{},{\"insert\":5},{\"insert\":null},{\"insert\":[1]},{\"retain\":\"x\"},"
                         "{\"delete\":1e300},{\"retain\":-5,\"attributes\":7}]"},
        {"wrong attribute types",
         "[{\"insert\":\"a\",\"attributes\":{\"bold\":\"x\",\"link\":{},\"code\":[1]}},{\"insert\":\"\\n\",\"attributes\":"
         "{\"header\":\"1\",\"list\":5,\"code-block\":null,\"blockquote\":0}},{\"insert\":\"b\\n\",\"attributes\":"
         "{\"header\":1e12,\"list\":\"checked\"}},{\"insert\":\"- [x] \\n\",\"attributes\":{\"list\":[]}}]"},
        {"odd embeds", "[{\"insert\":{}},{\"insert\":{\"table\":5}},{\"insert\":{\"table\":\"{bad\"}},{\"insert\":{\"divider\":null}},"
                       "{\"insert\":{\"zzz\":1,\"divider\":1}},{\"insert\":{\"velmora-notes-attachment\":[]}},{\"insert\":{\"image\":{}}}]"},
        {"deep json", QString("[").repeated(100000) + QString("]").repeated(100000)},
        {"control characters", compact(QJsonArray{QJsonObject{{"insert", controlCharacters() + "\n" + controlCharacters()}},
                                                  QJsonObject{{"insert", QJsonObject{{controlCharacters(), controlCharacters()}}}}})},
    };

    // One huge line without a newline, and the same as a task.
    inputs.append({"huge single line", compact(QJsonArray{QJsonObject{{"insert", QString("word * [ ] ").repeated(200000)}}})});
    inputs.append({"huge todo line", compact(QJsonArray{QJsonObject{{"insert", "TODO: " + QString("x").repeated(1000000) + "\n"}}})});
    inputs.append({"huge box line", compact(QJsonArray{QJsonObject{{"insert", "- [ ]" + QString(" ").repeated(1000000) + "x\n"}}})});

    // Many lines of every kind, many embeds.
    QJsonArray many;
    const char *kinds[] = {"bullet", "ordered", "checked", "unchecked", "weird"};
    for (int i = 0; i < 20000; ++i) {
        many.append(QJsonObject{{"insert", QStringLiteral("item %1").arg(i)}, {"attributes", QJsonObject{{"bold", i % 2 == 0}}}});
        QJsonObject attributes;
        switch (i % 7) {
        case 0: attributes.insert("list", kinds[i % 5]); break;
        case 1: attributes.insert("header", i % 9); break;
        case 2: attributes.insert("code-block", true); break;
        case 3: attributes.insert("blockquote", true); break;
        case 4: many.append(QJsonObject{{"insert", QJsonObject{{"divider", true}}}}); break;
        case 5: many.append(QJsonObject{{"insert", QJsonObject{{"table", tableText(2, 2)}}}}); break;
        default: break;
        }
        many.append(attributes.isEmpty() ? QJsonObject{{"insert", "\n"}} : QJsonObject{{"insert", "\n"}, {"attributes", attributes}});
    }
    inputs.append({"twenty thousand lines", compact(many)});

    for (const auto &[name, table] : tableInputs())
        inputs.append({"table: " + name,
                       compact(QJsonArray{QJsonObject{{"insert", QJsonObject{{"table", table}}}}, QJsonObject{{"insert", "\n"}}})});
    return inputs;
}

QList<std::pair<QString, QString>> htmlInputs()
{
    return {
        {"empty", ""},
        {"spaces", " \n\t "},
        {"not html", "just <<< text >>> & &amp; &#xffffff; &#0; &bogus;"},
        {"unbalanced", QString("</p></div></table></li>").repeated(2000) + "<p><b><i>x"},
        {"deep div", QString("<div>").repeated(20000) + "x"},
        {"deep inline", QString("<b><i><u><s><a href=x>").repeated(4000) + "x"},
        {"deep lists", QString("<ul><li>").repeated(1000) + "x"},
        {"deep quotes", QString("<blockquote>").repeated(3000) + "x"},
        {"deep tables", QString("<table><tr><td>").repeated(300) + "x"},
        {"thousands of list items", "<ol>" + QString("<li>item</li>").repeated(20000) + "</ol>"},
        {"thousands of cells", "<table>" + QString("<tr>" + QString("<td>c</td>").repeated(50) + "</tr>").repeated(100) + "</table>"},
        {"unclosed hidden elements", QString("<script><style><nav>").repeated(20000) + "<p>x</p>"},
        {"many hidden elements", QString("<p>k</p><script>var a = '<p>';</script>").repeated(5000)},
        {"attribute soup", QString("<img src=\"velmora-notes://attachment/").repeated(3000) + "<a href='"},
        {"huge single line", "<p>" + QString("word ").repeated(200000) + "</p>"},
        {"control characters", "<p>" + controlCharacters() + "</p><img src='" + controlCharacters() + "'>"},
        {"comment and cdata", "<!-- <p>a</p> --><![CDATA[ <b>x</b> ]]><?xml x?><!DOCTYPE html><p>b"},
    };
}

QList<std::pair<QString, QString>> markdownInputs()
{
    QString nestedLists;
    for (int i = 0; i < 500; ++i)
        nestedLists += QString(i * 2, ' ') + "- x\n";
    QString mixedItems;
    for (int i = 0; i < 5000; ++i)
        mixedItems += (i % 3 == 0 ? "- [ ] task " : i % 3 == 1 ? "1. step " : "* point ") + QString::number(i) + "\n";
    return {
        {"empty", ""},
        {"thousands of list items", QString("- item\n").repeated(20000)},
        {"thousands of mixed items", mixedItems},
        {"thousands of loose items", QString("1. item\n\n").repeated(3000)},
        {"nested lists", nestedLists},
        {"nested quotes", QString(">").repeated(5000) + " x"},
        {"big table", "|" + QString(" h |").repeated(50) + "\n|" + QString("---|").repeated(50) + "\n"
                          + ("|" + QString(" c |").repeated(50) + "\n").repeated(100)},
        {"emphasis storm", QString("*a **b _c __d ").repeated(5000)},
        {"link storm", QString("[").repeated(10000) + QString("](").repeated(10000)},
        {"unclosed fence", "```\n" + QString("code line\n").repeated(5000)},
        {"html inside", QString("<div>\n- x\n</div>\n").repeated(1000) + "<script>alert(1)</script>"},
        {"huge single line", QString("word ").repeated(200000)},
        {"headings", QString("# h\n## h\n### h\n#### h\n").repeated(1000)},
        {"control characters", controlCharacters() + "\n- " + controlCharacters() + "\n# " + controlCharacters()},
        {"crlf", QString("# t\r\n- a\r\n**b**\r\n").repeated(1000)},
    };
}

// A Delta as the importers promise it: a non-empty array of operation
// objects whose last insert is text ending in a newline.
bool isDeltaShape(const QJsonArray &delta, QString *why)
{
    for (const QJsonValue &value : delta) {
        const QJsonValue insert = value.toObject().value("insert");
        if (!value.isObject() || !(insert.isString() || insert.isObject())) {
            *why = "bad element " + compact(QJsonArray{value}).left(200);
            return false;
        }
    }
    *why = "empty, or no final line end";
    return !delta.isEmpty() && delta.last().toObject().value("insert").toString().endsWith('\n');
}

void addRows(const char *column, const QList<std::pair<QString, QString>> &inputs)
{
    QTest::addColumn<QString>(column);
    for (const auto &[name, value] : inputs)
        QTest::newRow(qPrintable(name)) << value;
}

} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT

private slots:
    void bodies_data() { addRows("body", bodyInputs()); }

    void bodies()
    {
        QFETCH(QString, body);
        const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());

        for (ExportFormat format : {ExportFormat::Markdown, ExportFormat::Html, ExportFormat::Pdf, ExportFormat::PlainText}) {
            const QString out = convertBody(body, format);
            if (!doc.isArray()) {
                QCOMPARE(out, body);
            } else if (format == ExportFormat::Markdown) {
                QVERIFY(out.isEmpty() || (out.endsWith('\n') && !out.endsWith("\n\n") && !out.endsWith(" \n")));
            } else if (format == ExportFormat::PlainText) {
                QCOMPARE(out, deltaToPlainText(doc.array()));
            } else {
                QVERIFY(out.startsWith("<html><body>\n"));
                QVERIFY(out.endsWith("</body></html>"));
            }
        }

        const QList<Task> tasks = extractTasks("n", body, QDateTime());
        int lastLine = -1;
        for (const Task &task : tasks) {
            QVERIFY(!task.text.isEmpty());
            QCOMPARE(task.text, task.text.trimmed());
            QVERIFY(task.lineIndex > lastLine);
            QVERIFY(task.charOffset >= 0);
            lastLine = task.lineIndex;
        }

        for (int line : {-1, 0, 1, 7, 19999, 1 << 30}) {
            const QString rewritten = setTaskCompleted(body, line, true);
            if (!rewritten.isEmpty())
                QVERIFY(QJsonDocument::fromJson(rewritten.toUtf8()).isArray());
        }
    }

    void tables_data() { addRows("table", tableInputs()); }

    void tables()
    {
        QFETCH(QString, table);
        const QString html = tableToHtml(table);
        const QString markdown = tableToMarkdown(table);
        QVERIFY(html.isEmpty() || (html.startsWith("<table ") && html.endsWith("</table>\n")));
        QVERIFY(markdown.isEmpty() || (markdown.startsWith('|') && markdown.endsWith("|\n")));
    }

    void html_data() { addRows("html", htmlInputs()); }

    void html()
    {
        QFETCH(QString, html);
        QString why;
        QVERIFY2(isDeltaShape(htmlToDelta(html), &why), qPrintable(why));
    }

    void markdown_data() { addRows("markdown", markdownInputs()); }

    void markdown()
    {
        QFETCH(QString, markdown);
        QString why;
        QVERIFY2(isDeltaShape(markdownToDelta(markdown), &why), qPrintable(why));

        const QJsonDocument doc = QJsonDocument::fromJson(simpleMarkdownToDelta(markdown).toUtf8());
        QVERIFY(doc.isArray());
        QVERIFY2(isDeltaShape(doc.array(), &why), qPrintable(why));
        // One Delta line per input line.
        qsizetype lines = markdown.count('\n') + (markdown.endsWith('\n') || markdown.isEmpty() ? 0 : 1);
        QCOMPARE(deltaToPlainText(doc.array()).count('\n'), std::max<qsizetype>(lines, 1));
    }
};

VELM_TEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
