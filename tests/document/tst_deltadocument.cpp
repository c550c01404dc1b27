#include "velmtest.h"

#include "delta.h"
#include "deltadocument.h"
#include "deltatable.h"
#include "textformat.h"

#include <QJsonDocument>
#include <QPalette>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

namespace {

QString roundTrip(const QString &body)
{
    DeltaDocument doc;
    doc.setJson(body);
    return doc.toJson();
}

QTextBlock blockAt(const DeltaDocument &doc, int index)
{
    return doc.document()->findBlockByNumber(index);
}

// A body holding one table embed, with a line of text before and after it when given.
QString tableBody(const QString &tableJson, const QString &before = QString(), const QString &after = QString())
{
    QJsonArray delta;
    if (!before.isEmpty())
        delta << QJsonObject{{"insert", before}} << QJsonObject{{"insert", "\n"}};
    delta << QJsonObject{{"insert", QJsonObject{{"table", tableJson}}}} << QJsonObject{{"insert", "\n"}};
    if (!after.isEmpty())
        delta << QJsonObject{{"insert", after}} << QJsonObject{{"insert", "\n"}};
    return QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
}

QTextTable *firstTable(QTextDocument *document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (QTextTable *table = QTextCursor(block).currentTable())
            return table;
    }
    return nullptr;
}

// The table embed's JSON in a written body.
QJsonObject writtenTable(const QString &written)
{
    for (const QJsonValue &op : QJsonDocument::fromJson(written.toUtf8()).array()) {
        const QJsonObject insert = op.toObject().value("insert").toObject();
        if (insert.contains("table"))
            return QJsonDocument::fromJson(insert.value("table").toString().toUtf8()).object();
    }
    return {};
}

} // namespace

