// Whole-application figures at scale: generates a database of N notes with a
// fixed seed and measures start-up, the repository queries (beside the same
// SQL run directly), the lists, the to-do screen, the editor and backup.
//
//   bench_scale [N ...]        default: 1000 10000
//   BENCH_RUNS=5               runs per figure (start-up and backup use fewer)
//   BENCH_DATA=DIR             keeps the generated databases in DIR and reuses them
//                              (the bulk group purges notes: reuse it only without)
//   BENCH_ONLY=search,backup   only these groups (start-up, queries, search, search-all,
//                              lists, to-dos, autosave, bulk, editor, backup, migration)
//
// Prints one line per figure: N, name, median and worst in milliseconds, and
// the baseline where one exists.

#include "appstate.h"
#include "bodybuilder.h"
#include "attachmentrepository.h"
#include "backup.h"
#include "database.h"
#include "delta.h"
#include "logcheckpointer.h"
#include "mainwindow.h"
#include "notebookcommands.h"
#include "noteeditor.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "snapshotrepository.h"
#include "todosscreen.h"
#include "trashscreen.h"
#include "scalegenerator.h"
#include "notelistwidget.h"
#include "noterow.h"
#include "notetextfill.h"
#include "stallprobe.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextCursor>
#include <QTemporaryDir>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

struct Figure
{
    double median = 0;
    double worst = 0;
    double cpu = 0; // median CPU time of the process, which a busy machine inflates far less
};

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

