// Evernote and Markdown-folder import and Markdown-folder export of 10 000
// notes, beside a Joplin import of the same notes as the baseline; with
// "--enex-stream MB" the memory an Evernote import of a large file needs.

#include "database.h"
#include "eneximporter.h"
#include "joplinimporter.h"
#include "markdownfolderexport.h"
#include "markdownfolderimporter.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "attachmentrepository.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUuid>

#include <memory>

namespace {

constexpr int kNotes = 10000;
constexpr int kImages = 500; // notes that carry one small image

struct Stores
{
    std::unique_ptr<Database> db = std::make_unique<Database>();
    std::unique_ptr<NoteRepository> notes;
    std::unique_ptr<NotebookRepository> notebooks;
    std::unique_ptr<AttachmentRepository> attachments;

    explicit Stores(const QString &dir)
    {
        qputenv("NOTES_DATA_DIR", dir.toUtf8());
        db->open(Database::defaultDatabasePath());
        db->migrate();
        notes = std::make_unique<NoteRepository>(db.get());
        notebooks = std::make_unique<NotebookRepository>(db.get());
        attachments = std::make_unique<AttachmentRepository>(db.get());
    }
    IoRepositories repositories() const { return {db.get(), notes.get(), notebooks.get(), attachments.get(), nullptr}; }
};

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

const QByteArray kText = "Some **bold** text and a list:\n\n- a\n- b\n\n" + QByteArray(300, 'x') + "\n";

qint64 peakResidentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// "--enex-stream MB": an .enex of about MB megabytes (text notes, 1 MiB files
// and one 32 MiB file) is imported; fails unless the process grew by less
// than a quarter of the file.
int streamEnex(const QString &dir, int megabytes, QTextStream &out)
{
    QFile enex(dir + "/stream.enex");
    if (!enex.open(QIODevice::WriteOnly))
        return 1;
    enex.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<en-export>");
    // Written in pieces of a multiple of three bytes, whose base64 texts join
    // into the whole one: generating holds no file in memory, so the peak is the import's.
    constexpr int kPiece = 3 * 16 * 1024;
    const auto piece = [](int note, int index) {
        QByteArray bytes(kPiece, char('a' + note % 26));
        bytes.replace(0, 16, QByteArray::number(note).rightJustified(8, '0') + QByteArray::number(index).rightJustified(8, '0'));
        return bytes;
    };
    int notes = 0;
    for (int i = 0; enex.size() < qint64(megabytes) * 1024 * 1024; ++i, ++notes) {
        const int pieces = (i == 3 ? 32 : 1) * 1024 * 1024 / kPiece;
        QCryptographicHash md5(QCryptographicHash::Md5);
        for (int p = 0; p < pieces; ++p)
            md5.addData(piece(i, p));
        enex.write("<note><title>Note " + QByteArray::number(i) + "</title><content><![CDATA[<en-note><div>"
                   + QByteArray(2000, 't') + "</div><en-media type=\"application/zip\" hash=\"" + md5.result().toHex()
                   + "\"/></en-note>]]></content><resource><data encoding=\"base64\">");
        for (int p = 0; p < pieces; ++p)
            enex.write(piece(i, p).toBase64());
        enex.write("</data><mime>application/zip</mime></resource></note>\n");
    }
    enex.write("</en-export>");
    enex.close();
    const qint64 before = peakResidentKiB();
    Stores stores(dir + "/stream");
    QElapsedTimer timer;
    timer.start();
    const ImportResult r = importEnex(enex.fileName(), stores.repositories());
    const qint64 grown = peakResidentKiB() - before;
    const qint64 fileKiB = enex.size() / 1024;
    out << "Evernote import of " << fileKiB / 1024 << " MiB (" << r.imported << " notes, " << r.attachments
        << " files, largest 32 MiB): " << timer.elapsed() << " ms, peak memory grew by " << grown / 1024 << " MiB\n";
    return r.imported == notes && grown >= 0 && grown < fileKiB / 4 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir root;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc == 3 && QByteArray(argv[1]) == "--enex-stream")
        return streamEnex(root.path(), QByteArray(argv[2]).toInt(), out);
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(2000, 'p');
    QElapsedTimer timer;