class TestDeltaDocument : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        setDocumentFontScale(100);
    }

    void writtenForms_data()
    {
        // Written forms the round-trip generator covers are not repeated here.
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("written"); // null: written as given
        QTest::newRow("empty document") << R"([{"insert":"\n"}])" << R"([{"insert":"\n"}])";
        QTest::newRow("no final newline")
            << R"([{"insert":"a\nb"}])" << R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])";
        QTest::newRow("heading 1 written bold")
            << R"([{"insert":"Title"},{"attributes":{"header":1},"insert":"\n"}])"
            << R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":1},"insert":"\n"}])";
        QTest::newRow("header out of range is no heading")
            << R"([{"insert":"x"},{"attributes":{"header":7},"insert":"\n"}])" << R"([{"insert":"x"},{"insert":"\n"}])";
        QTest::newRow("left alignment not written")
            << R"([{"insert":"x"},{"attributes":{"align":"left"},"insert":"\n"}])"
            << R"([{"insert":"x"},{"insert":"\n"}])";
        QTest::newRow("inline keys on a line end and line keys on a run are ignored")
            << R"([{"attributes":{"header":2,"bold":true},"insert":"x"},{"attributes":{"bold":true},"insert":"\n"}])"
            << R"([{"attributes":{"bold":true},"insert":"x"},{"insert":"\n"}])";
        QTest::newRow("inline formats")
            << R"([{"attributes":{"bold":true,"italic":true,"strike":true,"underline":true},"insert":"a"},)"
               R"({"attributes":{"link":"https://e.org/"},"insert":"b"},{"attributes":{"bold":false,"italic":"yes"},"insert":"c"},{"insert":"\n"}])"
            << R"([{"attributes":{"bold":true,"italic":true,"strike":true,"underline":true},"insert":"a"},)"
               R"({"attributes":{"link":"https://e.org/"},"insert":"b"},{"insert":"c"},{"insert":"\n"}])";
        // Code-block text is not inline code, however an older body marked it.
        QTest::newRow("code block text and value survive")
            << R"([{"insert":"x = 1"},{"attributes":{"code-block":"python"},"insert":"\n"},{"attributes":{"code":true},"insert":"y"},{"attributes":{"code-block":true},"insert":"\n"}])"
            << R"([{"insert":"x = 1"},{"attributes":{"code-block":"python"},"insert":"\n"},)"
               R"({"insert":"y"},{"attributes":{"code-block":true},"insert":"\n"}])";
        QTest::newRow("any blockquote value quotes")
            << R"([{"insert":"q"},{"attributes":{"blockquote":"yes"},"insert":"\n"}])"
            << R"([{"insert":"q"},{"attributes":{"blockquote":true},"insert":"\n"}])";
        QTest::newRow("attachment url prefixed")
            << R"([{"insert":{"velmora-notes-attachment":"abc"}},{"insert":"\n"}])"
            << R"([{"insert":{"velmora-notes-attachment":"velmora-notes://attachment/abc"}},{"insert":"\n"}])";
        QTest::newRow("attachment image kept, foreign image dropped")
            << R"([{"insert":{"image":"velmora-notes://attachment/i1"}},{"insert":"\n"},{"insert":{"image":"https://x/y.png"}},{"insert":"\n"}])"
            << R"([{"insert":{"image":"velmora-notes://attachment/i1"}},{"insert":"\n"},{"insert":"\n"}])";
        QTest::newRow("divider values")
            << R"([{"insert":{"divider":true}},{"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"}])"
            << R"([{"insert":{"divider":""}},{"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"}])";
        QTest::newRow("unknown embed, retain and delete dropped")
            << R"([{"retain":5},{"delete":2},{"insert":"x"},{"insert":{"video":"v"}},{"insert":"\n"},7,"s"])"
            << R"([{"insert":"x"},{"insert":"\n"}])";
        QTest::newRow("identical attachments side by side both kept")
            << R"([{"insert":{"velmora-notes-attachment":"velmora-notes://attachment/a"}},{"insert":{"velmora-notes-attachment":"velmora-notes://attachment/a"}},{"insert":"\n"}])" << QString();
        QTest::newRow("object characters in text are not written")
            << QStringLiteral("[{\"insert\":\"a\uFFFCb\"},{\"insert\":\"\\n\"}]") << R"([{"insert":"ab"},{"insert":"\n"}])";
        QTest::newRow("plain text body") << "hello" << R"([{"insert":"hello"},{"insert":"\n"}])";
        QTest::newRow("plain text lines") << "one\ntwo" << R"([{"insert":"one"},{"insert":"\n"},{"insert":"two"},{"insert":"\n"}])";
        QTest::newRow("JSON object body as text") << R"({"a":1})" << QStringLiteral("[{\"insert\":\"{\\\"a\\\":1}\"},{\"insert\":\"\\n\"}]");
        QTest::newRow("empty array") << "[]" << R"([{"insert":"\n"}])";
        const QString nested = QString(5000, '[') + QString(5000, ']');
        QTest::newRow("deeply nested JSON is text") << nested << QStringLiteral(R"([{"insert":"%1"},{"insert":"\n"}])").arg(nested);
        // Odd values never fail a load.
        QTest::newRow("header as text and fraction")
            << R"([{"insert":"a"},{"attributes":{"header":"1"},"insert":"\n"},{"insert":"b"},{"attributes":{"header":2.5},"insert":"\n"}])"
            << R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])";
        QTest::newRow("list not text, code-block null, blockquote false, align number")
            << R"([{"insert":"a"},{"attributes":{"align":3,"blockquote":false,"code-block":null,"list":5},"insert":"\n"}])"
            << R"([{"insert":"a"},{"attributes":{"blockquote":true,"code-block":true},"insert":"\n"}])";
        QTest::newRow("embed values that are not text")
            << R"([{"insert":{"velmora-notes-attachment":5}},{"insert":{"divider":[1]}},{"insert":"\n"}])"
            << R"([{"insert":{"velmora-notes-attachment":"velmora-notes://attachment/"}},{"insert":{"divider":""}},{"insert":"\n"}])";
        QTest::newRow("link that is no text")
            << R"([{"attributes":{"link":{"a":1}},"insert":"x"},{"attributes":{"link":7},"insert":"y"},{"insert":"\n"}])"
            << R"([{"insert":"x"},{"attributes":{"link":"7"},"insert":"y"},{"insert":"\n"}])";
        QTest::newRow("attributes not an object") << R"([{"attributes":"bold","insert":"x\n"}])"
                                                  << R"([{"insert":"x"},{"insert":"\n"}])";
        QTest::newRow("table value not text")
            << R"([{"insert":"a\n"},{"insert":{"table":{"cells":[["x"]]}}},{"insert":"\n"},{"insert":"b\n"}])"
            << R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])";
        QTest::newRow("windows line ends are line ends")
            << R"([{"insert":"a\r\nb\r\n"}])" << R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])";

        // The paragraph after a table is no extra line; a table first gains no line in front.
        const QString table = R"({"cells":[[[{"attributes":{"bold":true},"insert":"a"}]]],"hasHeader":true})";
        QTest::newRow("table last") << tableBody(table, "before") << QString();
        QTest::newRow("table between lines") << tableBody(table, "before", "after") << QString();
        QTest::newRow("two tables in a row") << tableBody(table, "t").chopped(1) + "," + tableBody(table).mid(1) << QString();
        QTest::newRow("empty line after table") << tableBody(table, "b").chopped(1) + R"(,{"insert":"\n"}])" << QString();
        QTest::newRow("table on the first line") << tableBody(R"({"cells":[[[{"insert":"a"}]]],"hasHeader":false})", {}, "z") << QString();
        // A table is a block of its own even when its embed shares a line.
        const QString cell = R"({"cells":[[[{"insert":"x"}]]],"hasHeader":false})";
        const QString embed = compactJson(QJsonObject{{"insert", QJsonObject{{"table", cell}}}});
        QTest::newRow("table sharing its line splits it")
            << QString(R"([{"insert":"a"},%1,{"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"}])").arg(embed)
            << QString(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},%1,{"insert":"\n"},)"
                       R"({"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"}])").arg(embed);
        QTest::newRow("two tables on one line")
            << QString(R"([%1,%1,{"insert":"\n"}])").arg(embed) << QString(R"([%1,{"insert":"\n"},%1,{"insert":"\n"}])").arg(embed);
        QTest::newRow("table holding none beside a foreign image")
            << R"([{"insert":{"table":5}},{"insert":{"image":"https://x/y.png"}},{"insert":"\n"}])" << R"([{"insert":"\n"}])";
        QTest::newRow("table holding none beside text")
            << QString(R"([{"insert":"a"},%1,{"insert":"b\n"}])")
                   .arg(compactJson(QJsonObject{{"insert", QJsonObject{{"table", R"({"cells":[]})"}}}}))
            << R"([{"insert":"ab"},{"insert":"\n"}])";
        // An unreadable table inserts nothing and joins no lines.
        const QString xy = R"([{"insert":"x"},{"insert":"\n"},{"insert":"y"},{"insert":"\n"}])";
        for (const char *bad : {"{cells", "[1]", R"({"hasHeader":true})", R"({"cells":[[],[]]})", R"({"cells":[1,"x"]})"})
            QTest::addRow("unreadable table %s", bad) << tableBody(bad, "x", "y") << xy;
    }
    void writtenForms()
    {
        QFETCH(QString, body);
        QFETCH(QString, written);
        if (written.isNull())
            written = body;
        const QString first = roundTrip(body);
        QCOMPARE(first, written);
        QCOMPARE(roundTrip(first), written);
    }

    void linesBecomeBlocksAndTheFontScaleApplies()
    {
        const QString body = R"([{"insert":"H"},{"attributes":{"header":2},"insert":"\n"},{"insert":"code"},)"
                             R"({"attributes":{"code-block":true},"insert":"\n"},{"insert":"b\n"}])";
        DeltaDocument doc;
        doc.setJson(body);
        QCOMPARE(doc.toPlainText(), QStringLiteral("H\ncode\nb"));
        QCOMPARE(blockAt(doc, 0).blockFormat().intProperty(TextProperty::HeadingLevel), 2);
        QVERIFY(blockAt(doc, 1).begin().fragment().charFormat().fontFixedPitch());
        const auto pixels = [](const DeltaDocument &d, int line) { return blockAt(d, line).begin().fragment().charFormat().font().pixelSize(); };
        QVERIFY(pixels(doc, 0) > pixels(doc, 2));

        // Loaded text follows the scale, within its bounds.
        setDocumentFontScale(150);
        DeltaDocument scaled;
        scaled.setJson(body);
        QCOMPARE(pixels(scaled, 0), qRound(pixels(doc, 0) * 1.5));
        QCOMPARE(pixels(scaled, 2), qRound(pixels(doc, 2) * 1.5));
        setDocumentFontScale(10);
        QCOMPARE(documentFontScale(), 70);
    }

    void listsGroupByStyleAndTickingIsWritten()
    {
        DeltaDocument doc;
        doc.setJson(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
                    R"({"insert":"b"},{"attributes":{"list":"unchecked"},"insert":"\n"},)"
                    R"({"insert":"c"},{"attributes":{"list":"ordered"},"insert":"\n"},)"
                    R"({"insert":"d"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"plain\n"}])");
        QTextList *bullets = blockAt(doc, 0).textList();
        QTextList *numbers = blockAt(doc, 2).textList();
        QVERIFY(bullets && numbers && numbers != bullets);
        QCOMPARE(blockAt(doc, 1).textList(), bullets);
        QCOMPARE(blockAt(doc, 3).textList(), numbers);
        QCOMPARE(numbers->format().style(), QTextListFormat::ListDecimal);
        QVERIFY(!blockAt(doc, 4).textList());

        doc.setJson(R"([{"insert":"milk"},{"attributes":{"list":"unchecked"},"insert":"\n"}])");
        QTextCursor cursor(doc.document());
        QTextBlockFormat format = cursor.blockFormat();
        format.setMarker(QTextBlockFormat::MarkerType::Checked);
        cursor.setBlockFormat(format);
        QCOMPARE(doc.toJson(), QStringLiteral(R"([{"insert":"milk"},{"attributes":{"list":"checked"},"insert":"\n"}])"));
        // Ending the list turns the item back into a paragraph.
        applyListType(cursor, QString());
        QCOMPARE(doc.toJson(), QStringLiteral(R"([{"insert":"milk"},{"insert":"\n"}])"));
    }

    void loadingIsOneSilentStepWithoutUndo()
    {
        DeltaDocument doc;
        QSignalSpy spy(&doc, &DeltaDocument::contentsChanged);
        QTextCursor(doc.document()).insertText("typed");
        QCOMPARE(spy.count(), 1);
        doc.setJson(R"([{"insert":"a\nb\nc\n"}])");
        QCOMPARE(spy.count(), 1);
        QVERIFY(!doc.document()->isUndoAvailable());
        QTextCursor(doc.document()).insertText("x");
        QCOMPARE(spy.count(), 2);
        doc.document()->undo();
        QCOMPARE(doc.toPlainText(), QStringLiteral("a\nb\nc"));
        doc.setJson(QString());
        QVERIFY(doc.document()->isEmpty());
    }

    void attributeMappingsAgree()
    {
        const QJsonObject line{{"header", 2}, {"list", "checked"}, {"align", "right"}, {"x", "y"}};
        QTextBlockFormat block = lineAttributesToBlockFormat(line);
        block.setMarker(QTextBlockFormat::MarkerType::Checked); // the list operation sets it
        QCOMPARE(blockFormatToLineAttributes(block), line);
        const QJsonObject inlineAttributes{{"bold", true}, {"code", true}, {"link", "u"}, {"size", 3}};
        QCOMPARE(charFormatToInlineAttributes(inlineAttributesToCharFormat(inlineAttributes)), inlineAttributes);
        // A known key keeps priority over an extra of the same name.
        QTextCharFormat format;
        format.setProperty(TextProperty::ExtraInlineAttributes, QVariant::fromValue(QJsonObject{{"bold", "x"}}));
        format.setFontWeight(QFont::Bold);
        QCOMPARE(charFormatToInlineAttributes(format), QJsonObject({{"bold", true}}));
        QCOMPARE(charFormatToInlineAttributes(bodyCharFormat()), QJsonObject());
    }

    void tablesArePaddedWithAHeaderRowUnlessSaidOtherwise()
    {
        DeltaDocument doc;
        doc.setJson(tableBody(R"({"cells":[["a","b","c"],["d"],["e","f"]],"hasHeader":false})", "x", "y"));
        QTextTable *table = firstTable(doc.document());
        QVERIFY(table);
        QCOMPARE(table->columns(), 3);
        QCOMPARE(table->format().headerRowCount(), 0);
        QCOMPARE(cellToDelta(table->cellAt(2, 1)), QJsonArray({QJsonObject{{"insert", "f"}}}));
        QJsonObject written = writtenTable(doc.toJson());
        QCOMPARE(written.value("hasHeader"), QJsonValue(false));
        const QJsonArray d{QJsonObject{{"insert", "d"}}};
        QCOMPARE(written.value("cells").toArray().at(1).toArray(), QJsonArray({d, QJsonArray(), QJsonArray()}));

        // Without "hasHeader" the first row is a header: bold, on its own background.
        doc.setJson(tableBody(R"({"cells":[["Name","Qty"],["milk","2"]]})"));
        table = firstTable(doc.document());
        QCOMPARE(table->format().headerRowCount(), 1);
        QCOMPARE(table->cellAt(0, 1).format().background().color(),
                 QGuiApplication::palette().color(QPalette::Active, QPalette::AlternateBase));
        QCOMPARE(table->cellAt(1, 1).format().background().style(), Qt::NoBrush);
        written = writtenTable(doc.toJson());
        QCOMPARE(written.value("hasHeader"), QJsonValue(true));
        QCOMPARE(written.value("cells").toArray().at(0).toArray().at(0),
                 QJsonValue(QJsonArray({QJsonObject{{"attributes", QJsonObject{{"bold", true}}}, {"insert", "Name"}}})));
    }

    void cellsOfTextDeltaAndOtherValues()
    {
        DeltaDocument doc;
        doc.setJson(tableBody(
            R"({"cells":[["a|b",[{"insert":"one","attributes":{"italic":true}},{"insert":"\n"},{"insert":"two\r\nthree"},5,{"insert":""}],42,null,{"x":1}]],"hasHeader":false})"));
        QTextTable *table = firstTable(doc.document());
        QVERIFY(table);
        QCOMPARE(table->columns(), 5);
        QCOMPARE(cellToDelta(table->cellAt(0, 0)), QJsonArray({QJsonObject{{"insert", "a|b"}}}));
        const QJsonArray lines{QJsonObject{{"attributes", QJsonObject{{"italic", true}}}, {"insert", "one"}},
                               QJsonObject{{"insert", "\n"}}, QJsonObject{{"insert", "two"}},
                               QJsonObject{{"insert", "\n"}}, QJsonObject{{"insert", "three"}}};
        QCOMPARE(cellToDelta(table->cellAt(0, 1)), lines);
        for (int c = 2; c < 5; ++c)
            QVERIFY(cellToDelta(table->cellAt(0, c)).isEmpty());

        // Typed text in a cell is written back; typing above a first-line table makes a line of its own.
        QTextCursor cursor = table->cellAt(0, 0).lastCursorPosition();
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.insertText("new", bold);
        QCOMPARE(writtenTable(doc.toJson()).value("cells").toArray().at(0).toArray().at(0),
                 QJsonValue(QJsonArray({QJsonObject{{"insert", "a|b"}}, QJsonObject{{"attributes", QJsonObject{{"bold", true}}}, {"insert", "new"}}})));
        QTextCursor(doc.document()).insertText("top");
        QVERIFY(doc.toJson().startsWith(QStringLiteral(R"([{"insert":"top"},{"insert":"\n"},{"insert":{"table")")));
    }

    void insertingATableMarksOnlyTheNewParagraphAfterIt()
    {
        QTextDocument document;
        QTextCursor cursor(&document);
        QTextTable *table = insertTableAt(cursor, 2, 2, tableFormat(true));
        QVERIFY(table);
        const QTextBlock before = document.findBlock(table->firstPosition() - 1);
        const QTextBlock after = document.findBlock(table->lastPosition() + 1);
        QVERIFY(before.isValid() && !QTextCursor(before).currentTable() && !QTextCursor(after).currentTable());
        QVERIFY(!before.blockFormat().boolProperty(TextProperty::TableSpacer));
        QVERIFY(after.blockFormat().boolProperty(TextProperty::TableSpacer));
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            QVERIFY(!block.blockFormat().hasProperty(TextProperty::PreExistingBlock));
        // One step undoes the whole insertion.
        document.undo();
        QCOMPARE(document.blockCount(), 1);
        QVERIFY(!firstTable(&document));

        // Inserted inside text: only the new paragraph after the table is a spacer.
        cursor.insertText("abc");
        cursor.insertBlock();
        cursor.insertText("def");
        cursor.setPosition(1);
        insertTableAt(cursor, 1, 1, tableFormat(false));
        int spacers = 0;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            spacers += block.blockFormat().boolProperty(TextProperty::TableSpacer) ? 1 : 0;
        QCOMPARE(spacers, 1);

        // Far from the table nothing changes, so a body of many tables loads in linear time.
        QTextDocument longText;
        longText.documentLayout(); // changes are reported to a layout
        QTextCursor end(&longText);
        end.insertText(QStringLiteral("line\n").repeated(50));
        end.setPosition(longText.findBlockByNumber(40).position() + 2);
        QSignalSpy changes(&longText, &QTextDocument::contentsChange);
        insertTableAt(end, 1, 1, tableFormat(false));
        QCOMPARE(changes.count(), 1);
        QCOMPARE_GE(changes.first().at(0).toInt(), longText.findBlockByNumber(39).position());
    }
    // A platform's dark window such as #31363B once read as light.
    void applyingABodyEditsOnlyTheLinesThatDiffer_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("word"); // a word of an untouched line: a cursor on it stays on it
        const QString keep = R"({"insert":"keep me"},{"insert":"\n"})";
        QTest::newRow("a line retyped") << "[" + keep + R"(,{"insert":"old text"},{"insert":"\n"}])"
                                        << "[" + keep + R"(,{"insert":"new text here"},{"insert":"\n"}])" << "keep";
        QTest::newRow("a line added at the end") << "[" + keep + "]" << "[" + keep + R"(,{"insert":"added"},{"insert":"\n"}])" << "keep";
        QTest::newRow("a line added at the start") << "[" + keep + "]" << R"([{"insert":"added"},{"insert":"\n"},)" + keep + "]" << "keep";
        QTest::newRow("a line removed") << R"([{"insert":"gone"},{"insert":"\n"},)" + keep + "]" << "[" + keep + "]" << "keep";
        QTest::newRow("a line made a heading and a word bold")
            << "[" + keep + R"(,{"insert":"title"},{"insert":"\n"},{"insert":"a b"},{"insert":"\n"}])"
            << "[" + keep + R"(,{"insert":"title"},{"attributes":{"header":2},"insert":"\n"},{"insert":"a "},{"attributes":{"bold":true},"insert":"b"},{"insert":"\n"}])"
            << "keep";
        QTest::newRow("lines become list items")
            << R"([{"insert":"one"},{"insert":"\n"},{"insert":"two"},{"insert":"\n"},)" + keep + "]"
            << R"([{"insert":"one"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"two"},{"attributes":{"list":"bullet"},"insert":"\n"},)" + keep + "]"
            << "keep";
    }
    void applyingABodyEditsOnlyTheLinesThatDiffer()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, word);
        DeltaDocument doc;
        doc.setJson(before);
        // Typing before the change arrives, which the merged body carries too.
        const auto type = [&word](QTextDocument *document) {
            QTextCursor typing(document);
            typing.setPosition(int(document->toPlainText().indexOf(word)));
            typing.insertText("!");
        };
        type(doc.document());
        const QString typed = doc.toJson();
        DeltaDocument expected;
        expected.setJson(after);
        type(expected.document());
        const QString target = expected.toJson();

        const int at = int(doc.document()->toPlainText().indexOf(word)) + 1;
        QTextCursor held(doc.document());
        held.setPosition(at);
        QList<int> places{at};
        QVERIFY(doc.applyJson(target, &places));
        QCOMPARE(doc.toJson(), target);
        QCOMPARE(doc.document()->toPlainText().mid(held.position() - 1, word.size()), word);
        QCOMPARE(doc.document()->toPlainText().mid(places[0] - 1, word.size()), word);
        // One undo step takes the document back to the typed text, one more before the typing.
        doc.document()->undo();
        QCOMPARE(doc.toJson(), typed);
        doc.document()->undo();
        DeltaDocument original;
        original.setJson(before);
        QCOMPARE(doc.toJson(), original.toJson());
    }

    void darkPalettesAreRecognised_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("dark");
        QTest::newRow("near black") << "#1E1E1E" << true;
        QTest::newRow("slate") << "#31363B" << true;
        QTest::newRow("light grey") << "#EFF0F1" << false;
    }

    void darkPalettesAreRecognised()
    {
        QFETCH(QString, window);
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(window));
        QTEST(isDarkPalette(palette), "dark");
    }
};

VELM_TEST_MAIN(TestDeltaDocument)
#include "tst_deltadocument.moc"
