// The GUI thread's longest stall (the longest gap of a 5 ms timer on it)
// while a backup of N notes is restored into an empty database and while a
// .jex of N notes is imported, beside the time each takes in all, and how
// much of that stall the thread itself ran ("busy": the rest waited for a core). Bodies are
// 0.5 to 20 KB (most short), with check lists.
//
//   bench_iostalls [N]          default 10000
//
// Built against an older tree without the background jobs, it measures the
// way those ran before: on the GUI thread, events served from the progress callback.

#include "appstate.h"
#include "backup.h"
#include "database.h"
#include "joplinimporter.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "stallprobe.h"
#if __has_include("bulkjob.h")
#include "bulkjob.h"
#include "writeplan.h"
#define HAVE_BULK_JOB 1
#endif

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdio>
#include <memory>

namespace {

// A note body of about size characters: a heading, paragraphs and check-list lines.
QString body(QRandomGenerator &random, int size)
{
    QString ops = QStringLiteral(R"([{"insert":"Note %1"},{"insert":"\n","attributes":{"header":1}})").arg(random.bounded(100000));
    int length = 0;
    while (length < size) {
        const QString words = QString(40 + random.bounded(120), QLatin1Char('w'));
        if (random.bounded(4) == 0)
            ops += QStringLiteral(R"(,{"insert":"%1"},{"insert":"\n","attributes":{"list":"unchecked"}})").arg(words);
        else
            ops += QStringLiteral(R"(,{"insert":"%1 and more\n"})").arg(words);
        length += int(words.size()) + 40;
    }
    return ops + QLatin1Char(']');
}

int bodySize(QRandomGenerator &random)
{
    const double r = random.generateDouble();
    return 500 + int(19500 * r * r * r);
}

struct Stores
{
    explicit Stores(const QString &dir)
    {
        qputenv("NOTES_DATA_DIR", dir.toUtf8());
        database.setTextExtractor(noteTextOfBody);
        if (!database.open(Database::defaultDatabasePath()) || !database.migrate())
            qFatal("cannot open the benchmark database");
    }
    IoRepositories repositories() { return {&database, &notes, &notebooks, nullptr, nullptr}; }

    Database database;
    NoteRepository notes{&database};
    NotebookRepository notebooks{&database};
};

void report(const char *what, const StallProbe &probe, double wallMs, int rows)
{
    const double stallMs = probe.longestMs();
    std::printf("%-34s %-10s longest stall %8.1f ms, busy %6.1f ms   (%.0f ms in all, %d notes)\n", what,
#ifdef HAVE_BULK_JOB
                "worker",
#else
                "GUI thread",
#endif
                stallMs, probe.longestBusyMs(), wallMs, rows);
    std::fflush(stdout);
}

// Runs job the way the application does and returns the notes it wrote.
template<typename Sync, typename Plan>
int run(StallProbe &probe, QElapsedTimer &clock, const IoRepositories &repositories, std::optional<RestoreMode> mode,
        Sync sync, Plan plan)
{
    probe.start();
    clock.start();
#ifdef HAVE_BULK_JOB
    Q_UNUSED(sync);
    BulkJob job(repositories, mode);
    QEventLoop loop;
    QObject::connect(&job, &BulkJob::finished, &loop, &QEventLoop::quit);
    job.start([plan](WritePlan &p) { return plan(p); });
    loop.exec();
    probe.stop();
    return job.counts().notes;
#else
    Q_UNUSED(plan);
    Q_UNUSED(repositories);
    Q_UNUSED(mode);
    const int notes = sync([](int, int, const QString &) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    probe.stop();
    return notes;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    QTemporaryDir root;
    QRandomGenerator random(20261207u);
    StallProbe probe;
    QElapsedTimer clock;

    const QString archive = root.filePath("backup.zip");
    {
        Stores source(root.filePath("source"));
        source.database.database().transaction();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < n; ++i) {
            Note note = Note::blank(QUuid::createUuid().toString(QUuid::WithoutBraces), QString());
            note.body = body(random, bodySize(random));
            note.updatedAt = note.modifiedAt = now.addSecs(-i);
            source.notes.insert(note);
        }
        source.database.database().commit();
        if (createBackup(archive, source.repositories()).failed)
            qFatal("backup failed");
    }
    {
        Stores target(root.filePath("restore"));
        const IoRepositories repositories = target.repositories();
        const int notes = run(probe, clock, repositories, RestoreMode::Overwrite,
            [&](const ProgressCallback &progress) {
                return restoreBackup(archive, repositories, RestoreMode::Overwrite, progress).imported;
            },
            [&](auto &plan) { return readBackup(archive, plan, {}, false, false).error.isEmpty(); });
        report("restore of a backup", probe, double(clock.elapsed()), notes);
    }

    const QString jex = root.filePath("export.jex");
    {
        QFile file(jex);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write the archive");
        QByteArray tar;
        const auto entry = [&file](const QByteArray &name, const QByteArray &data) {
            QByteArray header(512, '\0');
            header.replace(0, name.size(), name);
            header.replace(100, 7, "0000644");
            header.replace(124, 11, QByteArray::number(data.size(), 8).rightJustified(11, '0'));
            header.replace(136, 11, "00000000000");
            header[156] = '0';
            header.replace(257, 6, QByteArray("ustar\0", 6));
            header.replace(148, 8, "        ");
            int sum = 0;
            for (const char c : std::as_const(header))
                sum += uchar(c);
            header.replace(148, 7, QByteArray::number(sum, 8).rightJustified(6, '0') + '\0');
            file.write(header);
            file.write(data);
            file.write(QByteArray((512 - data.size() % 512) % 512, '\0'));
        };
        for (int i = 0; i < n; ++i) {
            const QByteArray id = QUuid::createUuid().toString(QUuid::Id128).toLatin1();
            QByteArray text = "Note " + QByteArray::number(i) + "\n\n";
            for (int size = bodySize(random); text.size() < size;)
                text += (random.bounded(4) == 0 ? "- [ ] " : "") + QByteArray(40 + random.bounded(120), 'w') + " and **more**\n\n";
            entry(id + ".md", text + "\nid: " + id + "\nmarkup_language: 1\ntype_: 1");
        }
        file.write(QByteArray(1024, '\0'));
    }
    {
        Stores target(root.filePath("import"));
        const IoRepositories repositories = target.repositories();
        const int notes = run(probe, clock, repositories, std::nullopt,
            [&](const ProgressCallback &progress) { return importJoplin(jex, repositories, progress).imported; },
            [&](auto &plan) { return planJoplinImport(jex, plan).error.isEmpty(); });
        std::printf("(.jex of %.1f MB)\n", QFileInfo(jex).size() / 1048576.0);
        report("import of a .jex", probe, double(clock.elapsed()), notes);
    }
    return 0;
}
