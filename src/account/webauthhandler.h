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
    enum class State { Incomplete, Oversized, NotFound, Callback };
    State state = State::Incomplete;
    QUrl url; // Callback only: the redirect as the browser followed it
};

// Waits for the whole request head; only "GET /callback..." is a callback.
CallbackRequest readCallbackRequest(const QByteArray &received, quint16 port);

// The loopback listener that receives the browser's redirect after sign-in.
// Only "GET /callback..." ends it; anything else (a favicon, a port scan) is
// answered 404 and it keeps listening. Lives for one sign-in attempt.
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

signals:
    // Carries the tokens: never log it.
    void callbackReceived(const QUrl &url);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);

    QTcpServer *m_server;
    quint16 m_port = 0;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

} // namespace VelmAccount