Figure measure(int runs, const std::function<void()> &work, const std::function<void()> &setUp = {})
{
    std::vector<double> times, cpu;
    for (int i = 0; i < runs; ++i) {
        if (setUp)
            setUp();
        QElapsedTimer timer;
        const double cpuStart = cpuMs();
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(cpuMs() - cpuStart);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    return {times[times.size() / 2], times.back(), cpu[cpu.size() / 2]};
}

void print(int n, const char *name, const Figure &figure, const char *baselineName = nullptr,
           const Figure *baseline = nullptr)
{
    std::printf("N=%-7d %-34s median %9.2f ms  worst %9.2f ms  cpu %9.2f ms", n, name, figure.median, figure.worst,
                figure.cpu);
    if (baseline)
        std::printf("   | %s median %8.2f ms cpu %8.2f ms (x%.2f)", baselineName, baseline->median, baseline->cpu,
                    baseline->median > 0 ? figure.median / baseline->median : 0.0);
    std::printf("\n");
    std::fflush(stdout);
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// A long note of about 200 KB with the same mix.
QString longBody()
{
    QRandomGenerator random(42);
    BodyBuilder builder(random);
    return builder.build(200 * 1024, false, QString());
}

bool wanted(const char *group)
{
    const QStringList only = qEnvironmentVariable("BENCH_ONLY").split(QLatin1Char(','), Qt::SkipEmptyParts);
    return only.isEmpty() || only.contains(QLatin1String(group));
}

void runFor(int n, const QString &root, int runs)
{
    const QString dataDir = root + QStringLiteral("/n%1").arg(n);
    qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
    // A generation cut short leaves a database that looks whole but is not:
    // only one marked finished is reused.
    const QString finished = dataDir + QStringLiteral("/generated");
    if (QFileInfo::exists(finished)) {
        std::printf("N=%-7d reusing %s\n", n, qPrintable(dataDir));
    } else {
        if (QFileInfo::exists(Database::defaultDatabasePath()))
            qFatal("%s holds a database not marked finished (no file 'generated'): remove the folder", qPrintable(dataDir));
        QElapsedTimer timer;
        timer.start();
        // Smaller bodies keep a million notes within a few gigabytes.
        const double scale = qEnvironmentVariableIsSet("BENCH_BODY_SCALE")
            ? qEnvironmentVariable("BENCH_BODY_SCALE").toDouble()
            : 1.0;
        if (!generateScaleDatabase(n, scale > 0 ? scale : 1.0))
            qFatal("cannot create the benchmark database");
        std::printf("N=%-7d generated in %.1f s (%.1f MB database)\n", n, timer.elapsed() / 1000.0,
                    QFileInfo(Database::defaultDatabasePath()).size() / 1048576.0);
        QFile marker(finished);
        if (!marker.open(QIODevice::WriteOnly))
            qFatal("cannot mark %s finished", qPrintable(dataDir));
    }

    // Start-up: the state over the database, then the main window shown and painted.
    if (wanted("start-up")) {
        const Figure startUp = measure(3, [] {
            AppState state;
            state.initialize();
            MainWindow window(&state);
            window.show();
            window.repaint();
            QCoreApplication::processEvents();
        });
        print(n, "start-up to painted main window", startUp);
    }

    AppState state;
    state.initialize();
    MainWindow window(&state);
    window.show();
    window.repaint();
    QCoreApplication::processEvents();
    std::printf("N=%-7d resident memory after start-up %ld MB\n", n, residentKb() / 1024);

    const QSqlDatabase sql = state.database()->database();
    const auto direct = [&sql](const QString &statement, const QVariantList &values = {}) {
        return [&sql, statement, values] {
            QSqlQuery query(sql);
            query.setForwardOnly(true);
            query.prepare(statement);
            for (const QVariant &value : values)
                query.addBindValue(value);
            query.exec();
            int rows = 0;
            while (query.next()) {
                query.value(0);
                ++rows;
            }
        };
    };

    NoteRepository *notes = state.notes();
    if (wanted("queries")) {
        const Figure f = measure(runs, [notes] { notes->allNotes(); });
        const Figure b = measure(runs, direct("SELECT * FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
        print(n, "allNotes", f, "direct SQL", &b);
    }
    const QString ftsSql = QStringLiteral("SELECT n.* FROM notes n JOIN notes_fts f ON n.rowid = f.rowid WHERE "
                                          "notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank");
    const struct
    {
        const char *name;
        QString text;
    } searches[] = {
        {"search common word", QStringLiteral("project")},
        {"search rare word", kRareWord},
        {"search two-word prefix", QStringLiteral("coffee morn")},
    };
    for (const auto &s : searches) {
        if (!wanted("search"))
            break;
        const Figure b = measure(runs, direct(ftsSql, {s.text + '*'}));
        const Figure first = measure(runs, [notes, &s] { notes->search().rows(s.text, NoteListModel::kPageSize); });
        print(n, (QByteArray(s.name) + ", first screen").constData(), first, "direct FTS5", &b);
        {
            // A page past the first screen: every match ranked once, then a page
            // of rows by rowid. A write in between makes the ranking start over.
            QSqlQuery touch(sql);
            const Figure cold = measure(
                runs, [notes, &s] { notes->search().rows(s.text, NoteListModel::kPageSize, 1000); },
                [&touch] { touch.exec(QStringLiteral("INSERT OR REPLACE INTO preferences (key, value) "
                                                      "VALUES ('bench', hex(randomblob(4)))")); });
            print(n, (QByteArray(s.name) + ", rows 1000-1099 (ranking)").constData(), cold, "direct FTS5", &b);
            const Figure warm =
                measure(runs, [notes, &s] { notes->search().rows(s.text, NoteListModel::kPageSize, 1100); });
            print(n, (QByteArray(s.name) + ", next page").constData(), warm, "direct FTS5", &b);
        }
        if (wanted("search-all")) {
            const Figure all = measure(runs, [notes, &s] { notes->search().rows(s.text); });
            print(n, (QByteArray(s.name) + ", all rows").constData(), all, "direct FTS5", &b);
        }
        const Figure count = measure(runs, [notes, &s] { notes->search().count(s.text); });
        print(n, (QByteArray(s.name) + ", count").constData(), count, "direct FTS5", &b);
    }
    if (wanted("queries")) {
        const Figure f = measure(runs, [notes] { notes->countsByNotebook(); });
        const Figure b = measure(
            runs, direct("SELECT notebook_id, COUNT(*) AS c FROM notes WHERE deleted_at IS NULL GROUP BY notebook_id"));
        print(n, "countsByNotebook", f, "direct SQL", &b);
    }
    if (wanted("lists")) {
        const Figure f = measure(runs, [&window] { window.refreshNoteList(); });
        const Figure b = measure(runs, direct("SELECT id, notebook_id, updated_at, deleted_at, sync_status, is_shared, "
                                              "title, preview FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
        print(n, "note list refresh (first page)", f, "direct SQL, all light rows", &b);
        const Figure g = measure(runs, [&window] { window.refreshNotebooks(); });
        print(n, "notebook list refresh", g);
    }
    if (wanted("to-dos")) {
        // The first refresh reads what storage keeps of every note's to-dos;
        // after that a write moves the rows of its note alone.
        const Figure cold = measure(runs, [&state] {
            TodosScreen todos(&state);
            todos.refresh();
        });
        print(n, "to-dos first refresh", cold);
        const QList<NoteRow> rows = notes->allRows();
        QList<Note> edited;
        for (int i = 0; i < 20; ++i)
            edited << *notes->noteById(rows.at(rows.size() / 2 + i).id);
        int round = 0;
        const auto edit = [&] {
            Note note = edited.at(round++ % edited.size());
            note.body.insert(note.body.lastIndexOf(QLatin1String("\\n")), QStringLiteral("TODO: more %1").arg(round));
            note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
            notes->update(note);
        };
        const Figure b = measure(runs, edit);
        TodosScreen todos(&state);
        todos.refresh();
        const Figure f = measure(runs, [&] {
            edit();
            todos.refresh();
        });
        print(n, "to-dos refresh after one note changed", f, "the same write, no to-dos", &b);
    }
    if (wanted("autosave")) {
        // Edit -> save -> the row updated and moved to the top, on the GUI thread.
        // The baseline is what every save cost before: the whole list read again.
        QStringList ids;
        for (int i = 0; i < 10 && i < window.noteList()->count(); ++i)
            ids << window.noteList()->idAt(window.noteList()->count() - 1 - i);
        int round = 0;
        const Figure f = measure(
            std::max(runs, 10),
            [&] {
                window.editor()->textCursor().insertText(QStringLiteral("x"));
                window.saveCurrentNote();
                QCoreApplication::processEvents();
            },
            [&] { window.noteList()->selectNote(ids.at(round++ % ids.size())); });
        const Figure b = measure(runs, [&window] { window.refreshNoteList(); });
        print(n, "autosave with list update", f, "full list refresh", &b);
        // The same save when a commit waits for no sync (a power cut may lose it).
        QSqlQuery pragma(state.database()->database());
        pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        const Figure unsynced = measure(
            std::max(runs, 10),
            [&] {
                window.editor()->textCursor().insertText(QStringLiteral("x"));
                window.saveCurrentNote();
                QCoreApplication::processEvents();
            },
            [&] { window.noteList()->selectNote(ids.at(round++ % ids.size())); });
        pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        print(n, "autosave, durable commit (FULL)", f, "synchronous=NORMAL", &unsynced);
    }
    if (wanted("bulk")) {
        // 500 notes into a notebook (not timed), then the notebook deleted from the window.
        const QList<NoteRow> rows = notes->allRows();
        QStringList five;
        for (int i = 0; i < 500 && i < rows.size(); ++i)
            five << rows.at(i * (rows.size() / 500)).id;
        window.hooks().askYesNo = [](QWidget *, const QString &, const QString &) { return true; };
        QString notebookId;
        const auto fill = [&] {
            Notebook book;
            book.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
            book.name = QStringLiteral("Five hundred");
            book.createdAt = book.updatedAt = QDateTime::currentDateTimeUtc();
            state.notebooks()->insert(book);
            notes->moveToNotebook(five, book.id);
            notebookId = book.id;
        };
        const Figure f = measure(runs, [&] { window.notebookCommands()->remove(notebookId); }, fill);
        const Figure b = measure(
            runs,
            [&] {
                QSqlQuery q(sql);
                q.prepare(QStringLiteral("UPDATE notes SET notebook_id='', modified_at='x' WHERE notebook_id=?"));
                q.addBindValue(notebookId);
                q.exec();
            },
            fill);
        print(n, "delete a notebook of 500 notes", f, "direct UPDATE", &b);

        window.openScreen(MainWindow::Screen::Trash);
        auto *trash = static_cast<TrashScreen *>(window.screenWindow(MainWindow::Screen::Trash));
        trash->setAskYesNo([](QWidget *, const QString &, const QString &) { return true; });
        // The generated trash (one note in twenty) goes first, from the Trash
        // screen in its slices, timed once with the GUI thread's longest stall.
        {
            const int generatedTrash = notes->trashCount();
            StallProbe probe;
            const Figure whole = measure(1, [&] {
                probe.start();
                trash->emptyTrash();
                while (trash->isEmptying())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                probe.stop();
            });
            if (notes->trashCount() != 0)
                qFatal("the generated trash was not emptied");
            std::printf("N=%-7d emptying the generated trash (%d notes) took %.1f ms, longest stall %.1f ms\n", n,
                        generatedTrash, whole.median, probe.longestMs());
        }
        // Then a trash of exactly 500 notes, to the end of its last slice.
        // With files the commit keeps its sync (a file never goes before its row).
        // Ordered by id: notes spread over the whole file, as a trash gathers them.
        for (const bool withFiles : {true, false}) {
            const auto trashFive = [&] {
                QStringList live;
                QSqlQuery q(sql);
                for (const bool files : {true, false}) {
                    if (files && !withFiles)
                        continue;
                    q.exec(QStringLiteral("SELECT id FROM notes WHERE deleted_at IS NULL AND id %1 IN"
                                          " (SELECT note_id FROM attachments) ORDER BY id LIMIT %2")
                               .arg(files ? QString() : QStringLiteral("NOT"))
                               .arg(files ? 10 : 500 - live.size()));
                    while (q.next())
                        live << q.value(0).toString();
                }
                notes->softDelete(live);
                trash->refresh();
                // The user confirms before the trash empties: a checkpoint the
                // set-up's own writes started has ended by then.
                if (LogCheckpointer *checkpointer = state.database()->checkpointer())
                    checkpointer->wait();
            };
            const Figure e = measure(
                runs,
                [&] {
                    trash->emptyTrash();
                    while (trash->isEmptying())
                        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                },
                trashFive);
            print(n, withFiles ? "empty a trash of 500 notes, 10+ with files" : "empty a trash of 500 notes, no files", e);
        }
        trash->close();
    }
    if (wanted("editor")) {
        const QString body = longBody();
        NoteEditor editor;
        editor.resize(900, 700);
        editor.show();
        QCoreApplication::processEvents();
        int round = 0;
        const Figure open = measure(runs, [&editor, &body, &round] {
            editor.loadNote(QStringLiteral("long-%1").arg(round++), body, true);
        });
        QTextDocument plain;
        const QString text = deltaPlainText(body);
        const Figure baseline = measure(runs, [&plain, &text] {
            plain.setPlainText(text);
            plain.documentLayout()->documentSize(); // lay it out, as the editor must
        });
        std::printf("N=%-7d long note is %lld KB of Delta\n", n, qint64(body.size()) / 1024);
        print(n, "open 200 KB note in editor", open, "QTextDocument::setPlainText", &baseline);

        editor.setFocus();
        QWidget *target = editor.focusProxy() ? editor.focusProxy() : static_cast<QWidget *>(&editor);
        const Figure key = measure(std::max(runs, 20), [target] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QCoreApplication::sendEvent(target, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QCoreApplication::sendEvent(target, &release);
        });
        print(n, "keystroke in 200 KB note", key);
    }
    if (wanted("backup")) {
        IoRepositories repositories{state.database(), state.notes(), state.notebooks(), state.attachments(),
                                    state.snapshots()};
        const QString archive = root + QStringLiteral("/backup-%1.zip").arg(n);
        const Figure backup = measure(2, [&] { createBackup(archive, repositories); });
        std::printf("N=%-7d backup archive %.1f MB\n", n, QFileInfo(archive).size() / 1048576.0);
        print(n, "backup", backup);
        const Figure restore = measure(2, [&] { restoreBackup(archive, repositories, RestoreMode::Overwrite); });
        print(n, "restore (overwrite all)", restore);
    }
    if (wanted("migration")) {
        // The database put back the way version 2 left it (not timed), then migrated.
        QSqlQuery q(sql);
        for (const char *statement :
             {"DROP INDEX idx_notes_list", "DROP TABLE todo_items", "DROP TABLE note_counts",
              "DROP TRIGGER todo_items_note", "DROP TRIGGER notes_count_ai", "DROP TRIGGER notes_count_ad",
              "DROP TRIGGER notes_count_au", "DROP TRIGGER note_texts_pending_ad", "DROP TABLE note_texts_pending",
              "DROP INDEX idx_notes_account", "DROP TABLE notes_fts", "ALTER TABLE notes DROP COLUMN title",
              "ALTER TABLE notes DROP COLUMN preview", "ALTER TABLE notes DROP COLUMN account",
              "ALTER TABLE notebooks DROP COLUMN account", "ALTER TABLE sync_queue DROP COLUMN account",
              "DROP TABLE note_bases",
              "CREATE VIRTUAL TABLE notes_fts USING fts5(body, content='notes', content_rowid='rowid')",
              "INSERT INTO notes_fts(notes_fts) VALUES('rebuild')", "UPDATE schema_version SET version = 2"})
            if (!q.exec(QString::fromLatin1(statement)))
                qFatal("could not put the database back to version 2 at \"%s\": %s", statement,
                       qPrintable(q.lastError().text()));
        q.finish();
        const Figure migration = measure(1, [] {
            Database db;
            db.setTextExtractor(noteTextOfBody);
            if (!db.open(Database::defaultDatabasePath()) || !db.migrate())
                qFatal("migration failed");
        });
        print(n, "migrations 3 to 10 (the window may open)", migration);
        // Then the texts made in the background under a shown window, which
        // refreshes as they land: how long, and the GUI thread's longest stall.
        AppState filling;
        filling.initialize();
        MainWindow shown(&filling);
        shown.show();
        QCoreApplication::processEvents();
        NoteTextFill *fill = filling.textFill();
        if (!fill || !fill->isRunning())
            qFatal("no texts to fill after the migration");
        StallProbe probe;
        QEventLoop loop;
        QObject::connect(fill, &NoteTextFill::runningChanged, &loop, &QEventLoop::quit);
        const Figure background = measure(1, [&] {
            probe.start();
            loop.exec();
            probe.stop();
        });
        print(n, "texts filled in the background", background);
        std::printf("N=%-7d GUI thread during the fill: longest stall %.1f ms, busy %.1f ms\n", n, probe.longestMs(),
                    probe.longestBusyMs());
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir root;
    const QString home = root.path();
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = home + '/' + QLatin1String(var);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(var, path.toUtf8());
    }
    qputenv("QT_LOGGING_RULES", "velmora.*.info=false;qt.qpa.*=false");
    QApplication app(argc, argv);

    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    sizes.removeAll(0);
    if (sizes.isEmpty())
        sizes = {1000, 10000};
    const int runs = std::max(3, qEnvironmentVariableIntValue("BENCH_RUNS"));
    const QString kept = qEnvironmentVariable("BENCH_DATA");
    for (int n : sizes)
        runFor(n, kept.isEmpty() ? home : kept, runs);
    return 0;
}
