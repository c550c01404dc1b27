// Typing in a long note: loads a body of about 200 KB (a few thousand mixed
// lines) into the note editor, then times single keystrokes from key event to
// return (change tracking and word count included) at the start, middle and
// end of the note, and the writing of the Delta with currentDelta(). Prints
// median and worst in milliseconds. Run with QT_QPA_PLATFORM=offscreen where
// there is no display.

#include "noteeditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTextBlock>

#include <algorithm>
#include <cstdio>

namespace {

QJsonObject op(const QString &text, const QJsonObject &attributes = {})
{
    QJsonObject object{{"insert", text}};
    if (!attributes.isEmpty())
        object["attributes"] = attributes;
    return object;
}

QString longNote(int targetBytes, int *lines)
{
    static const char *lists[] = {"bullet", "ordered", "checked", "unchecked"};
    QJsonArray delta;
    QString json;
    *lines = 0;
    for (int section = 1;; ++section) {
        delta.append(op(QStringLiteral("Section %1").arg(section)));
        delta.append(op("\n", {{"header", 1 + section % 3}}));
        for (int p = 0; p < 2; ++p) {
            delta.append(op("Some words with "));
            delta.append(op("bold", {{"bold", true}}));
            delta.append(op(" and "));
            delta.append(op("a link", {{"link", "https://example.org/"}}));
            delta.append(op(" and "));
            delta.append(op("code()", {{"code", true}}));
            delta.append(op(QStringLiteral(" in paragraph %1 of this section.").arg(p)));
            delta.append(op("\n"));
        }
        for (int i = 0; i < 10; ++i) {
            delta.append(op(QStringLiteral("Item %1 of %2").arg(i).arg(section)));
            delta.append(op("\n", {{"list", lists[(i + section) % 4]}}));
        }
        for (int i = 0; i < 3; ++i) {
            delta.append(op(QStringLiteral("value%1 = compute(%2);").arg(i).arg(section)));
            delta.append(op("\n", {{"code-block", true}}));
        }
        delta.append(op("A quoted remark", {{"italic", true}}));
        delta.append(op("\n", {{"blockquote", true}}));
        *lines += 17;
        if (section % 2 == 0) {
            json = QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
            if (json.size() >= targetBytes)
                return json;
        }
    }
}

struct Figures
{
    double median = 0;
    double worst = 0;
};

Figures summarise(QList<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples.at(samples.size() / 2), samples.last()};
}

void print(const char *what, const Figures &figures, int count)
{
    std::printf("%-34s median %7.3f ms   worst %7.3f ms   (%d runs)\n", what, figures.median, figures.worst, count);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    int lines = 0;
    const QString body = longNote(200 * 1024, &lines);

    NoteEditor editor;
    editor.resize(900, 700);
    editor.show();
    QElapsedTimer timer;
    timer.start();
    editor.loadNote(QStringLiteral("bench-note"), body);
    const double loadMs = timer.nsecsElapsed() / 1e6;
    QCoreApplication::processEvents();

    std::printf("Note: %lld bytes of Delta, %d lines, %d blocks, %d words\n", qint64(body.toUtf8().size()), lines,
                editor.document()->blockCount(), editor.wordCount());
    std::printf("%-34s %7.3f ms\n", "loadNote", loadMs);

    constexpr int kKeystrokes = 100;
    const int blocks = editor.document()->blockCount();
    for (const auto &[name, block] : {std::pair{"keystroke at the start", 1}, std::pair{"keystroke in the middle", blocks / 2},
                                      std::pair{"keystroke at the end", blocks - 1}}) {
        QTextCursor cursor(editor.document()->findBlockByNumber(block));
        cursor.movePosition(QTextCursor::EndOfBlock);
        editor.setTextCursor(cursor);
        QList<double> samples;
        for (int i = 0; i < kKeystrokes; ++i) {
            const char key = "abcdefgh "[i % 9];
            timer.restart();
            QTest::keyClick(&editor, key);
            samples.append(timer.nsecsElapsed() / 1e6);
            // Let layout and painting catch up as they would between real keystrokes.
            QCoreApplication::processEvents();
        }
        print(name, summarise(samples), kKeystrokes);
    }

    QList<double> counts;
    for (int i = 0; i < 20; ++i) {
        timer.restart();
        volatile int words = editor.wordCount();
        (void)words;
        counts.append(timer.nsecsElapsed() / 1e6);
    }
    print("wordCount() (part of a keystroke)", summarise(counts), int(counts.size()));

    QList<double> writes;
    qsizetype written = 0;
    for (int i = 0; i < 20; ++i) {
        timer.restart();
        written = editor.currentDelta().size();
        writes.append(timer.nsecsElapsed() / 1e6);
    }
    print("currentDelta()", summarise(writes), int(writes.size()));
    std::printf("Delta written: %lld characters\n", qint64(written));
    return 0;
}
