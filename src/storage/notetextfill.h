#pragma once

#include "notetext.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSemaphore>

#include <atomic>
#include <memory>

class Database;
class QMutex;
class QThread;
class QTimer;

// Fills, away from the GUI thread, the texts a migration left pending and
// the search rows sync merges listed (BodyBackfill), through a connection of
// its own to the file. Each batch is one short write transaction under the
// database's fillLock, so another writer waits at most that long and a sync
// slice need not wait at all; while an import or restore holds the write
// lock it waits. Quitting mid-way is safe: what was not written stays
// pending for the next start.
class NoteTextFill final : public QObject
{
    Q_OBJECT
public:
    explicit NoteTextFill(Database *database, QObject *parent = nullptr);
    ~NoteTextFill() override; // stops after the batch in hand and waits

    // Starts when notes are pending; false when none is (or the database is read-only).
    bool start();
    // Notes were listed since: starts, or has the run in hand read again before it ends.
    void kick();
    void stop();
    // A run the screens say is building the index: one that began with more
    // than a batch pending or has lasted kShownAfterMs. A sync's few notes
    // are filled without a word.
    bool isRunning() const { return m_shown; }

    static constexpr int kBatchSize = 48;
    static constexpr int kShownAfterMs = 500;
    // A run waits this long for more before it ends: a sync lists notes a
    // slice at a time, and each run opens a connection of its own.
    static constexpr int kLingerMs = 3000;
    // Lists refresh at most this often while it runs.
    static constexpr int kNotifyIntervalMs = 1000;

signals:
    // Texts were committed: after some batches (see kNotifyIntervalMs) and once at the end.
    void textsWritten();
    // isRunning() changed.
    void runningChanged(bool running);
    // From the worker, queued to this object's thread.
    void batchCommitted(int written);
    void drained(); // nothing pending: it waits kLingerMs for more

private:
    void run(const QString &path, const NoteTextExtractor &extract, const std::shared_ptr<QMutex> &lock);
    void notify();
    void finish();
    void show();
    void idle();

    Database *m_database;
    std::unique_ptr<QThread> m_thread;
    std::atomic_bool m_stop{false};
    std::atomic_bool m_paused{false};
    std::atomic_bool m_again{false};
    QSemaphore m_wake;
    bool m_running = false;
    bool m_shown = false;
    QTimer *m_throttle;
    QTimer *m_showTimer;
    QElapsedTimer m_sinceNotified;
    qint64 m_written = 0;
    QElapsedTimer m_elapsed;
};
