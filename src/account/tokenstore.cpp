#include "tokenstore.h"

#include "accountlog.h"
#include "filetokenstore.h"
#include "keychaintokenstore.h"

#include <QTimer>

namespace VelmAccount {

TokenStore::TokenStore(QObject *parent)
    : QObject(parent)
{
}

void TokenStore::clear()
{
    remove(accessTokenKey, nullptr);
    remove(refreshTokenKey, nullptr);
}

void TokenStore::answerLater(std::function<void()> answer, int delayMs)
{
    QTimer::singleShot(delayMs, this, std::move(answer));
}

std::unique_ptr<TokenStore> createPlatformTokenStore(const QString &appId, const QString &fallbackDir)
{
    const QString path = fallbackDir + QStringLiteral("/account-tokens.json");
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Without a session bus no keyring can answer; asking would only risk
    // the bus library starting one of its own.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        qCWarning(lcAccount).noquote() << "TokenStore: no Secret Service answered; sign-in tokens are kept in" << path;
        return std::make_unique<FileTokenStore>(path);
    }
#endif
    return std::make_unique<KeychainTokenStore>(appId, path);
}

} // namespace VelmAccount
