// Opening a huge note: a Delta body of short lines (default 2 MB and 10 MB,
// or the sizes in KB given as arguments) is loaded into the note editor and
// shown, beside a plain QTextEdit::setPlainText of the same text in the same
// run as the baseline. Run with QT_QPA_PLATFORM=offscreen where there is no
// display.

#include "noteeditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

QString shortLines(qsizetype bytes)
{
    QString text;
    text.reserve(bytes + 64);
    for (int i = 0; text.size() < bytes; ++i)
        text += QStringLiteral("Line %1 of a long list\n").arg(i);
    return text;
}

template<typename Load>
double timeShown(QWidget &widget, Load load)
{
    QElapsedTimer timer;
    timer.start();
    load();
    // Until the first paint is done, the user waits.
    widget.repaint();
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
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

    for (const qsizetype size : sizes) {
        const QString text = shortLines(size);
        const QString body = QString::fromUtf8(
            QJsonDocument(QJsonArray{QJsonObject{{"insert", text}}}).toJson(QJsonDocument::Compact));

        QTextEdit baseline;
        baseline.resize(900, 700);
        baseline.show();
        const double baseMs = timeShown(baseline, [&] { baseline.setPlainText(text); });

        NoteEditor editor;
        editor.resize(900, 700);
        editor.show();
        const double loadMs = timeShown(editor, [&] { editor.loadNote(QStringLiteral("bench-note"), body); });

        std::printf("%6lld KB, %6lld lines: loadNote + first paint %9.1f ms   baseline setPlainText %9.1f ms%s\n",
                    qint64(text.size() / 1024), qint64(text.count(QLatin1Char('\n'))), loadMs, baseMs,
                    editor.isReadOnly() ? "   (opened read-only)" : "");
    }
    return 0;
}
