#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// Keeps one running instance per user. The first process listens on a local
// socket; later launches hand their message to it and exit.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &key, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True: this process is the primary instance and goes on. False: a
    // running instance received the message and this process should exit.
    bool tryRun(const QString &message);

    QString key() const { return m_key; }
    // The address the server listens on: on Unix a socket in the user's
    // private runtime folder, elsewhere the plain key. The lock file that
    // decides the primary is key + ".lock" in the private runtime folder.
    QString serverName() const;
    bool isListening() const;

signals:
    void messageReceived(const QString &message);

private:
    static bool sendTo(const QString &name, const QString &message);
    void onNewConnection();

    std::unique_ptr<QLockFile> m_lock;
    QString m_key;
    QLocalServer *m_server = nullptr;
};
