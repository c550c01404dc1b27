// Loads and writes a large note body (about 200 KB: headings, paragraphs
// with inline formatting, lists, check lists, code blocks and a table) and
// prints the milliseconds of each step. Run with QT_QPA_PLATFORM=offscreen
// where there is no display.

#include "delta.h"
#include "deltadocument.h"
#include "largenote.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>


int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString body = largeBody(200 * 1024);
    const int runs = 5;

    DeltaDocument doc;
    QList<qint64> loads;
    QList<qint64> writes;
    QString written;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        doc.setJson(body);
        loads.append(timer.elapsed());
        timer.restart();
        written = doc.toJson();
        writes.append(timer.elapsed());
    }
    std::sort(loads.begin(), loads.end());
    std::sort(writes.begin(), writes.end());

    std::printf("body: %lld bytes, %d lines, %d blocks in the document\n",
                static_cast<long long>(body.toUtf8().size()), int(body.count(QStringLiteral("\\n"))),
                doc.document()->blockCount());
    std::printf("load:  median %lld ms (min %lld, max %lld) over %d runs\n", static_cast<long long>(loads[runs / 2]),
                static_cast<long long>(loads.first()), static_cast<long long>(loads.last()), runs);
    std::printf("write: median %lld ms (min %lld, max %lld) over %d runs\n", static_cast<long long>(writes[runs / 2]),
                static_cast<long long>(writes.first()), static_cast<long long>(writes.last()), runs);
    std::printf("written: %lld bytes\n", static_cast<long long>(written.toUtf8().size()));
    return 0;
}
