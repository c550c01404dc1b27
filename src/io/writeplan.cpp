#include "writeplan.h"

#include <QFile>

WritePlan::WritePlan(PlanChannel *channel)
    : m_channel(channel)
{
}

WritePlan::~WritePlan()
{
    for (const QString &path : std::as_const(m_batch.createdFiles))
        QFile::remove(path);
}

void WritePlan::addNotebook(const Notebook &notebook)
{
    m_batch.notebooks.append(notebook);
    flushWhenFull();
}

void WritePlan::addNote(const Note &note)
{
    m_chars += note.body.size();
    m_batch.notes.append({note, std::nullopt});
    flushWhenFull();
}

void WritePlan::addAttachment(const Attachment &attachment)
{
    m_batch.attachments.append(attachment);
    flushWhenFull();
}

void WritePlan::addSnapshot(const Snapshot &snapshot)
{
    m_chars += snapshot.body.size();
    m_batch.snapshots.append(snapshot);
    flushWhenFull();
}

void WritePlan::addCreatedFile(const QString &path)
{
    m_batch.createdFiles.append(path);
}

void WritePlan::report(int current, int total, const QString &label)
{
    m_batch.current = current;
    m_batch.total = total;
    m_batch.label = label;
    // Small jobs show every item; large ones often enough to move the bar.
    const bool due = (total > 0 && (total <= 200 || current >= total)) || !m_sinceReport.isValid()
        || m_sinceReport.elapsed() >= 50;
    if (!due)
        return;
    m_channel->progress(current, total, label);
    m_sinceReport.start();
}

void WritePlan::flushWhenFull()
{
    if (m_batch.rows() >= kBatchRows || m_chars >= kBatchChars)
        flush();
}

bool WritePlan::flush()
{
    if (m_stopped || m_channel->cancelled()) {
        m_stopped = true;
        return false;
    }
    if (m_batch.rows() == 0 && m_batch.createdFiles.isEmpty())
        return true;
    WriteBatch batch;
    batch.current = m_batch.current;
    batch.total = m_batch.total;
    batch.label = m_batch.label;
    std::swap(batch, m_batch);
    m_chars = 0;
    if (!m_channel->deliver(std::move(batch)))
        m_stopped = true;
    return !m_stopped;
}
