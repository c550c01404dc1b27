#pragma once

// A loopback HTTP responder for replies velmora-server never gives (a 500, a
// JSON array, a dropped connection) and for seeing the exact bytes a client
// sent, which a real server cannot show.

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

struct RecordedRequest
{
    QByteArray method;
    QByteArray target;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    bool hasHeader(const char *name) const { return headers.contains(QByteArray(name)); }
};

struct FakeReply
{
    int status = 200;
    QByteArray body = "{}";
    bool drop = false; // close the connection without answering
    bool stall = false; // keep the connection open without answering
    QByteArray headers = {}; // extra header lines, each ending in \r\n
    int cutAfter = -1; // close the connection after this many body bytes
};

class FakeHttpServer : public QTcpServer
{
public:
    using Handler = std::function<FakeReply(const RecordedRequest &)>;

    explicit FakeHttpServer(Handler handler)
        : m_handler(std::move(handler))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { onData(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QObject::destroyed, this, [this, socket] { m_buffers.remove(socket); });
            }
        });
    }

    QString baseUrl(const QString &path = QString()) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path);
    }

    QList<RecordedRequest> requests;

private:
    void onData(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        RecordedRequest request;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headEnd + 4 + length)
            return;
        request.body = buffer.mid(headEnd + 4, length);
        buffer.remove(0, headEnd + 4 + length);
        requests.append(request);
        const FakeReply reply = m_handler(request);
        if (reply.drop) {
            socket->abort();
            return;
        }
        if (reply.stall)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\nContent-Type: application/json\r\n"
                      + reply.headers + "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n"
                      + (reply.cutAfter < 0 ? reply.body : reply.body.left(reply.cutAfter)));
        if (reply.cutAfter >= 0)
            socket->disconnectFromHost();
    }

    Handler m_handler;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

// A signed-looking JWT whose payload is the given object; the signature is
// not checked by the client.
inline QString makeJwt(const QJsonObject &payload)
{
    const auto part = [](const QByteArray &bytes) {
        return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    };
    return QString::fromLatin1(part(R"({"alg":"HS256","typ":"JWT"})") + '.'
                               + part(QJsonDocument(payload).toJson(QJsonDocument::Compact)) + ".sig");
}

inline QString jwtExpiringIn(qint64 seconds, const QJsonObject &extra = {})
{
    QJsonObject payload = extra;
    payload.insert(QStringLiteral("exp"), QDateTime::currentSecsSinceEpoch() + seconds);
    return makeJwt(payload);
}
