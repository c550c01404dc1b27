// Runs one of the application's writes in a loop over the data folder that
// NOTES_DATA_DIR names, printing a line after every write that returned
// success, so that tests/faults/campaign can kill it at any moment and then ask
// "check" whether the folder still holds everything those lines promised.
//
//   velmora-faults run  MODE [ARCHIVE]   writes until killed
//   velmora-faults check MODE "LAST LINE" [ARCHIVE]   exit 0 when sound
//   velmora-faults once MODE [ARCHIVE]   one write; prints its outcome
//
// MODE: type, notebook-delete, empty-trash, import, restore, sync, bombs. The
// sync mode talks to the velmora-server at 127.0.0.1:$FAULT_PORT as the user
// whose tokens $FAULT_ACCESS and $FAULT_REFRESH hold. "bombs" imports split
// bombs (one file named by 64 records) against a small budget.
//
//   velmora-faults sigterm      the application with a note whose saves fail,
//                               typed into; prints "typed" and waits for SIGTERM
//   velmora-faults check recovery ""   the typed text waits in a private recovery file

#include "application.h"
#include "appstate.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "notestationimporter.h"
#include "recoverystore.h"
#include "zipwriter.h"
#include "../io/tarbuilder.h"
#include "attachmentrepository.h"
#include "backup.h"
#include "database.h"
#include "joplinimporter.h"
#include "notebookrepository.h"
#include "noteedits.h"
#include "noterepository.h"
#include "notesession.h"
#include "preferencesrepository.h"
#include "snapshotrepository.h"
#include "syncengine.h"
#include "apiclient.h"
#include "memorytokenstore.h"
#include "tokenmanager.h"

#include <QApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextCursor>

#include <sys/stat.h>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <cstdio>

namespace {

constexpr int kKeep = 20;     // notes every mode keeps alive
constexpr int kBatch = 200;   // notes an import or trash round writes
constexpr int kSyncRound = 10; // notes a sync round writes: every check reads them all back

QString body(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(escaped);
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "FAULT: %s\n", qPrintable(why));
    std::exit(1);
}

QString one(AppState &state, const QString &sql)
{
    QSqlQuery q(state.database()->database());
    if (!q.exec(sql) || !q.next())
        fail(sql + QLatin1String(": ") + q.lastError().text());
    return q.value(0).toString();
}

int count(AppState &state, const QString &sql)
{
    return one(state, sql).toInt();
}

Note newNote(const QString &text, const QString &notebookId = {})
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.notebookId = notebookId;
    note.body = body(text);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    return note;
}

// The notes every mode starts from, written once in one transaction.
void seed(AppState &state)
{
    // Marked apart from the notes: a restore round changes their text.
    if (state.preferences()->get(QStringLiteral("fault_seeded")))
        return;
    QSqlDatabase db = state.database()->database();
    db.transaction();
    for (int i = 0; i < kKeep; ++i)
        state.notes()->insert(newNote(QStringLiteral("kept-note-%1").arg(i)));
    state.preferences()->set(QStringLiteral("fault_seeded"), QStringLiteral("1"));
    if (!db.commit())
        fail(QStringLiteral("seed not committed"));
}

QString lastNumber(const QString &line, int field = 1)
{
    return line.section(QLatin1Char(' '), field, field);
}

