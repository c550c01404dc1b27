#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace VelmAccount {

// Where the sign-in tokens persist between runs. One implementation per
// platform; all are used from the GUI thread only.
class TokenStore
{
public:
    static inline const QString accessTokenKey = QStringLiteral("velmora_access_token");
    static inline const QString refreshTokenKey = QStringLiteral("velmora_refresh_token");

    virtual ~TokenStore() = default;
    // Absent when there is no entry (or it cannot be read).
    virtual std::optional<QString> read(const QString &key) = 0;
    virtual bool write(const QString &key, const QString &value) = 0;
    virtual bool remove(const QString &key) = 0;
    // Removes both token keys.
    virtual void clear();
};

// The store of this platform: the Credential Manager on Windows; the Secret
// Service on Linux when one answers, else an owner-only file in fallbackDir.
std::unique_ptr<TokenStore> createPlatformTokenStore(const QString &appId, const QString &fallbackDir);

} // namespace VelmAccount
