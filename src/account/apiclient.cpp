#include "apiclient.h"

#include "accountlog.h"
#include "wireprotocol.h"
#include "tokenmanager.h"

#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace VelmAccount {

namespace {

QJsonObject parseObject(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    return QJsonDocument::fromJson(bytes).object(); // arrays and garbage give {}
}

QByteArray json(const QJsonObject &body)
{
    return body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
}

int statusOf(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

constexpr char kAborted[] = "velmoraAborted";

// A reply ended by abortAll: its failure is no network's.
bool wasAborted(const QNetworkReply *reply)
{
    return reply->property(kAborted).toBool();
}

bool isSuccess(int status)
{
    return status >= 200 && status <= 299;
}

template<typename Fn, typename... Args>
void call(const Fn &callback, Args &&...args)
{
    if (callback)
        callback(std::forward<Args>(args)...);
}

} // namespace

ApiClient::ApiClient(TokenManager *tokens, QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_tokens(tokens)
{
    // A server that accepts and then says nothing would otherwise hold a
    // request, and the sync waiting on it, for good.
    m_network->setTransferTimeout(QNetworkRequest::DefaultTransferTimeoutConstant);
}

void ApiClient::abortAll()
{
    ++m_aborts;
    const QList<QNetworkReply *> replies = m_network->findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies) {
        if (reply->isFinished())
            continue;
        reply->setProperty(kAborted, true);
        reply->abort();
    }
}

void ApiClient::setTransferTimeout(int milliseconds)
{
    m_network->setTransferTimeout(milliseconds);
}

void ApiClient::setAppInfo(const QString &appId, const QString &appVersion, const QString &platform)
{
    m_appId = appId;
    m_appVersion = appVersion;
    m_platform = platform;
}

QUrl ApiClient::buildUrl(const QString &path, const QUrlQuery &query) const
{
    QUrl url = m_baseUrl;
    url.setPath(m_baseUrl.path(QUrl::FullyDecoded) + path);
    if (!query.isEmpty())
        url.setQuery(query);
    return url;
}

void ApiClient::get(const QString &path, Callback callback, const QUrlQuery &query)
{
    sendRequest("GET", path, {}, std::move(callback), query, Auth::Bearer);
}

void ApiClient::post(const QString &path, const QJsonObject &body, Callback callback)
{
    sendRequest("POST", path, json(body), std::move(callback), {}, Auth::Bearer);
}

void ApiClient::postJson(const QString &path, const QByteArray &json, Callback callback)
{
    sendRequest("POST", path, json, std::move(callback), {}, Auth::Bearer);
}

void ApiClient::postPublic(const QString &path, const QJsonObject &body, Callback callback)
{
    sendRequest("POST", path, json(body), std::move(callback), {}, Auth::None);
}

void ApiClient::postWithoutRefresh(const QString &path, const QJsonObject &body, Callback callback)
{
    sendRequest("POST", path, json(body), std::move(callback), {}, Auth::BearerNoRefresh);
}

void ApiClient::put(const QString &path, const QJsonObject &body, Callback callback)
{
    sendRequest("PUT", path, json(body), std::move(callback), {}, Auth::Bearer);
}

void ApiClient::patch(const QString &path, const QJsonObject &body, Callback callback)
{
    sendRequest("PATCH", path, json(body), std::move(callback), {}, Auth::Bearer);
}

void ApiClient::del(const QString &path, Callback callback)
{
    sendRequest("DELETE", path, {}, std::move(callback), {}, Auth::Bearer);
}

void ApiClient::withToken(const QByteArray &method, const QString &path,
                          std::function<void(const QString &token)> proceed,
                          std::function<void(RefreshResult result)> failed)
{
    if (!m_tokens || !m_tokens->needsRefresh()) {
        proceed(m_tokens ? m_tokens->accessToken() : QString());
        return;
    }
    qCDebug(lcAccount).noquote() << "ApiClient: token needs refresh before" << method << path;
    m_tokens->refresh([this, guard = QPointer<ApiClient>(this), method, path, proceed = std::move(proceed),
                       failed = std::move(failed), aborts = m_aborts](RefreshResult result) {
        if (!guard)
            return;
        if (abortedSince(aborts))
            return failed(RefreshResult::Failed);
        switch (result) {
        case RefreshResult::Success:
            proceed(m_tokens ? m_tokens->accessToken() : QString());
            return;
        case RefreshResult::Rejected:
            qCWarning(lcAccount).noquote() << "ApiClient: token refresh" << "rejected" << "for" << method << path;
            emit authenticationRequired();
            break;
        case RefreshResult::Failed:
            qCWarning(lcAccount).noquote() << "ApiClient: token refresh" << "failed (transient)" << "for" << method << path;
            break;
        }
        failed(result);
    });
}

void ApiClient::sendRequest(const QByteArray &method, const QString &path, const QByteArray &bytes, Callback callback,
                            const QUrlQuery &query, Auth auth)
{
    const QUrl url = buildUrl(path, query);
    if (auth == Auth::None) {
        executeRequest(method, url, bytes, QString(), std::move(callback), false);
        return;
    }
    if (auth == Auth::BearerNoRefresh) {
        executeRequest(method, url, bytes, m_tokens ? m_tokens->accessToken() : QString(), std::move(callback), false);
        return;
    }
    auto shared = std::make_shared<Callback>(std::move(callback));
    withToken(
        method, path,
        [this, method, url, bytes, shared](const QString &token) {
            executeRequest(method, url, bytes, token, std::move(*shared), true);
        },
        [shared](RefreshResult result) {
            call(*shared, false, result == RefreshResult::Rejected ? 401 : 0, QJsonObject());
        });
}

void ApiClient::setDeviceInfo(const QString &deviceId, const QString &deviceName)
{
    m_deviceId = deviceId;
    m_deviceName = deviceName;
}

void ApiClient::addIdentity(QNetworkRequest &request, const QString &token) const
{
    if (!m_deviceId.isEmpty())
        request.setRawHeader(VelmWire::Header::deviceId, m_deviceId.toUtf8());
    // A host name may be any text; headers carry ASCII.
    if (!m_deviceName.isEmpty())
        request.setRawHeader(VelmWire::Header::deviceName, QUrl::toPercentEncoding(m_deviceName));
    if (!m_appId.isEmpty())
        request.setRawHeader(VelmWire::Header::appId, m_appId.toUtf8());
    if (!m_appVersion.isEmpty())
        request.setRawHeader(VelmWire::Header::appVersion, m_appVersion.toUtf8());
    if (!m_platform.isEmpty())
        request.setRawHeader(VelmWire::Header::platform, m_platform.toUtf8());
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
}

void ApiClient::executeRequest(const QByteArray &method, const QUrl &url, const QByteArray &body,
                               const QString &token, Callback callback, bool retryOn401)
{
    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("Accept", "application/json");
    addIdentity(request, token);

    QNetworkReply *reply = nullptr;
    if (method == "GET")
        reply = m_network->get(request);
    else if (method == "POST")
        reply = m_network->post(request, body);
    else if (method == "PUT")
        reply = m_network->put(request, body);
    else if (method == "PATCH")
        reply = m_network->sendCustomRequest(request, "PATCH", body);
    else if (method == "DELETE")
        reply = m_network->deleteResource(request);
    if (!reply) {
        call(callback, false, 0, QJsonObject());
        return;
    }

    connect(reply, &QNetworkReply::finished, this,
            [this, reply, method, url, body, callback = std::move(callback), retryOn401]() mutable {
                reply->deleteLater();
                if (wasAborted(reply))
                    return call(callback, false, 0, QJsonObject());
                const int status = statusOf(reply);
                const QJsonObject object = parseObject(reply->readAll());
                if (status == 401 && retryOn401 && m_tokens) {
                    m_tokens->refresh([this, guard = QPointer<ApiClient>(this), method, url, body,
                                       callback = std::move(callback), aborts = m_aborts](RefreshResult result) mutable {
                        if (!guard)
                            return;
                        if (abortedSince(aborts)) {
                            call(callback, false, 0, QJsonObject());
                        } else if (result == RefreshResult::Success) {
                            executeRequest(method, url, body, m_tokens->accessToken(), std::move(callback), false);
                        } else if (result == RefreshResult::Rejected) {
                            emit authenticationRequired();
                            call(callback, false, 401, QJsonObject());
                        } else {
                            call(callback, false, 0, QJsonObject());
                        }
                    });
                    return;
                }
                if (reply->error() != QNetworkReply::NoError && status == 0) {
                    emit networkError(reply->errorString());
                    call(callback, false, 0, QJsonObject());
                    return;
                }
                call(callback, isSuccess(status), status, object);
            });
}

void ApiClient::getBinary(const QString &path, BinaryCallback callback, const QUrlQuery &query)
{
    const QUrl url = buildUrl(path, query);
    auto shared = std::make_shared<BinaryCallback>(std::move(callback));
    withToken(
        "GET", path,
        [this, url, shared](const QString &token) { executeBinary(url, token, std::move(*shared), true); },
        [shared](RefreshResult result) {
            call(*shared, false, result == RefreshResult::Rejected ? 401 : 0, QByteArray());
        });
}

void ApiClient::executeBinary(const QUrl &url, const QString &token, BinaryCallback callback, bool retryOn401)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "*/*");
    addIdentity(request, token);
    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, url, callback = std::move(callback), retryOn401]() mutable {
                reply->deleteLater();
                if (wasAborted(reply))
                    return call(callback, false, 0, QByteArray());
                const int status = statusOf(reply);
                const QByteArray data = reply->readAll();
                if (status == 401 && retryOn401 && m_tokens) {
                    m_tokens->refresh([this, guard = QPointer<ApiClient>(this), url,
                                       callback = std::move(callback), aborts = m_aborts](RefreshResult result) mutable {
                        if (!guard)
                            return;
                        if (abortedSince(aborts)) {
                            call(callback, false, 0, QByteArray());
                        } else if (result == RefreshResult::Success) {
                            executeBinary(url, m_tokens->accessToken(), std::move(callback), false);
                        } else if (result == RefreshResult::Rejected) {
                            emit authenticationRequired();
                            call(callback, false, 401, QByteArray());
                        } else {
                            call(callback, false, 0, QByteArray());
                        }
                    });
                    return;
                }
                if (retryOn401 && reply->error() != QNetworkReply::NoError && status == 0) {
                    emit networkError(reply->errorString());
                    call(callback, false, 0, QByteArray());
                    return;
                }
                call(callback, isSuccess(status), status, data);
            });
}