// A Joplin export of kBatch notes in one folder, with fresh ids per call.
QByteArray joplinArchive()
{
    const auto entry = [](const QByteArray &name, const QByteArray &data) {
        QByteArray h(512, '\0');
        h.replace(0, name.size(), name);
        const auto octal = [&h](int offset, int width, qint64 value) {
            const QByteArray digits = QByteArray::number(value, 8).rightJustified(width - 1, '0');
            h.replace(offset, digits.size(), digits);
        };
        octal(100, 8, 0644);
        octal(108, 8, 0);
        octal(116, 8, 0);
        octal(124, 12, data.size());
        octal(136, 12, 0);
        h[156] = '0';
        h.replace(257, 6, QByteArray("ustar\0", 6));
        h.replace(148, 8, QByteArray(8, ' '));
        int sum = 0;
        for (char c : std::as_const(h))
            sum += uchar(c);
        const QByteArray check = QByteArray::number(sum, 8).rightJustified(6, '0') + '\0' + ' ';
        h.replace(148, 8, check);
        QByteArray padded = data;
        padded.append(QByteArray((512 - data.size() % 512) % 512, '\0'));
        return h + padded;
    };
    const QByteArray folder = QUuid::createUuid().toString(QUuid::Id128).toLatin1();
    QByteArray tar = entry(folder + ".md", "Imported\n\nid: " + folder + "\ntype_: 2");
    for (int i = 0; i < kBatch; ++i) {
        const QByteArray id = QUuid::createUuid().toString(QUuid::Id128).toLatin1();
        tar += entry(id + ".md", "Imported " + QByteArray::number(i) + "\n\nid: " + id + "\nparent_id: " + folder
                                     + "\nmarkup_language: 1\ntype_: 1");
    }
    return tar + QByteArray(1024, '\0');
}

IoRepositories stores(AppState &state)
{
    return {state.database(), state.notes(), state.notebooks(), state.attachments(), state.snapshots()};
}

// A sync engine over the state's stores, signed in with the tokens the
// environment gives; nothing of them is printed.
class Syncer
{
public:
    explicit Syncer(AppState &state)
        : m_tokens(std::make_unique<VelmAccount::MemoryTokenStore>())
        , m_api(&m_tokens)
        , m_engine(&m_api, state.database(), state.notes(), state.notebooks(), state.attachments(),
                   state.preferences())
    {
        m_tokens.setTokens(qEnvironmentVariable("FAULT_ACCESS"), qEnvironmentVariable("FAULT_REFRESH"));
        m_api.setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/notes/v1").arg(qEnvironmentVariable("FAULT_PORT"))));
    }

