#pragma once

// One installation of the application for sync tests and benchmarks: its own
// data folder, database, repositories, session and sync engine. Attachment
// files live under the data folder the environment names, so each device
// points it at its own folder before it runs.

#include "apiclient.h"
#include "attachmentrepository.h"
#include "database.h"
#include "memorytokenstore.h"
#include "notebookrepository.h"
#include "notetextfill.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "syncengine.h"
#include "tokenmanager.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <memory>

namespace VelmSyncTest {

inline QString textBody(const QString &text)
{
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

struct Device
{
    // seed: a database file this installation starts from (a copy of another's).
    Device(int port, const QString &access, const QString &refresh, const QString &seed = {})
    {
        use();
        if (!seed.isEmpty() && !QFile::copy(seed, dir.filePath(QStringLiteral("notes.db"))))
            qFatal("could not copy the seed database");
        database.open(dir.filePath(QStringLiteral("notes.db")));
        database.migrate();
        tokens.setTokens(access, refresh);
        api.setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/notes/v1").arg(port)));
        // Every request the engine sends, as "VERB path?query".
        QObject::connect(api.findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished, &api,
                         [this](QNetworkReply *reply) {
                             static const char *const verbs[] = {"", "HEAD", "GET", "PUT", "POST", "DELETE", "CUSTOM"};
                             requests << QLatin1String(verbs[reply->operation()]) + ' '
                                     + reply->url().toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).mid(9);
                         });
        newEngine();
    }

    void use() const { qputenv("NOTES_DATA_DIR", dir.path().toUtf8()); }
    void newEngine()
    {
        engine = std::make_unique<SyncEngine>(&api, &database, &notes, &notebooks, &attachments, &preferences);
    }

    // Runs one cycle to its end; true when it completed.
    bool sync()
    {
        use();
        QEventLoop loop;
        bool completed = false;
        QObject::connect(engine.get(), &SyncEngine::syncCompleted, &loop, [&] {
            completed = true;
            loop.quit();
        });
        QObject::connect(engine.get(), &SyncEngine::syncFailed, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        engine->syncNow();
        loop.exec();
        return completed;
    }

    Note addNote(const QString &text, const QString &notebookId = {})
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.notebookId = notebookId;
        note.body = textBody(text);
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        notes.insert(note);
        return note;
    }
    Notebook addNotebook(const QString &name)
    {
        Notebook notebook;
        notebook.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        notebook.name = name;
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        notebooks.insert(notebook);
        return notebook;
    }
    Attachment addAttachment(const QString &noteId, const QString &filename, const QByteArray &bytes)
    {
        Attachment attachment;
        attachment.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        attachment.noteId = noteId;
        attachment.filename = filename;
        attachment.mimeType = QStringLiteral("application/octet-stream");
        attachment.sizeBytes = bytes.size();
        attachment.createdAt = QDateTime::currentDateTimeUtc();
        use();
        if (!attachments.saveFile(attachment.id, bytes) || !attachments.insert(attachment))
            qFatal("could not store an attachment");
        return attachment;
    }
    // A local save: new body, one version up, pending.
    void edit(const QString &id, const QString &text)
    {
        Note note = *notes.noteById(id);
        note.body = textBody(text);
        note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        note.version += 1;
        note.syncStatus = SyncStatus::Pending;
        notes.update(note);
    }
    QStringList liveTexts() const
    {
        QStringList texts;
        for (const Note &note : notes.allNotes())
            texts << note.body;
        texts.sort();
        return texts;
    }

    QTemporaryDir dir;
    Database database;
    NoteRepository notes{&database};
    NotebookRepository notebooks{&database};
    AttachmentRepository attachments{&database};
    PreferencesRepository preferences{&database};
    // Writes the search rows of pulled notes, as in the application.
    NoteTextFill fill{&database};
    VelmAccount::TokenManager tokens{std::make_unique<VelmAccount::MemoryTokenStore>()};
    VelmAccount::ApiClient api{&tokens};
    std::unique_ptr<SyncEngine> engine;
    QStringList requests;
};

} // namespace VelmSyncTest
