#pragma once

#include "writebatch.h"

#include <QElapsedTimer>

#include <functional>

// Where a plan's batches go: the writer, on the thread that plans them.
class PlanChannel
{
public:
    virtual ~PlanChannel() = default;
    // False when the job was cancelled: the batch is dropped, its files removed.
    virtual bool deliver(WriteBatch &&batch) = 0;
    virtual void progress(int current, int total, const QString &label) = 0;
    virtual bool cancelled() const = 0;
};

// What an import or restore will write, gathered on its worker and handed
// on to the writer in small batches.
class WritePlan final
{
public:
    explicit WritePlan(PlanChannel *channel);
    ~WritePlan(); // removes the files of a batch never delivered

    WritePlan(const WritePlan &) = delete;
    WritePlan &operator=(const WritePlan &) = delete;

    void addNotebook(const Notebook &notebook);
    void addNote(const Note &note);
    void addAttachment(const Attachment &attachment);
    void addSnapshot(const Snapshot &snapshot);
    // A file placed in the attachment store for a row of this plan.
    void addCreatedFile(const QString &path);

    // Where the job stands; passed on for every item of a job of 200 or
    // fewer, else at most every 50 ms and at the end.
    void report(int current, int total, const QString &label);
    // Hands on the open batch; false once the job is cancelled.
    bool flush();
    bool cancelled() const { return m_channel->cancelled(); }

    // Rows or text per batch: what is held in memory between planning and
    // writing, and how often progress and Cancel are looked at.
    static constexpr int kBatchRows = 25;
    static constexpr qsizetype kBatchChars = 128 * 1024;

private:
    void flushWhenFull();

    PlanChannel *m_channel;
    WriteBatch m_batch;
    qsizetype m_chars = 0;
    bool m_stopped = false;
    QElapsedTimer m_sinceReport;
};
