#include "velmtest.h"

#include "backup.h"
#include "iofixture.h"

using IoFiles::json;
using IoFiles::readZip;

namespace {

QJsonObject noteJson(const QString &id, const QString &body, const QDateTime &updated)
{
    return QJsonObject{{"id", id},
                       {"notebookId", ""},
                       {"body", body},
                       {"createdAt", IoFixture::at(1).toString(Qt::ISODateWithMs)},
                       {"updatedAt", updated.toString(Qt::ISODateWithMs)},
                       {"modifiedAt", updated.toString(Qt::ISODateWithMs)},
                       {"version", 4}};
}

// Imported, skipped and failed records.
QList<int> tally(const RestoreResult &result)
{
    return {result.imported, result.skipped, result.errors};
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString writeArchive(const QString &name, const QMap<QString, QByteArray> &entries)
    {
        return IoFiles::writeZip(m_dir.filePath(name), entries);
    }

private slots:
    void restoreIntoAnEmptyDataDirectoryReproducesEverything()
    {
        auto source = IoFixture::create(m_dir.path());
        QVERIFY(source);
        const auto addNotebook = [&source](const QString &name, const QString &ownerId) {
            Notebook notebook;
            notebook.id = IoFixture::newId();
            notebook.name = name;
            notebook.createdAt = IoFixture::at(1, 1);
            notebook.updatedAt = IoFixture::at(2, 2);
            notebook.version = 3;
            notebook.isShared = !ownerId.isEmpty();
            notebook.ownerId = ownerId;
            return source->notebooks->insert(notebook) ? notebook : Notebook();
        };
        const Notebook work = addNotebook("Work", "someone"), home = addNotebook("Home", {}), gone = addNotebook("Gone", {});
        QVERIFY(!gone.id.isEmpty() && source->notebooks->softDelete(gone.id));

        Note inWork = source->addNote(R"([{"insert":"In work\n"}])", work.id, 3);
        inWork.version = 7;
        QVERIFY(source->notes->update(inWork));
        const Note loose = source->addNote(R"([{"insert":"Loose\n"}])", QString(), 4);
        const Note trashed = source->addNote(R"([{"insert":"Trashed\n"}])", home.id, 5);
        QVERIFY(source->notes->softDelete(trashed.id));

        const QByteArray imageBytes("\x89PNG\r\n\x1a\nimage", 13);
        const Attachment image = source->addAttachment(inWork.id, "photo.png", "image/png", imageBytes);
        const Attachment file = source->addAttachment(trashed.id, "report.pdf", "application/pdf", "pdf bytes");
        QVERIFY(source->attachments->markSynced(image.id));

        Snapshot first{IoFixture::newId(), inWork.id, 5, R"([{"insert":"v5\n"}])", IoFixture::at(3, 5)};
        Snapshot second{IoFixture::newId(), inWork.id, 6, R"([{"insert":"v6\n"}])", IoFixture::at(3, 6)};
        QVERIFY(source->snapshots->insert(first));
        QVERIFY(source->snapshots->insert(second));

        const QList<Note> originals{*source->notes->noteById(inWork.id), *source->notes->noteById(loose.id),
                                    *source->notes->noteById(trashed.id)};
        const QString archive = m_dir.filePath("full-backup.zip");
        QList<int> reported;
        const BackupResult backup = createBackup(archive, source->repositories(),
                                                 [&reported](int current, int, const QString &) { reported << current; });
        QVERIFY2(!backup.failed, qPrintable(backup.error));
        QCOMPARE(backup.noteCount, 3);
        QVERIFY(!reported.isEmpty() && std::is_sorted(reported.begin(), reported.end()));

        const QMap<QString, QByteArray> entries = readZip(archive);
        for (const QString &entry : {"notebooks/" + work.id, "notes/" + trashed.id, "attachmentRecords/" + image.id,
                                     "snapshots/" + second.id})
            QVERIFY2(entries.contains(entry + ".json"), qPrintable(entry));
        QVERIFY(!entries.contains("notebooks/" + gone.id + ".json"));
        QCOMPARE(entries.value("attachments/" + image.id), imageBytes);
        const QJsonObject manifest = QJsonDocument::fromJson(entries.value("manifest.json")).object();
        QCOMPARE(manifest.value("notebookCount").toInt(), 2);

        source.reset();
        auto target = IoFixture::create(m_dir.path());
        QVERIFY(target);
        const RestoreResult restored = restoreBackup(archive, target->repositories(), RestoreMode::SkipExisting);
        QCOMPARE(restored.error, QString());
        QCOMPARE(tally(restored) << restored.attachmentsRestored << restored.snapshotsRestored, QList<int>({5, 0, 0, 2, 2}));

        for (const Note &original : originals)
            QCOMPARE(target->notes->noteById(original.id), std::optional<Note>(original));
        QCOMPARE(target->notes->trashedNotes().size(), 1);
        QCOMPARE(target->notebooks->notebookById(work.id), std::optional<Notebook>(work));
        QVERIFY(!target->notebooks->notebookById(gone.id));

        Attachment expectedImage = image;
        expectedImage.syncStatus = SyncStatus::Pending; // restored rows upload again
        QCOMPARE(target->attachments->attachmentById(image.id), std::optional<Attachment>(expectedImage));
        QCOMPARE(target->attachments->attachmentById(file.id), std::optional<Attachment>(file));
        QCOMPARE(target->attachments->readFile(image.id), imageBytes);
        QCOMPARE(target->attachments->readFile(file.id), QByteArray("pdf bytes"));
        QCOMPARE(target->snapshots->snapshotsForNote(inWork.id), QList<Snapshot>({second, first}));

        // Restoring the same archive again keeps everything and counts it as skipped.
        QCOMPARE(tally(restoreBackup(archive, target->repositories(), RestoreMode::SkipExisting)), QList<int>({0, 5, 0}));
    }

    void anEmptyDatabaseGivesAManifestAlone()
    {
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        // A file no row names (left by a kill) is not carried.
        QVERIFY(QDir().mkpath(Database::attachmentsDirectory()));
        QVERIFY(!IoFiles::write(Database::attachmentsDirectory() + "/orphan", "left behind").isEmpty());
        const QString archive = m_dir.filePath("empty.zip");
        QVERIFY(!createBackup(archive, fx->repositories()).failed);
        const QMap<QString, QByteArray> entries = readZip(archive);
        QCOMPARE(entries.keys(), QStringList({"manifest.json"}));
        const QJsonObject manifest = QJsonDocument::fromJson(entries.value("manifest.json")).object();
        QCOMPARE(manifest.value("noteCount").toInt(-1), 0);
        QVERIFY(QDateTime::fromString(manifest.value("exportedAt").toString(), Qt::ISODateWithMs).isValid());
    }

    void aFailedBackupLeavesTheEarlierFile()
    {
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        const Note note = fx->addNote(R"([{"insert":"x\n"}])");
        const Attachment attachment = fx->addAttachment(note.id, "a.txt", "text/plain", "abc");

        const QString archive = writeArchive("earlier.zip", {{"manifest.json", "{}"}, {"old.txt", "old"}});
        QCOMPARE(archive, m_dir.filePath("earlier.zip"));
        // The attachment file vanishes while the notes are being written, so
        // the backup fails half-way through.
        const BackupResult result = createBackup(archive, fx->repositories(), [&](int, int, const QString &) {
            QFile::remove(AttachmentRepository::filePath(attachment.id));
        });
        QVERIFY(result.failed);
        QVERIFY2(result.error.startsWith("Failed to create ZIP: "), qPrintable(result.error));
        QCOMPARE(readZip(archive).keys(), QStringList({"manifest.json", "old.txt"}));
        QCOMPARE(QDir(m_dir.path()).entryList({"earlier*"}, QDir::Files | QDir::Hidden), QStringList({"earlier.zip"}));
    }

    void modesDecideAboutExistingRows_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("sameTimeBody");
        QTest::addColumn<QString>("olderBody");
        QTest::addColumn<int>("imported");
        QTest::addColumn<int>("skipped");

        QTest::newRow("skip existing") << 0 << "local same" << "local older" << 1 << 3;
        QTest::newRow("overwrite") << 1 << "archived same" << "archived older" << 3 << 1;
        QTest::newRow("overwrite older") << 2 << "local same" << "archived older" << 2 << 2;
    }

