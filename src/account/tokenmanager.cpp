#include "tokenmanager.h"

#include "accountlog.h"
#include "tokenstore.h"
#include "vlmclaims.h"

#include <QDateTime>

namespace VelmAccount {

TokenManager::TokenManager(std::unique_ptr<TokenStore> store, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
{
}

TokenManager::~TokenManager() = default;

void TokenManager::loadTokens(std::function<void()> done)
{
    quint64 generation;
    {
        QMutexLocker lock(&m_mutex);
        generation = m_generation;
    }
    // The store answers on this thread and never after it is gone, and it
    // goes with this object.
    m_store->read(TokenStore::accessTokenKey, [this, generation, done](const std::optional<QString> &access) {
        m_store->read(TokenStore::refreshTokenKey, [this, generation, done, access](const std::optional<QString> &refresh) {
            bool current;
            {
                QMutexLocker lock(&m_mutex);
                current = generation == m_generation;
            }
            if (current) {
                m_accessToken = access.value_or(QString());
                m_refreshToken = refresh.value_or(QString());
            }
            if (done)
                done();
        });
    });
}

void TokenManager::setTokens(const QString &access, const QString &refresh)
{
    m_accessToken = access;
    m_refreshToken = refresh;
    auto failed = std::make_shared<bool>(false);
    m_store->write(TokenStore::accessTokenKey, access, [failed](bool ok) { *failed = !ok; });
    m_store->write(TokenStore::refreshTokenKey, refresh, [this, failed](bool ok) {
        if (ok && !*failed)
            return;
        qCWarning(lcAccount) << "TokenManager: could not store the tokens; they are kept in memory for this session";
        emit storeFailed();
    });
    const QList<RefreshCallback> pending = supersedeRefresh();
    for (const RefreshCallback &callback : pending)
        callback(RefreshResult::Success);
    emit tokensChanged();
}

void TokenManager::clearTokens()
{
    m_accessToken.clear();
    m_refreshToken.clear();
    m_store->clear();
    const QList<RefreshCallback> pending = supersedeRefresh();
    for (const RefreshCallback &callback : pending)
        callback(RefreshResult::Rejected);
}

QString TokenManager::accessToken() const
{
    return tokenIsFresh(m_accessToken, QDateTime::currentSecsSinceEpoch()) ? m_accessToken : QString();
}

QString TokenManager::refreshToken() const
{
    return m_refreshToken;
}

bool TokenManager::needsRefresh() const
{
    return accessToken().isEmpty() && !m_refreshToken.isEmpty();
}

void TokenManager::setRefresher(Refresher refresher)
{
    m_refresher = std::move(refresher);
}

void TokenManager::refresh(RefreshCallback callback)
{
    QMutexLocker lock(&m_mutex);
    m_pending.append(std::move(callback));
    if (m_refreshInProgress)
        return;
    if (m_refreshToken.isEmpty() || !m_refresher) {
        const QList<RefreshCallback> pending = takePending();
        lock.unlock();
        for (const RefreshCallback &pendingCallback : pending)
            pendingCallback(RefreshResult::Rejected);
        return;
    }
    m_refreshInProgress = true;
    const quint64 generation = m_generation;
    const QString token = m_refreshToken;
    lock.unlock();

    m_refresher(
        token,
        [this, generation](const QString &access, const QString &refresh) {
            {
                QMutexLocker guard(&m_mutex);
                if (generation != m_generation)
                    return; // signed out or signed in anew meanwhile
            }
            setTokens(access, refresh);
        },
        [this, generation](bool rejected) {
            finish(generation, rejected ? RefreshResult::Rejected : RefreshResult::Failed);
        });
}

void TokenManager::finish(quint64 generation, RefreshResult result)
{
    QList<RefreshCallback> pending;
    {
        QMutexLocker lock(&m_mutex);
        if (generation != m_generation)
            return;
        m_refreshInProgress = false;
        pending = takePending();
    }
    for (const RefreshCallback &callback : pending)
        callback(result);
}

QList<TokenManager::RefreshCallback> TokenManager::supersedeRefresh()
{
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    if (!m_refreshInProgress)
        return {};
    m_refreshInProgress = false;
    return takePending();
}

QList<TokenManager::RefreshCallback> TokenManager::takePending()
{
    QList<RefreshCallback> pending;
    pending.swap(m_pending);
    return pending;
}

} // namespace VelmAccount
