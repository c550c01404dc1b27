#pragma once

#include "serverharness.h"

#include <QCoreApplication>
#include <QtTest>

namespace VelmServerTest {

// The fixture both server suites share: one server per run, over SQLite or a
// PostgreSQL cluster of its own, and numbered users signed up through it.
class ServerSuite : public QObject
{
public:
    bool postgres = false;

protected:
    Api newUser(const char *name = "user")
    {
        const Tokens t = m_h->signIn(QStringLiteral("%1%2@example.org").arg(QLatin1String(name)).arg(++m_users), true);
        return Api{m_h->port(), t.access, t.refresh};
    }
    static QJsonObject jwtPayload(const QString &token)
    {
        return QJsonDocument::fromJson(QByteArray::fromBase64(token.section('.', 1, 1).toLatin1(),
                                                              QByteArray::Base64UrlEncoding)).object();
    }
    QString idOf(const Api &api) const { return jwtPayload(api.token).value("sub").toString(); }
    QString databaseUrl() const { return postgres ? m_pg->url() : QString(); }
    Api::Reply refresh(const QString &token) const
    {
        return Api(m_h->port(), {}).call("POST", "/api/v1/realms/velmora/auth/token/refresh", {{"refresh_token", token}});
    }
    // For initTestCase; false with the reason in *error.
    bool startServer(QString *error, const std::function<void(Harness &)> &tune = {})
    {
        if (postgres) {
            m_pg = std::make_unique<PgCluster>();
            if (!m_pg->start(error)) {
                *error = "PostgreSQL did not start: " + *error;
                return false;
            }
        }
        m_h = std::make_unique<Harness>();
        if (tune)
            tune(*m_h);
        return m_h->start(databaseUrl(), error);
    }
    void stopServer()
    {
        m_h.reset();
        m_pg.reset();
    }

    std::unique_ptr<PgCluster> m_pg;
    std::unique_ptr<Harness> m_h;
    int m_users = 0;
};

// Runs Suite once on SQLite, then on PostgreSQL; the number of failures.
template<typename Suite>
int runOnBothBackends(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    int failures = 0;
    for (bool postgres : {false, true}) {
        Suite test;
        test.postgres = postgres;
        qInfo("=== backend: %s", postgres ? "PostgreSQL" : "SQLite");
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures;
}

} // namespace VelmServerTest
