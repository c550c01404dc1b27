#pragma once

#include "tokenstore.h"

#include <QQueue>

namespace QKeychain {
class Job;
}

namespace VelmAccount {

class FileTokenStore;

// Tokens in the system keyring through QtKeychain's asynchronous jobs, one
// entry per key under the service name. Operations run one at a time in the
// order asked, so a later write is never overtaken by an earlier one. When
// the first answer says no keyring is there (no Secret Service or KWallet on
// the session bus), this run keeps the tokens in the owner-only file at
// fallbackPath instead, and says so once in the log.
class KeychainTokenStore final : public TokenStore
{
public:
    KeychainTokenStore(const QString &service, const QString &fallbackPath);
    ~KeychainTokenStore() override;

    void read(const QString &key, ReadCallback done) override;
    void write(const QString &key, const QString &value, WriteCallback done) override;
    void remove(const QString &key, WriteCallback done) override;

    bool usesFile() const { return m_file != nullptr; }

private:
    struct Operation
    {
        enum Kind { Read, Write, Remove } kind;
        QString key;
        QString value;
        ReadCallback readDone;
        WriteCallback writeDone;
    };

    void enqueue(Operation operation);
    void startNext();
    void finished(const Operation &operation, const QKeychain::Job *job);
    void runOnFile(const Operation &operation);

    QString m_service;
    QString m_fallbackPath;
    std::unique_ptr<FileTokenStore> m_file;
    QQueue<Operation> m_queue;
    bool m_running = false;
    bool m_keyringAnswered = false;
};

} // namespace VelmAccount
