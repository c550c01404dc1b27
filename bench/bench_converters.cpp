// Converts a large note body (about 200 KB: headings, formatted paragraphs,
// lists, check lists, code lines, dividers and tables) to plain text,
// Markdown and HTML, extracts its tasks, and reads the Markdown and HTML
// back; prints the median milliseconds of each step. Run with
// QT_QPA_PLATFORM=offscreen where there is no display.

#include "converters.h"
#include "deltaimport.h"
#include "tasks.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

QJsonObject op(const QJsonValue &insert, const QJsonObject &attributes = {})
{
    QJsonObject object{{"insert", insert}};
    if (!attributes.isEmpty())
        object["attributes"] = attributes;
    return object;
}

QString largeBody(int targetBytes)
{
    const QString table = QString::fromUtf8(QJsonDocument(QJsonObject{
        {"cells", QJsonArray{QJsonArray{"Name", "Amount"}, QJsonArray{"Rent", "900"}, QJsonArray{"Food", "350"}}},
        {"hasHeader", true}}).toJson(QJsonDocument::Compact));
    QJsonArray delta;
    QString body;
    for (int section = 1;; ++section) {
        delta.append(op(QStringLiteral("Section %1").arg(section)));
        delta.append(op("\n", {{"header", 1 + section % 3}}));
        for (int p = 0; p < 3; ++p) {
            delta.append(op("Some words, "));
            delta.append(op("bold", {{"bold", true}}));
            delta.append(op(" and "));
            delta.append(op("a link", {{"link", "https://example.com/page"}, {"italic", true}}));
            delta.append(op(" in a paragraph of ordinary length that goes on for a while.\n"));
        }
        for (int i = 0; i < 4; ++i) {
            delta.append(op(QStringLiteral("Item %1").arg(i)));
            delta.append(op("\n", {{"list", i % 2 ? "bullet" : "unchecked"}}));
        }
        delta.append(op("TODO: follow up\n"));
        delta.append(op("int x = 1;"));
        delta.append(op("\n", {{"code-block", true}}));
        delta.append(op(QJsonObject{{"divider", true}}));
        delta.append(op("\n"));
        delta.append(op(QJsonObject{{"table", table}}));
        delta.append(op("\n"));
        if (section % 10 == 0) {
            body = QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
            if (body.size() >= targetBytes)
                return body;
        }
    }
}

double medianMs(const std::function<void()> &step)
{
    QList<double> runs;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        runs.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(runs.begin(), runs.end());
    return runs.at(runs.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString body = largeBody(200 * 1024);
    const QJsonArray delta = QJsonDocument::fromJson(body.toUtf8()).array();
    const QString markdown = deltaToMarkdown(delta);
    const QString html = deltaToHtml(delta);

    std::printf("body: %lld bytes, %lld operations\n", qlonglong(body.size()), qlonglong(delta.size()));
    const auto report = [](const char *name, double ms) { std::printf("%-28s %8.1f ms\n", name, ms); };
    report("deltaToPlainText", medianMs([&] { deltaToPlainText(delta); }));
    report("deltaToMarkdown", medianMs([&] { deltaToMarkdown(delta); }));
    report("deltaToHtml", medianMs([&] { deltaToHtml(delta); }));
    report("convertBody (Markdown)", medianMs([&] { convertBody(body, ExportFormat::Markdown); }));
    report("extractTasks", medianMs([&] { extractTasks("n", body, QDateTime()); }));
    report("markdownToDelta (round)", medianMs([&] { markdownToDelta(markdown); }));
    report("htmlToDelta (round)", medianMs([&] { htmlToDelta(html); }));
    report("simpleMarkdownToDelta", medianMs([&] { simpleMarkdownToDelta(markdown); }));
    return 0;
}