    void modesDecideAboutExistingRows()
    {
        QFETCH(int, mode);
        QFETCH(QString, sameTimeBody);
        QFETCH(QString, olderBody);
        QFETCH(int, imported);
        QFETCH(int, skipped);

        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        Note same = fx->addNote("local same", QString(), 5);
        Note older = fx->addNote("local older", QString(), 2);
        const QString fresh = IoFixture::newId();
        const QString archive = writeArchive(
            QString("modes%1.zip").arg(mode),
            {{"manifest.json", "{\"version\":1}"},
             {"notes/a.json", json(noteJson(same.id, "archived same", same.updatedAt))},
             {"notes/b.json", json(noteJson(older.id, "archived older", IoFixture::at(9)))},
             {"notes/c.json", json(noteJson(fresh, "archived fresh", IoFixture::at(9)))},
             // The same id again is no second note, whatever the mode.
             {"notes/d.json", json(noteJson(fresh, "archived twice", IoFixture::at(10)))}});
        QVERIFY(!archive.isEmpty());

        QCOMPARE(tally(restoreBackup(archive, fx->repositories(), RestoreMode(mode))), QList<int>({imported, skipped, 0}));
        QCOMPARE(fx->notes->noteById(same.id)->body, sameTimeBody);
        QCOMPARE(fx->notes->noteById(older.id)->body, olderBody);
        QCOMPARE(fx->notes->noteById(fresh)->body, QString("archived fresh"));
        QCOMPARE(fx->notes->noteById(fresh)->version, 4);
    }

