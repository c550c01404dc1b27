#pragma once

#include "tokenstore.h"

#include <QByteArray>

namespace VelmAccount {

// Tokens in the desktop's Secret Service (GNOME Keyring, KWallet), through
// libsecret's blocking calls. Items are filed under a schema named by the
// application id, one item per key.
class SecretServiceTokenStore final : public TokenStore
{
public:
    explicit SecretServiceTokenStore(const QString &appId);

    // True when a Secret Service answers on the session bus. Without a session
    // bus address it answers false at once rather than wait on activation.
    static bool isAvailable();

    std::optional<QString> read(const QString &key) override;
    bool write(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

private:
    QByteArray m_schemaName;
};

} // namespace VelmAccount
