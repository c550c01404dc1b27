#pragma once

#include "authstate.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace VelmAccount {

class TokenStore;

// Holds the access and refresh tokens in memory and in the token store, and
// coalesces refreshes: every caller that asks while one runs is answered by
// that one. Callbacks always run with the mutex released, so a callback may
// start a new request (and a new refresh).
class TokenManager final : public QObject
{
    Q_OBJECT
public:
    using RefreshCallback = std::function<void(RefreshResult)>;
    using SuccessHandler = std::function<void(const QString &access, const QString &refresh)>;
    using FailureHandler = std::function<void(bool rejected)>;
    // Exchanges a refresh token; must call exactly one of the handlers, later.
    using Refresher = std::function<void(const QString &refreshToken, SuccessHandler, FailureHandler)>;

    // Takes ownership of the store.
    explicit TokenManager(std::unique_ptr<TokenStore> store, QObject *parent = nullptr);
    ~TokenManager() override;

    // Asks the store for both tokens and calls done once it has answered. The
    // answer is dropped when tokens were set or cleared meanwhile (a sign-in
    // or sign-out while the keyring was slow): those are newer.
    void loadTokens(std::function<void()> done);
    // Keeps the tokens in memory at once and has the store write them;
    // storeFailed follows when it did not take them. Finishes a running
    // refresh with Success.
    void setTokens(const QString &access, const QString &refresh);
    // Forgets both tokens. A refresh still running is answered Rejected and
    // its late result is dropped, so a sign-out cannot be undone by it.
    void clearTokens();

    // The access token while it is fresh, else empty.
    QString accessToken() const;
    QString refreshToken() const;
    bool needsRefresh() const;

    void setRefresher(Refresher refresher);
    void refresh(RefreshCallback callback);

    TokenStore *store() const { return m_store.get(); }

signals:
    void storeFailed();
    // New tokens were set (sign-in or refresh); their claims may differ.
    void tokensChanged();

private:
    void finish(quint64 generation, RefreshResult result);
    // Marks a running refresh stale and hands back its waiting callbacks.
    QList<RefreshCallback> supersedeRefresh();
    QList<RefreshCallback> takePending();

    std::unique_ptr<TokenStore> m_store;
    QString m_accessToken;
    QString m_refreshToken;
    Refresher m_refresher;

    QMutex m_mutex;
    bool m_refreshInProgress = false;
    // Bumped whenever tokens are replaced or cleared from outside a refresh,
    // marking any refresh then in flight as stale.
    quint64 m_generation = 0;
    QList<RefreshCallback> m_pending;
};

} // namespace VelmAccount
