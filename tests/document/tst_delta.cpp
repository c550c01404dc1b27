#include "velmtest.h"

#include "delta.h"
#include "note.h"

#include <QJsonDocument>

class TestDelta : public QObject
{
    Q_OBJECT

private slots:
    void parsesEachOperationKindByFirstMatch()
    {
        const QList<DeltaOp> ops = parseDeltaJson(QStringLiteral(
            R"([{"insert":"Plan","attributes":{"bold":true}},)"
            R"({"insert":{"divider":"hr"}},)"
            R"({"retain":5},{"delete":2},)"
            R"({"retain":"x"},{"delete":3.9},)"
            R"({"insert":7,"retain":4},)"
            R"({"foo":1},)"
            R"({"insert":"x\n","attributes":[1,2]}])"));
        QCOMPARE(ops.size(), 9);

        QCOMPARE(ops[0].type, DeltaOp::InsertText);
        QCOMPARE(ops[0].text, QStringLiteral("Plan"));
        QCOMPARE(ops[0].attributes.value("bold").toBool(), true);
        QCOMPARE(ops[0].length, 0);

        QCOMPARE(ops[1].type, DeltaOp::InsertEmbed);
        QCOMPARE(ops[1].embedKind(), QStringLiteral("divider"));
        QCOMPARE(ops[1].embedValue(), QStringLiteral("hr"));
        QVERIFY(ops[1].text.isEmpty());

        QCOMPARE(ops[2].type, DeltaOp::Retain);
        QCOMPARE(ops[2].length, 5);
        QCOMPARE(ops[3].type, DeltaOp::Delete);
        QCOMPARE(ops[3].length, 2);
        // A non-number count is still a retain, of length 0.
        QCOMPARE(ops[4].type, DeltaOp::Retain);
        QCOMPARE(ops[4].length, 0);
        QCOMPARE(ops[5].type, DeltaOp::Delete);
        QCOMPARE(ops[5].length, 3);
        // A non-string, non-object insert falls through to the retain rule.
        QCOMPARE(ops[6].type, DeltaOp::Retain);
        QCOMPARE(ops[6].length, 4);
        // No recognised key: an empty text insert.
        QCOMPARE(ops[7].type, DeltaOp::InsertText);
        QVERIFY(ops[7].text.isEmpty());
        // Attributes that are not an object read as none.
        QCOMPARE(ops[8].text, QStringLiteral("x\n"));
        QVERIFY(ops[8].attributes.isEmpty());
    }

