#include "velmtest.h"

#include "delta.h"
#include "deltadocument.h"
#include "deltatable.h"
#include "textformat.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

class TestDeltaDocument : public QObject
{
    Q_OBJECT

private:
    static QString roundTrip(const QString &body)
    {
        DeltaDocument doc;
        doc.setJson(body);
        return doc.toJson();
    }
    static QTextBlock blockAt(const DeltaDocument &doc, int index)
    {
        return doc.document()->findBlockByNumber(index);
    }

private slots:
    void init()
    {
        setDocumentFontScale(100);
    }

    void writtenForms_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("written"); // null: written as given
        QTest::newRow("empty document") << R"([{"insert":"\n"}])" << R"([{"insert":"\n"}])";
        QTest::newRow("no final newline")
            << R"([{"insert":"a\nb"}])" << R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])";
        QTest::newRow("heading 1 written bold")
            << R"([{"insert":"Title"},{"attributes":{"header":1},"insert":"\n"}])"
            << R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":1},"insert":"\n"}])";
        QTest::newRow("heading 3 stays unbold")
            << R"([{"insert":"Sub"},{"attributes":{"header":3},"insert":"\n"}])" << QString();
        QTest::newRow("header out of range is no heading")
            << R"([{"insert":"x"},{"attributes":{"header":7},"insert":"\n"}])" << R"([{"insert":"x"},{"insert":"\n"}])";
        QTest::newRow("left alignment not written")
            << R"([{"insert":"x"},{"attributes":{"align":"left"},"insert":"\n"}])"
            << R"([{"insert":"x"},{"insert":"\n"}])";
        QTest::newRow("other alignments kept")
            << R"([{"insert":"c"},{"attributes":{"align":"center"},"insert":"\n"},{"insert":"r"},)"
               R"({"attributes":{"align":"right"},"insert":"\n"},{"insert":"j"},{"attributes":{"align":"justify"},"insert":"\n"}])" << QString();
        QTest::newRow("unknown line and inline attributes survive")
            << R"([{"attributes":{"color":"#f00"},"insert":"red"},{"insert":" plain"},{"attributes":{"indent":2},"insert":"\n"}])" << QString();
        QTest::newRow("inline keys on a line end and line keys on a run are ignored")
            << R"([{"attributes":{"header":2,"bold":true},"insert":"x"},{"attributes":{"bold":true},"insert":"\n"}])"
            << R"([{"attributes":{"bold":true},"insert":"x"},{"insert":"\n"}])";
        QTest::newRow("inline formats")
            << R"([{"attributes":{"bold":true,"italic":true,"strike":true,"underline":true},"insert":"a"},)"
               R"({"attributes":{"link":"https://e.org/"},"insert":"b"},{"attributes":{"bold":false,"italic":"yes"},"insert":"c"},{"insert":"\n"}])"
            << R"([{"attributes":{"bold":true,"italic":true,"strike":true,"underline":true},"insert":"a"},)"
               R"({"attributes":{"link":"https://e.org/"},"insert":"b"},{"insert":"c"},{"insert":"\n"}])";
        QTest::newRow("inline code keeps bold and italic")
            << R"([{"attributes":{"bold":true,"code":true,"italic":true},"insert":"fn"},{"insert":"\n"}])" << QString();
        QTest::newRow("check-list markers and list types")
            << R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"b"},)"
               R"({"attributes":{"list":"checked"},"insert":"\n"},{"insert":"c"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
               R"({"insert":"d"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"e"},{"attributes":{"list":"dashed"},"insert":"\n"}])" << QString();
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
        QTest::newRow("table embed sharing its line stays an embed")
            << R"([{"insert":"t "},{"insert":{"table":"{}"}},{"insert":"\n"}])" << QString();
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

    void linesBecomeBlocksWithTheirFormats()
    {
        DeltaDocument doc;
        doc.setJson(R"([{"insert":"H"},{"attributes":{"header":1},"insert":"\n"},{"insert":"code"},)"
                    R"({"attributes":{"code-block":true},"insert":"\n"},{"insert":"q"},{"attributes":{"blockquote":true},"insert":"\n"},)"
                    R"({"insert":"small"},{"attributes":{"header":6},"insert":"\n"}])");
        QCOMPARE(doc.toPlainText(), QStringLiteral("H\ncode\nq\nsmall"));
        const QTextBlock heading = blockAt(doc, 0);
        QCOMPARE(heading.blockFormat().intProperty(TextProperty::HeadingLevel), 1);
        QCOMPARE(heading.begin().fragment().charFormat().font().pixelSize(), 28);
        const QTextBlock code = blockAt(doc, 1);
        QCOMPARE(code.blockFormat().background().color(), codeBlockBackgroundColor());
        QVERIFY(code.begin().fragment().charFormat().fontFixedPitch());
        QCOMPARE(blockAt(doc, 2).blockFormat().leftMargin(), 16.0);
        QCOMPARE(blockAt(doc, 3).begin().fragment().charFormat().foreground().color(), mutedTextColor());

        // The font scale applies to loaded text, within its bounds.
        setDocumentFontScale(150);
        DeltaDocument scaled;
        scaled.setJson(R"([{"insert":"H"},{"attributes":{"header":2},"insert":"\n"},{"insert":"b\n"}])");
        QCOMPARE(blockAt(scaled, 0).begin().fragment().charFormat().font().pixelSize(), 33);
        QCOMPARE(blockAt(scaled, 1).begin().fragment().charFormat().font().pixelSize(), 24);
        setDocumentFontScale(10);
        QCOMPARE(documentFontScale(), 70);
    }

    void listsGroupByStyleAndTickingIsWritten()
    {
        DeltaDocument doc;
        doc.setJson(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
                    R"({"insert":"b"},{"attributes":{"list":"unchecked"},"insert":"\n"},)"
                    R"({"insert":"c"},{"attributes":{"list":"ordered"},"insert":"\n"},)"
                    R"({"insert":"d"},{"attributes":{"list":"ordered"},"insert":"\n"},)"
                    R"({"insert":"plain\n"}])");
        QTextList *bullets = blockAt(doc, 0).textList();
        QVERIFY(bullets);
        QCOMPARE(blockAt(doc, 1).textList(), bullets);
        QCOMPARE(bullets->format().style(), QTextListFormat::ListDisc);
        QTextList *numbers = blockAt(doc, 2).textList();
        QVERIFY(numbers && numbers != bullets);
        QCOMPARE(numbers->format().style(), QTextListFormat::ListDecimal);
        QCOMPARE(blockAt(doc, 3).textList(), numbers);
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

    void embedsAreObjectCharacters()
    {
        DeltaDocument doc;
        doc.setJson(R"([{"insert":{"velmora-notes-attachment":"abc"}},{"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"}])");
        const QTextBlock image = blockAt(doc, 0);
        QCOMPARE(image.text(), QString(QChar::ObjectReplacementCharacter));
        const QTextCharFormat attachment = image.begin().fragment().charFormat();
        QCOMPARE(attachment.objectType(), int(TextObject::Attachment));
        QCOMPARE(attachment.stringProperty(TextProperty::ObjectUrl), QStringLiteral("velmora-notes://attachment/abc"));
        const QTextCharFormat divider = blockAt(doc, 1).begin().fragment().charFormat();
        QCOMPARE(divider.objectType(), int(TextObject::Divider));
        QCOMPARE(divider.stringProperty(TextProperty::ObjectKind), QStringLiteral("divider"));
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

    void darkPaletteSwitchesCodeColours()
    {
        const QPalette saved = QGuiApplication::palette();
        QPalette palette = saved;
        palette.setColor(QPalette::Window, QColor("#1E1E1E"));
        QGuiApplication::setPalette(palette);
        QVERIFY(isDarkPalette());
        const QColor dark = inlineCodeFormat().background().color();
        palette.setColor(QPalette::Window, QColor("#FAFAFA"));
        QGuiApplication::setPalette(palette);
        QVERIFY(!isDarkPalette());
        QVERIFY(inlineCodeFormat().background().color() != dark);
        QGuiApplication::setPalette(saved);
    }
};

VELM_TEST_MAIN(TestDeltaDocument)
#include "tst_deltadocument.moc"
