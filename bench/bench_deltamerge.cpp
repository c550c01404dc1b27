// Merges two edited copies of the 200 KB note and prints the milliseconds
// beside parsing the same three bodies (the least any merge has to do), as
// wall time and as this thread's CPU time, which a busy machine inflates less.
// Two scenarios: a few edits on each side, and 50 scattered edits on each.

#include "deltamerge.h"
#include "largenote.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <time.h>

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

struct Timing
{
    double wallMs = 0;
    double cpuMs = 0;
};

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Medians of 7 runs.
Timing median(const std::function<void()> &run)
{
    QList<double> wall, cpu;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer timer;
        const double cpuStart = threadCpuMs();
        timer.start();
        run();
        wall.append(double(timer.nsecsElapsed()) / 1e6);
        cpu.append(threadCpuMs() - cpuStart);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

void scenario(const char *name, const QString &base, const QString &local, const QString &remote)
{
    DeltaMergeResult result;
    const Timing merge = median([&] { result = mergeDeltaBodies(base, local, remote); });
    const Timing parse = median([&] {
        opsOf(base);
        opsOf(local);
        opsOf(remote);
    });
    std::printf("%-26s merge %6.1f ms (cpu %6.1f)   parsing the three bodies %6.1f ms (cpu %6.1f)   (%s, %lld bytes)\n",
                name, merge.wallMs, merge.cpuMs, parse.wallMs, parse.cpuMs, result.merged ? "merged" : "conflict",
                static_cast<long long>(result.body.toUtf8().size()));
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
