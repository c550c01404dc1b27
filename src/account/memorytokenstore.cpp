#include "memorytokenstore.h"

namespace VelmAccount {

std::optional<QString> MemoryTokenStore::read(const QString &key)
{
    const auto it = m_values.constFind(key);
    if (it == m_values.cend())
        return std::nullopt;
    return *it;
}

bool MemoryTokenStore::write(const QString &key, const QString &value)
{
    if (m_failWrites)
        return false;
    m_values.insert(key, value);
    return true;
}

bool MemoryTokenStore::remove(const QString &key)
{
    return m_values.remove(key) > 0;
}

} // namespace VelmAccount