    // Baseline: the Joplin archive of the same notes, without images.
    QFile jex(root.filePath("bench.jex"));
    jex.open(QIODevice::WriteOnly);
    const QByteArray folder(32, 'f');
    jex.write(tarEntry(folder + ".md", "Folder\n\nid: " + folder + "\ntype_: 2"));
    for (int i = 0; i < kNotes; ++i) {
        const QByteArray noteId = QUuid::createUuid().toString(QUuid::Id128).toLatin1();
        jex.write(tarEntry(noteId + ".md", "Note " + QByteArray::number(i) + "\n\n" + kText + "\nid: " + noteId
                                               + "\nparent_id: " + folder + "\nmarkup_language: 1\ntype_: 1"));
    }
    jex.write(QByteArray(1024, '\0'));
    jex.close();
    {
        Stores stores(root.filePath("jex"));
        timer.start();
        const ImportResult r = importJoplin(jex.fileName(), stores.repositories());
        out << "baseline, Joplin import of " << r.imported << " notes: " << timer.elapsed() << " ms\n";
    }

    QFile enex(root.filePath("bench.enex"));
    enex.open(QIODevice::WriteOnly);
    enex.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<en-export>");
    const QByteArray md5 = QCryptographicHash::hash(png, QCryptographicHash::Md5).toHex();
    for (int i = 0; i < kNotes; ++i) {
        const bool image = i < kImages;
        enex.write("<note><title>Note " + QByteArray::number(i) + "</title><content><![CDATA[<en-note><div>Some <b>bold</b> "
                   "text and a list:</div><ul><li>a</li><li>b</li></ul><div><en-todo checked=\"true\"/>done</div><div>"
                   + QByteArray(300, 'x') + "</div>" + (image ? "<en-media type=\"image/png\" hash=\"" + md5 + "\"/>" : "")
                   + "</en-note>]]></content><created>20230115T103000Z</created><tag>bench</tag>"
                   + (image ? "<resource><data encoding=\"base64\">" + png.toBase64() + "</data><mime>image/png</mime></resource>"
                            : QByteArray())
                   + "</note>\n");
    }
    enex.write("</en-export>");
    enex.close();
    {
        Stores stores(root.filePath("enex"));
        timer.restart();
        const ImportResult r = importEnex(enex.fileName(), stores.repositories());
        out << "Evernote import of " << r.imported << " notes, " << r.attachments << " images ("
            << QFileInfo(enex.fileName()).size() / 1024 << " KiB): " << timer.elapsed() << " ms\n";
    }

    const QString md = root.filePath("md");
    for (int i = 0; i < kNotes; ++i) {
        const QString dir = QStringLiteral("%1/Folder %2").arg(md).arg(i % 20);
        QDir().mkpath(dir);
        QFile file(QStringLiteral("%1/Note %2.md").arg(dir).arg(i));
        file.open(QIODevice::WriteOnly);
        file.write("---\ntitle: Note " + QByteArray::number(i) + "\ncreated: 2023-01-15T10:30:00Z\n---\n" + kText
                   + "- [x] done\n\n[[Note " + QByteArray::number(i + 1) + "]]\n" + (i < kImages ? "![](img.png)\n" : ""));
    }
    for (int i = 0; i < 20; ++i) {
        QFile image(QStringLiteral("%1/Folder %2/img.png").arg(md).arg(i));
        image.open(QIODevice::WriteOnly);
        image.write(png);
    }
    Stores folderStores(root.filePath("mdimport"));
    timer.restart();
    const ImportResult r = importMarkdownFolder(md, folderStores.repositories());
    out << "Markdown folder import of " << r.imported << " files in 20 folders, " << r.attachments
        << " images: " << timer.elapsed() << " ms\n";

    timer.restart();
    const FolderExportResult e = exportMarkdownFolder(folderStores.repositories(), std::nullopt, root.filePath("export"));
    out << "Markdown folder export of " << e.notes << " notes, " << e.attachments << " attachments: " << timer.elapsed()
        << " ms\n";
    timer.restart();
    const FolderExportResult z = exportMarkdownFolder(folderStores.repositories(), std::nullopt, root.filePath("export.zip"));
    out << "Markdown ZIP export of " << z.notes << " notes: " << timer.elapsed() << " ms\n";
    return 0;
}
