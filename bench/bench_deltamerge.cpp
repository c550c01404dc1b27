// Merges two edited copies of the 200 KB note and prints the milliseconds
// beside parsing the same three bodies (the least any merge has to do).
// Two scenarios: a few edits on each side, and 50 scattered edits on each.

#include "deltamerge.h"
#include "largenote.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

QList<DeltaOp> opsOf(const QString &body) { return parseDeltaJson(body); }

QString bodyOf(const QList<DeltaOp> &ops)
{
    QJsonArray array;
    for (const DeltaOp &op : ops) {
        QJsonObject object;
        if (op.type == DeltaOp::InsertEmbed)
            object.insert("insert", op.embed);
        else
            object.insert("insert", op.text);
        if (!op.attributes.isEmpty())
            object.insert("attributes", op.attributes);
        array.append(object);
    }
    return deltaToJson(array);
}

// Edits every `step`-th text op from `first` on: a word appended, or the
// run made italic.
QString edited(const QString &body, int first, int step, const QString &word)
{
    QList<DeltaOp> ops = opsOf(body);
    for (int i = first; i < ops.size(); i += step) {
        DeltaOp &op = ops[i];
        if (op.type != DeltaOp::InsertText || op.text == QLatin1String("\n"))
            continue;
        if (i % 2)
            op.text += word;
        else
            op.attributes.insert("italic", true);
    }
    return bodyOf(ops);
}

qint64 medianMs(const std::function<void()> &run)
{
    QList<qint64> times;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        times.append(timer.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2] / 1000; // microseconds
}

void scenario(const char *name, const QString &base, const QString &local, const QString &remote)
{
    DeltaMergeResult result;
    const qint64 merge = medianMs([&] { result = mergeDeltaBodies(base, local, remote); });
    const qint64 parse = medianMs([&] {
        opsOf(base);
        opsOf(local);
        opsOf(remote);
    });
    std::printf("%-28s merge %6.1f ms   parsing the three bodies %6.1f ms   (%s, %lld bytes)\n", name, merge / 1000.0,
                parse / 1000.0, result.merged ? "merged" : "conflict", static_cast<long long>(result.body.toUtf8().size()));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString base = largeBody(200 * 1024);
    const int ops = int(opsOf(base).size());
    std::printf("note: %lld bytes, %d ops; medians of 7 runs\n", static_cast<long long>(base.toUtf8().size()), ops);
    // A paragraph's worth near the start on one side, near the end on the other.
    scenario("one edit each side", base, edited(base, 3, ops, " local"), edited(base, ops - 40, ops, " remote"));
    scenario("50 edits each side", base, edited(base, 5, ops / 50, " local"), edited(base, 11, ops / 50, " remote"));
    scenario("same 50 edits both sides", base, edited(base, 5, ops / 50, " both"), edited(base, 5, ops / 50, " both"));
    return 0;
}
