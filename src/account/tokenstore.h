#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace VelmAccount {

// Where the sign-in tokens persist between runs. A keyring may take seconds to
// answer (an unlock prompt, a slow session bus), so every operation answers
// through its callback: always later, never before the call returns, on the
// calling (GUI) thread, in the order the calls were made. No callback runs
// after the store is destroyed. A QObject only to own its jobs and timers.
class TokenStore : public QObject
{
public:
    static inline const QString accessTokenKey = QStringLiteral("velmora_access_token");
    static inline const QString refreshTokenKey = QStringLiteral("velmora_refresh_token");

    // Absent when there is no entry or it cannot be read.
    using ReadCallback = std::function<void(const std::optional<QString> &value)>;
    using WriteCallback = std::function<void(bool ok)>;

    explicit TokenStore(QObject *parent = nullptr);

    virtual void read(const QString &key, ReadCallback done) = 0;
    virtual void write(const QString &key, const QString &value, WriteCallback done) = 0;
    // ok is false also when there was no entry.
    virtual void remove(const QString &key, WriteCallback done) = 0;
    // Removes both token keys; the store logs what failed.
    void clear();

protected:
    // Runs answer on the next turn of the event loop, unless the store is gone by then.
    void answerLater(std::function<void()> answer, int delayMs = 0);
};

// The store of this platform: the system keyring through QtKeychain (Secret
// Service or KWallet, the Credential Manager, the macOS Keychain), falling
// back to an owner-only file in fallbackDir where no keyring answers.
std::unique_ptr<TokenStore> createPlatformTokenStore(const QString &appId, const QString &fallbackDir);

} // namespace VelmAccount
