// Opening a huge note: a Delta body of short lines (default 2 MB and 10 MB,
// or the sizes in KB given as arguments) is loaded into the note editor and
// shown, beside a plain QTextEdit::setPlainText of the same text in the same
// run as the baseline. With BENCH_SHAPE=paragraph the body is one paragraph
// without line ends (minified JSON, base64) and there is no baseline: a
// QTextEdit does not show such a text within minutes. Run with
// QT_QPA_PLATFORM=offscreen where there is no display.

#include "noteeditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#include <sys/resource.h>

namespace {

QString shortLines(qsizetype bytes)
{
    QString text;
    text.reserve(bytes + 64);
    for (int i = 0; text.size() < bytes; ++i)
        text += QStringLiteral("Line %1 of a long list\n").arg(i);
    return text;
}

// CPU time of this process in ms: on a machine shared with other work the
// wall time says more about the neighbours than about the load.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

template<typename Load>
double timeShown(QWidget &widget, Load load, double *cpu = nullptr)
{
    QElapsedTimer timer;
    const double cpuStart = cpuMs();
    timer.start();
    load();
    // Until the first paint is done, the user waits.
    widget.repaint();
    QCoreApplication::processEvents();
    if (cpu)
        *cpu = cpuMs() - cpuStart;
    return timer.nsecsElapsed() / 1e6;
}

QString oneParagraph(qsizetype bytes)
{
    QString text;
    text.reserve(bytes + 64);
    for (int i = 0; text.size() < bytes; ++i)
        text += QStringLiteral("{\"k%1\":\"dGhlIHF1aWNrIGJyb3du\"},").arg(i);
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QList<qsizetype> sizes;
    for (const QString &arg : app.arguments().mid(1))
        sizes.append(arg.toLongLong() * 1024);
    if (sizes.isEmpty())
        sizes = {2 * 1024 * 1024, 10 * 1024 * 1024};

    const bool paragraph = qEnvironmentVariable("BENCH_SHAPE") == QLatin1String("paragraph");
    for (const qsizetype size : sizes) {
        const QString text = paragraph ? oneParagraph(size) : shortLines(size);
        const QString body = QString::fromUtf8(
            QJsonDocument(QJsonArray{QJsonObject{{"insert", text}}}).toJson(QJsonDocument::Compact));

        QTextEdit baseline;
        baseline.resize(900, 700);
        baseline.show();
        const double baseMs = paragraph ? 0.0 : timeShown(baseline, [&] { baseline.setPlainText(text); });

        NoteEditor editor;
        editor.resize(900, 700);
        editor.show();
        double loadCpu = 0;
        const double loadMs = timeShown(editor, [&] { editor.loadNote(QStringLiteral("bench-note"), body); }, &loadCpu);

        std::printf("%6lld KB, %6lld lines: loadNote + first paint %9.1f ms (cpu %7.1f ms)   baseline setPlainText %9.1f ms%s\n",
                    qint64(text.size() / 1024), qint64(text.count(QLatin1Char('\n'))), loadMs, loadCpu, baseMs,
                    editor.isReadOnly() ? "   (opened read-only)" : "");
    }
    return 0;
}
