// Backup, restore and import of a few thousand notes: prints the time each takes.

#include "attachmentrepository.h"
#include "backup.h"
#include "database.h"
#include "joplinimporter.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "snapshotrepository.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUuid>

#include <cstdio>
#include <memory>

namespace {

constexpr int kNotes = 3000;
constexpr int kAttachments = 300;

struct Stores
{
    std::unique_ptr<Database> db = std::make_unique<Database>();
    std::unique_ptr<NoteRepository> notes;
    std::unique_ptr<NotebookRepository> notebooks;
    std::unique_ptr<AttachmentRepository> attachments;
    std::unique_ptr<SnapshotRepository> snapshots;

    explicit Stores(const QString &dir)
    {
        qputenv("NOTES_DATA_DIR", dir.toUtf8());
        db->open(Database::defaultDatabasePath());
        db->migrate();
        notes = std::make_unique<NoteRepository>(db.get());
        notebooks = std::make_unique<NotebookRepository>(db.get());
        attachments = std::make_unique<AttachmentRepository>(db.get());
        snapshots = std::make_unique<SnapshotRepository>(db.get());
    }
    IoRepositories repositories() const
    {
        return {db.get(), notes.get(), notebooks.get(), attachments.get(), snapshots.get()};
    }
};

QString id()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Tar header for one regular file; checksums as tar readers expect them.
QByteArray tarEntry(const QByteArray &name, const QByteArray &data)
{
    QByteArray h(512, '\0');
    h.replace(0, name.size(), name);
    const auto octal = [&h](int offset, int width, qint64 value) {
        h.replace(offset, width - 1, QByteArray::number(value, 8).rightJustified(width - 1, '0'));
    };
    octal(100, 8, 0644);
    octal(108, 8, 0);
    octal(116, 8, 0);
    octal(124, 12, data.size());
    octal(136, 12, 1700000000);
    h[156] = '0';
    h.replace(257, 6, QByteArray("ustar\0", 6));
    h.replace(263, 2, "00");
    h.replace(148, 8, QByteArray(8, ' '));
    unsigned sum = 0;
    for (const char c : std::as_const(h))
        sum += static_cast<unsigned char>(c);
    octal(148, 7, sum);
    return h + data + QByteArray((512 - data.size() % 512) % 512, '\0');
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir root;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);

    Stores source(root.filePath("source"));
    const QString notebookId = id();
    Notebook notebook;
    notebook.id = notebookId;
    notebook.name = "Bench";
    notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
    source.notebooks->insert(notebook);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kNotes; ++i) {
        Note note;
        note.id = id();
        note.notebookId = notebookId;
        note.body = QString(R"([{"insert":"Note %1"},{"attributes":{"header":1},"insert":"\n"},{"insert":"%2\n"}])")
                        .arg(i)
                        .arg(QString(400, 'x'));
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        source.notes->insert(note);
        if (i < kAttachments) {
            Attachment a;
            a.id = id();
            a.noteId = note.id;
            a.filename = "file.bin";
            a.mimeType = "application/octet-stream";
            a.sizeBytes = 20000;
            a.createdAt = note.createdAt;
            source.attachments->saveFile(a.id, QByteArray(20000, 'a'));
            source.attachments->insert(a);
            source.snapshots->insert({id(), note.id, 1, note.body, note.createdAt});
        }
    }
    out << "setup of " << kNotes << " notes: " << timer.elapsed() << " ms\n";

    int reports = 0;
    const auto progress = [&reports](int, int, const QString &) { ++reports; };
    const QString archive = root.filePath("backup.zip");
    timer.restart();
    const BackupResult backup = createBackup(archive, source.repositories(), progress);
    out << "backup: " << timer.elapsed() << " ms, " << backup.noteCount << " notes, " << QFile(archive).size() / 1024
        << " KiB, " << reports << " progress reports\n";

    Stores target(root.filePath("target"));
    reports = 0;
    timer.restart();
    const RestoreResult restore = restoreBackup(archive, target.repositories(), RestoreMode::SkipExisting, progress);
    out << "restore into an empty database: " << timer.elapsed() << " ms, " << restore.imported << " imported, "
        << restore.attachmentsRestored << " attachments, " << restore.snapshotsRestored << " snapshots, "
        << restore.errors << " errors, " << reports << " progress reports\n";

    QByteArray tar;
    const QByteArray folder = QByteArray(32, 'f');
    tar += tarEntry(folder + ".md", "Folder\n\nid: " + folder + "\ntype_: 2");
    for (int i = 0; i < kNotes; ++i) {
        const QByteArray noteId = QUuid::createUuid().toString(QUuid::Id128).toLatin1();
        tar += tarEntry(noteId + ".md", "Note " + QByteArray::number(i) + "\n\nSome **bold** text and a list:\n\n- a\n- b\n\nid: "
                                            + noteId + "\nparent_id: " + folder + "\nmarkup_language: 1\ntype_: 1");
    }
    tar += QByteArray(1024, '\0');
    const QString jex = root.filePath("bench.jex");
    QFile file(jex);
    file.open(QIODevice::WriteOnly);
    file.write(tar);
    file.close();
    Stores imported(root.filePath("import"));
    reports = 0;
    timer.restart();
    const ImportResult result = importJoplin(jex, imported.repositories(), progress);
    out << "Joplin import: " << timer.elapsed() << " ms, " << result.imported << " notes, " << reports
        << " progress reports\n";
    return 0;
}