    // One cycle to its end; true when it completed.
    bool sync()
    {
        QEventLoop loop;
        bool completed = false;
        QObject::connect(&m_engine, &SyncEngine::syncCompleted, &loop, [&] {
            completed = true;
            loop.quit();
        });
        QObject::connect(&m_engine, &SyncEngine::syncFailed, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        m_engine.syncNow();
        loop.exec();
        return completed;
    }

    // Every note id the server holds for the user, read from the start.
    std::optional<QSet<QString>> serverIds()
    {
        QSet<QString> ids;
        QString since;
        for (;;) {
            QEventLoop loop;
            bool ok = false, more = false, answered = false;
            QUrlQuery query;
            if (!since.isEmpty())
                query.addQueryItem(QStringLiteral("since"), since);
            m_api.get(QStringLiteral("/sync/pull"), [&](bool replyOk, int, const QJsonObject &body) {
                ok = replyOk;
                for (const QJsonValue &change : body.value("changes").toArray())
                    ids.insert(change.toObject().value("id").toString());
                const QString next = QString::number(body.value("timestamp").toInteger());
                more = body.value("has_more").toBool() && next != since;
                since = next;
                answered = true;
                loop.quit();
            }, query);
            // A refused refresh answers at once, before the loop runs.
            if (!answered)
                loop.exec();
            if (!ok)
                return std::nullopt;
            if (!more)
                return ids;
        }
    }

private:
    VelmAccount::TokenManager m_tokens;
    VelmAccount::ApiClient m_api;
    SyncEngine m_engine;
};

// One round of a mode; the line it prints is the promise "check" holds it to.
void round(AppState &state, const QString &mode, int i, const QString &archive, NoteSession *session, Syncer *syncer)
{
    if (mode == QLatin1String("type")) {
        QStringList words;
        for (int w = 1; w <= i; ++w)
            words << QString::number(w);
        const QString text = body(QStringLiteral("typed ") + words.join(QLatin1Char(' ')));
        const NoteSession::SaveResult result = session->save(text);
        if (result == NoteSession::SaveResult::Saved) {
            if (i % 25 == 0)
                session->saveSnapshot(text, false);
            say(QStringLiteral("saved %1").arg(i));
        } else if (result == NoteSession::SaveResult::Failed) {
            say(QStringLiteral("failed %1").arg(i));
        }
    } else if (mode == QLatin1String("notebook-delete")) {
        Notebook notebook;
        notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        notebook.name = QStringLiteral("Round %1").arg(i);
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        QStringList ids;
        for (const Note &note : state.notes()->allNotes())
            ids << note.id;
        if (state.notebooks()->insert(notebook) && state.notes()->moveToNotebook(ids, notebook.id))
            say(QStringLiteral("filed %1").arg(i));
        // As the main window deletes a notebook: its notes first, then itself.
        if (state.notes()->releaseNotebook(notebook.id) && state.notebooks()->softDelete(notebook.id))
            say(QStringLiteral("deleted %1").arg(i));
    } else if (mode == QLatin1String("empty-trash")) {
        QStringList ids;
        for (int n = 0; n < kBatch; ++n) {
            const Note note = newNote(QStringLiteral("trash %1.%2").arg(i).arg(n));
            if (!state.notes()->insert(note))
                fail(QStringLiteral("insert failed"));
            takeSnapshot(state.snapshots(), note.id, 1, note.body);
            if (n % 20 == 0) {
                Attachment attachment;
                attachment.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
                attachment.noteId = note.id;
                attachment.filename = QStringLiteral("a.bin");
                attachment.mimeType = QStringLiteral("application/octet-stream");
                attachment.sizeBytes = 4096;
                attachment.createdAt = note.createdAt;
                state.attachments()->saveFile(attachment.id, QByteArray(4096, 'x'));
                state.attachments()->insert(attachment);
            }
            ids << note.id;
        }
        if (state.notes()->softDelete(ids))
            say(QStringLiteral("trashed %1").arg(i));
        if (state.notes()->emptyTrash())
            say(QStringLiteral("emptied %1").arg(i));
    } else if (mode == QLatin1String("import")) {
        QFile file(archive);
        if (!file.open(QIODevice::WriteOnly) || file.write(joplinArchive()) < 0 || !file.flush())
            fail(QStringLiteral("archive not written"));
        file.close();
        const ImportResult result = importJoplin(archive, stores(state));
        say(QStringLiteral("imported %1 %2 %3").arg(i).arg(result.imported).arg(result.error));
    } else if (mode == QLatin1String("restore")) {
        // Every note changed in one transaction, then the backup brings them back.
        // A round whose edit is not whole is rolled back: a half edit here
        // would read as a half restore below.
        QSqlDatabase db = state.database()->database();
        bool whole = db.transaction();
        for (Note note : state.notes()->allNotes()) {
            note.body = body(QStringLiteral("edited %1").arg(i));
            whole = whole && state.notes()->update(note);
        }
        if (whole && db.commit()) {
            say(QStringLiteral("edited %1").arg(i));
        } else {
            db.rollback();
            say(QStringLiteral("edit failed %1").arg(i));
        }
        const RestoreResult result = restoreBackup(archive, stores(state), RestoreMode::Overwrite);
        say(QStringLiteral("restored %1 %2 %3").arg(i).arg(result.imported).arg(result.error));
    } else if (mode == QLatin1String("sync")) {
        // Rounds are named by process too: every run starts from round 1.
        const QString tag = QStringLiteral("%1-%2").arg(QCoreApplication::applicationPid()).arg(i);
        QSqlDatabase db = state.database()->database();
        db.transaction();
        for (int n = 0; n < kSyncRound; ++n)
            state.notes()->insert(newNote(QStringLiteral("synced-note %1.%2").arg(tag).arg(n)));
        if (db.commit())
            say(QStringLiteral("wrote ") + tag);
        say((syncer->sync() ? QStringLiteral("synced ") : QStringLiteral("unsynced ")) + tag);
    } else if (mode == QLatin1String("bombs")) {
        // One MiB of data, named by 64 records of each archive: stored once.
        const QByteArray data = QByteArray(1024 * 1024, Qt::Uninitialized).fill('b');
        TarBuilder tar;
        const QString resource(32, QLatin1Char('1'));
        tar.add(resource + QStringLiteral(".md"), "r\n\nid: " + resource.toUtf8() + "\nfile_extension: bin\ntype_: 4");
        tar.add(QStringLiteral("resources/") + resource + QStringLiteral(".bin"), data);
        QJsonObject records;
        for (int n = 0; n < 64; ++n) {
            const QByteArray id = QByteArray::number(0x1000 + n, 16).rightJustified(32, 'a');
            tar.add(QString::fromLatin1(id) + QStringLiteral(".md"),
                    "n\n\n[r](:/" + resource.toUtf8() + ")\n\nid: " + id + "\nmarkup_language: 1\ntype_: 1");
            records.insert(QStringLiteral("a%1").arg(n), QJsonObject{{QStringLiteral("md5"), QStringLiteral("aa")}});
        }
        QFile jex(archive + QStringLiteral(".jex"));
        if (!jex.open(QIODevice::WriteOnly) || jex.write(tar.finish()) < 0 || !jex.flush())
            fail(QStringLiteral("archive not written"));
        jex.close();
        ZipWriter nsx(archive + QStringLiteral(".nsx"));
        const auto json = [](const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); };
        if (!nsx.open() || !nsx.addFile(QStringLiteral("config.json"), json({{QStringLiteral("note"), QJsonArray{QStringLiteral("n1")}}}))
            || !nsx.addFile(QStringLiteral("n1"), json({{QStringLiteral("content"), QStringLiteral("x")}, {QStringLiteral("attachment"), records}}))
            || !nsx.addFile(QStringLiteral("file_aa"), data) || !nsx.commit())
            fail(QStringLiteral("archive not written"));
        ExtractionLimits small;
        small.maxTotalBytes = 8 * ExtractionLimits::kMiB;
        const ImportResult a = importJoplin(archive + QStringLiteral(".jex"), stores(state), {}, small);
        const ImportResult b = importNoteStation(archive + QStringLiteral(".nsx"), stores(state), {}, small);
        say(QStringLiteral("bombs %1 %2 %3").arg(i).arg(a.attachments).arg(b.attachments));
    } else {
        fail(QStringLiteral("unknown mode ") + mode);
    }
}

