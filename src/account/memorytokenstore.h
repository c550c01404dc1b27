#pragma once

#include "tokenstore.h"

#include <QHash>

namespace VelmAccount {

// Keeps tokens for the life of the object only. Writes can be made to fail,
// standing in for a locked keychain or a full disk.
class MemoryTokenStore final : public TokenStore
{
public:
    std::optional<QString> read(const QString &key) override;
    bool write(const QString &key, const QString &value) override;
    bool remove(const QString &key) override;

    void setFailWrites(bool fail) { m_failWrites = fail; }

private:
    QHash<QString, QString> m_values;
    bool m_failWrites = false;
};

} // namespace VelmAccount
