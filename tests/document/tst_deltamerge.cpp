#include "velmtest.h"

#include "delta.h"
#include "deltadocument.h"
#include "deltamerge.h"

#include <QRandomGenerator>

// The merge rules case by case, then properties over generated notes (fixed
// seed): identities, disjoint edits, the same result whichever device
// computes it, untouched units kept, and every merged body a Delta the editor
// loads and writes back unchanged.

namespace {

// One unit as the merge sees it: a character (or surrogate pair, or embed)
// and its attributes.
struct Unit
{
    QString text;
    QJsonObject attributes;
    bool operator==(const Unit &other) const = default;
};
using Units = QList<Unit>;

Units unitsOf(const QString &body)
{
    Units units;
    for (const DeltaOp &op : parseDeltaJson(body)) {
        if (op.type == DeltaOp::InsertEmbed) {
            units.append({compactJson(op.embed), op.attributes});
            continue;
        }
        for (qsizetype i = 0; i < op.text.size(); ++i) {
            const int width = op.text.at(i).isHighSurrogate() ? 2 : 1;
            units.append({op.text.mid(i, width), op.attributes});
            i += width - 1;
        }
    }
    return units;
}

QString bodyOf(const Units &units)
{
    QJsonArray ops;
    for (const Unit &unit : units) {
        QJsonObject last = ops.isEmpty() ? QJsonObject() : ops.last().toObject();
        if (unit.text != QLatin1String("\n") && !ops.isEmpty() && last.value("insert").toString() != QLatin1String("\n")
            && last.value("attributes").toObject() == unit.attributes) {
            last.insert("insert", last.value("insert").toString() + unit.text);
            ops.replace(ops.size() - 1, last);
            continue;
        }
        QJsonObject op{{"insert", unit.text}};
        if (!unit.attributes.isEmpty())
            op.insert("attributes", unit.attributes);
        ops.append(op);
    }
    return deltaToJson(ops);
}

QString merged(const QString &base, const QString &local, const QString &remote)
{
    const DeltaMergeResult result = mergeDeltaBodies(base, local, remote);
    return result.merged ? result.body : QStringLiteral("conflict");
}

class Generator
{
public:
    explicit Generator(quint32 seed) : m_random(seed) {}

    Units document(int lines)
    {
        Units units;
        for (int line = 0; line < lines; ++line) {
            units += text(int(m_random.bounded(0, 8)));
            units.append(lineEnd());
        }
        return units;
    }

    // One to three edits inside units [0, end): insertions, deletions,
    // restyled characters and lines. The `|` separator is never produced.
    Units edit(Units units, qsizetype end)
    {
        for (int n = int(m_random.bounded(1, 4)); n > 0; --n) {
            const int at = int(m_random.bounded(int(end) + 1));
            const int span = std::min(int(m_random.bounded(1, 5)), int(end) - at);
            switch (m_random.bounded(4)) {
            case 0: {
                const Units inserted = m_random.bounded(3) == 0 ? Units{lineEnd()} : text(int(m_random.bounded(1, 4)));
                for (int k = 0; k < inserted.size(); ++k)
                    units.insert(at + k, inserted[k]);
                end += inserted.size();
                break;
            }
            case 1:
                units.remove(at, span);
                end -= span;
                break;
            default:
                for (int k = at; k < at + span; ++k)
                    units[k].attributes = units[k].text == QLatin1String("\n") ? lineAttributes() : inlineAttributes();
                break;
            }
        }
        return units;
    }

    int bounded(int high) { return int(m_random.bounded(high)); }

private:
    Units text(int length)
    {
        static const QStringList alphabet{"a", "b", "c", " ", "e", QString::fromUtf8("\xF0\x9F\x98\x80"), QString::fromUtf8("\xC3\xA9")};
        Units units;
        const QJsonObject attributes = inlineAttributes();
        for (int i = 0; i < length; ++i)
            units.append({alphabet.at(bounded(int(alphabet.size()))), attributes});
        return units;
    }
    Unit lineEnd() { return {"\n", lineAttributes()}; }
    QJsonObject inlineAttributes()
    {
        static const QList<QJsonObject> choices{{}, {}, {{"bold", true}}, {{"italic", true}},
                                                {{"bold", true}, {"italic", true}}, {{"link", "https://a.example"}},
                                                {{"link", "https://b.example"}}};
        return choices.at(bounded(int(choices.size())));
    }
    QJsonObject lineAttributes()
    {
        static const QList<QJsonObject> choices{{}, {}, {{"align", "right"}}, {{"blockquote", true}}, {{"align", "center"}}};
        return choices.at(bounded(int(choices.size())));
    }

