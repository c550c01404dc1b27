#pragma once

#include "notetext.h"

#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <memory>

class Database;
class QThread;
class QTimer;

// Fills, after start-up and away from the GUI thread, the texts a migration
// left pending (BodyBackfill), through a connection of its own to the file.
// Each batch is one short write transaction, so another writer waits at most
// that long; while an import or restore holds the write lock it waits.
// Quitting mid-way is safe: what was not written stays pending for the next
// start.
class NoteTextFill final : public QObject
{
    Q_OBJECT
public:
    explicit NoteTextFill(Database *database, QObject *parent = nullptr);
    ~NoteTextFill() override; // stops after the batch in hand and waits

    // Starts when notes are pending; false when none is (or the database is read-only).
    bool start();
    void stop();
    bool isRunning() const { return m_running; }

    static constexpr int kBatchSize = 48;
    // Lists refresh at most this often while it runs.
    static constexpr int kNotifyIntervalMs = 1000;

signals:
    // Texts were committed: after some batches (see kNotifyIntervalMs) and once at the end.
    void textsWritten();
    void runningChanged(bool running);
    // From the worker, queued to this object's thread.
    void batchCommitted(int written);

private:
    void run(const QString &path, const NoteTextExtractor &extract);
    void notify();
    void finish();

    Database *m_database;
    std::unique_ptr<QThread> m_thread;
    std::atomic_bool m_stop{false};
    std::atomic_bool m_paused{false};
    bool m_running = false;
    QTimer *m_throttle;
    QElapsedTimer m_sinceNotified;
    qint64 m_written = 0;
    QElapsedTimer m_elapsed;
};
