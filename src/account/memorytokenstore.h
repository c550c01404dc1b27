#pragma once

#include "tokenstore.h"

#include <QHash>

namespace VelmAccount {

// Keeps tokens for the life of the object only. Writes can be made to fail,
// standing in for a locked keychain or a full disk, and every answer can be
// held back, standing in for a keyring that is slow to answer.
class MemoryTokenStore final : public TokenStore
{
public:
    void read(const QString &key, ReadCallback done) override;
    void write(const QString &key, const QString &value, WriteCallback done) override;
    void remove(const QString &key, WriteCallback done) override;

    // What the store holds now, whatever answers are still on their way.
    std::optional<QString> value(const QString &key) const;
    void setFailWrites(bool fail) { m_failWrites = fail; }
    void setAnswerDelay(int ms) { m_delayMs = ms; }

private:
    QHash<QString, QString> m_values;
    bool m_failWrites = false;
    int m_delayMs = 0;
};

} // namespace VelmAccount