    QRandomGenerator m_random;
};

} // namespace

class TestDeltaMerge : public QObject
{
    Q_OBJECT
private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("expected");
        const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString grin = QString::fromUtf8("\xF0\x9F\x98\x81");
        QTest::newRow("edits in different places both apply")
            << R"([{"insert":"one two\n"}])" << R"([{"insert":"Xone two\n"}])" << R"([{"insert":"one twoY\n"}])"
            << R"([{"insert":"Xone twoY"},{"insert":"\n"}])";
        QTest::newRow("the same edit applies once")
            << R"([{"insert":"ab\n"}])" << R"([{"insert":"aXb\n"}])" << R"([{"insert":"aXb\n"}])"
            << R"([{"insert":"aXb"},{"insert":"\n"}])";
        QTest::newRow("insertions at one place keep the remote one first")
            << R"([{"insert":"ab\n"}])" << R"([{"insert":"aLb\n"}])" << R"([{"insert":"aRb\n"}])"
            << R"([{"insert":"aRLb"},{"insert":"\n"}])";
        QTest::newRow("a paragraph added on each side")
            << R"([{"insert":"t\n"}])" << R"([{"insert":"t\nlocal\n"}])" << R"([{"insert":"t\nremote\n"}])"
            << R"([{"insert":"t"},{"insert":"\n"},{"insert":"remote"},{"insert":"\n"},{"insert":"local"},{"insert":"\n"}])";
        QTest::newRow("an insertion beside a replacement stays beside it")
            << R"([{"insert":"abc\n"}])" << R"([{"insert":"aXbc\n"}])" << R"([{"insert":"aYc\n"}])"
            << R"([{"insert":"aXYc"},{"insert":"\n"}])";
        QTest::newRow("different attributes on the same text combine")
            << R"([{"insert":"ab\n"}])" << R"([{"attributes":{"bold":true},"insert":"ab"},{"insert":"\n"}])"
            << R"([{"insert":"a"},{"attributes":{"italic":true},"insert":"b"},{"insert":"\n"}])"
            << R"([{"attributes":{"bold":true},"insert":"a"},{"attributes":{"bold":true,"italic":true},"insert":"b"},{"insert":"\n"}])";
        QTest::newRow("the same attribute set twice takes the remote value")
            << R"([{"insert":"ab\n"}])" << R"([{"attributes":{"link":"L"},"insert":"ab"},{"insert":"\n"}])"
            << R"([{"attributes":{"link":"R"},"insert":"ab"},{"insert":"\n"}])"
            << R"([{"attributes":{"link":"R"},"insert":"ab"},{"insert":"\n"}])";
        QTest::newRow("an attribute removed on one side while the other adds one")
            << R"([{"attributes":{"bold":true},"insert":"ab"},{"insert":"\n"}])" << R"([{"insert":"ab\n"}])"
            << R"([{"attributes":{"bold":true,"italic":true},"insert":"ab"},{"insert":"\n"}])"
            << R"([{"attributes":{"italic":true},"insert":"ab"},{"insert":"\n"}])";
        QTest::newRow("a line made a heading while its text changes")
            << R"([{"insert":"title\nbody\n"}])" << R"([{"insert":"title"},{"attributes":{"header":1},"insert":"\n"},{"insert":"body\n"}])"
            << R"([{"insert":"title!\nbody\n"}])"
            << R"([{"insert":"title!"},{"attributes":{"header":1},"insert":"\n"},{"insert":"body"},{"insert":"\n"}])";
        QTest::newRow("an embed added beside an edited line")
            << R"([{"insert":"a\n"}])" << R"([{"insert":"a\n"},{"insert":{"divider":"hr"}},{"insert":"\n"}])"
            << R"([{"insert":"ab\n"}])"
            << R"([{"insert":"ab"},{"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"}])";
        QTest::newRow("a surrogate pair is one unit")
            << QString(R"([{"insert":"%1\n"}])").arg(smile) << QString(R"([{"insert":"%1%2\n"}])").arg(grin, smile)
            << R"([{"insert":"q\n"}])" << QString(R"([{"insert":"%1q"},{"insert":"\n"}])").arg(grin);
        QTest::newRow("overlapping different deletions conflict")
            << R"([{"insert":"abcdef\n"}])" << R"([{"insert":"aef\n"}])" << R"([{"insert":"abcf\n"}])" << "conflict";
        QTest::newRow("two different replacements of one word conflict")
            << R"([{"insert":"a word\n"}])" << R"([{"insert":"a bird\n"}])" << R"([{"insert":"a ward\n"}])" << "conflict";
        QTest::newRow("a word bolded on one side and retyped on the other conflicts")
            << R"([{"insert":"say hello\n"}])" << R"([{"insert":"say "},{"attributes":{"bold":true},"insert":"hello"},{"insert":"\n"}])"
            << R"([{"insert":"say howdy\n"}])" << "conflict";
        QTest::newRow("an insertion inside a deleted range conflicts")
            << R"([{"insert":"abcd\n"}])" << R"([{"insert":"ad\n"}])" << R"([{"insert":"abXcd\n"}])" << "conflict";
        QTest::newRow("plain-text bodies merge when one side is unchanged")
            << "just words" << "just words" << "other words" << "other words";
        QTest::newRow("plain-text bodies changed on both sides conflict")
            << "just words" << "more words" << "other words" << "conflict";
    }
    void rules()
    {
        QFETCH(QString, base);
        QFETCH(QString, local);
        QFETCH(QString, remote);
        QFETCH(QString, expected);
        QCOMPARE(merged(base, local, remote), expected);
    }

    // The merge writes its text itself: it must come out as the document
    // layer writes it, or a merged note would differ byte-wise on devices that
    // wrote the same content.
    void mergedTextIsWrittenAsTheDocumentWritesIt_data()
    {
        QTest::addColumn<QJsonArray>("remote");
        const auto text = [](std::initializer_list<char16_t> units) { return QString(reinterpret_cast<const QChar *>(units.begin()), qsizetype(units.size())); };
        QTest::newRow("quotes, backslash, slash") << QJsonArray{QJsonObject{{"insert", "say \"hi\" \\ a/b"}}, QJsonObject{{"insert", "\n"}}};
        QTest::newRow("control characters") << QJsonArray{QJsonObject{{"insert", text({u'a', 0x01, u'\b', u'\f', u'\r', u'\t', 0x1f, 0x7f})}}, QJsonObject{{"insert", "\n"}}};
        QTest::newRow("unpaired surrogates") << QJsonArray{QJsonObject{{"insert", text({0xD800, u'a', 0xDC00, 0xD83D})}}, QJsonObject{{"insert", "\n"}}};
        QTest::newRow("byte-order mark, separators, emoji")
            << QJsonArray{QJsonObject{{"insert", text({0xFEFF, u'x', 0x2028, 0xD83D, 0xDE00, 0xE9})}}, QJsonObject{{"insert", "\n"}}};
        QTest::newRow("attributes and embeds")
            << QJsonArray{QJsonObject{{"insert", "b\"old"}, {"attributes", QJsonObject{{"bold", true}, {"link", "https://x.example/?q=\"1\""}}}},
                          QJsonObject{{"insert", QJsonObject{{"image", "a\u00e9.png"}}}, {"attributes", QJsonObject{{"width", "20"}}}},
                          QJsonObject{{"insert", "\n"}, {"attributes", QJsonObject{{"header", 1}}}}};
    }
    void mergedTextIsWrittenAsTheDocumentWritesIt()
    {
        QFETCH(QJsonArray, remote);
        const QString base = R"([{"insert":"\n"}])";
        const QString expected = deltaToJson(remote);
        QCOMPARE(merged(base, base, expected), expected);
    }

    void generatedMergesKeepTheirProperties()
    {
        Generator generator(35);
        DeltaDocument editor;
        const Unit separator{"|", {}};
        int clean = 0;
        int conflicts = 0;
        for (int round = 0; round < 3000; ++round) {
            const Units base = generator.document(generator.bounded(5) + 1);
            const QString b = bodyOf(base);
            const QString x = bodyOf(generator.edit(base, base.size() - 1));
            const QString y = bodyOf(generator.edit(base, base.size() - 1));
            const QByteArray where = "round " + QByteArray::number(round) + "\nbase   " + b.toUtf8() + "\nlocal  "
                                     + x.toUtf8() + "\nremote " + y.toUtf8();
            QVERIFY2(unitsOf(merged(b, x, b)) == unitsOf(x), where);
            QVERIFY2(unitsOf(merged(b, b, y)) == unitsOf(y), where);
            QVERIFY2(unitsOf(merged(b, x, x)) == unitsOf(x), where);

            const DeltaMergeResult result = mergeDeltaBodies(b, x, y);
            if (result.merged) {
                ++clean;
                // The text all three share at the end, and then at the start, is
                // kept as it was (the merge anchors the end first: a note ends
                // with its line end).
                const auto texts = [](const QString &body) {
                    QStringList texts;
                    for (const Unit &unit : unitsOf(body))
                        texts.append(unit.text);
                    return texts;
                };
                const QStringList tb = texts(b), tx = texts(x), ty = texts(y), tm = texts(result.body);
                const auto fromEnd = [](const QStringList &list, qsizetype k) { return list[list.size() - 1 - k]; };
                const qsizetype shortest = std::min({tb.size(), tx.size(), ty.size()});
                qsizetype suffix = 0;
                while (suffix < shortest && fromEnd(tb, suffix) == fromEnd(tx, suffix) && fromEnd(tb, suffix) == fromEnd(ty, suffix))
                    ++suffix;
                qsizetype prefix = 0;
                while (prefix < shortest - suffix && tb[prefix] == tx[prefix] && tb[prefix] == ty[prefix])
                    ++prefix;
                QVERIFY2(tm.size() >= prefix + suffix && tm.mid(0, prefix) == tb.mid(0, prefix)
                             && tm.mid(tm.size() - suffix) == tb.mid(tb.size() - suffix), where);
                const Units m = unitsOf(result.body);
                editor.setJson(result.body);
                QVERIFY2(unitsOf(editor.toJson()) == m, where + "\nmerged " + result.body.toUtf8());
            } else {
                ++conflicts;
            }

            // Edits on either side of a separator nobody touches: both appear,
            // and both devices compute the same body.
            const qsizetype cut = generator.bounded(int(base.size()));
            const Units head = base.mid(0, cut), tail = base.mid(cut);
            const Units splitBase = head + Units{separator} + tail;
            const Units newHead = generator.edit(head, head.size());
            const Units newTail = generator.edit(tail, tail.size() - 1);
            const QString sb = bodyOf(splitBase);
            const QString sx = bodyOf(newHead + Units{separator} + tail);
            const QString sy = bodyOf(head + Units{separator} + newTail);
            const QByteArray disjoint = "round " + QByteArray::number(round) + "\nbase   " + sb.toUtf8() + "\nlocal  "
                                        + sx.toUtf8() + "\nremote " + sy.toUtf8();
            const QString both = merged(sb, sx, sy);
            QVERIFY2(unitsOf(both) == newHead + Units{separator} + newTail, disjoint + "\nmerged " + both.toUtf8());
            QVERIFY2(merged(sb, sy, sx) == both, disjoint);
        }
        // The generator reaches both outcomes often enough to mean something.
        QVERIFY2(clean > 300 && conflicts > 300, qPrintable(QStringLiteral("%1 clean, %2 conflicts").arg(clean).arg(conflicts)));
    }
};

VELM_TEST_MAIN(TestDeltaMerge)
#include "tst_deltamerge.moc"
