#include "velmtest.h"

#include "backup.h"
#include "bulkjob.h"
#include "eneximporter.h"
#include "iofixture.h"
#include "joplinimporter.h"
#include "markdownfolderimporter.h"
#include "notestationimporter.h"
#include "tarbuilder.h"
#include "writeplan.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QSqlQuery>

using IoFiles::json;

namespace {

constexpr int kNotes = 700; // several batches, so a cancel lands between two of them

QString hexId(int i)
{
    return QString::number(0x10000 + i, 16).rightJustified(32, 'c');
}

// Each format's archive of kNotes notes, one with an attachment.
QString writeArchive(const QString &dir, const QString &format)
{
    const QString path = dir + "/in." + format;
    const QByteArray png = "\x89PNG bytes";
    if (format == "jex") {
        TarBuilder tar;
        for (int i = 0; i < kNotes; ++i)
            tar.add(hexId(i) + ".md", "Note " + QByteArray::number(i) + "\n\n- [ ] task" + (i == 0 ? "\n\n![i](:/" + hexId(-1).toUtf8() + ")" : "")
                                          + "\n\nid: " + hexId(i).toUtf8() + "\nmarkup_language: 1\ntype_: 1");
        tar.add(hexId(-1) + ".md", "i.png\n\nid: " + hexId(-1).toUtf8() + "\nmime: image/png\ntype_: 4");
        tar.add("resources/" + hexId(-1) + ".png", png);
        return IoFiles::write(path, tar.finish());
    }
    QMap<QString, QByteArray> entries;
    if (format == "nsx") {
        QJsonArray ids;
        for (int i = 0; i < kNotes; ++i) {
            ids.append(hexId(i));
            QJsonObject note{{"title", QString("Note %1").arg(i)}, {"content", "<p>text</p>"}};
            if (i == 0)
                note.insert("attachment", QJsonObject{{"a", QJsonObject{{"md5", "abcd"}, {"name", "i.png"}}}});
            entries.insert(hexId(i), json(note));
        }
        entries.insert("config.json", json({{"note", ids}}));
        entries.insert("file_abcd", png);
    } else if (format == "zip") {
        for (int i = 0; i < kNotes; ++i)
            entries.insert(QString("notes/Note %1.md").arg(i), "# Note\n\n- [ ] task\n" + QByteArray(i == 0 ? "![](i.png)\n" : ""));
        entries.insert("notes/i.png", png);
    } else if (format == "enex") {
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<en-export>";
        for (int i = 0; i < kNotes; ++i)
            xml += "<note><title>Note</title><content><![CDATA[<en-note><div>text</div></en-note>]]></content></note>\n";
        return IoFiles::write(path, xml + "</en-export>");
    }
    return IoFiles::writeZip(path, entries);
}

// Everything an import or restore could change, in one text.
QString fingerprint(IoFixture &fx)
{
    QString text;
    QSqlQuery q(fx.database->database());
    for (const char *sql : {"SELECT group_concat(id || body || updated_at || version, '|') FROM (SELECT * FROM notes ORDER BY id)",
                            "SELECT COUNT(*) FROM notebooks", "SELECT COUNT(*) FROM attachments",
                            "SELECT COUNT(*) FROM todo_items", "SELECT COUNT(*) FROM notes_fts",
                            "SELECT COUNT(*) FROM note_snapshots"}) {
        if (!q.exec(sql) || !q.next())
            return "unreadable";
        text += q.value(0).toString() + '\n';
    }
    return text + IoFiles::tree(Database::attachmentsDirectory()).join(',');
}

// Records what a plan hands on, for the stages alone.
struct Recorder final : PlanChannel
{
    QList<WriteBatch> batches;
    bool deliver(WriteBatch &&batch) override
    {
        batches.append(std::move(batch));
        return true;
    }
    void progress(int, int, const QString &) override {}
    bool cancelled() const override { return false; }
};

} // namespace

