#pragma once

// The account tests' velmora-server (serverharness.h), the client settings
// that reach it, clients signed in to it, and requests waited for on the
// event loop, where the sign-in listener answers.

#include "../server/serverharness.h"
#include "client.h"
#include "clientconfig.h"
#include "memorytokenstore.h"
#include "tokenmanager.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QtTest>

struct HttpResult
{
    int status = 0;
    QByteArray location;
    QByteArray body;
};

// A GET, or a form POST when form is given; redirects are not followed.
inline HttpResult httpRequest(const QUrl &url, const QByteArray &form = {})
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    std::unique_ptr<QNetworkReply> reply(form.isEmpty() ? network.get(request) : network.post(request, form));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(20000))
        return {};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->rawHeader("Location"),
            reply->readAll()};
}

// Waits for an asynchronous call's single answer.
template<typename Value, typename Call>
Value await(Call call)
{
    std::optional<Value> result;
    call([&result](const Value &value) { result = value; });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 20000))
        qWarning("no answer within 20 s");
    return result.value_or(Value());
}

class ServerFixture : public VelmServerTest::Harness
{
public:
    bool start()
    {
        QString error;
        const bool started = Harness::start({}, &error);
        if (!started)
            qWarning() << "server did not start:" << error;
        return started;
    }

    QString url(const QString &path = QString()) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
    }

    VelmAccount::ClientConfig config() const
    {
        VelmAccount::ClientConfig config;
        config.authBaseUrl = url();
        config.realm = QStringLiteral("velmora");
        config.accountApiUrl = url(QStringLiteral("/account/v1"));
        config.clientId = QStringLiteral("9f1c2a7be04d53c8a6e1f0b2d7c4e913");
        config.appId = QStringLiteral("app.velmora.notes");
        config.appVersion = QStringLiteral("1.0.4");
        return config;
    }

    // A new account's access and refresh token.
    std::pair<QString, QString> signUp(const QString &email)
    {
        const VelmServerTest::Tokens tokens = signIn(email, true);
        return {tokens.access, tokens.refresh};
    }

    // A client signed in as a new account.
    std::unique_ptr<VelmAccount::Client> signedIn(const QString &email)
    {
        const auto [access, refresh] = signUp(email);
        auto client = std::make_unique<VelmAccount::Client>(config(), std::make_unique<VelmAccount::MemoryTokenStore>());
        client->tokenManager()->setTokens(access, refresh);
        client->initialize();
        return client;
    }

    // Sends the sign-in form of loginUrl as a browser does; Location is where it goes next.
    static HttpResult submitLogin(const QUrl &loginUrl, const QString &email)
    {
        QUrlQuery form(loginUrl.query());
        form.addQueryItem(QStringLiteral("email"), email);
        form.addQueryItem(QStringLiteral("password"), QStringLiteral("correct horse"));
        form.addQueryItem(QStringLiteral("action"), QStringLiteral("signup"));
        return httpRequest(loginUrl, form.query(QUrl::FullyEncoded).toLatin1());
    }
};