void ApiClient::postMultipart(const QString &path, QHttpMultiPart *multipart, Callback callback)
{
    const QUrl url = buildUrl(path);
    auto shared = std::make_shared<Callback>(std::move(callback));
    // Held weakly until a reply adopts it, deleted on every path that ends early.
    QPointer<QHttpMultiPart> part(multipart);
    withToken(
        "POST", path,
        [this, url, part, shared](const QString &token) {
            QNetworkRequest request(url);
            addIdentity(request, token);
            QNetworkReply *reply = part ? m_network->post(request, part.data()) : nullptr;
            if (!reply) {
                if (part)
                    part->deleteLater();
                call(*shared, false, 0, QJsonObject());
                return;
            }
            part->setParent(reply);
            connect(reply, &QNetworkReply::finished, this, [reply, shared]() {
                reply->deleteLater();
                const int status = statusOf(reply);
                const QJsonObject object = parseObject(reply->readAll());
                if (reply->error() == QNetworkReply::NoError || status != 0)
                    call(*shared, isSuccess(status), status, object);
                else
                    call(*shared, false, 0, QJsonObject());
            });
        },
        [part, shared](RefreshResult result) {
            if (part)
                part->deleteLater();
            call(*shared, false, result == RefreshResult::Rejected ? 401 : 0, QJsonObject());
        });
}

} // namespace VelmAccount
