#include "webauthhandler.h"

#include "accountlog.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

namespace VelmAccount {

namespace {

// A request head larger than this is no browser redirect.
constexpr qsizetype maxHeadBytes = 16 * 1024;

const QByteArray donePage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Velmora Notes</title></head>"
    "<body style=\"font-family: sans-serif; text-align: center; padding: 40px;\">"
    "<h1>Authentication complete!</h1>"
    "<p>You can close this tab and return to the application.</p></body></html>";

const QByteArray refusedPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Velmora Notes</title></head>"
    "<body style=\"font-family: sans-serif; text-align: center; padding: 40px;\">"
    "<h1>This sign-in response was not accepted.</h1>"
    "<p>It does not belong to the sign-in the application is waiting for.</p></body></html>";

void replyAndClose(QTcpSocket *socket, const QByteArray &statusLine, const QByteArray &page)
{
    socket->write(statusLine + "\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(page.size())
                  + "\r\nConnection: close\r\n\r\n" + page);
    socket->flush();
    socket->disconnectFromHost();
}

} // namespace

bool constantTimeEquals(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return diff == 0;
}

CallbackRequest readCallbackRequest(const QByteArray &received, quint16 port, const QByteArray &expectedState)
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
    // A page that rebinds its own host name to 127.0.0.1 reaches this port with that name.
    QByteArray host;
    for (const QByteArray &line : received.left(headEnd).split('\n').mid(1)) {
        if (line.trimmed().toLower().startsWith("host:"))
            host = line.mid(line.indexOf(':') + 1).trimmed().toLower();
    }
    const QByteArray portText = ':' + QByteArray::number(port);
    if (host != "localhost" + portText && host != "127.0.0.1" + portText)
        return {CallbackRequest::State::Refused, {}};
    const QUrl url(QStringLiteral("http://localhost:%1%2").arg(port).arg(QString::fromUtf8(target)));
    const QByteArray state = QUrlQuery(url.query(QUrl::FullyEncoded))
                                 .queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded).toUtf8();
    if (expectedState.isEmpty() || !constantTimeEquals(state, expectedState))
        return {CallbackRequest::State::Refused, {}};
    return {CallbackRequest::State::Callback, url};
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
    const CallbackRequest request = readCallbackRequest(buffer, m_port, m_expectedState);
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
    if (request.state == CallbackRequest::State::Refused) {
        // The pending sign-in goes on: refusing must not let any local process end it.
        qCWarning(lcAccount) << "WebAuthHandler: a sign-in callback without this attempt's state was refused";
        replyAndClose(socket, "HTTP/1.1 400 Bad Request", refusedPage);
        return;
    }
    replyAndClose(socket, "HTTP/1.1 200 OK", donePage);
    emit callbackReceived(request.url);
    if (m_server->isListening())
        m_server->close();
}

} // namespace VelmAccount
