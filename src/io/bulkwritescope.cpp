#include "bulkwritescope.h"

#include "attachmentrepository.h"
#include "database.h"
#include "disksync.h"
#include "iolog.h"
#include "storagehealth.h"
#include "noterepository.h"
#include "notebookrepository.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>


BulkWriteScope::BulkWriteScope(const IoRepositories &repositories, ProgressCallback progress)
    : m_repositories(repositories)
    , m_progress(std::move(progress))
{
    if (m_repositories.notes)
        m_blockNotes.emplace(m_repositories.notes);
    if (m_repositories.notebooks)
        m_blockNotebooks.emplace(m_repositories.notebooks);
    if (m_repositories.attachments)
        m_blockAttachments.emplace(m_repositories.attachments);
    begin();
}

BulkWriteScope::~BulkWriteScope()
{
    commit();
    m_blockNotes.reset();
    m_blockNotebooks.reset();
    m_blockAttachments.reset();
    // Notebooks first, so a list that reacts to notes finds their notebooks.
    if (m_notebooks && m_repositories.notebooks)
        emit m_repositories.notebooks->notebooksChanged();
    if (m_notes && m_repositories.notes)
        emit m_repositories.notes->notesChanged();
    if (m_attachments && m_repositories.attachments)
        emit m_repositories.attachments->attachmentsChanged();
}

void BulkWriteScope::report(int current, int total, const QString &label)
{
    if (!m_progress)
        return;
    const bool due = total <= 200 || current <= 1 || current >= total || !m_sinceReport.isValid()
        || m_sinceReport.elapsed() >= 50;
    if (!due)
        return;
    commit();
    m_progress(current, total, label);
    m_sinceReport.start();
    begin();
}

void BulkWriteScope::countOnCommit(int *counter)
{
    if (m_inTransaction && StorageHealth::diskFullFailures() != m_diskFullAtBegin && batchWasRolledBack()) {
        // The row just written stood alone and is stored; the batch before it is not.
        ++*counter;
        return;
    }
    if (m_inTransaction)
        m_pendingCounts.append(counter);
    else
        ++*counter;
}

// SQLite may end a transaction that a full disk broke: the rows of the batch
// are gone, and later rows are committed one by one. A BEGIN succeeds only
// then; it starts the next batch at once.
bool BulkWriteScope::batchWasRolledBack()
{
    m_diskFullAtBegin = StorageHealth::diskFullFailures();
    QSqlQuery probe(m_repositories.database->database());
    if (!probe.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    m_lostRows += int(m_pendingCounts.size());
    if (m_commitError.isEmpty())
        m_commitError = QStringLiteral("database or disk is full");
    qCWarning(lcIo) << "Bulk write: a full disk rolled back" << m_pendingCounts.size() << "rows";
    for (const QString &path : std::as_const(m_pendingFiles))
        QFile::remove(path);
    m_pendingCounts.clear();
    m_pendingFiles.clear();
    return true;
}

void BulkWriteScope::removeOnRollback(const QString &path)
{
    if (m_inTransaction)
        m_pendingFiles.append(path);
}

void BulkWriteScope::finish()
{
    commit();
    m_finished = true;
}

void BulkWriteScope::begin()
{
    if (!m_repositories.database || m_inTransaction || m_finished)
        return;
    // When someone else's transaction is open the rows simply join it.
    m_inTransaction = m_repositories.database->beginImmediate();
    m_diskFullAtBegin = StorageHealth::diskFullFailures();
}

void BulkWriteScope::commit()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    QSqlDatabase db = m_repositories.database->database();
    if (!DiskSync::files(m_pendingFiles)) {
        // Rows naming files that may not survive a crash are not committed.
        m_commitError = QStringLiteral("attachment files cannot be synced to disk");
        m_lostRows += int(m_pendingCounts.size());
        qCWarning(lcIo) << "Bulk write:" << m_commitError << "-" << m_pendingCounts.size() << "rows lost";
        db.rollback();
        for (const QString &path : std::as_const(m_pendingFiles))
            QFile::remove(path);
    } else if (db.commit()) {
        for (int *counter : std::as_const(m_pendingCounts))
            ++*counter;
    } else {
        const QSqlError error = db.lastError();
        StorageHealth::reportFailure(error, QStringLiteral("COMMIT"));
        m_commitError = error.text();
        m_lostRows += int(m_pendingCounts.size());
        qCWarning(lcIo) << "Bulk write commit failed:" << m_commitError << "-" << m_pendingCounts.size() << "rows lost";
        db.rollback();
        for (const QString &path : std::as_const(m_pendingFiles))
            QFile::remove(path);
    }
    m_pendingCounts.clear();
    m_pendingFiles.clear();
}
