#pragma once

#include "authstate.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <memory>

class QHttpMultiPart;
class QNetworkAccessManager;
class QNetworkRequest;

namespace VelmAccount {

class TokenManager;

// The one request frame for every server call: JSON requests bound to a base
// URL, with identity headers, the bearer token, a refresh ahead of expiry and
// one retry after a 401. Every outcome ends in the callback, on the GUI thread;
// ok is true exactly for a 2xx status, and status 0 means no HTTP reply.
class ApiClient final : public QObject
{
    Q_OBJECT
public:
    using Callback = std::function<void(bool ok, int status, const QJsonObject &body)>;
    using BinaryCallback = std::function<void(bool ok, int status, const QByteArray &data)>;
    using DownloadCallback = std::function<void(bool ok, int status, qint64 bytes)>;

    // tokens is not owned and must outlive every request.
    explicit ApiClient(TokenManager *tokens, QObject *parent = nullptr);

    void get(const QString &path, Callback callback, const QUrlQuery &query = {});
    void post(const QString &path, const QJsonObject &body, Callback callback);
    // A body serialised beforehand (large ones are made away from this thread), sent as it is.
    void postJson(const QString &path, const QByteArray &json, Callback callback);
    // No token and no retry: for calls made without a session.
    void postPublic(const QString &path, const QJsonObject &body, Callback callback);
    // With the token as it is, neither refreshed first nor retried after a
    // 401: ending a session must not renew it.
    void postWithoutRefresh(const QString &path, const QJsonObject &body, Callback callback);
    void put(const QString &path, const QJsonObject &body, Callback callback);
    void patch(const QString &path, const QJsonObject &body, Callback callback);
    void del(const QString &path, Callback callback);
    void getBinary(const QString &path, BinaryCallback callback, const QUrlQuery &query = {});
    // Writes the reply body to a temporary file beside targetPath as it
    // arrives and puts it in targetPath's place only once all of it came with
    // a 2xx status, of expectedBytes (when not negative) and of the SHA-256
    // the server gives in "Digest: sha-256=…" (when it gives one). Anything
    // else (an error, a cancel, a short or altered body) leaves targetPath as
    // it was and no partial file behind; ok is false then, even for a 2xx.
    void download(const QString &path, const QString &targetPath, qint64 expectedBytes, DownloadCallback callback);
    // Takes ownership of multipart; its parts may stream from devices it owns.
    void postMultipart(const QString &path, QHttpMultiPart *multipart, Callback callback);

    // Ends every request of this client: those in flight fail with status 0
    // at once, those waiting for a token refresh are never sent. No
    // networkError is emitted for them.
    void abortAll();

    // A request that receives nothing for this long fails with status 0.
    void setTransferTimeout(int milliseconds);
    void setBaseUrl(const QUrl &baseUrl) { m_baseUrl = baseUrl; }
    QUrl baseUrl() const { return m_baseUrl; }
    void setAppInfo(const QString &appId, const QString &appVersion, const QString &platform);
    void setDeviceInfo(const QString &deviceId, const QString &deviceName);
    // The base URL's path followed by path verbatim, with the query if any.
    QUrl buildUrl(const QString &path, const QUrlQuery &query = {}) const;

signals:
    void authenticationRequired();
    void networkError(const QString &message);

private:
    enum class Auth { None, Bearer, BearerNoRefresh };

    void sendRequest(const QByteArray &method, const QString &path, const QByteArray &bytes, Callback callback,
                     const QUrlQuery &query, Auth auth);
    void executeRequest(const QByteArray &method, const QUrl &url, const QByteArray &body, const QString &token,
                        Callback callback, bool retryOn401);
    void executeBinary(const QUrl &url, const QString &token, BinaryCallback callback, bool retryOn401);
    struct Incoming;
    void commitDownload(const std::shared_ptr<Incoming> &incoming, int status, DownloadCallback callback);
    void executeDownload(const QUrl &url, const QString &targetPath, qint64 expectedBytes, const QString &token,
                         DownloadCallback callback, bool retryOn401);
    // Runs proceed with a usable token, refreshing first when the held one is
    // about to expire; a failed refresh ends in failed(result) instead.
    void withToken(const QByteArray &method, const QString &path, std::function<void(const QString &token)> proceed,
                   std::function<void(RefreshResult result)> failed);
    void addIdentity(QNetworkRequest &request, const QString &token) const;

    // The requests sent or retried after a refresh must not have been aborted meanwhile.
    bool abortedSince(quint64 aborts) const { return aborts != m_aborts; }

    QNetworkAccessManager *m_network;
    quint64 m_aborts = 0;
    QPointer<TokenManager> m_tokens;
    QUrl m_baseUrl;
    QString m_appId;
    QString m_appVersion;
    QString m_platform;
    QString m_deviceId;
    QString m_deviceName;
};

} // namespace VelmAccount
