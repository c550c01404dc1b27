#include "velmtest.h"

#include "delta.h"
#include "deltadocument.h"

#include <QJsonDocument>
#include <QRandomGenerator>

// Generated bodies over the whole Delta vocabulary, each in the writer's exact
// form plus a loosely written variant (newlines inside inserts, implied
// attributes missing, unprefixed attachment ids, text cells, skipped
// operations). Loading either must write the exact form back, so nothing the
// format expresses is lost. VELM_DELTA_SEED / VELM_DELTA_CASES pick the first
// seed and the count; a failure prints its seed.

namespace {

// The two texts from their first difference on, so a failure reads quickly.
QString difference(const QString &expected, const QString &actual)
{
    qsizetype at = 0;
    while (at < expected.size() && at < actual.size() && expected.at(at) == actual.at(at))
        ++at;
    const qsizetype from = std::max<qsizetype>(0, at - 60);
    return QStringLiteral("expected ...%1\nactual   ...%2").arg(expected.mid(from, 240), actual.mid(from, 240));
}

class Generator
{
public:
    explicit Generator(quint32 seed) : m_random(seed) {}

    void build()
    {
        const int lines = int(m_random.bounded(1, 13));
        for (int i = 0; i < lines; ++i) {
            const int kind = int(m_random.bounded(100));
            if (kind < 12)
                tableLine();
            else if (kind < 24)
                embedLine();
            else
                textLine();
        }
        if (m_random.bounded(4) == 0)
            m_loose.prepend(QJsonValue(42)); // not an object: skipped
    }

    QString written() const { return deltaToJson(m_written); }
    QString loose() const { return deltaToJson(m_loose); }

private:
    bool chance(int percent) { return int(m_random.bounded(100)) < percent; }
    template<typename T>
    const T &pick(const QList<T> &values)
    {
        return values.at(int(m_random.bounded(int(values.size()))));
    }

    QString text()
    {
        static const QStringList pieces{"a", "b", "Z", " ", "word", "9", ",", "é", "€", "ß", "漢字", "\"", "\\",
                                        "<b>", "&amp;", "'", "\t", "😀", "end.", "/", "{}"};
        QString result;
        const int count = int(m_random.bounded(1, 5));
        for (int i = 0; i < count; ++i)
            result += pick(pieces);
        return result;
    }

    QJsonValue unknownValue()
    {
        const QJsonValue values[] = {QStringLiteral("#%1").arg(m_random.bounded(0x1000000), 6, 16, QLatin1Char('0')),
                                     int(m_random.bounded(1, 9)), true, QJsonObject{{"nested", "v"}, {"n", 1}}};
        return values[m_random.bounded(4)];
    }

    // Inline attributes as written; never both "link" and "underline" (a
    // link's own underline is not written as an attribute).
    QJsonObject inlineAttributes(bool allowUnknown)
    {
        QJsonObject attributes;
        for (const auto &[key, percent] : {std::pair{"bold", 30}, {"italic", 25}, {"strike", 15}, {"code", 15}}) {
            if (chance(percent))
                attributes[key] = true;
        }
        if (chance(12))
            attributes["link"] = pick(QStringList{"https://example.org/a?b=1", "mailto:x@y.z", "note:7"});
        else if (chance(20))
            attributes["underline"] = true;
        if (allowUnknown && chance(20))
            attributes[pick(QStringList{"color", "background", "font", "size"})] = unknownValue();
        return attributes;
    }

    QJsonObject lineAttributes()
    {
        QJsonObject attributes;
        if (chance(20))
            attributes["header"] = int(m_random.bounded(1, 7));
        if (chance(25))
            attributes["list"] = pick(QStringList{"bullet", "ordered", "checked", "unchecked", "dashed"});
        if (chance(12))
            attributes["code-block"] = chance(50) ? QJsonValue(true) : QJsonValue(pick(QStringList{"cpp", "plain"}));
        if (chance(10))
            attributes["blockquote"] = true;
        if (chance(15))
            attributes["align"] = pick(QStringList{"center", "right", "justify"});
        if (chance(12))
            attributes[pick(QStringList{"indent", "direction", "x-line"})] = unknownValue();
        return attributes;
    }

    // What loading adds to every run of a line: headings 1 and 2 are bold.
    static QJsonObject implied(const QJsonObject &line)
    {
        const int header = line.value("header").toInt();
        if (header == 1 || header == 2)
            return {{"bold", true}};
        return {};
    }

    static QJsonObject withImplied(QJsonObject attributes, const QJsonObject &implied)
    {
        for (auto it = implied.begin(); it != implied.end(); ++it)
            attributes[it.key()] = it.value();
        return attributes;
    }

    static QJsonObject op(const QJsonValue &insert, const QJsonObject &attributes = {})
    {
        QJsonObject object{{"insert", insert}};
        if (!attributes.isEmpty())
            object["attributes"] = attributes;
        return object;
    }

