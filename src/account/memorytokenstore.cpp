#include "memorytokenstore.h"

namespace VelmAccount {

std::optional<QString> MemoryTokenStore::value(const QString &key) const
{
    const auto it = m_values.constFind(key);
    if (it == m_values.cend())
        return std::nullopt;
    return *it;
}

void MemoryTokenStore::read(const QString &key, ReadCallback done)
{
    answerLater([done, value = value(key)] {
        if (done)
            done(value);
    }, m_delayMs);
}

void MemoryTokenStore::write(const QString &key, const QString &value, WriteCallback done)
{
    if (!m_failWrites)
        m_values.insert(key, value);
    answerLater([done, ok = !m_failWrites] {
        if (done)
            done(ok);
    }, m_delayMs);
}

void MemoryTokenStore::remove(const QString &key, WriteCallback done)
{
    answerLater([done, ok = m_values.remove(key) > 0] {
        if (done)
            done(ok);
    }, m_delayMs);
}

} // namespace VelmAccount