// The application itself, with a note whose saves fail (as on a disk that
// refuses its pages), typed into: a SIGTERM must keep that text aside.
int runSigterm(int argc, char **argv)
{
    Application app(argc, argv);
    QTimer::singleShot(0, &app, [&app] {
        AppState *state = app.appState();
        const Note note = newNote(QStringLiteral("failing"));
        if (!state->notes()->insert(note))
            fail(QStringLiteral("insert failed"));
        app.mainWindow()->showNote(note.id, true);
        QSqlQuery(state->database()->database())
            .exec(QStringLiteral("CREATE TEMP TRIGGER refuse BEFORE UPDATE ON notes WHEN NEW.id = '%1' "
                                 "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END")
                      .arg(note.id));
        NoteEditor *editor = app.mainWindow()->editor();
        editor->moveCursor(QTextCursor::End);
        editor->textCursor().insertText(QStringLiteral(" kept aside"));
        // Past the save pause: the save has failed and is being retried.
        QTimer::singleShot(1500, &app, [editor] {
            if (editor->isSaved())
                fail(QStringLiteral("the save did not fail"));
            say(QStringLiteral("typed"));
        });
    });
    return app.run();
}

void checkRecovery()
{
    const QList<RecoveryStore::Entry> kept = RecoveryStore(Database::dataDirectory()).entries();
    if (kept.size() != 1 || !kept.first().body.contains(QLatin1String("failing kept aside")))
        fail(QStringLiteral("%1 recovery files, none with the typed text").arg(kept.size()));
    struct stat st;
    if (::stat(QFile::encodeName(kept.first().path).constData(), &st) != 0 || (st.st_mode & 0777) != 0600)
        fail(QStringLiteral("the recovery file is not private"));
}