    // Appends a text insert to the loose form, joining it to the previous one
    // when neither has attributes (the reader splits at the newlines).
    void looseText(const QString &text, const QJsonObject &attributes)
    {
        if (attributes.isEmpty() && !m_loose.isEmpty() && chance(70)) {
            const QJsonObject last = m_loose.last().toObject();
            if (!last.contains("attributes") && last.value("insert").isString()) {
                m_loose[m_loose.size() - 1] = op(last.value("insert").toString() + text);
                return;
            }
        }
        m_loose.append(op(text, attributes));
        if (chance(5))
            m_loose.append(QJsonObject{{"retain", int(m_random.bounded(1, 5))}});
    }

    QJsonObject embed(bool inLine, QJsonObject &looseEmbed)
    {
        const QString id = QStringLiteral("att-%1").arg(m_random.bounded(1000));
        switch (m_random.bounded(inLine ? 4 : 3)) {
        case 0:
            looseEmbed = {{"velmora-notes-attachment", chance(50) ? id : attachmentUrl(id)}};
            return {{"velmora-notes-attachment", attachmentUrl(id)}};
        case 1:
            looseEmbed = {{"image", attachmentUrl(id)}};
            return looseEmbed;
        case 2: {
            const QString value = pick(QStringList{"hr", "", "line"});
            looseEmbed = {{"divider", value.isEmpty() && chance(50) ? QJsonValue(true) : QJsonValue(value)}};
            return {{"divider", value}};
        }
        default:
            // A table embed that shares its line stays an object, its text untouched.
            looseEmbed = {{"table", R"({"cells":[["x"]]})"}};
            return looseEmbed;
        }
    }

    void lineEnd(const QJsonObject &attributes)
    {
        m_written.append(op("\n", attributes));
        QJsonObject loose = attributes;
        if (!loose.contains("align") && chance(10))
            loose["align"] = "left";
        if (chance(10))
            loose["bold"] = true; // inline keys on a line end are ignored
        looseText("\n", loose);
    }

    void textLine()
    {
        const QJsonObject line = lineAttributes();
        const QJsonObject lineImplied = implied(line);
        QJsonObject previous;
        bool previousIsText = false;
        const int pieces = int(m_random.bounded(0, 5));
        for (int i = 0; i < pieces; ++i) {
            if (chance(15)) {
                QJsonObject looseEmbed;
                const QJsonObject written = embed(true, looseEmbed);
                if (written.contains("table") && pieces == 1)
                    continue; // alone it would become a table
                m_written.append(op(written));
                m_loose.append(op(looseEmbed));
                previousIsText = false;
                continue;
            }
            QJsonObject given = inlineAttributes(true);
            QJsonObject attributes = withImplied(given, lineImplied);
            // The text of a code block (that is no heading) is never inline code.
            if (line.value("header").toInt() == 0 && line.contains("code-block"))
                attributes.remove("code");
            // Equal neighbours would be one run in the document.
            if (previousIsText && attributes == previous) {
                if (attributes.contains("italic")) {
                    attributes.remove("italic");
                    given.remove("italic");
                } else {
                    attributes["italic"] = true;
                    given["italic"] = true;
                }
            }
            const QString runText = text();
            m_written.append(op(runText, attributes));
            QJsonObject loose = chance(50) ? given : attributes;
            if (chance(10))
                loose["strike"] = loose.value("strike").toBool() ? QJsonValue(true) : QJsonValue(false);
            if (chance(5))
                loose["header"] = 3; // line keys on a run are ignored
            looseText(runText, loose);
            previous = attributes;
            previousIsText = true;
        }
        lineEnd(line);
    }

    void embedLine()
    {
        QJsonObject looseEmbed;
        QJsonObject written = embed(false, looseEmbed);
        m_written.append(op(written));
        m_loose.append(op(looseEmbed, chance(20) ? QJsonObject{{"width", "20"}} : QJsonObject()));
        QJsonObject line;
        if (chance(30))
            line["align"] = pick(QStringList{"center", "right"});
        lineEnd(line);
    }

    void tableLine()
    {
        const bool hasHeader = chance(60);
        const int rows = int(m_random.bounded(1, 4));
        const int columns = int(m_random.bounded(1, 4));
        QJsonArray writtenRows;
        QJsonArray looseRows;
        for (int r = 0; r < rows; ++r) {
            QJsonArray writtenRow;
            QJsonArray looseRow;
            const bool header = hasHeader && r == 0;
            // Ragged rows: a shorter loose row is padded with empty cells.
            const int present = (r > 0 && chance(30)) ? int(m_random.bounded(0, columns)) : columns;
            for (int c = 0; c < columns; ++c) {
                QJsonValue looseCell;
                writtenRow.append(tableCell(header, looseCell));
                looseRow.append(looseCell);
            }
            // Trailing empty cells may be missing from a loose row.
            while (looseRow.size() > present && writtenRow.at(looseRow.size() - 1).toArray().isEmpty())
                looseRow.removeLast();
            writtenRows.append(writtenRow);
            looseRows.append(looseRow);
        }
        // A table whose longest row is empty is no table at all.
        bool anyColumn = false;
        for (const QJsonValue &row : std::as_const(looseRows))
            anyColumn = anyColumn || !row.toArray().isEmpty();
        if (!anyColumn)
            looseRows[0] = QJsonArray{QJsonValue(QJsonValue::Null)};

        const QJsonObject writtenTable{{"cells", writtenRows}, {"hasHeader", hasHeader}};
        QJsonObject looseTable{{"cells", looseRows}};
        if (!hasHeader || chance(50))
            looseTable["hasHeader"] = hasHeader;
        // Keep the loose rows as wide as the written ones.
        int longest = 0;
        for (const QJsonValue &row : std::as_const(looseRows))
            longest = std::max(longest, int(row.toArray().size()));
        if (longest != columns) {
            QJsonArray first = looseRows.at(0).toArray();
            while (first.size() < columns)
                first.append(QJsonValue(QJsonValue::Null));
            looseRows[0] = first;
            looseTable["cells"] = looseRows;
        }
        const auto compact = [](const QJsonObject &object) {
            return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
        };
        m_written.append(op(QJsonObject{{"table", compact(writtenTable)}}));
        m_written.append(op("\n"));
        m_loose.append(op(QJsonObject{{"table", compact(looseTable)}}));
        looseText("\n", {});
    }

