#include "singleinstance.h"

#include "applog.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QVariant>

SingleInstance::SingleInstance(const QString &key, QObject *parent)
    : QObject(parent)
    , m_key(key)
{
}

QString SingleInstance::serverName() const
{
#ifdef Q_OS_UNIX
    // A bare name would live in the shared temporary folder, where other users
    // could claim it or receive our launches.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime + '/' + m_key;
#endif
    return m_key;
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::tryRun(const QString &message)
{
    const QString name = serverName();
    {
        QLocalSocket socket;
        socket.connectToServer(name, QIODevice::ReadWrite);
        if (socket.waitForConnected(500)) {
            if (!message.isEmpty()) {
                socket.write(message.toUtf8());
                socket.flush();
                socket.waitForBytesWritten(1000);
            }
            socket.disconnectFromServer();
            return false;
        }
    }

    QLocalServer::removeServer(name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(name))
        qCWarning(lcApp).noquote() << "SingleInstance: failed to start server:" << m_server->errorString();
    return true;
}

void SingleInstance::onNewConnection()
{
    QLocalSocket *socket = m_server->nextPendingConnection();
    if (!socket)
        return;
    // One message per connection. A client that sends nothing still counts as
    // a launch ("focus"); one that sent a message must not trigger a second.
    auto deliver = [this, socket] {
        if (socket->property("velmDelivered").toBool())
            return;
        socket->setProperty("velmDelivered", true);
        emit messageReceived(QString::fromUtf8(socket->readAll()));
        socket->deleteLater();
    };
    connect(socket, &QLocalSocket::readyRead, this, deliver);
    connect(socket, &QLocalSocket::disconnected, this, [socket, deliver] {
        deliver();
        socket->deleteLater();
    });
}
