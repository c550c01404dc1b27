#include "singleinstance.h"

#include "applog.h"
#include "privatefiles.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLockFile>
#include <QLocalSocket>
#include <QThread>
#include <QVariant>

SingleInstance::SingleInstance(const QString &key, QObject *parent)
    : QObject(parent)
    , m_key(key)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName() const
{
#ifdef Q_OS_UNIX
    // A bare name would live in the shared temporary folder, where other users
    // could claim it or receive our launches.
    const QString folder = PrivateFiles::runtimeFolder();
    if (!folder.isEmpty())
        return folder + '/' + m_key;
#endif
    return m_key;
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::sendTo(const QString &name, const QString &message)
{
    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::ReadWrite);
    if (!socket.waitForConnected(500))
        return false;
    if (!message.isEmpty()) {
        socket.write(message.toUtf8());
        socket.flush();
        socket.waitForBytesWritten(1000);
    }
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::tryRun(const QString &message)
{
    const QString name = serverName();
    // The lock, not the socket, decides who is primary: two launches in the
    // same instant could both fail to connect and both start listening.
    const QString folder = PrivateFiles::runtimeFolder();
    m_lock = std::make_unique<QLockFile>(folder + '/' + m_key + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    QElapsedTimer waited;
    waited.start();
    while (!folder.isEmpty() && !m_lock->tryLock(0)) {
        if (m_lock->error() != QLockFile::LockFailedError) {
            qCWarning(lcApp) << "SingleInstance: cannot lock, running without the guard:" << m_lock->error();
            break;
        }
        // The primary listens right after it takes the lock.
        if (sendTo(name, message))
            return false;
        if (waited.elapsed() > 10000) {
            qCWarning(lcApp) << "SingleInstance: another instance holds the lock but does not answer";
            return false;
        }
        QThread::msleep(50);
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
