#include "velmtest.h"

#include "delta.h"
#include "deltadocument.h"

#include <QJsonDocument>
#include <QRandomGenerator>

// Generated bodies over the whole Delta vocabulary, in the writer's exact form:
// loading one must write it back unchanged, so nothing the format expresses is
// lost. The tolerant reading of other forms is covered case by case in
// tst_deltadocument. VELM_DELTA_SEED / VELM_DELTA_CASES pick the first seed and
// the count; a failure prints its seed.

namespace {

class Generator
{
public:
    explicit Generator(quint32 seed) : m_random(seed)
    {
        for (int i = int(m_random.bounded(1, 13)); i > 0; --i) {
            const int kind = int(m_random.bounded(100));
            if (kind < 12)
                tableLine();
            else if (kind < 24)
                embedLine();
            else
                textLine();
        }
    }

    QString body() const { return deltaToJson(m_ops); }

private:
    bool chance(int percent) { return int(m_random.bounded(100)) < percent; }
    QString pick(const QStringList &values) { return values.at(int(m_random.bounded(int(values.size())))); }

    QString text()
    {
        static const QStringList pieces{"a", "b", "Z", " ", "word", "9", ",", "é", "€", "ß", "漢字", "\"", "\\",
                                        "<b>", "&amp;", "'", "\t", "😀", "end.", "/", "{}"};
        QString result;
        for (int i = int(m_random.bounded(1, 5)); i > 0; --i)
            result += pick(pieces);
        return result;
    }

    QJsonValue unknownValue()
    {
        const QJsonValue values[] = {QStringLiteral("#%1").arg(m_random.bounded(0x1000000), 6, 16, QLatin1Char('0')),
                                     int(m_random.bounded(1, 9)), true, QJsonObject{{"nested", "v"}, {"n", 1}}};
        return values[m_random.bounded(4)];
    }

    // A link's own underline is not written as an attribute: never both.
    QJsonObject inlineAttributes(bool allowUnknown)
    {
        QJsonObject attributes;
        for (const auto &[key, percent] : {std::pair{"bold", 30}, {"italic", 25}, {"strike", 15}, {"code", 15}}) {
            if (chance(percent))
                attributes[key] = true;
        }
        if (chance(12))
            attributes["link"] = pick({"https://example.org/a?b=1", "mailto:x@y.z", "note:7"});
        else if (chance(20))
            attributes["underline"] = true;
        if (allowUnknown && chance(20))
            attributes[pick({"color", "background", "font", "size"})] = unknownValue();
        return attributes;
    }

    QJsonObject lineAttributes()
    {
        QJsonObject attributes;
        if (chance(20))
            attributes["header"] = int(m_random.bounded(1, 7));
        if (chance(25))
            attributes["list"] = pick({"bullet", "ordered", "checked", "unchecked", "dashed"});
        if (chance(12))
            attributes["code-block"] = chance(50) ? QJsonValue(true) : QJsonValue(pick({"cpp", "plain"}));
        if (chance(10))
            attributes["blockquote"] = true;
        if (chance(15))
            attributes["align"] = pick({"center", "right", "justify"});
        if (chance(12))
            attributes[pick({"indent", "direction", "x-line"})] = unknownValue();
        return attributes;
    }

    static QJsonObject op(const QJsonValue &insert, const QJsonObject &attributes = {})
    {
        QJsonObject object{{"insert", insert}};
        if (!attributes.isEmpty())
            object["attributes"] = attributes;
        return object;
    }

    // Neighbouring runs never share their attributes: they would be one run.
    void run(QJsonArray &ops, QJsonObject &previous, const QJsonObject &implied, bool allowUnknown, bool code)
    {
        QJsonObject attributes = inlineAttributes(allowUnknown);
        for (auto it = implied.begin(); it != implied.end(); ++it)
            attributes[it.key()] = it.value();
        if (!code)
            attributes.remove("code");
        if (attributes == previous && attributes.contains("italic"))
            attributes.remove("italic");
        else if (attributes == previous)
            attributes["italic"] = true;
        ops.append(op(text(), attributes));
        previous = attributes;
    }

    QJsonObject embed()
    {
        const QString url = attachmentUrl(QStringLiteral("att-%1").arg(m_random.bounded(1000)));
        switch (m_random.bounded(3)) {
        case 0: return {{"velmora-notes-attachment", url}};
        case 1: return {{"image", url}};
        default: return {{"divider", pick({"hr", "", "line"})}};
        }
    }

    void textLine()
    {
        const QJsonObject line = lineAttributes();
        const int header = line.value("header").toInt();
        // Headings 1 and 2 are bold; the text of a code block is no inline code.
        const QJsonObject implied = header == 1 || header == 2 ? QJsonObject{{"bold", true}} : QJsonObject();
        const bool code = header != 0 || !line.contains("code-block");
        const int pieces = int(m_random.bounded(0, 5));
        QJsonObject previous{{"none", true}};
        for (int i = 0; i < pieces; ++i) {
            if (chance(15)) {
                m_ops.append(op(embed()));
                previous = {{"none", true}};
            } else {
                run(m_ops, previous, implied, true, code);
            }
        }
        m_ops.append(op("\n", line));
    }

    void embedLine()
    {
        m_ops.append(op(embed()));
        m_ops.append(op("\n", chance(30) ? QJsonObject{{"align", pick({"center", "right"})}} : QJsonObject()));
    }

    void tableLine()
    {
        const bool hasHeader = chance(60);
        const int columns = int(m_random.bounded(1, 4));
        QJsonArray rows;
        for (int r = int(m_random.bounded(1, 4)); r > 0; --r) {
            QJsonArray row;
            const bool header = hasHeader && rows.isEmpty();
            for (int c = 0; c < columns; ++c) {
                QJsonArray cell;
                for (int l = int(m_random.bounded(0, 3)); l > 0; --l) {
                    if (!cell.isEmpty())
                        cell.append(op("\n"));
                    QJsonObject previous{{"none", true}};
                    for (int i = int(m_random.bounded(1, 3)); i > 0; --i)
                        run(cell, previous, header ? QJsonObject{{"bold", true}} : QJsonObject(), false, true);
                }
                row.append(cell);
            }
            rows.append(row);
        }
        const QJsonObject table{{"cells", rows}, {"hasHeader", hasHeader}};
        m_ops.append(op(QJsonObject{{"table", QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact))}}));
        m_ops.append(op("\n"));
    }

    QRandomGenerator m_random;
    QJsonArray m_ops;
};

} // namespace

class TestDeltaRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void generatedBodiesAreFixedPoints()
    {
        const quint32 first = qEnvironmentVariableIsSet("VELM_DELTA_SEED") ? qEnvironmentVariableIntValue("VELM_DELTA_SEED") : 20261206;
        const quint32 cases = qEnvironmentVariableIsSet("VELM_DELTA_CASES") ? qEnvironmentVariableIntValue("VELM_DELTA_CASES") : 400;
        QCOMPARE(Generator(7).body(), Generator(7).body());
        DeltaDocument doc;
        for (quint32 seed = first; seed < first + cases; ++seed) {
            const QString written = Generator(seed).body();
            doc.setJson(written);
            const QString read = doc.toJson();
            QVERIFY2(read == written, qPrintable(QStringLiteral("seed %1\nexpected %2\nactual   %3").arg(seed).arg(written, read)));
        }
    }
};

VELM_TEST_MAIN(TestDeltaRoundTrip)
#include "tst_deltaroundtrip.moc"
