#include "keychaintokenstore.h"

#include "accountlog.h"
#include "filetokenstore.h"

#include <qt6keychain/keychain.h>

namespace VelmAccount {

KeychainTokenStore::KeychainTokenStore(const QString &service, const QString &fallbackPath)
    : m_service(service)
    , m_fallbackPath(fallbackPath)
{
}

KeychainTokenStore::~KeychainTokenStore() = default;

void KeychainTokenStore::read(const QString &key, ReadCallback done)
{
    enqueue({Operation::Read, key, QString(), std::move(done), nullptr});
}

void KeychainTokenStore::write(const QString &key, const QString &value, WriteCallback done)
{
    enqueue({Operation::Write, key, value, nullptr, std::move(done)});
}

void KeychainTokenStore::remove(const QString &key, WriteCallback done)
{
    enqueue({Operation::Remove, key, QString(), nullptr, std::move(done)});
}

void KeychainTokenStore::enqueue(Operation operation)
{
    m_queue.enqueue(std::move(operation));
    if (!m_running)
        startNext();
}

void KeychainTokenStore::startNext()
{
    if (m_queue.isEmpty()) {
        m_running = false;
        return;
    }
    m_running = true;
    const Operation operation = m_queue.head();
    if (m_file)
        return runOnFile(operation);

    QKeychain::Job *job = nullptr;
    switch (operation.kind) {
    case Operation::Read:
        job = new QKeychain::ReadPasswordJob(m_service, this);
        break;
    case Operation::Write: {
        auto *write = new QKeychain::WritePasswordJob(m_service, this);
        write->setTextData(operation.value);
        job = write;
        break;
    }
    case Operation::Remove:
        job = new QKeychain::DeletePasswordJob(m_service, this);
        break;
    }
    job->setKey(operation.key);
    job->setAutoDelete(true);
    connect(job, &QKeychain::Job::finished, this, [this](QKeychain::Job *done) {
        const Operation operation = m_queue.dequeue();
        finished(operation, done);
    });
    job->start();
}

void KeychainTokenStore::finished(const Operation &operation, const QKeychain::Job *job)
{
    const QKeychain::Error error = job->error();
    // Before the keyring has ever answered, "nothing there to ask" means this
    // machine has none; later errors are failures of the keyring itself.
    if (!m_keyringAnswered && (error == QKeychain::NoBackendAvailable || error == QKeychain::OtherError)) {
        qCWarning(lcAccount).noquote() << "TokenStore: no Secret Service answered; sign-in tokens are kept in"
                                       << m_fallbackPath << QStringLiteral("(%1)").arg(job->errorString());
        m_file = std::make_unique<FileTokenStore>(m_fallbackPath);
        m_queue.prepend(operation);
        return startNext();
    }
    m_keyringAnswered = true;
    const bool ok = error == QKeychain::NoError;
    if (!ok && error != QKeychain::EntryNotFound)
        qCWarning(lcAccount).noquote() << "TokenStore: keyring" << (operation.kind == Operation::Read ? "read"
                                                                    : operation.kind == Operation::Write ? "write"
                                                                                                          : "remove")
                                       << "failed:" << job->errorString();
    if (operation.kind == Operation::Read) {
        if (operation.readDone)
            operation.readDone(ok ? std::optional<QString>(static_cast<const QKeychain::ReadPasswordJob *>(job)->textData())
                                  : std::nullopt);
    } else if (operation.writeDone) {
        operation.writeDone(ok);
    }
    startNext();
}

void KeychainTokenStore::runOnFile(const Operation &operation)
{
    const auto next = [this] {
        m_queue.dequeue();
        startNext();
    };
    switch (operation.kind) {
    case Operation::Read:
        return m_file->read(operation.key, [done = operation.readDone, next](const std::optional<QString> &value) {
            if (done)
                done(value);
            next();
        });
    case Operation::Write:
        return m_file->write(operation.key, operation.value, [done = operation.writeDone, next](bool ok) {
            if (done)
                done(ok);
            next();
        });
    case Operation::Remove:
        return m_file->remove(operation.key, [done = operation.writeDone, next](bool ok) {
            if (done)
                done(ok);
            next();
        });
    }
}

} // namespace VelmAccount
