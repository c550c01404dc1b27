#pragma once

// A real velmora-server on a free loopback port in a private folder, and the
// steps a browser takes on its sign-in page.

#include "clientconfig.h"
#include "server.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

struct HttpResult
{
    int status = 0;
    QByteArray location;
    QByteArray body;
};

// One request, waited for on the event loop; redirects are not followed.
inline HttpResult httpRequest(const QUrl &url, const QByteArray &verb = "GET", const QByteArray &form = {})
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *reply = verb == "POST"
        ? (request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded"),
           network.post(request, form))
        : network.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(20000))
        return {};
    HttpResult result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                      reply->rawHeader("Location"), reply->readAll()};
    delete reply;
    return result;
}

class ServerFixture
{
public:
    bool start()
    {
        VelmServer::Config config;
        config.dataDir = m_dir.path() + QStringLiteral("/server");
        config.port = 0;
        m_server = std::make_unique<VelmServer::Server>(config);
        QString error;
        if (!m_server->start(&error)) {
            qWarning() << "server did not start:" << error;
            return false;
        }
        m_port = m_server->port();
        return true;
    }
    void stop()
    {
        if (!m_server)
            return;
        m_server->stop();
        m_server->wait();
        m_server.reset();
    }
    ~ServerFixture() { stop(); }

    QString url(const QString &path = QString()) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
    }

    VelmAccount::ClientConfig config() const
    {
        VelmAccount::ClientConfig config;
        config.authBaseUrl = url();
        config.realm = QStringLiteral("velmora");
        config.accountApiUrl = url(QStringLiteral("/account/v1"));
        config.clientId = QStringLiteral("9f1c2a7be04d53c8a6e1f0b2d7c4e913");
        config.appId = QStringLiteral("app.velmora.notes");
        config.appName = QStringLiteral("Velmora Notes");
        config.appVersion = QStringLiteral("1.0.4");
        return config;
    }

    // Fills and sends the sign-in page of loginUrl as a browser does; the
    // reply's Location is where the browser would go next.
    static HttpResult submitLogin(const QUrl &loginUrl, const QString &email, const QString &action = "signup")
    {
        QUrlQuery form(loginUrl.query());
        form.addQueryItem(QStringLiteral("email"), email);
        form.addQueryItem(QStringLiteral("password"), QStringLiteral("correct horse battery"));
        form.addQueryItem(QStringLiteral("action"), action);
        return httpRequest(loginUrl, "POST", form.query(QUrl::FullyEncoded).toLatin1());
    }

    // A new account's tokens, as its sign-in would hand them over.
    std::pair<QString, QString> signUp(const QString &email) const
    {
        QUrl login(url(QStringLiteral("/velmora/account/login")));
        login.setQuery(QStringLiteral("client_id=test&redirect_uri=http%3A%2F%2F127.0.0.1%3A9%2Fcallback"));
        const QUrlQuery reply(QUrl(QString::fromLatin1(submitLogin(login, email).location)).query());
        return {reply.queryItemValue(QStringLiteral("access_token"), QUrl::FullyDecoded),
                reply.queryItemValue(QStringLiteral("refresh_token"), QUrl::FullyDecoded)};
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<VelmServer::Server> m_server;
    int m_port = 0;
};