class TestBulkJob : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    // Cancelled after its first batch was written, each job leaves the
    // database as it was; run to the end, the same job changes it.
    void cancelLeavesTheDatabaseAsItWas_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("cancel");
        for (const char *format : {"backup", "jex", "nsx", "enex", "zip"}) {
            QTest::addRow("%s cancelled", format) << QString(format) << true;
            QTest::addRow("%s to the end", format) << QString(format) << false;
        }
    }

    void cancelLeavesTheDatabaseAsItWas()
    {
        QFETCH(QString, format);
        QFETCH(bool, cancel);
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        BulkJob::Producer producer;
        std::optional<RestoreMode> mode;
        if (format == "backup") {
            // Backed up, then all but one note purged and that one edited: a restore inserts and overwrites.
            QStringList ids;
            for (int i = 0; i < kNotes; ++i)
                ids << fx->addNote(QString(R"([{"insert":"note %1"},{"insert":"\n","attributes":{"list":"unchecked"}}])").arg(i)).id;
            fx->addAttachment(ids.last(), "i.png", "image/png", "png");
            fx->snapshots->insert(Snapshot{IoFixture::newId(), ids.last(), 1, "[]", IoFixture::at(2)});
            const QString archive = m_dir.filePath("backup.zip");
            QVERIFY(!createBackup(archive, fx->repositories()).failed);
            QVERIFY(fx->notes->purge(ids.mid(1)));
            Note kept = *fx->notes->noteById(ids.first());
            kept.body = R"([{"insert":"edited\n"}])";
            QVERIFY(fx->notes->update(kept));
            mode = RestoreMode::Overwrite;
            producer = [archive](WritePlan &plan) { return readBackup(archive, plan).error.isEmpty(); };
        } else {
            const QString archive = writeArchive(m_dir.path(), format);
            QVERIFY(!archive.isEmpty());
            producer = [archive, format](WritePlan &plan) {
                const ImportResult r = format == "jex" ? planJoplinImport(archive, plan)
                    : format == "nsx"                  ? planNoteStationImport(archive, plan)
                    : format == "enex"                 ? planEnexImport(archive, plan)
                                                       : planMarkdownFolderImport(archive, plan);
                return r.error.isEmpty();
            };
        }
        const QString before = fingerprint(*fx);

        BulkJob job(fx->repositories(), mode);
        QSignalSpy finished(&job, &BulkJob::finished);
        QSignalSpy changed(fx->notes.get(), &NoteRepository::notesChanged);
        // On the worker, past half the job: several batches are written on its connection by then.
        connect(&job, &BulkJob::progress, &job, [&](int current, int total) {
            if (cancel && total > 0 && current * 2 > total)
                job.cancel();
        }, Qt::DirectConnection);
        job.start(producer);
        QVERIFY(finished.wait(60000));
        QCOMPARE(job.committed(), !cancel);
        QCOMPARE(job.wasCancelled(), cancel);
        if (cancel) {
            QCOMPARE(fingerprint(*fx), before);
            QCOMPARE(changed.size(), 0);
        } else {
            QCOMPARE(fx->notes->liveCount(), kNotes);
            QCOMPARE(job.counts().attachments, format == "enex" ? 0 : 1);
            QCOMPARE(changed.size(), 1);
        }
    }

    // Held mid-job on its worker: the GUI connection reads the database as
    // it was, and a write there is refused at once instead of joining the
    // job; once the job ended, the same write goes through.
    void theGuiConnectionDuringAJob_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("then cancelled") << true;
        QTest::newRow("then committed") << false;
    }

    void theGuiConnectionDuringAJob()
    {
        QFETCH(bool, cancel);
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        const QString archive = writeArchive(m_dir.path(), "jex");
        const QString before = fingerprint(*fx);
        BulkJob job(fx->repositories(), std::nullopt);
        QSignalSpy finished(&job, &BulkJob::finished);
        QSemaphore halfway, looked;
        bool held = false;
        connect(&job, &BulkJob::progress, &job, [&](int current, int total) {
            if (!held && total > 0 && current * 2 > total) {
                held = true;
                halfway.release();
                looked.acquire();
            }
        }, Qt::DirectConnection);
        job.start([archive](WritePlan &plan) { return planJoplinImport(archive, plan).error.isEmpty(); });
        QVERIFY(halfway.tryAcquire(1, 60000));
        QString during = fingerprint(*fx);
        during.truncate(during.lastIndexOf('\n') + 1); // the rows, not the files the job placed so far
        QElapsedTimer refused;
        refused.start();
        const Note note = Note::blank(IoFixture::newId(), QString());
        const bool written = fx->notes->insert(note);
        const qint64 refusedMs = refused.elapsed();
        if (cancel)
            job.cancel();
        looked.release();
        QVERIFY(finished.wait(60000));
        QCOMPARE(during, before); // no files were there before
        QVERIFY(!written);
        QVERIFY2(refusedMs < 1000, qPrintable(QString::number(refusedMs)));
        QCOMPARE(fingerprint(*fx) == before, cancel);
        QVERIFY(fx->notes->insert(note));
        QCOMPARE(fx->notes->liveCount(), cancel ? 1 : kNotes + 1);
    }

    // The reading stage alone: what a small archive plans, in the order the writer needs.
    void readingABackupPlansItsRowsInOrder()
    {
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        const QString note = IoFixture::newId(), notebook = IoFixture::newId(), file = IoFixture::newId();
        const QByteArray body = json({{"id", note}, {"body", "see velmora-notes://attachment/" + file}});
        const QString archive = IoFiles::writeZip(
            m_dir.filePath("small.zip"),
            {{"manifest.json", "{}"},
             {"snapshots/s.json", json({{"id", "s1"}, {"noteId", note}, {"version", 2}, {"body", "old"}})},
             {"notes/a.json", body},
             {"notes/b.json", body}, // the same id again
             {"notes/c.json", json({{"id", "../x"}, {"body", "evil"}})},
             {"notebooks/n.json", json({{"id", notebook}, {"name", "Work"}})},
             {"attachmentRecords/r.json", json({{"id", file}, {"noteId", note}, {"filename", "f.txt"}})},
             {"attachments/" + file, "data"},
             {"attachments/" + IoFixture::newId(), "named by nothing"}});
        Recorder recorder;
        RestoreResult result;
        {
            WritePlan plan(&recorder);
            result = readBackup(archive, plan);
            QVERIFY(plan.flush());
        }
        QCOMPARE(QList<int>({result.skipped, result.errors}), QList<int>({1, 1}));
        WriteBatch all;
        for (const WriteBatch &batch : std::as_const(recorder.batches)) {
            QVERIFY(all.attachments.isEmpty() || batch.notes.isEmpty()); // notes before attachment rows
            all.notebooks += batch.notebooks;
            all.notes += batch.notes;
            all.attachments += batch.attachments;
            all.snapshots += batch.snapshots;
            all.createdFiles += batch.createdFiles;
        }
        QCOMPARE(all.notebooks.value(0).name, QString("Work"));
        QCOMPARE(all.notes.size(), 1);
        QCOMPARE(all.notes.value(0).note.body, "see velmora-notes://attachment/" + file);
        QCOMPARE(all.attachments.value(0).filename, QString("f.txt"));
        QCOMPARE(all.snapshots.value(0).version, 2);
        // Only the named file was placed, and the writer was told so it can take it back.
        QCOMPARE(all.createdFiles, QStringList({AttachmentRepository::filePath(file)}));
        QCOMPARE(IoFiles::tree(Database::attachmentsDirectory()), QStringList({file}));
        QVERIFY(fx->notes->allNotes().isEmpty()); // reading writes no row
    }

    void aRestoreDecidesEachRowByMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("stored"); // 0 none, 1 older, 2 newer, 3 the same note
        QTest::addColumn<int>("action");
        using A = RestoreAction;
        const int skip = int(RestoreMode::SkipExisting), over = int(RestoreMode::Overwrite), older = int(RestoreMode::OverwriteOlder);
        QTest::newRow("none") << over << 0 << int(A::Insert);
        QTest::newRow("skip existing") << skip << 1 << int(A::Keep);
        QTest::newRow("overwrite newer") << over << 2 << int(A::Overwrite);
        QTest::newRow("overwrite the same") << over << 3 << int(A::Unchanged);
        QTest::newRow("older: stored older") << older << 1 << int(A::Overwrite);
        QTest::newRow("older: stored newer") << older << 2 << int(A::Keep);
    }

    void aRestoreDecidesEachRowByMode()
    {
        QFETCH(int, mode);
        QFETCH(int, stored);
        QFETCH(int, action);
        Note archived = Note::blank("n", QString());
        archived.updatedAt = IoFixture::at(10);
        std::optional<Note> local;
        if (stored > 0) {
            local = archived;
            local->updatedAt = IoFixture::at(stored == 1 ? 5 : stored == 2 ? 15 : 10);
            if (stored != 3)
                local->body = "other";
        }
        QCOMPARE(int(RestorePlan::decide(RestoreMode(mode), local, archived)), action);
    }
};

VELM_TEST_MAIN(TestBulkJob)
#include "tst_bulkjob.moc"
