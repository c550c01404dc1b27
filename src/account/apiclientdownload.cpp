// Downloads streamed into a file: ApiClient::download.
#include "apiclient.h"

#include "accountlog.h"
#include "tokenmanager.h"

#include <QCryptographicHash>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

namespace VelmAccount {

// One download on its way: the file it fills and the hash of what came so far.
struct ApiClient::Incoming
{
    explicit Incoming(const QString &targetPath) : file(targetPath) {}

    QSaveFile file;
    QCryptographicHash hash{QCryptographicHash::Sha256};
    qint64 bytes = 0;
    QString failure;
};

namespace {

constexpr qint64 kReadBufferBytes = 128 * 1024;

// The SHA-256 of a "Digest: sha-256=<base64>" header; empty when there is none.
QByteArray sha256Of(const QNetworkReply *reply)
{
    for (const QByteArray &item : reply->rawHeader("Digest").split(',')) {
        const QByteArray trimmed = item.trimmed();
        if (trimmed.size() > 8 && trimmed.first(8).toLower() == "sha-256=")
            return QByteArray::fromBase64(trimmed.mid(8));
    }
    return {};
}

int statusOf(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

// Committing flushes the whole file to disk, which can take long: it is done
// on a worker, which only ever touches incoming. Should this client be gone
// by then, the verified file still takes its place and no one is told.
void ApiClient::commitDownload(const std::shared_ptr<Incoming> &incoming, int status, DownloadCallback callback)
{
    auto *watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcher<bool>::finished, this, [watcher, incoming, status, callback = std::move(callback)] {
        watcher->deleteLater();
        const bool ok = watcher->result();
        if (!ok)
            qCWarning(lcAccount).noquote() << "ApiClient: download not written:" << incoming->failure;
        if (callback)
            callback(ok, status, ok ? incoming->bytes : 0);
    });
    watcher->setFuture(QtConcurrent::run([incoming] {
        const bool ok = incoming->file.commit();
        if (!ok)
            incoming->failure = incoming->file.errorString();
        return ok;
    }));
}

void ApiClient::download(const QString &path, const QString &targetPath, qint64 expectedBytes,
                         DownloadCallback callback)
{
    const QUrl url = buildUrl(path);
    auto shared = std::make_shared<DownloadCallback>(std::move(callback));
    withToken(
        "GET", path,
        [this, url, targetPath, expectedBytes, shared](const QString &token) {
            executeDownload(url, targetPath, expectedBytes, token, std::move(*shared), true);
        },
        [shared](RefreshResult result) {
            if (*shared)
                (*shared)(false, result == RefreshResult::Rejected ? 401 : 0, 0);
        });
}

void ApiClient::executeDownload(const QUrl &url, const QString &targetPath, qint64 expectedBytes,
                                const QString &token, DownloadCallback callback, bool retryOn401)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "*/*");
    addIdentity(request, token);
    QNetworkReply *reply = m_network->get(request);
    // The network thread holds back what this one has not written yet, so a
    // turn of the event loop never has more than this to write and hash.
    reply->setReadBufferSize(kReadBufferBytes);
    auto incoming = std::make_shared<Incoming>(targetPath);
    // Only a 2xx body goes to the file, in pieces as they come; it is never
    // held whole. The temporary file goes with incoming unless committed.
    const auto drain = [reply, incoming] {
        const int status = statusOf(reply);
        if (status < 200 || status > 299 || !incoming->failure.isEmpty())
            return;
        if (!incoming->file.isOpen() && !incoming->file.open(QIODevice::WriteOnly)) {
            incoming->failure = incoming->file.errorString();
            return reply->abort();
        }
        while (reply->bytesAvailable() > 0) {
            const QByteArray chunk = reply->read(256 * 1024);
            incoming->hash.addData(chunk);
            incoming->bytes += chunk.size();
            if (incoming->file.write(chunk) != chunk.size()) {
                incoming->failure = incoming->file.errorString();
                return reply->abort();
            }
        }
    };
    connect(reply, &QNetworkReply::readyRead, this, drain);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, url, targetPath, expectedBytes, incoming, drain, callback = std::move(callback),
             retryOn401]() mutable {
                reply->deleteLater();
                const int status = statusOf(reply);
                if (status == 401 && retryOn401 && m_tokens) {
                    m_tokens->refresh([this, guard = QPointer<ApiClient>(this), url, targetPath, expectedBytes,
                                       callback = std::move(callback), aborts = m_aborts](RefreshResult result) mutable {
                        if (!guard)
                            return;
                        if (result == RefreshResult::Success && !abortedSince(aborts))
                            return executeDownload(url, targetPath, expectedBytes, m_tokens->accessToken(),
                                                   std::move(callback), false);
                        if (result == RefreshResult::Rejected)
                            emit authenticationRequired();
                        if (callback)
                            callback(false, result == RefreshResult::Rejected ? 401 : 0, 0);
                    });
                    return;
                }
                drain();
                const QByteArray sha256 = sha256Of(reply);
                if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299) {
                    if (retryOn401 && status == 0 && !reply->property("velmoraAborted").toBool())
                        emit networkError(reply->errorString());
                } else if (!incoming->failure.isEmpty()) {
                    qCWarning(lcAccount).noquote() << "ApiClient: download not written:" << incoming->failure;
                } else if (expectedBytes >= 0 && incoming->bytes != expectedBytes) {
                    qCWarning(lcAccount).noquote() << "ApiClient: download ended short:" << incoming->bytes << "of"
                                                   << expectedBytes << "bytes";
                } else if (!sha256.isEmpty() && sha256 != incoming->hash.result()) {
                    qCWarning(lcAccount).noquote() << "ApiClient: download does not match its digest; discarded";
                } else if (!incoming->file.isOpen() && !incoming->file.open(QIODevice::WriteOnly)) {
                    qCWarning(lcAccount).noquote() << "ApiClient: download not written:" << incoming->file.errorString();
                } else {
                    return commitDownload(incoming, status, std::move(callback));
                }
                incoming->file.cancelWriting();
                if (callback)
                    callback(false, status, 0);
            });
}

} // namespace VelmAccount
