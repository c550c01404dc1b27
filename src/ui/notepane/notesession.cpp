#include "notesession.h"

#include "database.h"

#include "appstate.h"
#include "attachmentrepository.h"
#include "delta.h"
#include "htmlwriter.h"
#include "noteedits.h"
#include "noterepository.h"
#include "printabledocument.h"
#include "syncrecords.h"
#include "uilog.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QMimeData>
#include <QPrinter>
#include <QTextDocument>
#include <QTimer>

#include <memory>

namespace {
// Larger pictures are left out of a copy rather than put on the clipboard whole.
constexpr qint64 kMaxCopiedPictureBytes = 16 * 1024 * 1024;
} // namespace

NoteSession::NoteSession(AppState *state, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_printDocument([](const QTextDocument &document, QPrinter *printer) { document.print(printer); })
    , m_autoSnapshotTimer(new QTimer(this))
{
    m_uptime.start();
    m_clock = [this] { return m_uptime.elapsed(); };
    m_autoSnapshotTimer->setSingleShot(true);
    connect(m_autoSnapshotTimer, &QTimer::timeout, this, &NoteSession::takeAutoSnapshotIfDue);
}

void NoteSession::setNote(const QString &noteId, const QString &loadedBody)
{
    m_noteId = noteId;
    m_lastSnapshotContent = loadedBody;
    m_storedBody = loadedBody;
    m_autoSnapshotTimer->stop();
    m_lastEditAt = -1;
    m_lastSnapshotAt = m_clock();
}

void NoteSession::clear()
{
    setNote(QString(), QString());
}

std::optional<Note> NoteSession::note() const
{
    if (!m_state || m_noteId.isEmpty())
        return std::nullopt;
    return m_state->notes()->noteById(m_noteId);
}

QString NoteSession::displayTitle() const
{
    const std::optional<Note> stored = note();
    const QString title = stored ? noteTitle(stored->body) : QString();
    return title.isEmpty() ? QCoreApplication::translate("NoteSession", "Untitled") : title;
}

NoteSession::SaveResult NoteSession::save(const QString &body)
{
    const std::optional<Note> stored = note();
    if (!stored)
        return SaveResult::Unchanged;
    if (body == stored->body)
        return SaveResult::Unchanged;
    // An import's own connection holds the write lock until it ends: the
    // autosave retries then rather than fail as busy.
    if (m_state->database()->bulkJobRunning())
        return SaveResult::Failed;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const Note edited = noteWithEditedBody(*stored, body, now);
    switch (m_state->notes()->updateIfBodyIs(edited, m_storedBody)) {
    case NoteRepository::WriteResult::Written:
        m_storedBody = body;
        m_lastEditAt = m_clock();
        if (!takeAutoSnapshotIfDue())
            m_autoSnapshotTimer->start(int(kAutoSnapshotPauseMs));
        return SaveResult::Saved;
    case NoteRepository::WriteResult::Failed:
        qCWarning(lcUi) << "NoteSession: the note" << m_noteId << "could not be saved";
        return SaveResult::Failed;
    case NoteRepository::WriteResult::RowChanged:
        break;
    }
    // Someone else's text replaced what this editor loaded: both stay.
    const Note copy = VelmSync::conflictCopy(edited, now);
    if (!m_state->notes()->insert(copy)) {
        qCWarning(lcUi) << "NoteSession: the conflict copy of" << m_noteId << "could not be stored";
        return SaveResult::Failed;
    }
    qCWarning(lcUi) << "note conflict" << m_noteId << "editor text kept as" << copy.id;
    m_storedBody = m_state->notes()->noteById(m_noteId).value_or(*stored).body;
    m_conflictCopyId = copy.id;
    return SaveResult::Conflict;
}

bool NoteSession::saveSnapshot(const QString &body, bool readOnly)
{
    if (!m_state || !snapshotWanted(!m_noteId.isEmpty(), readOnly, m_lastSnapshotContent, body))
        return false;
    const std::optional<Note> stored = note();
    if (!takeSnapshot(m_state->snapshots(), m_noteId, stored ? stored->version : 1, body))
        return false;
    m_lastSnapshotContent = body;
    m_lastSnapshotAt = m_clock();
    return true;
}

bool NoteSession::snapshotNow(const QString &body)
{
    const std::optional<Note> stored = note();
    if (!stored || !takeSnapshot(m_state->snapshots(), m_noteId, stored->version, body)) {
        qCWarning(lcUi) << "NoteSession: no snapshot of the note" << m_noteId << "could be stored";
        return false;
    }
    m_lastSnapshotContent = body;
    m_lastSnapshotAt = m_clock();
    return true;
}

bool NoteSession::takeAutoSnapshotIfDue()
{
    // An import's own connection holds the write lock: the snapshot is taken after it.
    if (m_state && m_state->database()->bulkJobRunning()) {
        m_autoSnapshotTimer->start(int(kAutoSnapshotPauseMs));
        return false;
    }
    const qint64 now = m_clock();
    if (m_lastEditAt < 0
        || (now - m_lastEditAt < kAutoSnapshotPauseMs && now - m_lastSnapshotAt < kAutoSnapshotLongestMs))
        return false;
    m_autoSnapshotTimer->stop();
    m_lastEditAt = -1;
    m_lastSnapshotAt = now;
    // The stored body: what the editor shows may not be written yet.
    return saveSnapshot(m_storedBody, false);
}

QMimeData *NoteSession::copyAs(ExportFormat format, const QString &plainText, const QString &fallbackBody) const
{
    auto *data = new QMimeData;
    if (format == ExportFormat::PlainText) {
        data->setText(plainText);
        return data;
    }
    const std::optional<Note> stored = note();
    const QString body = stored ? stored->body : fallbackBody;
    if (format == ExportFormat::Html) {
        // Pasted elsewhere, lists and check boxes keep their shape, and
        // pictures travel inside the HTML: no file of ours is reachable there.
        const QJsonDocument parsed = parseJsonText(body);
        HtmlWriter writer;
        if (const AttachmentRepository *attachments = m_state ? m_state->attachments() : nullptr) {
            writer.setAttachmentResolver([attachments](const QString &id) -> std::optional<HtmlWriter::Attachment> {
                const std::optional<Attachment> record = attachments->attachmentById(id);
                if (!record || !record->mimeType.startsWith(QLatin1String("image/"))
                    || record->sizeBytes > kMaxCopiedPictureBytes)
                    return std::nullopt;
                const QByteArray bytes = attachments->readFile(id);
                if (bytes.isEmpty()) {
                    qCWarning(lcUi) << "picture not copied, its file could not be read" << id;
                    return std::nullopt;
                }
                return HtmlWriter::Attachment{QStringLiteral("data:%1;base64,").arg(record->mimeType)
                                                  + QString::fromLatin1(bytes.toBase64()),
                                              record->filename, true, 0};
            });
        }
        data->setHtml(parsed.isArray() ? writer.write(parsed.array()) : convertBody(body, ExportFormat::Html));
    }
    data->setText(convertBody(body, ExportFormat::Markdown));
    return data;
}

bool NoteSession::moveToNotebook(const QString &notebookId)
{
    return m_state && !m_noteId.isEmpty() && m_state->notes()->moveToNotebook(m_noteId, notebookId);
}

bool NoteSession::moveToTrash()
{
    return m_state && !m_noteId.isEmpty() && m_state->notes()->softDelete(m_noteId);
}

void NoteSession::print(const QString &body, QPrinter *printer) const
{
    const std::unique_ptr<QTextDocument> document =
        printableDocument(body, m_state ? m_state->attachments() : nullptr);
    m_printDocument(*document, printer);
}
