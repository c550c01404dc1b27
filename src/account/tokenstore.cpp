#include "tokenstore.h"

#include "accountlog.h"
#include "filetokenstore.h"

#if defined(Q_OS_WIN)
#include "credentialmanagertokenstore.h"
#elif defined(VELM_HAVE_LIBSECRET)
#include "secretservicetokenstore.h"
#endif

namespace VelmAccount {

void TokenStore::clear()
{
    remove(accessTokenKey);
    remove(refreshTokenKey);
}

std::unique_ptr<TokenStore> createPlatformTokenStore(const QString &appId, const QString &fallbackDir)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(fallbackDir);
    return std::make_unique<CredentialManagerTokenStore>(appId);
#else
#if defined(VELM_HAVE_LIBSECRET)
    if (SecretServiceTokenStore::isAvailable())
        return std::make_unique<SecretServiceTokenStore>(appId);
#else
    Q_UNUSED(appId);
#endif
    const QString path = fallbackDir + QStringLiteral("/account-tokens.json");
    qCWarning(lcAccount).noquote() << "TokenStore: no Secret Service answered; sign-in tokens are kept in" << path;
    return std::make_unique<FileTokenStore>(path);
#endif
}

} // namespace VelmAccount
