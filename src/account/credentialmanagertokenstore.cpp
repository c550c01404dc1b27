#include "credentialmanagertokenstore.h"

#include <QByteArray>

#include <windows.h>
#include <wincred.h>

namespace VelmAccount {

CredentialManagerTokenStore::CredentialManagerTokenStore(const QString &serviceName)
    : m_serviceName(serviceName)
{
}

std::wstring CredentialManagerTokenStore::target(const QString &key) const
{
    return QStringLiteral("Velmora/%1/%2").arg(m_serviceName, key).toStdWString();
}

std::optional<QString> CredentialManagerTokenStore::read(const QString &key)
{
    const std::wstring name = target(key);
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(name.c_str(), CRED_TYPE_GENERIC, 0, &credential))
        return std::nullopt;
    const QString value = QString::fromUtf8(reinterpret_cast<const char *>(credential->CredentialBlob),
                                            static_cast<qsizetype>(credential->CredentialBlobSize));
    CredFree(credential);
    return value;
}

bool CredentialManagerTokenStore::write(const QString &key, const QString &value)
{
    std::wstring name = target(key);
    QByteArray blob = value.toUtf8();
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = name.data();
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    return CredWriteW(&credential, 0);
}

bool CredentialManagerTokenStore::remove(const QString &key)
{
    const std::wstring name = target(key);
    return CredDeleteW(name.c_str(), CRED_TYPE_GENERIC, 0);
}

} // namespace VelmAccount