    QJsonArray tableCell(bool header, QJsonValue &looseCell)
    {
        QJsonArray written;
        QJsonArray loose;
        const int lines = int(m_random.bounded(0, 3));
        const QJsonObject cellImplied = header ? QJsonObject{{"bold", true}} : QJsonObject();
        for (int l = 0; l < lines; ++l) {
            if (l > 0) {
                written.append(op("\n"));
                loose.append(op("\n"));
            }
            QJsonObject previous;
            const int runs = int(m_random.bounded(0, 3));
            for (int i = 0; i < runs; ++i) {
                QJsonObject given = inlineAttributes(false);
                QJsonObject attributes = withImplied(given, cellImplied);
                if (i > 0 && attributes == previous) {
                    attributes["strike"] = !attributes.value("strike").toBool();
                    if (!attributes.value("strike").toBool())
                        attributes.remove("strike");
                    given = withImplied(attributes, {});
                    if (header)
                        given.remove("bold");
                }
                const QString runText = text();
                written.append(op(runText, attributes));
                loose.append(op(runText, chance(50) ? given : attributes));
                previous = attributes;
            }
        }
        // A last empty line in the middle of nothing is not written.
        while (!written.isEmpty() && written.last().toObject().value("insert").toString() == "\n") {
            written.removeLast();
            loose.removeLast();
        }
        if (written.size() == 1 && !written.at(0).toObject().contains("attributes") && chance(50))
            looseCell = written.at(0).toObject().value("insert");
        else if (written.size() == 1 && header && written.at(0).toObject().value("attributes").toObject()
                     == QJsonObject{{"bold", true}} && chance(50))
            looseCell = written.at(0).toObject().value("insert");
        else if (written.isEmpty() && chance(50))
            looseCell = chance(50) ? QJsonValue(QJsonValue::Null) : QJsonValue(7);
        else
            looseCell = loose;
        return written;
    }

    QRandomGenerator m_random;
    QJsonArray m_written;
    QJsonArray m_loose;
};

quint32 envNumber(const char *name, quint32 fallback)
{
    bool ok = false;
    const quint32 value = qEnvironmentVariable(name).toUInt(&ok);
    return ok ? value : fallback;
}

} // namespace

class TestDeltaRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void generatedBodiesAreFixedPoints()
    {
        const quint32 firstSeed = envNumber("VELM_DELTA_SEED", 20261206);
        const quint32 cases = envNumber("VELM_DELTA_CASES", 400);
        DeltaDocument doc;
        for (quint32 seed = firstSeed; seed < firstSeed + cases; ++seed) {
            Generator generator(seed);
            generator.build();
            const QString written = generator.written();

            doc.setJson(written);
            const QString first = doc.toJson();
            doc.setJson(first);
            const QString second = doc.toJson();
            doc.setJson(second);
            const QString third = doc.toJson();
            QVERIFY2(second == third, qPrintable(QStringLiteral("seed %1 is not a fixed point:\n%2")
                                                     .arg(seed).arg(difference(second, third))));
            QVERIFY2(first == written, qPrintable(QStringLiteral("seed %1 lost or changed content:\n%2")
                                                      .arg(seed).arg(difference(written, first))));

            doc.setJson(generator.loose());
            const QString fromLoose = doc.toJson();
            QVERIFY2(fromLoose == written,
                     qPrintable(QStringLiteral("seed %1 loose form read differently:\n%2\nloose %3")
                                    .arg(seed).arg(difference(written, fromLoose), generator.loose())));
        }
    }

    void generatorIsSeedable()
    {
        Generator a(7), b(7), c(8);
        a.build();
        b.build();
        c.build();
        QCOMPARE(a.written(), b.written());
        QCOMPARE(a.loose(), b.loose());
        QVERIFY(a.written() != c.written());
    }
};

VELM_TEST_MAIN(TestDeltaRoundTrip)
#include "tst_deltaroundtrip.moc"