    void attributesEmbedKindsAndSkippedElements()
    {
        QList<DeltaOp> ops = parseDeltaJson(QStringLiteral(
            R"([{"retain":1,"attributes":{"bold":true}},)"
            R"({"insert":{"image":"u"},"attributes":{"width":"40"}},)"
            R"({"insert":"a","attributes":{"color":"#ff0000","bold":"yes"}}])"));
        QCOMPARE(ops.size(), 3);
        QCOMPARE(ops[0].attributes, QJsonObject({{"bold", true}}));
        QCOMPARE(ops[1].attributes, QJsonObject({{"width", "40"}}));
        QCOMPARE(ops[2].attributes.value("color").toString(), QStringLiteral("#ff0000"));
        // Non-boolean inline values read as off.
        QCOMPARE(ops[2].attributes.value("bold").toBool(), false);

        // The embed kind is the first key in ascending order.
        ops = parseDeltaJson(QStringLiteral(R"([{"insert":{"table":"{}","divider":true}},{"insert":{}}])"));
        QCOMPARE(ops.size(), 2);
        QCOMPARE(ops[0].embedKind(), QStringLiteral("divider"));
        // The sample notes write a boolean divider: still a divider, no text value.
        QVERIFY(ops[0].embedValue().isEmpty());
        QCOMPARE(ops[1].type, DeltaOp::InsertEmbed);
        QVERIFY(ops[1].embedKind().isEmpty());

        ops = parseDeltaJson(QStringLiteral(R"([1,"two",null,[{"insert":"x"}],true,{"insert":"y\n"}])"));
        QCOMPARE(ops.size(), 1);
        QCOMPARE(ops[0].text, QStringLiteral("y\n"));

        QJsonArray array{42, QJsonObject{{"insert", "z"}}};
        QCOMPARE(parseDelta(array).size(), 1);
    }

    void unreadableBodiesParseToNothing_data()
    {
        QTest::addColumn<QString>("body");
        QTest::newRow("empty") << QString();
        QTest::newRow("plain text") << QStringLiteral("just words");
        QTest::newRow("truncated") << QStringLiteral(R"([{"insert":"a")");
        QTest::newRow("object") << QStringLiteral(R"({"insert":"a\n"})");
        QTest::newRow("number") << QStringLiteral("42");
        QTest::newRow("string") << QStringLiteral(R"("text")");
        QTest::newRow("empty array") << QStringLiteral("[]");
    }
    void unreadableBodiesParseToNothing()
    {
        QFETCH(QString, body);
        QVERIFY(parseDeltaJson(body).isEmpty());
    }

    void writerIsCompactWithSortedKeysAndUrlsArePrefixed()
    {
        QJsonArray array;
        array.append(QJsonObject{{"insert", "Plan"}});
        array.append(QJsonObject{{"insert", "\n"}, {"attributes", QJsonObject{{"header", 1}}}});
        array.append(QJsonObject{{"insert", QString::fromUtf8("\xc3\xa9\xe2\x82\xac")}});
        QCOMPARE(deltaToJson(array),
                 QString::fromUtf8("[{\"insert\":\"Plan\"},{\"attributes\":{\"header\":1},\"insert\":\"\\n\"},"
                                   "{\"insert\":\"\xc3\xa9\xe2\x82\xac\"}]"));
        QCOMPARE(deltaToJson(QJsonArray{QJsonObject{{"insert", "\n"}}}), QLatin1String(kEmptyDeltaJson));

        QCOMPARE(attachmentUrl("abc"), QStringLiteral("velmora-notes://attachment/abc"));
        QCOMPARE(attachmentIdFromUrl("velmora-notes://attachment/abc"), QStringLiteral("abc"));
        QCOMPARE(attachmentIdFromUrl("abc"), QStringLiteral("abc"));
    }

    void plainTextKeepsNewlinesAndSkipsEverythingButTextInserts_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("plain");
        QTest::newRow("empty body") << QString() << QString();
        QTest::newRow("empty document") << QStringLiteral(R"([{"insert":"\n"}])") << QStringLiteral("\n");
        QTest::newRow("plain text body") << QStringLiteral("just words") << QStringLiteral("just words");
        QTest::newRow("object body") << QStringLiteral(R"({"a":1})") << QStringLiteral(R"({"a":1})");
        QTest::newRow("scalar body") << QStringLiteral("12") << QStringLiteral("12");
        QTest::newRow("retain and delete")
            << QStringLiteral(R"([{"retain":5},{"delete":2},{"insert":"x\n"}])") << QStringLiteral("x\n");
        QTest::newRow("embeds give nothing")
            << QStringLiteral(R"([{"insert":"a"},{"insert":{"divider":true}},{"insert":{"weird":[1]}},)"
                              R"({"insert":"\n"},{"insert":"b\n"}])")
            << QStringLiteral("a\nb\n");
        QTest::newRow("scalars in array")
            << QStringLiteral(R"([3,{"insert":"Hello\nworld"},"x"])") << QStringLiteral("Hello\nworld");
    }
    void plainTextKeepsNewlinesAndSkipsEverythingButTextInserts()
    {
        QFETCH(QString, body);
        QFETCH(QString, plain);
        QCOMPARE(deltaPlainText(body), plain);
    }

    void titlePreviewAndEmptiness_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("preview");
        QTest::addColumn<bool>("empty");
        QTest::newRow("empty document") << QStringLiteral(R"([{"insert":"\n"}])") << QString() << QString() << true;
        QTest::newRow("empty body") << QString() << QString() << QString() << true;
        QTest::newRow("empty array") << QStringLiteral("[]") << QString() << QString() << true;
        QTest::newRow("white space lines") << QStringLiteral(R"([{"insert":" \t\n"},{"insert":"\n"}])") << QString()
                                           << QString() << true;
        QTest::newRow("only retain/delete and scalars") << QStringLiteral(R"([{"retain":3},1,"text",{"delete":1}])")
                                                        << QString() << QString() << true;
        QTest::newRow("newline inside one insert, no final newline")
            << QStringLiteral(R"([{"insert":"Hello\nworld"}])") << QStringLiteral("Hello") << QStringLiteral("world") << false;
        QTest::newRow("plain text body") << QStringLiteral("  just words ") << QStringLiteral("just words") << QString()
                                         << false;
        QTest::newRow("plain text body with lines")
            << QStringLiteral("Shopping\nmilk\neggs") << QStringLiteral("Shopping") << QStringLiteral("milk eggs") << false;
        QTest::newRow("blank plain text") << QStringLiteral("  \n ") << QString() << QString() << true;
        QTest::newRow("object body") << QStringLiteral(R"({"insert":"a"})") << QStringLiteral(R"({"insert":"a"})")
                                     << QString() << false;
        QTest::newRow("title trimmed, preview lines joined and trimmed")
            << QStringLiteral(R"([{"insert":"  Plan \t"},{"attributes":{"header":1},"insert":"\n"},)"
                              R"({"insert":"\n"},{"insert":"one"},{"insert":"\n"},{"insert":"two"},)"
                              R"({"attributes":{"list":"checked"},"insert":"\n"},{"insert":"\n"}])")
            << QStringLiteral("Plan") << QStringLiteral("one two") << false;
        QTest::newRow("title after blank first line")
            << QStringLiteral(R"([{"insert":"\nSecond\n"}])") << QString() << QStringLiteral("Second") << false;
        QTest::newRow("retain and delete") << QStringLiteral(R"([{"retain":5},{"delete":2},{"insert":"x\n"}])")
                                           << QStringLiteral("x") << QString() << false;
        QTest::newRow("divider embed") << QStringLiteral(R"([{"insert":{"divider":"hr"}},{"insert":"\n"}])") << QString()
                                       << QString() << false;
        QTest::newRow("unknown embed") << QStringLiteral(R"([{"insert":{"mystery":1}}])") << QString() << QString() << false;
    }
    void titlePreviewAndEmptiness()
    {
        QFETCH(QString, body);
        QFETCH(QString, title);
        QFETCH(QString, preview);
        QFETCH(bool, empty);
        Note note;
        note.body = body;
        QCOMPARE(noteTitle(note), title);
        QCOMPARE(notePreview(note), preview);
        QCOMPARE(isNoteBodyEmpty(note), empty);
    }

