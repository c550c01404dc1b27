#pragma once

#include "tokenstore.h"

#include <string>

namespace VelmAccount {

// Tokens as generic credentials of the Windows Credential Manager, one per
// key, targeted "Velmora/<service>/<key>" with the application id as service.
class CredentialManagerTokenStore final : public TokenStore
{
public:
    explicit CredentialManagerTokenStore(const QString &serviceName);

    std::optional<QString> read(const QString &key) override;
    bool write(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

private:
    std::wstring target(const QString &key) const;

    QString m_serviceName;
};

} // namespace VelmAccount
