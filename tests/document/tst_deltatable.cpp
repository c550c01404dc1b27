#include "velmtest.h"

#include "deltadocument.h"
#include "deltatable.h"
#include "textformat.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

class TestDeltaTable : public QObject
{
    Q_OBJECT

private:
    static QString tableBody(const QString &tableJson, const QString &before = QString(),
                             const QString &after = QString())
    {
        QJsonArray delta;
        if (!before.isEmpty()) {
            delta.append(QJsonObject{{"insert", before}});
            delta.append(QJsonObject{{"insert", "\n"}});
        }
        delta.append(QJsonObject{{"insert", QJsonObject{{"table", tableJson}}}});
        delta.append(QJsonObject{{"insert", "\n"}});
        if (!after.isEmpty()) {
            delta.append(QJsonObject{{"insert", after}});
            delta.append(QJsonObject{{"insert", "\n"}});
        }
        return QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
    }
    static QTextTable *firstTable(QTextDocument *document)
    {
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            if (QTextTable *table = QTextCursor(block).currentTable())
                return table;
        }
        return nullptr;
    }
    // The table embed's JSON of a written body.
    static QJsonObject writtenTable(const QString &written)
    {
        for (const QJsonValue &op : QJsonDocument::fromJson(written.toUtf8()).array()) {
            const QJsonObject insert = op.toObject().value("insert").toObject();
            if (insert.contains("table"))
                return QJsonDocument::fromJson(insert.value("table").toString().toUtf8()).object();
        }
        return {};
    }

