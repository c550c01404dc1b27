#pragma once

#include <QString>

#include <atomic>
#include <memory>

class QMutex;
class QSqlDatabase;
class QThread;

// Copies the write-ahead log back into the database file on a thread of its
// own, through a connection of its own, in place of SQLite's automatic
// checkpoint, which runs inside the commit that crosses the log's threshold:
// after an import of thousands of notes that is the whole import copied and
// synced before the commit returns to the event loop. The checkpoint is
// passive: it never waits for the writer nor holds it up, and what it cannot
// copy yet the next one does. Once the whole log is copied and nothing reads
// it, it also cuts the log file back (kKeptLogBytes): left to the commit that
// starts the log over, that cut runs on the writer's thread, and freeing a
// large file there took 50–150 ms of a sync on the GUI thread. The cut holds
// the writer lock for its length, so it is made only while lock is free.
// Attach to the connection once it is open.
class LogCheckpointer final
{
public:
    static constexpr qint64 kKeptLogBytes = 1048576;

    LogCheckpointer(const QString &path, std::shared_ptr<QMutex> lock);
    ~LogCheckpointer(); // waits for a checkpoint under way

    LogCheckpointer(const LogCheckpointer &) = delete;
    LogCheckpointer &operator=(const LogCheckpointer &) = delete;

    // Installs the commit hook on the open connection; false when the driver gives no handle.
    bool attach(void *sqliteHandle);
    // Waits until no checkpoint runs; for tests and for closing the connection.
    void wait();
    int checkpointsStarted() const { return m_started; }
    // Frames in the log after a commit from which a checkpoint starts (SQLite's own threshold by default).
    void setFrames(int frames) { m_frames = frames; }

private:
    void afterCommit(int frames);
    void run();
    void cutLog(const QSqlDatabase &db);

    QString m_path;
    std::shared_ptr<QMutex> m_lock;
    std::unique_ptr<QThread> m_thread;
    std::atomic_bool m_running{false};
    int m_started = 0;
    int m_frames = 1000;
};
