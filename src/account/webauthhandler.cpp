#include "webauthhandler.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace VelmAccount {

namespace {

// A request head larger than this is no browser redirect.
constexpr qsizetype maxHeadBytes = 16 * 1024;

const QByteArray donePage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Velmora Notes</title></head>"
    "<body style=\"font-family: sans-serif; text-align: center; padding: 40px;\">"
    "<h1>Authentication complete!</h1>"
    "<p>You can close this tab and return to the application.</p></body></html>";

void replyAndClose(QTcpSocket *socket, const QByteArray &statusLine, const QByteArray &page)
{
    socket->write(statusLine + "\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(page.size())
                  + "\r\nConnection: close\r\n\r\n" + page);
    socket->flush();
    socket->disconnectFromHost();
}

} // namespace

CallbackRequest readCallbackRequest(const QByteArray &received, quint16 port)
{
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return {received.size() > maxHeadBytes ? CallbackRequest::State::Oversized : CallbackRequest::State::Incomplete, {}};
    const QByteArray requestLine = received.left(received.indexOf("\r\n"));
    const QList<QByteArray> parts = requestLine.split(' ');
    const QByteArray target = parts.size() >= 2 ? parts.at(1) : QByteArray();
    const QByteArray targetPath = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    if (parts.value(0) != "GET" || targetPath != "/callback")
        return {CallbackRequest::State::NotFound, {}};
    return {CallbackRequest::State::Callback,
            QUrl(QStringLiteral("http://localhost:%1%2").arg(port).arg(QString::fromUtf8(target)))};
}

WebAuthHandler::WebAuthHandler(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &WebAuthHandler::onNewConnection);
}

WebAuthHandler::~WebAuthHandler()
{
    m_server->close();
}

QString WebAuthHandler::start()
{
    if (!m_server->isListening()) {
        if (!m_server->listen(QHostAddress::LocalHost, preferredPort)
            && !m_server->listen(QHostAddress::LocalHost, 0))
            return {};
        m_port = m_server->serverPort();
    }
    return QStringLiteral("http://localhost:%1/callback").arg(m_port);
}

void WebAuthHandler::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void WebAuthHandler::onReadyRead(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    const CallbackRequest request = readCallbackRequest(buffer, m_port);
    if (request.state == CallbackRequest::State::Incomplete)
        return;
    m_buffers.remove(socket);
    if (request.state == CallbackRequest::State::Oversized) {
        socket->abort();
        return;
    }
    if (request.state == CallbackRequest::State::NotFound) {
        replyAndClose(socket, "HTTP/1.1 404 Not Found", QByteArray());
        return;
    }
    replyAndClose(socket, "HTTP/1.1 200 OK", donePage);
    emit callbackReceived(request.url);
    if (m_server->isListening())
        m_server->close();
}

} // namespace VelmAccount
