#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

namespace VelmAccount {
class ApiClient;
class TokenManager;
}

// Keeps one long poll open on the sync API's change feed while started and
// tells when the server holds note changes past the local pull cursor, so a
// sync can follow within a moment instead of at the next periodic cycle.
// While the server cannot be reached, refuses the feed or has none, the feed
// is not live and tries again after a delay that doubles up to a minute. The
// poll runs on a connection of its own. GUI thread only.
class ChangeFeed final : public QObject
{
    Q_OBJECT
public:
    // The local pull cursor (server milliseconds), read whenever needed.
    using Cursor = std::function<qint64()>;

    // tokens is not owned and must outlive the feed.
    ChangeFeed(VelmAccount::TokenManager *tokens, Cursor cursor, QObject *parent = nullptr);
    ~ChangeFeed() override;

    // Polls syncBaseUrl's feed until stop(); restarting with another URL starts afresh.
    void start(const QUrl &syncBaseUrl);
    // Ends the poll in flight at once.
    void stop();
    bool isRunning() const { return m_running; }
    // The last poll was answered and none has failed since.
    bool isLive() const { return m_live; }
    // Waits before the first retry and a change is told, and the longest
    // wait between retries; tests shorten them.
    void setDelays(int firstRetryMs, int settleMs, int maxRetryMs = 60000);

signals:
    // The server is ahead of the pull cursor; told once the cursor stayed behind for the settle delay.
    void changesWaiting();
    void liveChanged(bool live);

private:
    void poll();
    void answered(quint64 generation, bool ok, int status, qint64 cursor);
    void setLive(bool live);

    QPointer<VelmAccount::TokenManager> m_tokens;
    Cursor m_cursor;
    std::unique_ptr<VelmAccount::ApiClient> m_api;
    QUrl m_baseUrl;
    QTimer m_retry;
    QTimer m_settle;
    quint64 m_generation = 0;
    qint64 m_serverCursor = 0;
    int m_failures = 0;
    int m_firstRetryMs = 1000;
    int m_maxRetryMs = 60000;
    bool m_running = false;
    bool m_live = false;
};
