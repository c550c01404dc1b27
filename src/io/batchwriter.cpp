#include "batchwriter.h"

#include "attachmentrepository.h"
#include "database.h"
#include "disksync.h"
#include "iolog.h"
#include "noterepository.h"
#include "notebookrepository.h"
#include "snapshotrepository.h"
#include "storagehealth.h"

#include <QFile>
#include <QSqlError>


BatchWriter::BatchWriter(const IoRepositories &repositories, std::optional<RestoreMode> mode)
    : m_repositories(repositories)
    , m_mode(mode)
{
}

BatchWriter::~BatchWriter()
{
    if (m_open)
        rollback();
}

bool BatchWriter::begin()
{
    if (!m_repositories.database || !m_repositories.notes || !m_repositories.notebooks) {
        m_error = QStringLiteral("no database");
        return false;
    }
    if (!m_repositories.database->beginImmediate()) {
        m_error = m_repositories.database->database().lastError().text();
        if (m_error.isEmpty())
            m_error = QStringLiteral("the database is busy");
        return false;
    }
    m_open = true;
    m_cache.emplace(m_repositories.database->database());
    m_notes = std::make_unique<NoteBulkWriter>(m_repositories.database);
    m_blockNotes.emplace(m_repositories.notes);
    m_blockNotebooks.emplace(m_repositories.notebooks);
    if (m_repositories.attachments)
        m_blockAttachments.emplace(m_repositories.attachments);
    return true;
}

void BatchWriter::write(const WriteBatch &batch)
{
    m_files += batch.createdFiles;
    if (!m_open)
        return;
    for (const Notebook &notebook : batch.notebooks)
        writeNotebook(notebook);
    for (const PreparedNote &note : batch.notes)
        writeNote(note);
    for (const Attachment &attachment : batch.attachments)
        writeAttachment(attachment);
    for (const Snapshot &snapshot : batch.snapshots)
        writeSnapshot(snapshot);
}

void BatchWriter::writeNotebook(const Notebook &notebook)
{
    RestoreAction action = RestoreAction::Insert;
    if (m_mode) {
        const std::optional<Notebook> stored = m_repositories.notebooks->notebookById(notebook.id);
        action = RestorePlan::decide(*m_mode, stored ? std::optional<QDateTime>(stored->updatedAt) : std::nullopt,
                                     notebook.updatedAt);
    }
    bool ok = true;
    if (action == RestoreAction::Insert)
        ok = m_repositories.notebooks->insert(notebook);
    else if (action == RestoreAction::Overwrite)
        ok = m_repositories.notebooks->update(notebook);
    else
        ++m_counts.skipped;
    if (action == RestoreAction::Keep)
        return;
    ok ? ++m_counts.notebooks : ++m_counts.errors;
}

void BatchWriter::writeNote(const PreparedNote &prepared)
{
    const RestoreAction action = m_mode ? RestorePlan::decide(*m_mode, m_notes->stored(prepared.note.id), prepared.note)
                                        : RestoreAction::Insert;
    const auto text = [&] { return prepared.text ? *prepared.text : m_repositories.database->noteText(prepared.note.body); };
    bool ok = true;
    switch (action) {
    case RestoreAction::Insert: ok = m_notes->insert(prepared.note, text()); break;
    case RestoreAction::Overwrite: ok = m_notes->update(prepared.note, text()); break;
    case RestoreAction::Unchanged: break;
    case RestoreAction::Keep: ++m_counts.skipped; return;
    }
    ok ? ++m_counts.notes : ++m_counts.errors;
}

void BatchWriter::writeAttachment(const Attachment &attachment)
{
    AttachmentRepository *attachments = m_repositories.attachments;
    if (!attachments)
        return;
    // Attachment rows never change after insertion, so a restore keeps an existing one.
    if (m_mode && attachments->attachmentById(attachment.id))
        return;
    // A row without its file would show a chip that can never open nor upload.
    if (!QFile::exists(attachments->filePath(attachment.id))) {
        ++m_counts.errors;
        return;
    }
    attachments->insert(attachment) ? ++m_counts.attachments : ++m_counts.errors;
}

void BatchWriter::writeSnapshot(const Snapshot &snapshot)
{
    SnapshotRepository *snapshots = m_repositories.snapshots;
    if (!snapshots)
        return;
    // A note has one snapshot per version, whatever its id.
    std::optional<Snapshot> stored = snapshots->snapshotById(snapshot.id);
    if (!stored) {
        for (const Snapshot &s : snapshots->snapshotsForNote(snapshot.noteId)) {
            if (s.version == snapshot.version)
                stored = s;
        }
    }
    const RestoreAction action = RestorePlan::decide(m_mode.value_or(RestoreMode::SkipExisting),
                                                     stored ? std::optional<QDateTime>(stored->createdAt) : std::nullopt,
                                                     snapshot.createdAt);
    if (action == RestoreAction::Keep)
        return;
    snapshots->insert(snapshot) ? ++m_counts.snapshots : ++m_counts.errors;
}

bool BatchWriter::commit()
{
    if (!m_open)
        return false;
    if (!DiskSync::files(m_files)) {
        // Rows naming files that may not survive a crash are not committed.
        m_error = QStringLiteral("attachment files cannot be synced to disk");
        rollback();
        return false;
    }
    QSqlDatabase db = m_repositories.database->database();
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        StorageHealth::reportFailure(error, QStringLiteral("COMMIT"));
        m_error = error.text();
        rollback();
        return false;
    }
    end(true);
    return true;
}

void BatchWriter::rollback()
{
    if (m_open)
        m_repositories.database->database().rollback();
    for (const QString &path : std::as_const(m_files))
        QFile::remove(path);
    m_files.clear();
    end(false);
}

void BatchWriter::end(bool committed)
{
    m_open = false;
    m_notes.reset();
    m_cache.reset();
    m_blockNotes.reset();
    m_blockNotebooks.reset();
    m_blockAttachments.reset();
    if (committed)
        announce(m_repositories, m_counts);
}

void BatchWriter::announce(const IoRepositories &repositories, const Counts &counts)
{
    // Notebooks first, so a list that reacts to notes finds their notebooks.
    if (counts.notebooks > 0)
        emit repositories.notebooks->notebooksChanged();
    if (counts.notes > 0)
        emit repositories.notes->notesChanged();
    if (counts.attachments > 0 && repositories.attachments)
        emit repositories.attachments->attachmentsChanged();
}
