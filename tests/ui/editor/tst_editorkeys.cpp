#include "velmtest.h"

#include "deltalines.h"

#include "deltadocument.h"
#include "editorkeys.h"
#include "editorlinks.h"

#include <QTextDocument>

using namespace DeltaLines;

namespace {

// As the editor writes a body after loading it.
QString written(const QString &json)
{
    DeltaDocument document;
    document.setJson(json);
    return document.toJson();
}

} // namespace

// The keys the editor handles itself and typing around links, on a document
// without any widget: the steps are keys, "text:" typing (which takes the
// format the editor gives the cursor after a link) and "undo".
class TestEditorKeys : public QObject
{
    Q_OBJECT

private slots:
    void steps_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("cursor");
        using L = QStringList;
        const auto row = [](const char *name, const L &before, int position, const L &steps, const L &after,
                            int cursor = -1) { QTest::newRow(name) << before << position << steps << after << cursor; };

        row("return inside a heading splits it in two", {line("Title", kH1)}, 2, {"Return"},
            {line("Ti", kH1), line("tle", kH1)}, 3);
        row("return at the end of a heading gives a body line", {line("Title", kH1)}, 5, {"Return", "text:x"},
            {line("Title", kH1), line("x")}, 7);
        row("return on an empty quote line leaves the quote", {line("q", kQuote)}, 1, {"Return", "Return", "text:x"},
            {line("q", kQuote), line("x")});
        row("return on an empty last code line leaves the block", {line("a", kCode)}, 1, {"Return", "Return", "text:b"},
            {line("a", kCode), line("b")});
        row("an empty code line inside the block stays code", {line("a", kCode), line("c", kCode)}, 1,
            {"Return", "Return"}, {line("a", kCode), line({}, kCode), line({}, kCode), line("c", kCode)});
        row("return on an empty line opens another", {line("a"), line({})}, 2, {"Return", "text:b"},
            {line("a"), line({}), line("b")}, 4);

        row("return in an empty item ends the list", {line("one", kBullet)}, 3, {"Return", "Return", "text:after"},
            {line("one", kBullet), line("after")}, 9);
        row("return at the start of an item leaves a plain line above",
            {line("first", kOrdered), line("second", kOrdered)}, 6, {"Return", "text:plain"},
            {line("first", kOrdered), line("plain"), line("second", kOrdered)}, 11);
        row("return inside an item continues the list", {line("abcd", kBullet)}, 2, {"Return"},
            {line("ab", kBullet), line("cd", kBullet)}, 3);
        row("a task after a ticked one starts unticked", {line("done", kChecked)}, 4, {"Return", "text:todo"},
            {line("done", kChecked), line("todo", kUnchecked)}, 9);
        row("split and untick are one undo step", {line("done", kChecked)}, 4, {"Return", "undo"},
            {line("done", kChecked)});
        const QString nested = QStringLiteral(R"({"list":"bullet","indent":1})");
        row("tab nests an item under the one above", {line("a", kBullet), line("b", kBullet)}, 2, {"Tab"},
            {line("a", kBullet), line("b", nested)});
        row("shift+tab outdents the selected items", {line("a", kBullet), line("b", nested), line("c", nested)}, 2,
            {"Shift+Tab"}, {line("a", kBullet), line("b", kBullet), line("c", nested)});
        row("tab stops at the deepest level", {line("a", QStringLiteral(R"({"list":"ordered","indent":8})"))}, 0,
            {"Tab"}, {line("a", QStringLiteral(R"({"list":"ordered","indent":8})"))});
        row("shift+tab at the outermost level keeps the item", {line("a", kChecked)}, 0, {"Shift+Tab"},
            {line("a", kChecked)});
        row("shift+tab outside a list takes back a tab", {line("a\\tb")}, 2, {"Shift+Tab", "Shift+Tab"}, {line("ab")}, 1);
        row("return on an empty nested item steps out one level", {line("a", kBullet), line({}, nested)}, 2,
            {"Return", "text:b"}, {line("a", kBullet), line("b", kBullet)});
        row("backspace in an empty first item keeps the next line",
            {line({}, kBullet), line("Title", R"({"header":2})"), line("x")}, 0, {"Backspace"},
            {line("Title", R"({"header":2})"), line("x")}, 0);

        const L link{R"({"insert":"see "})", linked("docs"), line({})};
        row("typing at the end of a link is plain", link, 8, {"text:!"}, {R"({"insert":"see "})", linked("docs"), line("!")});
        row("typing inside a link extends it", link, 6, {"text:o"}, {R"({"insert":"see "})", linked("doocs"), line({})});
        row("typing before a link at a line start is plain", {linked("docs"), line({})}, 0, {"text:>"},
            {R"({"insert":">"})", linked("docs"), line({})});
        row("the line after a link is plain", link, 8, {"Return", "text:next"},
            {R"({"insert":"see "})", linked("docs"), line({}), line("next")});
    }
    void steps()
    {
        QFETCH(QStringList, before);
        QFETCH(int, position);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, after);
        QFETCH(int, cursor);
        DeltaDocument document;
        document.setJson(body(before));
        QTextCursor at(document.document());
        at.setPosition(position);
        for (const QString &step : steps) {
            if (step.startsWith(QLatin1String("text:"))) {
                if (const std::optional<QTextCharFormat> plain = EditorLinks::typingFormat(at))
                    at.setCharFormat(*plain);
                at.insertText(step.mid(5));
            } else if (step == QLatin1String("undo")) {
                document.document()->undo(&at);
            } else {
                const QKeySequence key(step);
                const std::optional<QTextCursor> edited = EditorKeys::edit(at, key[0].key(), key[0].keyboardModifiers());
                QVERIFY2(edited, qPrintable(step));
                at = *edited;
            }
        }
        if (cursor >= 0)
            QCOMPARE(at.position(), cursor);
        QCOMPARE(document.toJson(), written(body(after)));
    }
};

VELM_TEST_MAIN(TestEditorKeys)
#include "tst_editorkeys.moc"