    void overwritingANoteWithItsOwnStateLeavesItSynced()
    {
        // Notes that differ are written: modesDecideAboutExistingRows.
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        const Note kept = fx->addNote("kept");
        QVERIFY(fx->notes->syncState().markSynced(kept.id, 1));
        const QString archive = m_dir.filePath("own-state.zip");
        QVERIFY(!createBackup(archive, fx->repositories()).failed);
        int parsed = 0; // a body is parsed only for a row that is written
        fx->database->setTextExtractor([&parsed](const QString &body) {
            ++parsed;
            return NoteText{{}, {}, body, {}};
        });
        QCOMPARE(restoreBackup(archive, fx->repositories(), RestoreMode::Overwrite).imported, 1);
        QCOMPARE(fx->notes->noteById(kept.id)->syncStatus, SyncStatus::Synced);
        QCOMPARE(parsed, 0);
    }

    // Nothing of an archive that cannot be read whole is written.
    void unusableArchivesRestoreNothing_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("error");
        const QByteArray note = json(noteJson(IoFixture::newId(), "x", IoFixture::at(3)));
        QTest::newRow("no manifest") << writeArchive("nomanifest.zip", {{"notes/a.json", note}}) << "No manifest.json found";
        QTest::newRow("no file") << m_dir.filePath("missing.zip") << "Failed to extract backup";
        // As by a full disk or an interrupted copy.
        const QString cut = writeArchive("cut.zip", {{"manifest.json", "{}"}, {"notes/a.json", note},
                                                     {"notes/b.json", json(noteJson(IoFixture::newId(), "y", IoFixture::at(3)))}});
        QFile::resize(cut, QFileInfo(cut).size() / 2);
        QTest::newRow("cut short") << cut << "Failed to extract backup";
    }

    void unusableArchivesRestoreNothing()
    {
        QFETCH(QString, archive);
        QFETCH(QString, error);
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        const RestoreResult result = restoreBackup(archive, fx->repositories(), RestoreMode::SkipExisting);
        QCOMPARE(result.error, error);
        QCOMPARE(tally(result), QList<int>({0, 0, 1}));
        QVERIFY(fx->notes->allNotes().isEmpty());
    }

    void archivedRecordsFillTheirDefaults()
    {
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        const QString id = IoFixture::newId();
        const QString archive = writeArchive(
            "defaults.zip",
            {{"manifest.json", "{}"},
             {"notes/plain.json", json(QJsonObject{{"id", id}, {"body", "b"}, {"version", 2.5},
                                                   {"updatedAt", IoFixture::at(7).toString(Qt::ISODateWithMs)}})},
             {"notes/notanobject.json", "[1, 2]"},
             {"notes/noid.json", json(QJsonObject{{"body", "lost"}})},
             {"notebooks/broken.json", "{ not json"}});
        QCOMPARE(tally(restoreBackup(archive, fx->repositories(), RestoreMode::SkipExisting)), QList<int>({1, 0, 3}));
        const std::optional<Note> note = fx->notes->noteById(id);
        QVERIFY(note);
        QCOMPARE(note->version, 1);
        QCOMPARE(note->syncStatus, SyncStatus::Pending);
        QVERIFY(note->createdAt.isValid());
        QCOMPARE(note->modifiedAt, IoFixture::at(7));
        QCOMPARE(fx->notes->allNotes().size(), 1);
        QVERIFY(fx->notebooks->allNotebooks().isEmpty());
    }

    void aHostileArchiveWritesNothingOutside()
    {
        QTemporaryDir sandbox;
        qputenv("TMPDIR", sandbox.path().toUtf8()); // extraction happens in here
        auto fx = IoFixture::create(sandbox.path());
        QVERIFY(fx);
        const Note note = fx->addNote(R"([{"insert":"n\n"}])");
        const QString badId = "../../escaped-record";
        const QString archive = writeArchive(
            "hostile.zip",
            {{"manifest.json", "{}"},
             {"../escaped.txt", "evil"},
             {"attachments/../../escaped2.txt", "evil"},
             {"notes/../../../escaped3.json", json(noteJson(IoFixture::newId(), "evil", IoFixture::at(1)))},
             {sandbox.filePath("absolute.txt"), "evil"},
             {"attachments/ok-file", "fine"},
             {"attachmentRecords/bad.json", json(QJsonObject{{"id", badId}, {"noteId", note.id}, {"filename", "x"}})},
             {"attachmentRecords/sep.json", json(QJsonObject{{"id", "a/b"}, {"noteId", note.id}, {"filename", "x"}})},
             {"attachmentRecords/nofile.json",
              json(QJsonObject{{"id", IoFixture::newId()}, {"noteId", note.id}, {"filename", "x"}})}});
        QVERIFY(!archive.isEmpty());
        Database::attachmentsDirectory(); // exists before any restore, as in the application
        const QStringList before = IoFiles::tree(sandbox.path());

        const RestoreResult result = restoreBackup(archive, fx->repositories(), RestoreMode::SkipExisting);
        qunsetenv("TMPDIR");
        QCOMPARE(result.error, QString());
        QCOMPARE(tally(result), QList<int>({0, 0, 4 + 3}));
        // No record names "ok-file": it would only be an orphan.
        QCOMPARE(IoFiles::tree(sandbox.path()), before);
        QVERIFY(!QFile::exists(m_dir.filePath("escaped.txt")));
        QVERIFY(fx->attachments->attachmentsForNote(note.id).isEmpty());
        QCOMPARE(fx->notes->allNotes().size(), 1);
    }
};

VELM_TEST_MAIN(TestBackup)
#include "tst_backup.moc"