    void previewIsCutAfter120Characters()
    {
        const auto bodyWith = [](const QString &rest) {
            return deltaToJson(QJsonArray{QJsonObject{{"insert", "T\n" + rest + "\n"}}});
        };
        const QString exact(120, QLatin1Char('a'));
        QCOMPARE(notePreview(bodyWith(exact)), exact);

        const QString longer = exact + QLatin1Char('b');
        QCOMPARE(notePreview(bodyWith(longer)), exact + QLatin1String("..."));

        // Newlines become spaces before the length is measured.
        const QString lines = QString(60, QLatin1Char('x')) + '\n' + QString(60, QLatin1Char('y'));
        const QString joined = QString(60, QLatin1Char('x')) + ' ' + QString(59, QLatin1Char('y'));
        QCOMPARE(notePreview(bodyWith(lines)), joined + QLatin1String("..."));

        // An emoji straddling the cut is not split into half a surrogate pair.
        const QString emoji = QString::fromUtf8("\xf0\x9f\x98\x80");
        const QString straddle = QString(119, QLatin1Char('c')) + emoji + QLatin1String("tail");
        const QString cut = notePreview(bodyWith(straddle));
        QCOMPARE(cut, QString(119, QLatin1Char('c')) + QLatin1String("..."));
        QVERIFY(!cut.toUtf8().contains("\xef\xbf\xbd"));
    }

};

VELM_TEST_CORE_MAIN(TestDelta)
#include "tst_delta.moc"
