#pragma once

#include <QHash>
#include <QObject>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

namespace VelmAccount {

// What the bytes one connection has sent so far ask of the listener.
struct CallbackRequest
{
    // Refused: a callback for another host name or without this attempt's state.
    enum class State { Incomplete, Oversized, NotFound, Refused, Callback };
    State state = State::Incomplete;
    QUrl url; // Callback only: the redirect as the browser followed it
};

// Waits for the whole request head; only "GET /callback..." sent to the
// loopback name and port, carrying expectedState, is a callback.
CallbackRequest readCallbackRequest(const QByteArray &received, quint16 port, const QByteArray &expectedState);

// Compares in time that depends only on the lengths.
bool constantTimeEquals(const QByteArray &a, const QByteArray &b);

// The loopback listener that receives the browser's redirect after sign-in.
// Only a callback with the attempt's state ends it; anything else (a favicon,
// a port scan, a forged or stale callback from another page or user) is
// refused and it keeps listening. Lives for one sign-in attempt.
class WebAuthHandler final : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 preferredPort = 19876;

    explicit WebAuthHandler(QObject *parent = nullptr);
    ~WebAuthHandler() override;

    // Listens on 127.0.0.1 (the preferred port, else any free one) and returns
    // the redirect URI; empty when it cannot listen.
    QString start();
    quint16 port() const { return m_port; }
    // The state the login request carries; a callback without it is refused.
    void setExpectedState(const QByteArray &state) { m_expectedState = state; }

signals:
    // Carries the tokens: never log it.
    void callbackReceived(const QUrl &url);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);

    QTcpServer *m_server;
    quint16 m_port = 0;
    QByteArray m_expectedState;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

} // namespace VelmAccount