// What the folder must hold after a kill at any moment of mode, given the last
// line the writer printed.
void check(AppState &state, const QString &mode, const QString &last, Syncer *syncer)
{
    const QString integrity = one(state, QStringLiteral("PRAGMA integrity_check"));
    if (integrity != QLatin1String("ok"))
        fail(QStringLiteral("integrity_check: ") + integrity);
    QSqlQuery fk(state.database()->database());
    if (fk.exec(QStringLiteral("PRAGMA foreign_key_check")) && fk.next())
        fail(QStringLiteral("foreign_key_check: row of ") + fk.value(0).toString());
    const int kept = count(state, QStringLiteral("SELECT COUNT(*) FROM notes WHERE body LIKE '%kept-note-%' AND deleted_at IS NULL"));
    // "sound": no more than that, for a folder damaged archives were read into.
    if (mode == QLatin1String("sound"))
        return;
    if (mode != QLatin1String("restore") && kept < kKeep)
        fail(QStringLiteral("%1 of %2 kept notes left").arg(kept).arg(kKeep));
    const int n = lastNumber(last).toInt();
    if (mode == QLatin1String("type")) {
        const QString stored = one(state, QStringLiteral("SELECT body FROM notes WHERE body LIKE '%typed %'"));
        const QString words = stored.section(QLatin1String("typed "), 1).section(QLatin1Char('\\'), 0, 0);
        const int have = words.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
        if (have < n)
            fail(QStringLiteral("saved %1 words, %2 stored").arg(n).arg(have));
    } else if (mode == QLatin1String("bombs")) {
        const int rows = count(state, QStringLiteral("SELECT COUNT(*) FROM attachments"));
        if (last.startsWith(QLatin1String("bombs")) && rows < 128 * n)
            fail(QStringLiteral("%1 attachment rows after %2 rounds").arg(rows).arg(n));
        // Every record of a round shares one stored file per archive.
        QSet<quint64> inodes;
        for (const QFileInfo &file : QDir(Database::attachmentsDirectory()).entryInfoList(QDir::Files)) {
            struct stat st;
            if (::stat(QFile::encodeName(file.filePath()).constData(), &st) == 0)
                inodes.insert(quint64(st.st_ino));
        }
        if (inodes.size() > rows / 64 + 2)
            fail(QStringLiteral("%1 stored files for %2 attachment rows").arg(inodes.size()).arg(rows));
    } else if (mode == QLatin1String("notebook-delete")) {
        const int stranded = count(state, QStringLiteral(
            "SELECT COUNT(*) FROM notes WHERE deleted_at IS NULL AND notebook_id <> '' AND notebook_id NOT IN "
            "(SELECT id FROM notebooks WHERE deleted_at IS NULL)"));
        if (stranded > 0)
            fail(QStringLiteral("%1 notes in a deleted notebook").arg(stranded));
    } else if (mode == QLatin1String("empty-trash")) {
        const int rows = count(state, QStringLiteral("SELECT COUNT(*) FROM attachments"));
        int missing = 0;
        QSqlQuery q(state.database()->database());
        q.exec(QStringLiteral("SELECT id FROM attachments"));
        while (q.next())
            missing += QFile::exists(AttachmentRepository::filePath(q.value(0).toString())) ? 0 : 1;
        if (missing > 0)
            fail(QStringLiteral("%1 of %2 attachment rows without their file").arg(missing).arg(rows));
    } else if (mode == QLatin1String("import")) {
        const int imported = count(state, QStringLiteral("SELECT COUNT(*) FROM notes WHERE body LIKE '%Imported %'"));
        if (imported % kBatch != 0)
            fail(QStringLiteral("a half import: %1 notes").arg(imported));
        if (last.startsWith(QLatin1String("imported")) && imported < n * kBatch)
            fail(QStringLiteral("%1 imports reported, %2 notes").arg(n).arg(imported));
    } else if (mode == QLatin1String("sync")) {
        if (last.startsWith(QLatin1String("wrote")) || last.startsWith(QLatin1String("synced"))) {
            const QString tag = lastNumber(last);
            if (count(state, QStringLiteral("SELECT COUNT(*) FROM notes WHERE body LIKE '%synced-note %1.%'").arg(tag)) != kSyncRound)
                fail(QStringLiteral("round %1 written but not all there").arg(tag));
        }
        // What the server acknowledged is still there, and one more cycle brings the rest.
        QStringList acknowledged;
        QSqlQuery q(state.database()->database());
        q.exec(QStringLiteral("SELECT id FROM notes WHERE sync_status = 'synced' AND body LIKE '%synced-note %'"));
        while (q.next())
            acknowledged << q.value(0).toString();
        const std::optional<QSet<QString>> before = syncer->serverIds();
        if (!before)
            fail(QStringLiteral("the server did not answer"));
        for (const QString &id : std::as_const(acknowledged)) {
            if (!before->contains(id))
                fail(QStringLiteral("note %1 acknowledged but not on the server").arg(id));
        }
        if (!syncer->sync() && !syncer->sync())
            fail(QStringLiteral("no sync completed after the kill"));
        const std::optional<QSet<QString>> after = syncer->serverIds();
        if (!after)
            fail(QStringLiteral("the server did not answer"));
        QSet<QString> local;
        q.exec(QStringLiteral("SELECT id, deleted_at IS NULL AND body LIKE '%synced-note %' FROM notes"));
        while (q.next()) {
            local.insert(q.value(0).toString());
            if (q.value(1).toBool() && !after->contains(q.value(0).toString()))
                fail(QStringLiteral("note %1 never reached the server").arg(q.value(0).toString()));
        }
        // Notes other devices wrote arrived, even those whose merge a kill cut short.
        for (const QString &id : *after) {
            if (!local.contains(id))
                fail(QStringLiteral("note %1 of the server never arrived").arg(id));
        }
    } else if (mode == QLatin1String("restore")) {
        const QString ids = state.preferences()->get(QStringLiteral("fault_backup_ids")).value_or(QString());
        const int backedUp = int(ids.count(QLatin1Char(','))) + 1;
        const QString where = QStringLiteral(" FROM notes WHERE deleted_at IS NULL AND id IN (%1)").arg(ids);
        const int live = ids.isEmpty() ? backedUp : count(state, QStringLiteral("SELECT COUNT(*)") + where);
        const int versions = ids.isEmpty() ? 1 : count(state, QStringLiteral("SELECT COUNT(DISTINCT body)") + where);
        if (live != backedUp)
            fail(QStringLiteral("%1 of the %2 backed up notes left").arg(live).arg(backedUp));
        // The backup's bodies are all distinct and a round's edit gives every
        // note the same one: anything between is a restore half applied.
        if (versions != live && versions != 1)
            fail(QStringLiteral("a half restore: %1 distinct bodies").arg(versions));
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    if (argc == 2 && qstrcmp(argv[1], "sigterm") == 0)
        return runSigterm(argc, argv);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        fail(QStringLiteral("usage: velmora-faults run|check|once MODE [LAST] [ARCHIVE]"));
    const QString command = args.at(1), mode = args.at(2);
    AppState state;
    if (!state.initialize())
        fail(QStringLiteral("the database did not open"));
    Syncer syncer(state);
    if (command == QLatin1String("check") && mode == QLatin1String("recovery")) {
        checkRecovery();
        say(QStringLiteral("sound"));
        return 0;
    }
    if (command == QLatin1String("check")) {
        check(state, mode, args.value(3), &syncer);
        say(QStringLiteral("sound"));
        return 0;
    }
    seed(state);
    const QString archive = args.value(3);
    if (mode == QLatin1String("restore") && !QFile::exists(archive)) {
        const BackupResult backup = createBackup(archive, stores(state));
        if (backup.failed)
            fail(QStringLiteral("backup failed: ") + backup.error);
        // Notes made later (the application's start check adds one) are no part of it.
        QStringList ids;
        for (const Note &note : state.notes()->allNotes())
            ids << QLatin1Char('\'') + note.id + QLatin1Char('\'');
        state.preferences()->set(QStringLiteral("fault_backup_ids"), ids.join(QLatin1Char(',')));
    }
    NoteSession session(&state);
    if (mode == QLatin1String("type")) {
        QString id = one(state, QStringLiteral("SELECT COALESCE(MAX(id), '') FROM notes WHERE body LIKE '%typed %'"));
        if (id.isEmpty()) {
            const Note note = newNote(QStringLiteral("typed"));
            state.notes()->insert(note);
            id = note.id;
        }
        session.setNote(id, state.notes()->noteById(id)->body);
    }
    const int rounds = command == QLatin1String("once") ? 1 : 1 << 30;
    for (int i = 1; i <= rounds; ++i) {
        round(state, mode, i, archive, &session, &syncer);
        app.processEvents();
    }
    return 0;
}
