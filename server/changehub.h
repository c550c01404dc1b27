#pragma once

#include <QHash>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace VelmServer {

class Db;

// Wakes the open change feeds of a user when that user's pull cursor moves.
// Moves are published by the writer after commit (SQLite, this process) or
// arrive as PostgreSQL notifications from every server process on the
// database. One thread of its own reads them and answers the feeds' session
// and cursor look-ups on its own connection, so a parked feed holds no
// database connection. Thread-safe.
class ChangeHub
{
public:
    enum class Admission { Open, UserFull, ServerFull, Closed };
    struct Lookup
    {
        int status = 503; // 200, 401 (session gone) or 503
        qint64 cursor = 0;
    };

    ChangeHub(Db &db, int feedsPerUser, int feedsMax);
    ~ChangeHub();
    ChangeHub(const ChangeHub &) = delete;
    ChangeHub &operator=(const ChangeHub &) = delete;

    // Starts the thread (and on PostgreSQL its listening connection).
    bool start(QString *error);
    // Ends every wait and refuses new feeds; stop() then ends the thread.
    void close();
    void stop();

    // The user's cursor reached stamp.
    void publish(const QString &userId, qint64 stamp);

    // A feed of the user begins; each Open is followed by one leave().
    Admission enter(const QString &userId);
    void leave(const QString &userId);
    // The session's state and the user's committed cursor.
    Lookup lookup(const QString &sessionId, const QString &userId);
    // Until the user's cursor passes since, hold runs out, the hub closes or
    // the notifications were interrupted; the cursor known then.
    qint64 wait(const QString &userId, qint64 since, std::chrono::milliseconds hold);
    int openFeeds() const;

private:
    struct Watch
    {
        std::condition_variable moved;
        int feeds = 0;
        qint64 cursor = 0;
    };
    struct Request
    {
        QString sessionId, userId;
        std::promise<Lookup> answer;
    };

    void run();
    void answerLookups();
    void wakeThread();
    // Every waiter returns: notifications may have been lost.
    void interruptAll();

    Db &m_db;
    const int m_feedsPerUser;
    const int m_feedsMax;
    mutable std::mutex m_mutex;
    QHash<QString, std::shared_ptr<Watch>> m_watches;
    int m_open = 0;
    quint64 m_epoch = 0;
    bool m_closed = false;
    std::mutex m_requestMutex;
    std::deque<std::unique_ptr<Request>> m_requests;
    int m_wakeRead = -1, m_wakeWrite = -1;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace VelmServer
