#include "velmtest.h"

#include "delta.h"

#include <QJsonDocument>

class TestDelta : public QObject
{
    Q_OBJECT

    // Each operation as "type length text kind=value attributes".
    static QStringList describe(const QList<DeltaOp> &ops)
    {
        static const char *types[] = {"text", "embed", "retain", "delete"};
        QStringList result;
        for (const DeltaOp &op : ops)
            result << QStringLiteral("%1 %2 [%3] %4=%5 %6")
                          .arg(types[op.type]).arg(op.length).arg(op.text, op.embedKind(), op.embedValue(),
                                                                  QString::fromUtf8(QJsonDocument(op.attributes).toJson(QJsonDocument::Compact)));
        return result;
    }

private slots:
    void parsesEachOperationKindByFirstMatch()
    {
        QCOMPARE(describe(parseDeltaJson(QStringLiteral(
                     R"([{"insert":"Plan","attributes":{"bold":true}},{"insert":{"divider":"hr"}},{"retain":5},{"delete":2},)"
                     R"({"retain":"x"},{"delete":3.9},{"insert":7,"retain":4},{"foo":1},{"insert":"x\n","attributes":[1,2]},)"
                     R"({"retain":1,"attributes":{"bold":true}},{"insert":{"image":"u"},"attributes":{"width":"40"}},)"
                     R"({"insert":{"table":"{}","divider":true}},{"insert":{}},{"insert":{"divider":false}}])"))),
                 QStringList({"text 0 [Plan] = {\"bold\":true}", "embed 0 [] divider=hr {}", "retain 5 [] = {}",
                              "delete 2 [] = {}",
                              "retain 0 [] = {}",  // a non-number count is still a retain, of length 0
                              "delete 3 [] = {}",
                              "retain 4 [] = {}",  // a non-string, non-object insert falls to the retain rule
                              "text 0 [] = {}",    // no recognised key: an empty text insert
                              "text 0 [x\n] = {}", // attributes that are not an object read as none
                              "retain 1 [] = {\"bold\":true}", "embed 0 [] image=u {\"width\":\"40\"}",
                              "embed 0 [] divider= {}", // kind: the first key in ascending order; no text value
                              "embed 0 [] = {}", "embed 0 [] divider= {}"}));

        // Non-boolean inline values read as off; unknown keys survive.
        const QList<DeltaOp> ops = parseDeltaJson(QStringLiteral(R"([{"insert":"a","attributes":{"color":"#ff0000","bold":"yes"}}])"));
        QCOMPARE(ops[0].attributes.value("color").toString(), QStringLiteral("#ff0000"));
        QCOMPARE(ops[0].attributes.value("bold").toBool(), false);

        // Elements that are not objects are skipped.
        QCOMPARE(parseDelta(QJsonArray{42, QJsonObject{{"insert", "z"}}}).size(), 1);
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

    // Unreadable bodies parse to no operations and are their own plain text.
    void plainTextKeepsNewlinesAndSkipsEverythingButTextInserts_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<int>("ops");
        QTest::newRow("empty body") << QString() << QString() << 0;
        QTest::newRow("empty document") << QStringLiteral(R"([{"insert":"\n"}])") << QStringLiteral("\n") << 1;
        QTest::newRow("empty array") << QStringLiteral("[]") << QString() << 0;
        QTest::newRow("plain text body") << QStringLiteral("just words") << QStringLiteral("just words") << 0;
        QTest::newRow("truncated") << QStringLiteral(R"([{"insert":"a")") << QStringLiteral(R"([{"insert":"a")") << 0;
        QTest::newRow("object body") << QStringLiteral(R"({"a":1})") << QStringLiteral(R"({"a":1})") << 0;
        QTest::newRow("scalar body") << QStringLiteral("12") << QStringLiteral("12") << 0;
        QTest::newRow("string body") << QStringLiteral(R"("text")") << QStringLiteral(R"("text")") << 0;
        QTest::newRow("retain and delete")
            << QStringLiteral(R"([{"retain":5},{"delete":2},{"insert":"x\n"}])") << QStringLiteral("x\n") << 3;
        QTest::newRow("embeds give nothing")
            << QStringLiteral(R"([{"insert":"a"},{"insert":{"divider":true}},{"insert":{"weird":[1]}},)"
                              R"({"insert":"\n"},{"insert":"b\n"}])")
            << QStringLiteral("a\nb\n") << 5;
        QTest::newRow("scalars in array") << QStringLiteral(R"([3,{"insert":"Hello\nworld"},"x"])") << QStringLiteral("Hello\nworld") << 1;
    }
    void plainTextKeepsNewlinesAndSkipsEverythingButTextInserts()
    {
        QFETCH(QString, body);
        QFETCH(QString, plain);
        QFETCH(int, ops);
        QCOMPARE(deltaPlainText(body), plain);
        QCOMPARE(parseDeltaJson(body).size(), ops);
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
        QTest::newRow("title over several inserts and an embed")
            << QStringLiteral(R"([{"insert":" Big "},{"insert":{"image":"x"}},{"insert":"plan","attributes":{"bold":true}},)"
                              R"({"insert":"\nrest\n"}])")
            << QStringLiteral("Big plan") << QStringLiteral("rest") << false;
    }
    void titlePreviewAndEmptiness()
    {
        QFETCH(QString, body);
        QFETCH(QString, title);
        QFETCH(QString, preview);
        QFETCH(bool, empty);
        QCOMPARE(noteTitle(body), title);
        QCOMPARE(notePreview(body), preview);
        QCOMPARE(isNoteBodyEmpty(body), empty);
        // The title from a body parsed once, for every body that is an array.
        const QList<DeltaOp> ops = parseDeltaJson(body);
        if (!ops.isEmpty() || body == QLatin1String("[]"))
            QCOMPARE(deltaOpsTitle(ops), title);
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
