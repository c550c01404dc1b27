#pragma once

#include "note.h"
#include "noterepository.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>

class Database;
class SyncCycle;
class SyncRefusals;
namespace VelmAccount {
class ApiClient;
}

// The note push of a sync cycle: pending notes and the deletions of purged
// ones in bounded batches, sized from the bodies' stored lengths and read one
// batch at a time, each request written out on a worker; the replies are
// written in slices. A batch the server finds too large is halved; a note
// refused for good is remembered as refused. Also the Force Full Resync
// marking, in slices. Each phase ends with SyncCycle::phaseDone.
class NotePusher
{
    Q_DECLARE_TR_FUNCTIONS(NotePusher)
public:
    static constexpr int maxNotesPerPush = 200;
    static constexpr qsizetype maxBytesPerPush = 8 * 1024 * 1024;

    // None of the pointers is owned; all must outlive this.
    NotePusher(VelmAccount::ApiClient *api, Database *database, NoteRepository *notes, SyncRefusals *refusals,
               SyncCycle *cycle);

    void push();
    // The next cycle marks every note pending again before it pushes.
    void requestMarkAll();
    bool marksAll() const { return m_markAll; }
    void markAll();
    // The notes the last marking marked.
    int marked() const { return m_marked; }
    // Forgets the batches of the phase running (a cancel): their notes stay pending.
    void clear();

private:
    struct PushBatch
    {
        QList<QJsonObject> changes;
        QHash<QString, Note> sent; // by id; deletions are absent
    };
    // A push reply being written, slice by slice.
    struct Pushed
    {
        PushBatch batch;
        QJsonArray results;
        qsizetype next = 0;
    };
    // Marking rewrites each row with its body (the status grows by a byte):
    // a few at a time, so one statement stays well inside a slice.
    static constexpr int kMarkPerSlice = 20;

    // The JSON of a push request: pure, run on a worker.
    static QByteArray pushRequest(const QList<QJsonObject> &changes);
    // Adds to m_building the next pending notes after m_pushAfter, sized from
    // their stored lengths, then deletions; false when its time ran out first.
    bool fillBatch();
    void pushNext();
    void send(const PushBatch &batch, const QByteArray &request);
    void applySlice();
    void applyResult(const PushBatch &batch, const QJsonObject &result);

    VelmAccount::ApiClient *m_api;
    Database *m_database;
    NoteRepository *m_notes;
    SyncRefusals *m_refusals;
    SyncCycle *m_cycle;
    Pushed m_pushed;
    PushBatch m_building;
    qsizetype m_buildingBytes = 0;
    bool m_markAll = false;
    int m_marked = 0;
    qint64 m_markAfter = 0;
    QList<PushBatch> m_queue;    // halves of a batch the server found too large
    qint64 m_pushAfter = 0;      // rowid of the last pending note batched
    QList<PendingDeletion> m_deletions;
    int m_total = 0;
    int m_done = 0;
};