private slots:
    void raggedRowsArePaddedAndWrittenFull()
    {
        DeltaDocument doc;
        doc.setJson(tableBody(R"({"cells":[["a","b","c"],["d"],["e","f"]],"hasHeader":false})", "x", "y"));
        QTextTable *table = firstTable(doc.document());
        QVERIFY(table);
        QCOMPARE(table->rows(), 3);
        QCOMPARE(table->columns(), 3);
        QCOMPARE(table->format().headerRowCount(), 0);
        QVERIFY(cellToDelta(table->cellAt(1, 2)).isEmpty());
        QCOMPARE(cellToDelta(table->cellAt(2, 1)), QJsonArray({QJsonObject{{"insert", "f"}}}));

        const QString written = doc.toJson();
        const QJsonObject object = writtenTable(written);
        QCOMPARE(object.value("hasHeader"), QJsonValue(false));
        const QJsonArray rows = object.value("cells").toArray();
        QCOMPARE(rows.size(), 3);
        for (const QJsonValue &row : rows)
            QCOMPARE(row.toArray().size(), 3);
        QCOMPARE(rows.at(1).toArray().at(1), QJsonValue(QJsonArray()));
        // Text around the table keeps its lines; the paragraph after the table holds "y".
        QCOMPARE(written,
                 QStringLiteral(R"([{"insert":"x"},{"insert":"\n"},{"insert":{"table":"%1"}},{"insert":"\n"},{"insert":"y"},{"insert":"\n"}])")
                     .arg(tableToJson(table).replace("\"", "\\\"")));
    }

    void missingHasHeaderGivesABoldHeaderRow()
    {
        DeltaDocument doc;
        doc.setJson(tableBody(R"({"cells":[["Name","Qty"],["milk","2"]]})"));
        QTextTable *table = firstTable(doc.document());
        QVERIFY(table);
        QCOMPARE(table->format().headerRowCount(), 1);
        const QColor alternate = QGuiApplication::palette().color(QPalette::Active, QPalette::AlternateBase);
        QCOMPARE(table->cellAt(0, 1).format().background().color(), alternate);
        QCOMPARE(table->cellAt(1, 1).format().background().style(), Qt::NoBrush);

        const QJsonObject object = writtenTable(doc.toJson());
        QCOMPARE(object.value("hasHeader"), QJsonValue(true));
        const QJsonArray header = object.value("cells").toArray().at(0).toArray();
        QCOMPARE(header.at(0), QJsonValue(QJsonArray({QJsonObject{{"attributes", QJsonObject{{"bold", true}}}, {"insert", "Name"}}})));
        QCOMPARE(object.value("cells").toArray().at(1).toArray().at(0),
                 QJsonValue(QJsonArray({QJsonObject{{"insert", "milk"}}})));
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
    }

    void spacerAfterTableIsNotAnExtraLine_data()
    {
        QTest::addColumn<QString>("body");
        const QString table = R"({"cells":[["a"]],"hasHeader":true})";
        QTest::newRow("table last") << tableBody(table, "before");
        QTest::newRow("table between lines") << tableBody(table, "before", "after");
        const QString second = tableBody(table).mid(1);
        QTest::newRow("two tables in a row") << tableBody(table, "t").chopped(1) + "," + second;
        QTest::newRow("empty line after table") << tableBody(table, "b").chopped(1) + R"(,{"insert":"\n"}])";
    }
    void spacerAfterTableIsNotAnExtraLine()
    {
        QFETCH(QString, body);
        // The bodies are as the writer writes them (header cells bold).
        body.replace(R"([[\"a\"]])", R"([[[{\"attributes\":{\"bold\":true},\"insert\":\"a\"}]]])");
        DeltaDocument doc;
        doc.setJson(body);
        QCOMPARE(doc.toJson(), body);
    }

    void tableOnTheFirstLineGainsNoLineInFront()
    {
        const QString body = tableBody(R"({"cells":[[[{"insert":"a"}]]],"hasHeader":false})", QString(), "z");
        DeltaDocument doc;
        doc.setJson(body);
        QCOMPARE(doc.toJson(), body);
        // Typing above the table makes that paragraph a line of its own.
        QTextCursor(doc.document()).insertText("top");
        QVERIFY(doc.toJson().startsWith(QStringLiteral(R"([{"insert":"top"},{"insert":"\n"},{"insert":{"table")")));
    }

    void invalidTableInsertsNothing_data()
    {
        QTest::addColumn<QString>("tableJson");
        QTest::newRow("not JSON") << "{cells";
        QTest::newRow("array") << "[1]";
        QTest::newRow("no cells") << R"({"hasHeader":true})";
        QTest::newRow("empty rows") << R"({"cells":[[],[]]})";
        QTest::newRow("rows not arrays") << R"({"cells":[1,"x"]})";
    }
    void invalidTableInsertsNothing()
    {
        QFETCH(QString, tableJson);
        DeltaDocument doc;
        doc.setJson(tableBody(tableJson, "x", "y"));
        QVERIFY(!firstTable(doc.document()));
        QCOMPARE(doc.toJson(), QStringLiteral(R"([{"insert":"x"},{"insert":"\n"},{"insert":"y"},{"insert":"\n"}])"));
    }

    void insertingIntoAnEmptyDocumentMarksOnlyTheNewParagraph()
    {
        QTextDocument document;
        QTextCursor cursor(&document);
        QTextTable *table = insertTableAt(cursor, 2, 2, tableFormat(true));
        QVERIFY(table);
        const QTextBlock before = document.findBlock(table->firstPosition() - 1);
        const QTextBlock after = document.findBlock(table->lastPosition() + 1);
        QVERIFY(before.isValid() && after.isValid());
        QVERIFY(!QTextCursor(before).currentTable());
        QVERIFY(!QTextCursor(after).currentTable());
        QVERIFY(!before.blockFormat().boolProperty(TextProperty::TableSpacer));
        QVERIFY(after.blockFormat().boolProperty(TextProperty::TableSpacer));
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            QVERIFY(!block.blockFormat().hasProperty(TextProperty::PreExistingBlock));
        QCOMPARE(table->format().headerRowCount(), 1);
        QCOMPARE(tableFormat(false).headerRowCount(), 0);
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
    }

    void editedCellIsWrittenBack()
    {
        DeltaDocument doc;
        doc.setJson(tableBody(R"({"cells":[["a","b"]],"hasHeader":false})"));
        QTextTable *table = firstTable(doc.document());
        QTextCursor cursor = table->cellAt(0, 1).lastCursorPosition();
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.insertText("old", bold);
        const QJsonArray cell = writtenTable(doc.toJson()).value("cells").toArray().at(0).toArray().at(1).toArray();
        QCOMPARE(cell, QJsonArray({QJsonObject{{"insert", "b"}},
                                   QJsonObject{{"attributes", QJsonObject{{"bold", true}}}, {"insert", "old"}}}));
    }
};

VELM_TEST_MAIN(TestDeltaTable)
#include "tst_deltatable.moc"
